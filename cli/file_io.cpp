#include "cli/file_io.h"

#include <cerrno>
#include <cstring>
#include <cstdlib>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/text/texts.h"

namespace cli {

namespace {
int SystemOpen(const char* path, int flags, unsigned mode) {
    return ::open(path, flags, mode);
}
long SystemWrite(int fd, const void* data, unsigned long size) {
    return ::write(fd, data, size);
}
} // namespace

FileOps Ops = {SystemOpen, SystemWrite, ::fsync, ::close, ::rename, ::unlink};

namespace {

std::string Because(const char* text) {
    return std::string(text) + " (" + std::strerror(errno) + ")";
}

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const long n = Ops.write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// The new file takes the place of the old one: it gets its owner and group where this
// process may give them, then exactly its mode, which the umask would have narrowed and a
// change of owner may have cleared. Only root may give a file away; anyone may give it a
// group of their own. What is refused (EPERM) leaves the file ours: not worth failing the
// save for.
void KeepOwnerAndMode(int fd, const struct stat& old) {
    if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
        (void)::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
    }
    ::fchmod(fd, old.st_mode & 07777);
}

} // namespace

void* AllocateFileMemory(std::size_t size) {
    constexpr std::size_t kHugePage = std::size_t{2} << 20;
    void* memory = nullptr;
    if (size >= kHugePage) {
        if (::posix_memalign(&memory, kHugePage, size) != 0) {
            throw std::bad_alloc();
        }
        ::madvise(memory, size, MADV_HUGEPAGE); // only advice: fine if refused
        return memory;
    }
    memory = std::malloc(size == 0 ? 1 : size);
    if (memory == nullptr) {
        throw std::bad_alloc();
    }
    return memory;
}

void FreeFileMemory(void* memory) {
    std::free(memory);
}

bool ReadWholeFile(const std::string& path, FileBytes& bytes, std::string& error,
                   std::uint64_t limit) {
    // Opened without blocking: a pipe or a device with no writer would otherwise hold open()
    // (and the whole batch) before its kind could be checked.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error = Because(kCannotOpenText);
        return false;
    }
    // Only a regular file holds an image: a directory, a device or a pipe is refused, and
    // said to be what it is.
    struct stat info;
    if (::fstat(fd, &info) != 0) {
        error = Because(kCannotReadText);
        ::close(fd);
        return false;
    }
    if (S_ISDIR(info.st_mode)) {
        ::close(fd);
        errno = EISDIR;
        error = Because(kCannotReadText);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        error = std::string(kCannotReadText) + " (not a regular file)";
        return false;
    }
    if (static_cast<std::uint64_t>(info.st_size) > limit) {
        ::close(fd);
        error = std::string(kTooLargeText) + " (more than " + std::to_string(limit) + " bytes)";
        return false;
    }
    bytes.resize(static_cast<std::size_t>(info.st_size));
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            ::close(fd);
            if (n == 0) {
                errno = EIO;
            }
            error = Because(kCannotReadText);
            return false;
        }
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    return true;
}

bool WriteWithSafetyCopy(const std::string& name, const std::uint8_t* data, std::size_t size,
                         std::string& error) {
    // A symbolic link stays as the user set it up: the file it points to is written.
    std::string path = name;
    struct stat info;
    if (::lstat(name.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        char* resolved = ::realpath(name.c_str(), nullptr);
        if (resolved == nullptr) {
            error = Because(kCannotSaveText);
            return false;
        }
        path = resolved;
        std::free(resolved);
    }
    const std::string safety = path + ".tmp";
    const bool exists = ::lstat(path.c_str(), &info) == 0;
    // Only a regular file is replaced: a folder, a device or a pipe of that name stays
    // where it is, and nothing is renamed or created.
    if (exists && !S_ISREG(info.st_mode)) {
        error = std::string(kCannotSaveText) +
                (S_ISDIR(info.st_mode) ? " (Is a directory)" : " (not a regular file)");
        return false;
    }
    // A file without write permission is the user's word that it must not change.
    if (exists && (info.st_mode & 0222) == 0) {
        errno = EACCES;
        error = Because(kCannotOverwriteText);
        return false;
    }
    bool moved = false;
    if (exists) {
        // rename() would silently replace an existing "<path>.tmp", which this save did not
        // make: that name must be free.
        struct stat other;
        if (::lstat(safety.c_str(), &other) == 0) {
            errno = EEXIST;
            error = Because(kSafetyCopyBlockedText);
            return false;
        }
        if (Ops.rename(path.c_str(), safety.c_str()) != 0) {
            error = Because(kSafetyCopyBlockedText);
            return false;
        }
        moved = true;
    }
    const int fd = Ops.open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                            exists ? (info.st_mode & 07777) : 0666);
    if (fd < 0) {
        error = Because(kCannotSaveText);
        if (moved) {
            Ops.rename(safety.c_str(), path.c_str());
        }
        return false;
    }
    if (exists) {
        KeepOwnerAndMode(fd, info);
    }
    const bool written = WriteAll(fd, data, size) && Ops.fsync(fd) == 0;
    const int savedErrno = errno;
    const bool closed = Ops.close(fd) == 0;
    if (!written || !closed) {
        errno = written ? errno : savedErrno;
        error = Because(kWriteFailedText);
        Ops.unlink(path.c_str());
        if (moved) {
            Ops.rename(safety.c_str(), path.c_str());
        }
        return false;
    }
    if (moved) {
        Ops.unlink(safety.c_str());
    }
    return true;
}

} // namespace cli
