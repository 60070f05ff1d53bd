// The command-line tool's write path under injected faults: for each, the error, the file
// on disk and the safety copy. The last complete copy of a file is never lost, and no file
// the write did not make is removed.
#include "cli/file_io.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sys/stat.h>

#include "core/text/texts.h"
#include "tests/support/temp_folder.h"

namespace {

// The real system calls, as the program starts with them.
const cli::FileOps kSystemOps = cli::Ops;

using Bytes = std::vector<std::uint8_t>;

int failAfterBytes = -1; // the write path's budget before ENOSPC; -1: no limit

long LimitedWrite(int fd, const void* data, unsigned long size) {
    if (failAfterBytes >= 0) {
        if (failAfterBytes == 0) {
            errno = ENOSPC;
            return -1;
        }
        if (size > static_cast<unsigned long>(failAfterBytes)) {
            size = static_cast<unsigned long>(failAfterBytes); // a short write first
        }
        failAfterBytes -= static_cast<int>(size);
    }
    return ::write(fd, data, size);
}

class SafeWrite : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(folder_.path().empty());
        path_ = folder_.Path("image.bmp");
        failAfterBytes = -1;
        cli::Ops = kSystemOps;
        cli::Ops.write = LimitedWrite;
    }
    void TearDown() override { cli::Ops = kSystemOps; }
    bool Write(std::string& error) {
        return cli::WriteWithSafetyCopy(path_, fresh_.data(), fresh_.size(), error);
    }

    testimg::TempFolder folder_;
    std::string path_;
    const Bytes old_ = Bytes(5000, 0x11);
    const Bytes fresh_ = Bytes(7000, 0x22);
};

TEST_F(SafeWrite, ASuccessfulWriteLeavesNoSafetyCopy) {
    testimg::WriteFileBytes(path_, old_);
    std::string error;
    ASSERT_TRUE(Write(error)) << error;
    EXPECT_EQ(testimg::ReadFileBytes(path_), fresh_);
    EXPECT_FALSE(testimg::PathExists(path_ + ".tmp"));
}

TEST_F(SafeWrite, DiskFullAndShortWritesPutTheOldFileBack) {
    for (int budget : {0, 100, 4096, 6999}) {
        SCOPED_TRACE(budget);
        testimg::WriteFileBytes(path_, old_);
        failAfterBytes = budget;
        std::string error;
        EXPECT_FALSE(Write(error));
        EXPECT_NE(error.find(kWriteFailedText), std::string::npos) << error;
        EXPECT_EQ(testimg::ReadFileBytes(path_), old_);
        EXPECT_FALSE(testimg::PathExists(path_ + ".tmp"));
    }
    // With no earlier file, the partial new one is removed.
    std::remove(path_.c_str());
    failAfterBytes = 10;
    std::string error;
    EXPECT_FALSE(Write(error));
    EXPECT_FALSE(testimg::PathExists(path_));
}

TEST_F(SafeWrite, CreateFsyncAndRenameFailuresLoseNothing) {
    testimg::WriteFileBytes(path_, old_);
    std::string error;
    cli::Ops.open = [](const char*, int, unsigned) {
        errno = EACCES;
        return -1;
    };
    EXPECT_FALSE(Write(error));
    EXPECT_NE(error.find(kCannotSaveText), std::string::npos) << error;
    EXPECT_EQ(testimg::ReadFileBytes(path_), old_);
    EXPECT_FALSE(testimg::PathExists(path_ + ".tmp"));

    cli::Ops = kSystemOps;
    cli::Ops.fsync = [](int) {
        errno = EIO;
        return -1;
    };
    EXPECT_FALSE(Write(error));
    EXPECT_NE(error.find(kWriteFailedText), std::string::npos) << error;
    EXPECT_EQ(testimg::ReadFileBytes(path_), old_);
    EXPECT_FALSE(testimg::PathExists(path_ + ".tmp"));

    // The rename aside fails (another file system, no permission): nothing is overwritten.
    cli::Ops = kSystemOps;
    cli::Ops.rename = [](const char*, const char*) {
        errno = EXDEV;
        return -1;
    };
    EXPECT_FALSE(Write(error));
    EXPECT_NE(error.find(kSafetyCopyBlockedText), std::string::npos) << error;
    EXPECT_EQ(testimg::ReadFileBytes(path_), old_);
}

TEST_F(SafeWrite, AnExistingSafetyNameIsNeverTouched) {
    testimg::WriteFileBytes(path_, old_);
    const Bytes stale = {'s', 't', 'a', 'l', 'e'};
    testimg::WriteFileBytes(path_ + ".tmp", stale);
    std::string error;
    EXPECT_FALSE(Write(error));
    EXPECT_NE(error.find(kSafetyCopyBlockedText), std::string::npos) << error;
    EXPECT_EQ(testimg::ReadFileBytes(path_), old_);
    EXPECT_EQ(testimg::ReadFileBytes(path_ + ".tmp"), stale);
}

} // namespace
