// Whole-file reads and atomic whole-file writes for the command-line tool.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <vector>

namespace cli {

// Memory for a whole file's bytes: aligned so that the system can back a big block with huge
// pages, which spares a 12 MB image thousands of page faults, and left uninitialised, since
// the file is read straight over it.
void* AllocateFileMemory(std::size_t size);
void FreeFileMemory(void* memory);

template <typename T> struct FileAllocator {
    using value_type = T;
    FileAllocator() = default;
    template <typename U> FileAllocator(const FileAllocator<U>&) {}
    T* allocate(std::size_t n) { return static_cast<T*>(AllocateFileMemory(n * sizeof(T))); }
    void deallocate(T* p, std::size_t) { FreeFileMemory(p); }
    template <typename U> void construct(U* p) { ::new (static_cast<void*>(p)) U; }
    template <typename U> bool operator==(const FileAllocator<U>&) const { return true; }
    template <typename U> bool operator!=(const FileAllocator<U>&) const { return false; }
};
using FileBytes = std::vector<std::uint8_t, FileAllocator<std::uint8_t>>;

// The room a conversion may add to a file image as it rewrites it in place (exact reduction
// puts a colour table in front of the pixels): reserved when an image is read or decoded, so
// that no conversion has to move it, which would take twice its memory for a moment.
inline constexpr std::size_t kConversionRoom = 1024;

// Reads a whole regular file of at most `limit` bytes; a larger one is refused unread. On
// failure `error` holds a message naming the cause.
bool ReadWholeFile(const std::string& path, FileBytes& bytes, std::string& error,
                   std::uint64_t limit = 0xFFFFFFFFu);

// Writes `bytes` to `path` atomically: the new file is written to a temporary of a name of its
// own in the same folder (".NAME.XXXXXXXX.tmp", created exclusively, so that no existing file
// is touched), flushed to disk, and renamed over `path`, and the folder is flushed; at every
// moment `path` is either the old file or the whole new one. On a failure the temporary is
// removed and `path` is as it was; a signal that ends the process removes it too
// (RemoveTemporariesOnSignals). Refused before anything is written: a file the process may
// not write (access for writing, as the running user), a file without any write permission
// (even for root: the user's word that it must not change), and anything that is not a
// regular file (a folder, a device). The new file keeps the old one's mode, and its owner and
// group where the process may set them; other hard links to the old file keep the old image.
// Through a symbolic link the file it points to is written, and the link stays. On failure
// `error` holds a message.
bool WriteAtomically(const std::string& path, const std::uint8_t* data, std::size_t size,
                     std::string& error);

// The system calls of the write path, replaceable so that tests can make them fail.
struct FileOps {
    int (*access)(const char* path, int mode); // as the running user (effective ids)
    int (*open)(const char* path, int flags, unsigned mode);
    long (*write)(int fd, const void* data, unsigned long size);
    int (*fsync)(int fd);
    int (*close)(int fd);
    int (*rename)(const char* from, const char* to);
};
extern FileOps Ops;

} // namespace cli
