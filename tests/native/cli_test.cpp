// The command-line tool, run as a separate process on files in a temporary folder.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/bmp_builder.h"
#include "tests/support/recorder.h"
#include "core/quantize/basic_palette.h"
#include "tests/support/literal_diffusion.h"
#include "tests/support/literal_exact.h"
#include "tw_version.h"

namespace {

using testimg::Bytes;

class Cli : public testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/tw_cli_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

    std::string Path(const std::string& name) const { return dir_ + "/" + name; }

    // Runs the tool with the given arguments; returns its exit status, keeps its stderr.
    int Run(const std::string& arguments) {
        const std::string command = std::string(TW_CLI_PATH) + " " + arguments + " >'" +
                                    Path("stdout.txt") + "' 2>'" + Path("stderr.txt") + "'";
        const int status = std::system(command.c_str());
        stdout_ = Read(Path("stdout.txt"));
        stderr_ = Read(Path("stderr.txt"));
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    static std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    static Bytes ReadBytes(const std::string& path) {
        const std::string s = Read(path);
        return Bytes(s.begin(), s.end());
    }
    void Write(const std::string& path, const Bytes& bytes) {
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }
    static bool Exists(const std::string& path) {
        struct stat info;
        return stat(path.c_str(), &info) == 0;
    }

    std::string dir_, stdout_, stderr_;
};

Bytes FewColours() {
    return testimg::Make24(
        9, 7, [](int x, int r) { return (x + r) % 5 * 0x203040u; }, 0xEE);
}
Bytes ManyColours() {
    return testimg::Make24(300, 2, [](int x, int r) { return static_cast<std::uint32_t>(x + r); });
}

TEST_F(Cli, ExactConvertsToTheOutputAndLeavesTheInput) {
    const Bytes image = FewColours();
    Write(Path("in.bmp"), image);
    EXPECT_EQ(Run("exact " + Path("in.bmp") + " -o " + Path("out.bmp")), 0);
    EXPECT_EQ(stderr_, "");
    Bytes expected = image;
    ASSERT_EQ(literal::ReduceExact(expected), literal::ExactOutcome::Converted);
    EXPECT_EQ(ReadBytes(Path("out.bmp")), expected);
    EXPECT_EQ(ReadBytes(Path("in.bmp")), image);
    EXPECT_FALSE(Exists(Path("out.bmp.tmp")));
}

TEST_F(Cli, ExactWithoutOutputReplacesTheInputThroughASafetyCopy) {
    const Bytes image = FewColours();
    Write(Path("in.bmp"), image);
    EXPECT_EQ(Run("exact " + Path("in.bmp")), 0);
    Bytes expected = image;
    literal::ReduceExact(expected);
    EXPECT_EQ(ReadBytes(Path("in.bmp")), expected);
    EXPECT_FALSE(Exists(Path("in.bmp.tmp")));
}

TEST_F(Cli, RefusalsExitWithOneAndPrintTheProgramsMessage) {
    const Bytes many = ManyColours();
    Write(Path("many.bmp"), many);
    EXPECT_EQ(Run("exact " + Path("many.bmp") + " -o " + Path("out.bmp")), 1);
    EXPECT_NE(stderr_.find("２５６色以上使用しています"), std::string::npos) << stderr_;
    EXPECT_FALSE(Exists(Path("out.bmp")));
    EXPECT_EQ(ReadBytes(Path("many.bmp")), many);

    Write(Path("few.bmp"), FewColours());
    ASSERT_EQ(Run("exact " + Path("few.bmp")), 0);
    const Bytes converted = ReadBytes(Path("few.bmp"));
    EXPECT_EQ(Run("exact " + Path("few.bmp")), 1);
    EXPECT_NE(stderr_.find("すでに２５６です"), std::string::npos) << stderr_;
    EXPECT_EQ(ReadBytes(Path("few.bmp")), converted);
}

TEST_F(Cli, ManyFilesConvertTogetherAsEachWouldAlone) {
    Write(Path("few.bmp"), FewColours());
    Write(Path("photo.bmp"), ManyColours());
    ASSERT_EQ(Run("diffuse --adaptive " + Path("photo.bmp") + " -o " + Path("alone.bmp")), 0);
    Write(Path("indexed.bmp"), ReadBytes(Path("alone.bmp")));
    // Every file is tried: a missing one (3) counts before an indexed one (1).
    const std::string inputs = Path("few.bmp") + " " + Path("missing.bmp") + " " +
                               Path("indexed.bmp") + " " + Path("photo.bmp");
    EXPECT_EQ(Run("diffuse --adaptive " + inputs + " -d " + Path("out") + " -j 2"), 3);
    EXPECT_NE(stderr_.find("missing.bmp: ファイルが開けません"), std::string::npos) << stderr_;
    EXPECT_NE(stderr_.find("indexed.bmp: すでに２５６です"), std::string::npos) << stderr_;
    EXPECT_EQ(ReadBytes(Path("out/photo.bmp")), ReadBytes(Path("alone.bmp")));
    ASSERT_EQ(Run("diffuse --adaptive " + Path("few.bmp") + " -o " + Path("alone.bmp")), 0);
    EXPECT_EQ(ReadBytes(Path("out/few.bmp")), ReadBytes(Path("alone.bmp")));
    EXPECT_FALSE(Exists(Path("out/indexed.bmp")));
    EXPECT_EQ(Run("exact " + Path("few.bmp") + " " + Path("indexed.bmp") + " -d " + Path("out")),
              1);
}

TEST_F(Cli, InPlaceConversionKeepsLinksAndModesAndLeavesReadOnlyFiles) {
    const Bytes image = FewColours();
    Write(Path("target.bmp"), image);
    ASSERT_EQ(chmod(Path("target.bmp").c_str(), 0600), 0);
    ASSERT_EQ(symlink(Path("target.bmp").c_str(), Path("link.bmp").c_str()), 0);
    EXPECT_EQ(Run("exact " + Path("link.bmp")), 0);
    struct stat link, target;
    ASSERT_EQ(lstat(Path("link.bmp").c_str(), &link), 0);
    EXPECT_TRUE(S_ISLNK(link.st_mode));
    ASSERT_EQ(stat(Path("target.bmp").c_str(), &target), 0);
    EXPECT_EQ(target.st_mode & 07777, 0600u);
    EXPECT_EQ(ReadBytes(Path("target.bmp"))[28], 8);

    Write(Path("locked.bmp"), image);
    ASSERT_EQ(chmod(Path("locked.bmp").c_str(), 0444), 0);
    EXPECT_EQ(Run("exact " + Path("locked.bmp")), 3);
    EXPECT_NE(stderr_.find("上書き保存できません"), std::string::npos) << stderr_;
    EXPECT_EQ(ReadBytes(Path("locked.bmp")), image);
    EXPECT_FALSE(Exists(Path("locked.bmp.tmp")));
}

TEST_F(Cli, InPlaceConversionKeepsTheOwnerAndGroup) {
    if (getuid() != 0) {
        GTEST_SKIP() << "only root may give a file to another owner";
    }
    Write(Path("theirs.bmp"), FewColours());
    ASSERT_EQ(chown(Path("theirs.bmp").c_str(), 1234, 1235), 0);
    ASSERT_EQ(chmod(Path("theirs.bmp").c_str(), 0664), 0);
    EXPECT_EQ(Run("exact " + Path("theirs.bmp")), 0);
    struct stat info;
    ASSERT_EQ(stat(Path("theirs.bmp").c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, 1234u);
    EXPECT_EQ(info.st_gid, 1235u);
    EXPECT_EQ(info.st_mode & 07777, 0664u); // not narrowed by the umask
    EXPECT_EQ(ReadBytes(Path("theirs.bmp"))[28], 8);
}

// Results that would meet on one file are refused before anything is read or written.
TEST_F(Cli, InputsWhoseResultsWouldMeetAreRefusedBeforeAnyWrite) {
    const Bytes image = FewColours();
    ASSERT_EQ(mkdir(Path("d1").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(Path("d2").c_str(), 0755), 0);
    Write(Path("d1/x.bmp"), image);
    Write(Path("d2/x.bmp"), image);
    EXPECT_EQ(Run("diffuse " + Path("d1/x.bmp") + " " + Path("d2/x.bmp") + " -d " + Path("out")),
              2);
    EXPECT_NE(stderr_.find("d1/x.bmp and " + Path("d2/x.bmp")), std::string::npos) << stderr_;
    EXPECT_FALSE(Exists(Path("out")));
    // The same file twice, by one name or through a link: never two workers on one file.
    EXPECT_EQ(Run("exact " + Path("d1/x.bmp") + " " + Path("d1/x.bmp") + " -j 2"), 2);
    ASSERT_EQ(symlink(Path("d1/x.bmp").c_str(), Path("link.bmp").c_str()), 0);
    EXPECT_EQ(Run("exact " + Path("link.bmp") + " " + Path("d1/x.bmp") + " -j 2"), 2);
    // A result may not go over another input either.
    ASSERT_EQ(symlink(Path("d1/x.bmp").c_str(), Path("d2/y.bmp").c_str()), 0);
    EXPECT_EQ(Run("exact " + Path("d2/y.bmp") + " " + Path("x.bmp") + " -d " + Path("d1")), 2);
    EXPECT_EQ(ReadBytes(Path("d1/x.bmp")), image);
    EXPECT_EQ(ReadBytes(Path("d2/x.bmp")), image);
}

TEST_F(Cli, WhatIsNotARegularFileIsNeverWrittenOver) {
    Write(Path("in.bmp"), FewColours());
    ASSERT_EQ(mkdir(Path("full").c_str(), 0755), 0);
    EXPECT_EQ(Run("exact " + Path("in.bmp") + " -o " + Path("full")), 3);
    EXPECT_NE(stderr_.find(Path("full") + ": "), std::string::npos) << stderr_;
    struct stat info;
    ASSERT_EQ(stat(Path("full").c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_FALSE(Exists(Path("full.tmp")));
    ASSERT_EQ(mkdir(Path("dd").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(Path("dd/in.bmp").c_str(), 0755), 0);
    EXPECT_EQ(Run("exact " + Path("in.bmp") + " -d " + Path("dd")), 3);
    ASSERT_EQ(stat(Path("dd/in.bmp").c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_FALSE(Exists(Path("dd/in.bmp.tmp")));
    // The folder of -d appears only with a result to put in it.
    EXPECT_EQ(Run("exact " + Path("missing.bmp") + " -d " + Path("out")), 3);
    EXPECT_FALSE(Exists(Path("out")));
}

TEST_F(Cli, UsageErrorsExitWithTwo) {
    EXPECT_EQ(Run(""), 2);
    EXPECT_NE(stderr_.find("Usage:"), std::string::npos);
    EXPECT_EQ(Run("shrink " + Path("in.bmp")), 2);
    EXPECT_EQ(Run("exact"), 2);
    EXPECT_EQ(Run("exact a.bmp b.bmp -o out.bmp"), 2); // -o takes one input
    EXPECT_EQ(Run("exact a.bmp -o out.bmp -d dir"), 2);
    EXPECT_EQ(Run("exact a.bmp -o"), 2);
    EXPECT_EQ(Run("exact a.bmp --fast"), 2);
    EXPECT_EQ(Run("diffuse a.bmp --palette p.pal"), 2); // how many fixed colours?
    EXPECT_NE(stderr_.find("--palette needs --fixed N"), std::string::npos) << stderr_;
    // After "--" a name may start with '-'.
    Write(Path("-x.bmp"), FewColours());
    const std::string inFolder = "cd '" + dir_ + "' && " + TW_CLI_PATH;
    EXPECT_EQ(std::system((inFolder + " exact -o out.bmp -- -x.bmp").c_str()), 0);
    EXPECT_EQ(ReadBytes(Path("out.bmp"))[28], 8);
    EXPECT_EQ(Run("--help"), 0);
    EXPECT_NE(stdout_.find("exact IN.bmp"), std::string::npos);
    EXPECT_EQ(Run("--version"), 0);
    EXPECT_EQ(stdout_, "tintwright " TW_VERSION_TEXT "\n");
}

TEST_F(Cli, FileProblemsExitWithThreeAndChangeNothing) {
    EXPECT_EQ(Run("exact " + Path("missing.bmp") + " -o " + Path("out.bmp")), 3);
    EXPECT_NE(stderr_.find("ファイルが開けません"), std::string::npos) << stderr_;
    EXPECT_FALSE(Exists(Path("out.bmp")));
    // What is not a regular file is said to be so, a directory as a directory.
    EXPECT_EQ(Run("exact /dev/null -o " + Path("out.bmp")), 3);
    EXPECT_NE(stderr_.find("ファイルが読めません (not a regular file)"), std::string::npos)
        << stderr_;
    EXPECT_EQ(Run("exact " + Path("") + " -o " + Path("out.bmp")), 3);
    EXPECT_NE(stderr_.find("ファイルが読めません (Is a directory)"), std::string::npos) << stderr_;
    EXPECT_FALSE(Exists(Path("out.bmp")));

    const Bytes image = FewColours();
    Write(Path("in.bmp"), image);
    EXPECT_EQ(Run("exact " + Path("in.bmp") + " -o " + Path("no/such/dir/out.bmp")), 3);

    // An existing OUT.tmp is never replaced or removed, and OUT stays as it was.
    const Bytes previous = {'p', 'r', 'e', 'v'};
    const Bytes stale = {'s', 't', 'a', 'l', 'e'};
    Write(Path("out.bmp"), previous);
    Write(Path("out.bmp.tmp"), stale);
    EXPECT_EQ(Run("exact " + Path("in.bmp") + " -o " + Path("out.bmp")), 3);
    EXPECT_NE(stderr_.find(".tmp"), std::string::npos) << stderr_;
    EXPECT_EQ(ReadBytes(Path("out.bmp")), previous);
    EXPECT_EQ(ReadBytes(Path("out.bmp.tmp")), stale);
    EXPECT_EQ(ReadBytes(Path("in.bmp")), image);
}

TEST_F(Cli, DiffuseConvertsWithTheFixedColoursOfAPaletteFile) {
    const Bytes image = testimg::Make24(40, 30, [](int x, int r) {
        return static_cast<std::uint32_t>(x * 6 << 16 | r * 8 << 8 | 77);
    });
    Write(Path("in.bmp"), image);
    // The long format, chosen by the 'z' in "zpl".
    Bytes file(1572, 0);
    Bytes table(1024, 0);
    for (int i = 0; i < 256; ++i) {
        file[36 + 6 * i + 2] = static_cast<std::uint8_t>(i);
        file[36 + 6 * i + 3] = static_cast<std::uint8_t>(255 - i);
        file[36 + 6 * i + 4] = 40;
        table[4 * i + 2] = static_cast<std::uint8_t>(i);
        table[4 * i + 1] = static_cast<std::uint8_t>(255 - i);
        table[4 * i] = 40;
    }
    Write(Path("user.zpl"), file);
    EXPECT_EQ(Run("diffuse " + Path("in.bmp") + " -o " + Path("out.bmp") + " --palette " +
                  Path("user.zpl") + " --fixed 20"),
              0);
    EXPECT_EQ(stderr_, ""); // no terminal, no progress bar
    Bytes expected = image;
    testimg::Recorder silent;
    ASSERT_EQ(literal::Diffuse(expected, 20, table.data(), quantize::kBasicPalette, silent),
              quantize::Outcome::Converted);
    EXPECT_EQ(ReadBytes(Path("out.bmp")), expected);
    EXPECT_EQ(ReadBytes(Path("in.bmp")), image);
}

TEST_F(Cli, DiffuseShowsAProgressBarOnlyOnATerminal) {
    Write(Path("in.bmp"), testimg::Make24(300, 200, [](int x, int r) {
              return static_cast<std::uint32_t>(x << 16 | r << 8 | (x ^ r));
          }));
    // `script` gives the tool a terminal; its output is what that terminal showed.
    const std::string command = "script -qec \"" + std::string(TW_CLI_PATH) + " diffuse " +
                                Path("in.bmp") + " -o " + Path("out.bmp") + "\" /dev/null > " +
                                Path("tty.txt") + " 2>&1";
    if (std::system("command -v script > /dev/null") != 0) {
        GTEST_SKIP() << "no script(1) to give the tool a terminal";
    }
    ASSERT_EQ(std::system(command.c_str()), 0);
    const std::string shown = Read(Path("tty.txt"));
    for (const char* text :
         {"固定パレット 0 / 基本パレット 42 / フリーパレット 214", "ビットマップ走査中",
          "パレット候補走査中", "ビットマップ変換中", "100%", "終わり"}) {
        EXPECT_NE(shown.find(text), std::string::npos) << text;
    }
    // Without a terminal, nothing but errors goes to standard error.
    EXPECT_EQ(Run("diffuse " + Path("in.bmp") + " -o " + Path("out2.bmp")), 0);
    EXPECT_EQ(stderr_, "");
    EXPECT_EQ(ReadBytes(Path("out.bmp")), ReadBytes(Path("out2.bmp")));
}

TEST_F(Cli, DiffuseRefusesAndRejectsLikeExact) {
    Write(Path("few.bmp"), FewColours());
    ASSERT_EQ(Run("exact " + Path("few.bmp")), 0);
    const Bytes converted = ReadBytes(Path("few.bmp"));
    EXPECT_EQ(Run("diffuse " + Path("few.bmp") + " -o " + Path("out.bmp")), 1);
    EXPECT_NE(stderr_.find("すでに２５６です"), std::string::npos) << stderr_;
    EXPECT_FALSE(Exists(Path("out.bmp")));
    EXPECT_EQ(ReadBytes(Path("few.bmp")), converted);

    EXPECT_EQ(Run("diffuse " + Path("few.bmp") + " --fixed 3"), 2); // needs --palette
    EXPECT_EQ(Run("diffuse " + Path("few.bmp") + " --palette p.pal --fixed 257"), 2);
    EXPECT_EQ(Run("diffuse " + Path("few.bmp") + " --palette p.pal --fixed x"), 2);
    EXPECT_EQ(Run("exact " + Path("few.bmp") + " --fixed 3"), 2);
    EXPECT_EQ(Run("diffuse " + Path("few.bmp") + " --palette " + Path("none.pal") + " --fixed 3"),
              3);
}

TEST_F(Cli, EveryCorpusFileConvertsOrIsRefusedWithoutTouchingFiles) {
    const std::string root = TW_CORPUS_DIR;
    struct stat info;
    if (stat(root.c_str(), &info) != 0) {
        GTEST_SKIP() << "no corpus at " << root;
    }
    int converted = 0, refused = 0;
    for (const char* folder : {"g", "q", "b"}) {
        const std::string list = Path("list.txt");
        std::system(("ls '" + root + "/" + folder + "' > '" + list + "'").c_str());
        std::ifstream names(list);
        for (std::string name; std::getline(names, name);) {
            const std::string source = root + "/" + folder + "/" + name;
            const Bytes original = ReadBytes(source);
            for (const char* command : {"exact", "diffuse"}) {
                SCOPED_TRACE(std::string(command) + " " + source);
                std::remove(Path("out.bmp").c_str());
                const int code =
                    Run(std::string(command) + " '" + source + "' -o " + Path("out.bmp"));
                ASSERT_TRUE(code == 0 || code == 1) << stderr_;
                EXPECT_EQ(Exists(Path("out.bmp")), code == 0);
                EXPECT_EQ(ReadBytes(source), original);
                (code == 0 ? converted : refused) += 1;
            }
        }
    }
    EXPECT_GT(converted, 0);
    EXPECT_GT(refused, 0);
}

} // namespace
