// The command-line tool's write path under injected faults and signals: for each, the error,
// the file on disk and what else is in its folder. The file is always either the old one or
// the whole new one, and no file the write did not make is touched.
#include "cli/file_io.h"
#include "cli/messages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "cli/temporaries.h"
#include "core/text/texts.h"
#include "tests/support/temp_folder.h"

namespace {

// The real system calls, as the program starts with them.
const cli::FileOps kSystemOps = cli::Ops;

using Bytes = std::vector<std::uint8_t>;
using Names = std::set<std::string>;

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
        error.clear();
        return cli::WriteAtomically(path_, fresh_.data(), fresh_.size(), error);
    }

    testimg::TempFolder folder_;
    std::string path_;
    const Bytes old_ = Bytes(5000, 0x11);
    const Bytes fresh_ = Bytes(7000, 0x22);
};

// NAME.tmp is just another file of the user's: neither in the way nor touched.
TEST_F(SafeWrite, AWriteReplacesTheFileAndTouchesNothingElse) {
    testimg::WriteFileBytes(path_, old_);
    const Bytes theirs = {'t', 'h', 'e', 'i', 'r', 's'};
    testimg::WriteFileBytes(path_ + ".tmp", theirs);
    std::string error;
    ASSERT_TRUE(Write(error)) << error;
    EXPECT_EQ(testimg::ReadFileBytes(path_), fresh_);
    EXPECT_EQ(testimg::ReadFileBytes(path_ + ".tmp"), theirs);
    EXPECT_EQ(folder_.Names(), (Names{"image.bmp", "image.bmp.tmp"}));
}

TEST_F(SafeWrite, DiskFullAndShortWritesLeaveTheOldFileAndNoTemporary) {
    for (int budget : {0, 100, 4096, 6999}) {
        SCOPED_TRACE(budget);
        testimg::WriteFileBytes(path_, old_);
        failAfterBytes = budget;
        std::string error;
        EXPECT_FALSE(Write(error));
        EXPECT_NE(error.find(kWriteFailedText), std::string::npos) << error;
        EXPECT_EQ(testimg::ReadFileBytes(path_), old_);
        EXPECT_EQ(folder_.Names(), Names{"image.bmp"});
    }
    // With no earlier file, nothing is left at all.
    std::remove(path_.c_str());
    failAfterBytes = 10;
    std::string error;
    EXPECT_FALSE(Write(error));
    EXPECT_EQ(folder_.Names(), Names{});
}

TEST_F(SafeWrite, CreateFsyncAndRenameFailuresLoseNothing) {
    const auto fails = [this](const char* text) {
        testimg::WriteFileBytes(path_, old_);
        std::string error;
        EXPECT_FALSE(Write(error));
        EXPECT_NE(error.find(text), std::string::npos) << error;
        EXPECT_EQ(testimg::ReadFileBytes(path_), old_);
        EXPECT_EQ(folder_.Names(), Names{"image.bmp"});
        cli::Ops = kSystemOps;
    };
    cli::Ops.open = [](const char*, int, unsigned) {
        errno = EACCES;
        return -1;
    };
    fails(kCannotSaveText);
    cli::Ops.fsync = [](int) {
        errno = EIO;
        return -1;
    };
    fails(kWriteFailedText);
    cli::Ops.close = [](int fd) {
        ::close(fd);
        errno = EIO; // as NFS reports a failed write
        return -1;
    };
    fails(kWriteFailedText);
    cli::Ops.rename = [](const char*, const char*) {
        errno = EXDEV;
        return -1;
    };
    fails(kCannotSaveText);
}

// The check asks the system whether the running user may write the file (a file of another
// user, say, in a folder the user may write), not the mode bits alone; nothing is created.
TEST_F(SafeWrite, AFileTheUserMayNotWriteIsRefusedBeforeAnythingIsWritten) {
    testimg::WriteFileBytes(path_, old_);
    static int opened;
    opened = 0;
    cli::Ops.access = [](const char*, int) {
        errno = EACCES;
        return -1;
    };
    cli::Ops.open = [](const char* path, int flags, unsigned mode) {
        ++opened;
        return ::open(path, flags, mode);
    };
    std::string error;
    EXPECT_FALSE(Write(error));
    EXPECT_EQ(error, cli::Say(kCannotOverwriteText) + " (Permission denied)");
    EXPECT_EQ(opened, 0);
    EXPECT_EQ(testimg::ReadFileBytes(path_), old_);
    EXPECT_EQ(folder_.Names(), Names{"image.bmp"});
}

// A process killed in the middle of its write, by SIGKILL or by the signals of Ctrl+C and
// kill: the file is still the old one, and after a signal that can be handled no temporary
// is left. The child stops halfway through the new file's bytes and tells the parent.
TEST_F(SafeWrite, AProcessKilledMidWriteLeavesTheOldFile) {
    static int toParent;
    for (const int signal : {SIGKILL, SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        testimg::WriteFileBytes(path_, old_);
        int halfway[2];
        ASSERT_EQ(pipe(halfway), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(halfway[0]);
            toParent = halfway[1];
            cli::RemoveTemporariesOnSignals();
            cli::Ops.write = [](int fd, const void* data, unsigned long size) -> long {
                const long done = ::write(fd, data, std::min(size, 3000ul));
                (void)::write(toParent, "h", 1);
                for (;;) {
                    pause();
                }
                return done;
            };
            std::string error;
            cli::WriteAtomically(path_, fresh_.data(), fresh_.size(), error);
            _exit(0);
        }
        close(halfway[1]);
        char said = 0;
        ASSERT_EQ(read(halfway[0], &said, 1), 1);
        close(halfway[0]);
        ASSERT_EQ(kill(child, signal), 0);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
        EXPECT_EQ(testimg::ReadFileBytes(path_), old_);
        Names names = folder_.Names();
        if (signal == SIGKILL) {
            // Nothing can remove the temporary after SIGKILL; it is hidden, and named after
            // the file.
            ASSERT_EQ(names.size(), 2u);
            const std::string left = *names.begin();
            EXPECT_EQ(left.rfind(".image.bmp.", 0), 0u) << left;
            EXPECT_EQ(left.size(), std::string(".image.bmp.12345678.tmp").size()) << left;
            std::remove(folder_.Path(left).c_str());
            names = folder_.Names();
        }
        EXPECT_EQ(names, Names{"image.bmp"});
    }
}

} // namespace
