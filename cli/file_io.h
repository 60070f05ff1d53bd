// Whole-file reads and safe whole-file writes for the command-line tool.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cli {

// Reads a whole file. On failure `error` holds a message naming the cause.
bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& bytes, std::string& error);

// Writes `bytes` to `path` through a safety copy, as the program's Save does: an existing
// file is first renamed to "<path>.tmp", removed only after the new file is complete, and
// put back when the write fails. A file that cannot be renamed aside (for example because
// "<path>.tmp" exists) is not overwritten. On failure `error` holds a message.
bool WriteWithSafetyCopy(const std::string& path, const std::vector<std::uint8_t>& bytes,
                         std::string& error);

// The system calls of the write path, replaceable so that tests can make them fail.
struct FileOps {
    int (*open)(const char* path, int flags, unsigned mode);
    long (*write)(int fd, const void* data, unsigned long size);
    int (*fsync)(int fd);
    int (*close)(int fd);
    int (*rename)(const char* from, const char* to);
    int (*unlink)(const char* path);
};
extern FileOps Ops;
void UseSystemFileOps();

} // namespace cli
