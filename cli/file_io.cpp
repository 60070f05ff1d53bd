#include "cli/file_io.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cli/temporaries.h"
#include "cli/messages.h"
#include "core/text/texts.h"

namespace cli {

namespace {
int SystemAccess(const char* path, int mode) {
    return ::faccessat(AT_FDCWD, path, mode, AT_EACCESS);
}
int SystemOpen(const char* path, int flags, unsigned mode) {
    return ::open(path, flags, mode);
}
long SystemWrite(int fd, const void* data, unsigned long size) {
    return ::write(fd, data, size);
}
} // namespace

FileOps Ops = {SystemAccess, SystemOpen, SystemWrite, ::fsync, ::close, ::rename};

namespace {

std::string Because(const char* text) {
    return Say(text) + " (" + std::strerror(errno) + ")";
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

std::uint64_t RandomNumber() {
    std::uint64_t value = 0;
    if (::getrandom(&value, sizeof value, GRND_NONBLOCK) == static_cast<ssize_t>(sizeof value)) {
        return value;
    }
    // No entropy yet (early in boot): the time, the process and a count still give a name
    // that no other write of this process uses, and O_EXCL tells when another one has it.
    static std::atomic<std::uint64_t> count{0};
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return (static_cast<std::uint64_t>(now.tv_sec) << 30 ^ static_cast<std::uint64_t>(now.tv_nsec) ^
            static_cast<std::uint64_t>(::getpid()) << 40) +
           count++ * 0x9E3779B97F4A7C15u;
}

// Where `path`'s folder ends: the folder is path.substr(0, at), its name path.substr(at).
std::size_t NameStart(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? 0 : slash + 1;
}

// Creates the temporary for `path` in its folder, exclusively: a hidden name made of the
// file's name (its first 200 bytes, so that the whole stays within a name's 255), eight random
// letters and ".tmp". A name that exists is never opened: another is tried. The descriptor,
// or -1 with errno.
int CreateTemporary(const std::string& path, unsigned mode, std::string& temporary) {
    static constexpr char kLetters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    const std::size_t start = NameStart(path);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::uint64_t random = RandomNumber();
        std::string letters(8, ' ');
        for (char& letter : letters) {
            letter = kLetters[random % 62];
            random /= 62;
        }
        temporary = path.substr(0, start) + "." + path.substr(start, 200) + "." + letters + ".tmp";
        if (temporary.size() > kMaxTemporaryPath) {
            errno = ENAMETOOLONG;
            return -1;
        }
        const int fd =
            Ops.open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}

// Makes the rename durable. A failure here is not reported: the new file is already in place
// and readable, and saying that nothing changed would be false.
void FlushFolder(const std::string& path) {
    const std::size_t start = NameStart(path);
    const std::string folder = start == 0 ? "." : path.substr(0, start);
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        (void)Ops.fsync(fd);
        ::close(fd);
    }
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
        error = Say(kCannotReadText) + " (not a regular file)";
        return false;
    }
    if (static_cast<std::uint64_t>(info.st_size) > limit) {
        ::close(fd);
        error = Say(kTooLargeText) + " (more than " + std::to_string(limit) + " bytes)";
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

bool WriteAtomically(const std::string& name, const std::uint8_t* data, std::size_t size,
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
    const bool exists = ::lstat(path.c_str(), &info) == 0;
    // Only a regular file is replaced: a folder, a device or a pipe of that name stays
    // where it is, and nothing is created.
    if (exists && !S_ISREG(info.st_mode)) {
        error = Say(kCannotSaveText) +
                (S_ISDIR(info.st_mode) ? " (Is a directory)" : " (not a regular file)");
        return false;
    }
    // A file the user may not write is not replaced, though the folder would allow it (a
    // file of another user, say); one without any write permission is the user's word that
    // it must not change, also for root, whom access() lets write anything.
    if (exists && ((info.st_mode & 0222) == 0 || Ops.access(path.c_str(), W_OK) != 0)) {
        if ((info.st_mode & 0222) == 0) {
            errno = EACCES;
        }
        error = Because(kCannotOverwriteText);
        return false;
    }
    TemporarySlot slot;
    std::string temporary;
    int fd = -1;
    {
        const TemporaryChange change;
        if (!change.Allowed()) {
            errno = EINTR;
            error = Because(kCannotSaveText);
            return false;
        }
        fd = CreateTemporary(path, exists ? 0600 : 0666, temporary);
        if (fd < 0) {
            error = Because(kCannotSaveText);
            return false;
        }
        slot.Hold(temporary);
    }
    if (exists) {
        KeepOwnerAndMode(fd, info);
    }
    bool written = WriteAll(fd, data, size) && Ops.fsync(fd) == 0;
    if (!written) {
        error = Because(kWriteFailedText);
    }
    if (Ops.close(fd) != 0 && written) {
        written = false;
        error = Because(kWriteFailedText);
    }
    bool placed = false;
    {
        // Once a signal is ending the process nothing is put in place: the temporary goes.
        const TemporaryChange change;
        if (written) {
            placed = change.Allowed() && Ops.rename(temporary.c_str(), path.c_str()) == 0;
            if (!placed) {
                error = change.Allowed() ? Because(kCannotSaveText) : Say(kCannotSaveText);
            }
        }
        if (!placed) {
            ::unlink(temporary.c_str());
        }
        slot.LetGo();
    }
    if (placed) {
        FlushFolder(path);
    }
    return placed;
}

} // namespace cli
