// The command-line tool, run as a separate process on files in a temporary folder.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <csignal>
#include <iterator>
#include <set>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "cli/options.h"
#include "tests/support/bmp_builder.h"
#include "tests/support/corpus.h"
#include "tests/support/temp_folder.h"
#include "tests/support/recorder.h"
#include "core/palette/palette_formats.h"
#include "core/quantize/basic_palette.h"
#include "tests/support/literal_diffusion.h"
#include "tests/support/literal_exact.h"
#include "tw_version.h"

namespace {

using testimg::Bytes;

using testimg::PathExists;
using testimg::ReadFileBytes;
using testimg::WriteFileBytes;

class Cli : public testing::Test {
  protected:
    void SetUp() override { ASSERT_FALSE(folder_.path().empty()); }

    std::string Path(const std::string& name) const { return folder_.Path(name); }

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
        const Bytes bytes = ReadFileBytes(path);
        return std::string(bytes.begin(), bytes.end());
    }

    testimg::TempFolder folder_;
    std::string stdout_, stderr_;
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
    WriteFileBytes(Path("in.bmp"), image);
    EXPECT_EQ(Run("exact " + Path("in.bmp") + " -o " + Path("out.bmp")), 0);
    EXPECT_EQ(stderr_, "");
    Bytes expected = image;
    ASSERT_EQ(literal::ReduceExact(expected), literal::ExactOutcome::Converted);
    EXPECT_EQ(ReadFileBytes(Path("out.bmp")), expected);
    EXPECT_EQ(ReadFileBytes(Path("in.bmp")), image);
    EXPECT_FALSE(PathExists(Path("out.bmp.tmp")));
}

TEST_F(Cli, ExactWithoutOutputReplacesTheInput) {
    const Bytes image = FewColours();
    WriteFileBytes(Path("in.bmp"), image);
    EXPECT_EQ(Run("exact " + Path("in.bmp")), 0);
    Bytes expected = image;
    literal::ReduceExact(expected);
    EXPECT_EQ(ReadFileBytes(Path("in.bmp")), expected);
    EXPECT_EQ(folder_.Names(), (std::set<std::string>{"in.bmp", "stderr.txt", "stdout.txt"}));
}

// Ctrl+C while a large result is being written in place: the file is the old one or the new
// one, whole, and no temporary is left. The signal goes as soon as the temporary appears
// (before the tool's write ends, in every run measured but for a few); the attempts go on
// until one was interrupted.
TEST_F(Cli, AnInterruptedWriteLeavesTheOldFileAndNoTemporary) {
    const Bytes image = testimg::Make24(4000, 3000, [](int x, int r) {
        return static_cast<std::uint32_t>((x / 16 + r / 16 * 3) % 200 * 0x010305);
    });
    WriteFileBytes(Path("in.bmp"), image);
    ASSERT_EQ(Run("exact " + Path("in.bmp") + " -o " + Path("converted.bmp")), 0);
    const Bytes converted = ReadFileBytes(Path("converted.bmp"));
    ASSERT_EQ(mkdir(Path("work").c_str(), 0755), 0);
    const std::string path = Path("work/in.bmp");
    bool interrupted = false;
    for (int attempt = 0; attempt < 10 && !interrupted; ++attempt) {
        WriteFileBytes(path, image);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            execl(TW_CLI_PATH, TW_CLI_PATH, "exact", path.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        int status = 0;
        pid_t ended = 0;
        while ((ended = waitpid(child, &status, WNOHANG)) == 0) {
            const std::set<std::string> names = folder_.Names("work");
            if (names.size() > 1 || names.count("in.bmp") == 0) {
                kill(child, SIGINT);
                ended = waitpid(child, &status, 0);
                break;
            }
        }
        ASSERT_EQ(ended, child);
        interrupted = WIFSIGNALED(status) && WTERMSIG(status) == SIGINT;
        EXPECT_TRUE(interrupted || (WIFEXITED(status) && WEXITSTATUS(status) == 0)) << status;
        const Bytes now = ReadFileBytes(path);
        EXPECT_TRUE(now == image || now == converted) << now.size() << " bytes";
        EXPECT_EQ(folder_.Names("work"), std::set<std::string>{"in.bmp"});
    }
    EXPECT_TRUE(interrupted) << "the write always ended before the signal";
}

TEST_F(Cli, RefusalsExitWithOneAndPrintTheProgramsMessage) {
    const Bytes many = ManyColours();
    WriteFileBytes(Path("many.bmp"), many);
    EXPECT_EQ(Run("exact " + Path("many.bmp") + " -o " + Path("out.bmp")), 1);
    EXPECT_NE(stderr_.find("２５６色以上使用しています"), std::string::npos) << stderr_;
    EXPECT_FALSE(PathExists(Path("out.bmp")));
    EXPECT_EQ(ReadFileBytes(Path("many.bmp")), many);

    WriteFileBytes(Path("few.bmp"), FewColours());
    ASSERT_EQ(Run("exact " + Path("few.bmp")), 0);
    const Bytes converted = ReadFileBytes(Path("few.bmp"));
    EXPECT_EQ(Run("exact " + Path("few.bmp")), 1);
    EXPECT_NE(stderr_.find("すでに２５６です"), std::string::npos) << stderr_;
    EXPECT_EQ(ReadFileBytes(Path("few.bmp")), converted);

    // An 8-bit file cut short is said to be so by every command, before anything else; one
    // of a bit count no BMP has is of a kind none converts.
    Bytes cut = converted;
    cut.resize(cut.size() - 3);
    WriteFileBytes(Path("cut.bmp"), cut);
    Bytes twoBits = converted;
    twoBits[bmp::kBiBitCount] = 2;
    WriteFileBytes(Path("two.bmp"), twoBits);
    const std::string out = " -d " + Path("out");
    for (const auto& [command, output] :
         std::vector<std::pair<std::string, std::string>>{{"exact", out},
                                                          {"diffuse", out},
                                                          {"diffuse --adaptive", out},
                                                          {"palette", " -o " + Path("p.gpl")}}) {
        EXPECT_EQ(Run(command + " " + Path("cut.bmp") + output), 1) << command;
        EXPECT_NE(stderr_.find("画像のデータが途中で切れているため変換できません"),
                  std::string::npos)
            << command << ": " << stderr_;
        EXPECT_EQ(Run(command + " " + Path("two.bmp") + output), 1) << command;
        EXPECT_NE(stderr_.find("この形式のBMPは変換できません"), std::string::npos)
            << command << ": " << stderr_;
    }
    EXPECT_FALSE(PathExists(Path("out")));
    EXPECT_FALSE(PathExists(Path("p.gpl")));
}

TEST_F(Cli, ManyFilesConvertTogetherAsEachWouldAlone) {
    WriteFileBytes(Path("few.bmp"), FewColours());
    WriteFileBytes(Path("photo.bmp"), ManyColours());
    ASSERT_EQ(Run("diffuse --adaptive " + Path("photo.bmp") + " -o " + Path("alone.bmp")), 0);
    WriteFileBytes(Path("indexed.bmp"), ReadFileBytes(Path("alone.bmp")));
    // Every file is tried, an indexed one too (--adaptive converts it as the colours it shows).
    const std::string inputs = Path("few.bmp") + " " + Path("missing.bmp") + " " +
                               Path("indexed.bmp") + " " + Path("photo.bmp");
    EXPECT_EQ(Run("diffuse --adaptive " + inputs + " -d " + Path("out") + " -j 2"), 3);
    EXPECT_NE(stderr_.find("missing.bmp: cannot open the file [ファイルが開けません]"),
              std::string::npos)
        << stderr_;
    EXPECT_EQ(ReadFileBytes(Path("out/photo.bmp")), ReadFileBytes(Path("alone.bmp")));
    for (const char* name : {"few.bmp", "indexed.bmp"}) {
        ASSERT_EQ(Run("diffuse --adaptive " + Path(name) + " -o " + Path("alone.bmp")), 0);
        EXPECT_EQ(ReadFileBytes(Path("out/") + name), ReadFileBytes(Path("alone.bmp"))) << name;
    }
    // A missing file (3) counts before an indexed one that 誤差拡散 refuses (1).
    EXPECT_EQ(
        Run("diffuse " + Path("indexed.bmp") + " " + Path("missing.bmp") + " -d " + Path("out2")),
        3);
    EXPECT_NE(
        stderr_.find(
            "indexed.bmp: already an indexed image of 256 colours or fewer [すでに２５６です]"),
        std::string::npos)
        << stderr_;
    EXPECT_FALSE(PathExists(Path("out2/indexed.bmp")));
    EXPECT_EQ(Run("exact " + Path("few.bmp") + " " + Path("indexed.bmp") + " -d " + Path("out")),
              1);
}

TEST_F(Cli, InPlaceConversionKeepsLinksAndModesAndLeavesReadOnlyFiles) {
    const Bytes image = FewColours();
    WriteFileBytes(Path("target.bmp"), image);
    ASSERT_EQ(chmod(Path("target.bmp").c_str(), 0600), 0);
    ASSERT_EQ(symlink(Path("target.bmp").c_str(), Path("link.bmp").c_str()), 0);
    EXPECT_EQ(Run("exact " + Path("link.bmp")), 0);
    struct stat link, target;
    ASSERT_EQ(lstat(Path("link.bmp").c_str(), &link), 0);
    EXPECT_TRUE(S_ISLNK(link.st_mode));
    ASSERT_EQ(stat(Path("target.bmp").c_str(), &target), 0);
    EXPECT_EQ(target.st_mode & 07777, 0600u);
    EXPECT_EQ(ReadFileBytes(Path("target.bmp"))[28], 8);

    WriteFileBytes(Path("locked.bmp"), image);
    ASSERT_EQ(chmod(Path("locked.bmp").c_str(), 0444), 0);
    EXPECT_EQ(Run("exact " + Path("locked.bmp")), 3);
    EXPECT_NE(stderr_.find("上書き保存できません"), std::string::npos) << stderr_;
    EXPECT_EQ(ReadFileBytes(Path("locked.bmp")), image);
    EXPECT_FALSE(PathExists(Path("locked.bmp.tmp")));
}

// A file of another user, mode 644, in a folder everyone may write: the folder would let the
// tool replace it, the file says no. Refused before anything is written. (Root makes the
// file and runs the tool as nobody; another user cannot make a file of someone else's.)
TEST_F(Cli, AFileTheUserMayNotWriteIsRefused) {
    if (getuid() != 0 || std::system("command -v setpriv > /dev/null") != 0) {
        GTEST_SKIP() << "needs root and setpriv to run the tool as another user";
    }
    ASSERT_EQ(mkdir(Path("shared").c_str(), 0777), 0);
    ASSERT_EQ(chmod(Path("shared").c_str(), 0777), 0); // not narrowed by the umask
    ASSERT_EQ(chmod(folder_.path().c_str(), 0755), 0);
    const Bytes image = FewColours();
    WriteFileBytes(Path("shared/theirs.bmp"), image);
    ASSERT_EQ(chmod(Path("shared/theirs.bmp").c_str(), 0644), 0);
    EXPECT_EQ(Run("--version >/dev/null; setpriv --reuid=65534 --regid=65534 --clear-groups " +
                  std::string(TW_CLI_PATH) + " exact " + Path("shared/theirs.bmp")),
              3);
    EXPECT_NE(
        stderr_.find(
            "theirs.bmp: cannot overwrite the file [上書き保存できません] (Permission denied)"),
        std::string::npos)
        << stderr_;
    EXPECT_EQ(ReadFileBytes(Path("shared/theirs.bmp")), image);
    struct stat info;
    ASSERT_EQ(stat(Path("shared/theirs.bmp").c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, 0u);
    EXPECT_EQ(folder_.Names("shared"), std::set<std::string>{"theirs.bmp"});
}

TEST_F(Cli, InPlaceConversionKeepsTheOwnerAndGroup) {
    if (getuid() != 0) {
        GTEST_SKIP() << "only root may give a file to another owner";
    }
    WriteFileBytes(Path("theirs.bmp"), FewColours());
    ASSERT_EQ(chown(Path("theirs.bmp").c_str(), 1234, 1235), 0);
    ASSERT_EQ(chmod(Path("theirs.bmp").c_str(), 0664), 0);
    EXPECT_EQ(Run("exact " + Path("theirs.bmp")), 0);
    struct stat info;
    ASSERT_EQ(stat(Path("theirs.bmp").c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, 1234u);
    EXPECT_EQ(info.st_gid, 1235u);
    EXPECT_EQ(info.st_mode & 07777, 0664u); // not narrowed by the umask
    EXPECT_EQ(ReadFileBytes(Path("theirs.bmp"))[28], 8);
}

// Results that would meet on one file are refused before anything is read or written.
TEST_F(Cli, InputsWhoseResultsWouldMeetAreRefusedBeforeAnyWrite) {
    const Bytes image = FewColours();
    ASSERT_EQ(mkdir(Path("d1").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(Path("d2").c_str(), 0755), 0);
    WriteFileBytes(Path("d1/x.bmp"), image);
    WriteFileBytes(Path("d2/x.bmp"), image);
    EXPECT_EQ(Run("diffuse " + Path("d1/x.bmp") + " " + Path("d2/x.bmp") + " -d " + Path("out")),
              2);
    EXPECT_NE(stderr_.find("d1/x.bmp and " + Path("d2/x.bmp")), std::string::npos) << stderr_;
    EXPECT_FALSE(PathExists(Path("out")));
    // The same file twice, by one name or through a link: never two workers on one file.
    EXPECT_EQ(Run("exact " + Path("d1/x.bmp") + " " + Path("d1/x.bmp") + " -j 2"), 2);
    ASSERT_EQ(symlink(Path("d1/x.bmp").c_str(), Path("link.bmp").c_str()), 0);
    EXPECT_EQ(Run("exact " + Path("link.bmp") + " " + Path("d1/x.bmp") + " -j 2"), 2);
    // A result may not go over another input either.
    ASSERT_EQ(symlink(Path("d1/x.bmp").c_str(), Path("d2/y.bmp").c_str()), 0);
    EXPECT_EQ(Run("exact " + Path("d2/y.bmp") + " " + Path("x.bmp") + " -d " + Path("d1")), 2);
    EXPECT_EQ(ReadFileBytes(Path("d1/x.bmp")), image);
    EXPECT_EQ(ReadFileBytes(Path("d2/x.bmp")), image);
}

TEST_F(Cli, WhatIsNotARegularFileIsNeverWrittenOver) {
    WriteFileBytes(Path("in.bmp"), FewColours());
    ASSERT_EQ(mkdir(Path("full").c_str(), 0755), 0);
    EXPECT_EQ(Run("exact " + Path("in.bmp") + " -o " + Path("full")), 3);
    EXPECT_NE(stderr_.find(Path("full") + ": "), std::string::npos) << stderr_;
    struct stat info;
    ASSERT_EQ(stat(Path("full").c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_FALSE(PathExists(Path("full.tmp")));
    ASSERT_EQ(mkdir(Path("dd").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(Path("dd/in.bmp").c_str(), 0755), 0);
    EXPECT_EQ(Run("exact " + Path("in.bmp") + " -d " + Path("dd")), 3);
    ASSERT_EQ(stat(Path("dd/in.bmp").c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_FALSE(PathExists(Path("dd/in.bmp.tmp")));
    // The folder of -d appears only with a result to put in it.
    EXPECT_EQ(Run("exact " + Path("missing.bmp") + " -d " + Path("out")), 3);
    EXPECT_FALSE(PathExists(Path("out")));
}

// The command line, read without running the tool: what it takes and what it refuses.
TEST(CliOptions, WhatIsTakenAndWhatIsRefused) {
    const auto parse = [](std::vector<const char*> words, cli::Options& options) {
        words.insert(words.begin(), "tintwright");
        std::string problem;
        return cli::ParseArguments(static_cast<int>(words.size()), words.data(), options, problem)
                   ? std::string()
                   : problem;
    };
    cli::Options o;
    EXPECT_EQ(parse({"diffuse", "a.bmp", "-d", "out", "--palette", "p.pal", "--fixed", "20",
                     "--adaptive", "-j", "3", "--verbose"},
                    o),
              "");
    EXPECT_EQ(o.command, "diffuse");
    EXPECT_EQ(o.inputs, std::vector<std::string>{"a.bmp"});
    EXPECT_EQ(o.directory, "out");
    EXPECT_EQ(o.fixed, 20);
    EXPECT_TRUE(o.adaptive && o.verbose && !o.quiet);
    EXPECT_EQ(o.jobs, 3);
    cli::Options ended;
    EXPECT_EQ(parse({"exact", "-d", "out", "--", "-x.bmp", "--quiet"}, ended), "");
    EXPECT_EQ(ended.inputs, (std::vector<std::string>{"-x.bmp", "--quiet"}));
    EXPECT_FALSE(ended.quiet);
    // A name of no other format, and the .pal that three formats share, take any --format.
    for (const auto& words : std::vector<std::vector<const char*>>{
             {"exact", "a.bmp", "-o", "y.out", "--format", "png"},
             {"palette", "a.bmp", "-o", "x.pal", "--format", "jasc"},
             {"palette", "a.bmp", "-o", "x.pal", "--format", "riff"},
             {"palette", "a.bmp", "-o", "x.colours", "--format", "act"}}) {
        cli::Options taken;
        EXPECT_EQ(parse(words, taken), "") << words[3];
    }

    for (const auto& [words, problem] :
         std::vector<std::pair<std::vector<const char*>, const char*>>{
             {{}, "no command given"},
             {{"shrink", "a.bmp"}, "unknown command shrink"},
             {{"exact"}, "no input file given"},
             {{"exact", "a.bmp", "b.bmp", "-o", "out.bmp"}, "-o takes one input file"},
             {{"exact", "a.bmp", "-o", "out.bmp", "-d", "dir"}, "-o and -d exclude each other"},
             {{"exact", "a.bmp", "-o"}, "option -o needs a value"},
             {{"exact", "a.bmp", "--fast"}, "unknown option --fast"},
             {{"exact", "a.bmp", "--fixed", "3"}, "belong to diffuse"},
             {{"diffuse", "a.bmp", "--fixed", "3"}, "--fixed above 0 needs --palette"},
             {{"diffuse", "a.bmp", "--palette", "p.pal", "--fixed", "257"}, "0 to 256"},
             {{"diffuse", "a.bmp", "--palette", "p.pal", "--fixed", "x"}, "0 to 256"},
             {{"exact", "a.bmp", "-j", "0"}, "1 to 1024"},
             {{"exact", "a.bmp", "--quiet", "--verbose"}, "exclude each other"},
             {{"palette", "a.bmp", "b.bmp"}, "palette needs -o PALETTE"},
             {{"palette", "a.bmp", "-o", "p.gpl", "--adaptive"}, "palette takes -o PALETTE"},
             {{"palette", "a.bmp", "-o", "p.pal", "--format", "bmp"}, "--format takes raw"},
             {{"diffuse", "a.bmp", "--format", "gpl"}, "--format takes bmp or png"},
             {{"diffuse", "a.bmp", "--colours", "16"}, "belong to diffuse --adaptive"},
             {{"diffuse", "a.bmp", "--adaptive", "--colours", "1"}, "2 to 256"},
             {{"diffuse", "a.bmp", "--adaptive", "--strength", "101"}, "0 to 100"},
             {{"diffuse", "a.bmp", "--adaptive", "--dither", "floyd"},
              "--dither takes fs, bayer8, none, atkinson"},
             {{"diffuse", "a.bmp", "--adaptive", "--dither", "none", "--strength", "50"},
              "go with error diffusion, not --dither none"},
             {{"diffuse", "a.bmp", "--adaptive", "--dither", "ordered", "--linear"},
              "go with error diffusion, not --dither bayer8"},
             {{"diffuse", "a.bmp", "--no-serpentine"}, "belong to diffuse --adaptive"},
             // A name that says another format than --format.
             {{"exact", "a.bmp", "-o", "y.bmp", "--format", "png"},
              "-o y.bmp names a bmp file, but --format says png"},
             {{"diffuse", "a.png", "-o", "y.PNG", "--format", "bmp"},
              "-o y.PNG names a png file, but --format says bmp"},
             {{"palette", "a.bmp", "-o", "x.gpl", "--format", "act"},
              "-o x.gpl names a gpl file, but --format says act"},
             {{"palette", "a.bmp", "-o", "x.pal", "--format", "gpl"}, "names a pal file"},
         }) {
        cli::Options options;
        const std::string said = parse(words, options);
        EXPECT_NE(said.find(problem), std::string::npos) << problem << ": " << said;
    }
}

TEST_F(Cli, UsageErrorsExitWithTwo) {
    EXPECT_EQ(Run(""), 2);
    EXPECT_NE(stderr_.find("Usage:"), std::string::npos);
    // After "--" a name may start with '-'.
    WriteFileBytes(Path("-x.bmp"), FewColours());
    const std::string inFolder = "cd '" + folder_.path() + "' && " + TW_CLI_PATH;
    EXPECT_EQ(std::system((inFolder + " exact -o out.bmp -- -x.bmp").c_str()), 0);
    EXPECT_EQ(ReadFileBytes(Path("out.bmp"))[28], 8);
    EXPECT_EQ(Run("--help"), 0);
    EXPECT_NE(stdout_.find("exact IN.bmp"), std::string::npos);
    // The key colour is the first fixed colour: without one there is none.
    WriteFileBytes(Path("few.bmp"), FewColours());
    EXPECT_EQ(Run("diffuse " + Path("few.bmp") + " --adaptive --key"), 2);
    EXPECT_NE(stderr_.find("--key takes the first fixed colour"), std::string::npos) << stderr_;
    EXPECT_EQ(ReadFileBytes(Path("few.bmp")), FewColours());
    EXPECT_EQ(Run("--version"), 0);
    EXPECT_EQ(stdout_, "tintwright " TW_VERSION_TEXT "\n");
}

TEST_F(Cli, FileProblemsExitWithThreeAndChangeNothing) {
    EXPECT_EQ(Run("exact " + Path("missing.bmp") + " -o " + Path("out.bmp")), 3);
    EXPECT_NE(stderr_.find("ファイルが開けません"), std::string::npos) << stderr_;
    EXPECT_FALSE(PathExists(Path("out.bmp")));
    // What is not a regular file is said to be so, a directory as a directory.
    EXPECT_EQ(Run("exact /dev/null -o " + Path("out.bmp")), 3);
    EXPECT_NE(stderr_.find("ファイルが読めません] (not a regular file)"), std::string::npos)
        << stderr_;
    EXPECT_EQ(Run("exact " + Path("") + " -o " + Path("out.bmp")), 3);
    EXPECT_NE(stderr_.find("ファイルが読めません] (Is a directory)"), std::string::npos) << stderr_;
    EXPECT_FALSE(PathExists(Path("out.bmp")));

    const Bytes image = FewColours();
    WriteFileBytes(Path("in.bmp"), image);
    EXPECT_EQ(Run("exact " + Path("in.bmp") + " -o " + Path("no/such/dir/out.bmp")), 3);
}

// x.bmp.tmp is a file like any other: converted in the same batch as x.bmp, in place, two at
// a time, each gets its own result, and nothing else in the folder changes.
TEST_F(Cli, AFileNamedLikeAnothersTemporaryIsConvertedBesideIt) {
    ASSERT_EQ(mkdir(Path("work").c_str(), 0755), 0);
    const Bytes first = ManyColours();
    const Bytes second = testimg::Make24(70, 50, [](int x, int r) {
        return static_cast<std::uint32_t>(x * 3 << 16 | r * 5 << 8 | (x ^ r));
    });
    WriteFileBytes(Path("work/x.bmp"), first);
    WriteFileBytes(Path("work/x.bmp.tmp"), second);
    WriteFileBytes(Path("work/y.bmp"), FewColours());
    EXPECT_EQ(Run("diffuse " + Path("work/x.bmp") + " " + Path("work/x.bmp.tmp") + " -j 2"), 0)
        << stderr_;
    for (const auto& [name, image] : {std::pair{"x.bmp", first}, {"x.bmp.tmp", second}}) {
        Bytes expected = image;
        testimg::Recorder silent;
        ASSERT_EQ(literal::Diffuse(expected, 0, nullptr, quantize::kBasicPalette, silent),
                  quantize::Outcome::Converted);
        EXPECT_EQ(ReadFileBytes(Path("work/") + name), expected) << name;
    }
    EXPECT_EQ(ReadFileBytes(Path("work/y.bmp")), FewColours());
    EXPECT_EQ(folder_.Names("work"), (std::set<std::string>{"x.bmp", "x.bmp.tmp", "y.bmp"}));
}

TEST_F(Cli, DiffuseConvertsWithTheFixedColoursOfAPaletteFile) {
    const Bytes image = testimg::Make24(40, 30, [](int x, int r) {
        return static_cast<std::uint32_t>(x * 6 << 16 | r * 8 << 8 | 77);
    });
    WriteFileBytes(Path("in.bmp"), image);
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
    WriteFileBytes(Path("user.zpl"), file);
    EXPECT_EQ(Run("diffuse " + Path("in.bmp") + " -o " + Path("out.bmp") + " --palette " +
                  Path("user.zpl") + " --fixed 20"),
              0);
    EXPECT_EQ(stderr_, ""); // no terminal, no progress bar
    Bytes expected = image;
    testimg::Recorder silent;
    ASSERT_EQ(literal::Diffuse(expected, 20, table.data(), quantize::kBasicPalette, silent),
              quantize::Outcome::Converted);
    EXPECT_EQ(ReadFileBytes(Path("out.bmp")), expected);
    EXPECT_EQ(ReadFileBytes(Path("in.bmp")), image);

    // A GIMP palette of those first 20 colours says how many it holds: --fixed 20 unsaid.
    std::string gimp = "GIMP Palette\nName: user\n";
    for (int i = 0; i < 20; ++i) {
        gimp += std::to_string(i) + " " + std::to_string(255 - i) + " 40\n";
    }
    WriteFileBytes(Path("user.gpl"), Bytes(gimp.begin(), gimp.end()));
    EXPECT_EQ(Run("diffuse " + Path("in.bmp") + " -o " + Path("gpl.bmp") + " --palette " +
                  Path("user.gpl")),
              0);
    EXPECT_EQ(ReadFileBytes(Path("gpl.bmp")), expected);
    // A raw palette does not say; a malformed one is refused. Nothing is written.
    WriteFileBytes(Path("raw.pal"), Bytes(768, 7));
    EXPECT_EQ(Run("diffuse " + Path("in.bmp") + " -o " + Path("no.bmp") + " --palette " +
                  Path("raw.pal")),
              2);
    EXPECT_NE(stderr_.find("--palette needs --fixed N"), std::string::npos) << stderr_;
    WriteFileBytes(Path("bad.gpl"), Bytes(gimp.begin(), gimp.end() - 4));
    EXPECT_EQ(Run("diffuse " + Path("in.bmp") + " -o " + Path("no.bmp") + " --palette " +
                  Path("bad.gpl") + " --fixed 3"),
              3);
    EXPECT_NE(stderr_.find("bad.gpl: not a palette"), std::string::npos) << stderr_;
    // A palette file over 1 MiB is refused whole, not read cut.
    std::string large = gimp + std::string(palette::kMaxPaletteFileBytes - gimp.size(), '#');
    WriteFileBytes(Path("large.gpl"), Bytes(large.begin(), large.end()));
    EXPECT_EQ(Run("diffuse " + Path("in.bmp") + " -o " + Path("no.bmp") + " --palette " +
                  Path("large.gpl")),
              0);
    large += "\n";
    WriteFileBytes(Path("large.gpl"), Bytes(large.begin(), large.end()));
    EXPECT_EQ(Run("diffuse " + Path("in.bmp") + " -o " + Path("no2.bmp") + " --palette " +
                  Path("large.gpl")),
              3);
    EXPECT_NE(stderr_.find("large.gpl: the file is too large [ファイルが大きすぎです]"),
              std::string::npos)
        << stderr_;
    EXPECT_FALSE(PathExists(Path("no2.bmp")));
}

// One palette for three images of different sizes, whose 200 colours together fit beside the
// user's four: each image then converts onto exactly that table and keeps every pixel.
TEST_F(Cli, PaletteMakesOneTableThatEveryImageThenTakes) {
    const auto colour = [](int k) { return static_cast<std::uint32_t>(k * 0x0B0705 + 0x102030); };
    const std::vector<std::pair<int, int>> sizes = {{31, 17}, {64, 40}, {9, 90}};
    std::vector<Bytes> images;
    std::string names;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const int first = static_cast<int>(i) * 60; // 80 colours each, 20 shared with the next
        images.push_back(testimg::Make24(sizes[i].first, sizes[i].second, [&](int x, int r) {
            return colour(first + (x * 3 + r * 7) % 80);
        }));
        names += " " + Path("in" + std::to_string(i) + ".bmp");
        WriteFileBytes(Path("in" + std::to_string(i) + ".bmp"), images.back());
    }
    const std::string user = "GIMP Palette\n1 2 3\n4 5 6\n7 8 9\n250 251 252\n";
    WriteFileBytes(Path("user.gpl"), Bytes(user.begin(), user.end()));
    ASSERT_EQ(Run("palette" + names + " -o " + Path("one.gpl") + " --palette " + Path("user.gpl") +
                  " -j 1"),
              0)
        << stderr_;
    ASSERT_EQ(Run("palette" + names + " -o " + Path("two.pal") + " --format jasc --palette " +
                  Path("user.gpl") + " -j 2"),
              0);
    EXPECT_EQ(Read(Path("two.pal")).rfind("JASC-PAL\r\n0100\r\n256\r\n", 0), 0u);
    const auto table = [this](const std::string& name) {
        const Bytes file = ReadFileBytes(Path(name));
        Bytes entries(1024, 0);
        palette::PaletteFileFacts facts;
        EXPECT_TRUE(palette::ReadPalette(file.data(), file.size(), false, entries.data(), facts));
        return entries;
    };
    const Bytes shared = table("one.gpl");
    EXPECT_EQ(table("two.pal"), shared); // the same with one thread or two
    EXPECT_EQ(Bytes(&shared[2 * 4], &shared[2 * 4 + 3]), (Bytes{9, 8, 7})); // user's come first

    ASSERT_EQ(Run("diffuse" + names + " --adaptive --palette " + Path("one.gpl") +
                  " --fixed 256 -d " + Path("out")),
              0);
    for (std::size_t i = 0; i < images.size(); ++i) {
        const Bytes out = ReadFileBytes(Path("out/in" + std::to_string(i) + ".bmp"));
        ASSERT_GT(out.size(), 1078u);
        for (int e = 0; e < 256; ++e) {
            ASSERT_EQ(Bytes(&out[54 + 4 * e], &out[57 + 4 * e]),
                      Bytes(&shared[4 * e], &shared[4 * e + 3]))
                << e;
        }
        const int width = sizes[i].first, stride = (width + 3) & ~3;
        for (int r = 0; r < sizes[i].second; ++r) {
            for (int x = 0; x < width; ++x) {
                const std::uint8_t* entry = &out[54 + 4 * out[1078 + r * stride + x]];
                const std::uint8_t* pixel = &images[i][54 + r * ((3 * width + 3) & ~3) + 3 * x];
                ASSERT_EQ(Bytes(entry, entry + 3), Bytes(pixel, pixel + 3)) << i << " " << x;
            }
        }
    }
    // The palette never goes over an input.
    EXPECT_EQ(Run("palette" + names + " -o " + Path("in1.bmp")), 2);
    EXPECT_EQ(ReadFileBytes(Path("in1.bmp")), images[1]);
}

// PNG and JPEG files: read by their content, written as PNG by the output's name or
// --format; an output of another kind is refused before anything happens, and a damaged
// file is reported with its name while nothing is written.
TEST_F(Cli, PngAndJpegFilesGoInAndOut) {
    // A PNG of few colours, made by the tool itself from a BMP.
    WriteFileBytes(Path("few.bmp"), FewColours());
    ASSERT_EQ(Run("exact " + Path("few.bmp") + " -o " + Path("few.png")), 0) << stderr_;
    const Bytes png = ReadFileBytes(Path("few.png"));
    ASSERT_GT(png.size(), 8u);
    EXPECT_EQ(Bytes(png.begin() + 1, png.begin() + 4), (Bytes{'P', 'N', 'G'}));
    // Read back by content, it converts to the same 8-bit BMP as the BMP itself.
    ASSERT_EQ(Run("exact " + Path("few.png") + " -o " + Path("from_png.bmp")), 0) << stderr_;
    ASSERT_EQ(Run("exact " + Path("few.bmp") + " -o " + Path("from_bmp.bmp")), 0);
    const Bytes fromPng = ReadFileBytes(Path("from_png.bmp"));
    const Bytes fromBmp = ReadFileBytes(Path("from_bmp.bmp"));
    ASSERT_EQ(fromPng.size(), fromBmp.size());
    EXPECT_EQ(Bytes(fromPng.begin() + 54, fromPng.end()),
              Bytes(fromBmp.begin() + 54, fromBmp.end()));
    // -d keeps the name, so a PNG stays a PNG; --format bmp writes a BMP under any name.
    ASSERT_EQ(Run("diffuse " + Path("few.png") + " -d " + Path("out") + " --adaptive"), 0);
    EXPECT_EQ(ReadFileBytes(Path("out/few.png"))[1], 'P');
    ASSERT_EQ(Run("diffuse " + Path("few.png") + " -o " + Path("b.img") + " --format bmp"), 0);
    EXPECT_EQ(ReadFileBytes(Path("b.img"))[0], 'B');
    // ... but not under a name that says PNG.
    EXPECT_EQ(Run("diffuse " + Path("few.png") + " -o " + Path("b.png") + " --format bmp"), 2);
    EXPECT_NE(stderr_.find("b.png names a png file, but --format says bmp"), std::string::npos)
        << stderr_;
    EXPECT_FALSE(PathExists(Path("b.png")));

    // A JPEG, made by ImageMagick (the set-up installs it): read, converted, written as asked.
    ASSERT_EQ(std::system(("convert " + Path("few.bmp") + " " + Path("few.jpg")).c_str()), 0);
    EXPECT_EQ(Run("diffuse " + Path("few.jpg") + " -o " + Path("jpg.bmp")), 0) << stderr_;
    EXPECT_EQ(ReadFileBytes(Path("jpg.bmp"))[28], 8);
    // A palette is made of them as of BMP files: a PNG gives the palette of its BMP twin.
    ASSERT_EQ(Run("palette " + Path("few.png") + " -o " + Path("png.gpl")), 0) << stderr_;
    ASSERT_EQ(Run("palette " + Path("few.bmp") + " -o " + Path("bmp.gpl")), 0) << stderr_;
    EXPECT_EQ(ReadFileBytes(Path("png.gpl")), ReadFileBytes(Path("bmp.gpl")));
    EXPECT_EQ(Run("palette " + Path("few.jpg") + " " + Path("few.png") + " -o " + Path("j.act")), 0)
        << stderr_;
    EXPECT_EQ(ReadFileBytes(Path("j.act")).size(), 772u);
    // In place it would be neither BMP nor PNG: refused, the file untouched.
    const Bytes jpeg = ReadFileBytes(Path("few.jpg"));
    EXPECT_EQ(Run("diffuse " + Path("few.jpg")), 2);
    EXPECT_NE(stderr_.find("--format png"), std::string::npos) << stderr_;
    EXPECT_EQ(ReadFileBytes(Path("few.jpg")), jpeg);
    // As it says, --format png: few.png beside it, and the JPEG kept; with -d, DIR/few.png.
    ASSERT_EQ(std::rename(Path("few.png").c_str(), Path("first.png").c_str()), 0);
    ASSERT_EQ(Run("diffuse " + Path("few.jpg") + " --format png"), 0) << stderr_;
    EXPECT_EQ(ReadFileBytes(Path("few.png"))[1], 'P');
    EXPECT_EQ(ReadFileBytes(Path("few.jpg")), jpeg);
    ASSERT_EQ(Run("diffuse " + Path("few.jpg") + " -d " + Path("out") + " --format png"), 0);
    EXPECT_EQ(ReadFileBytes(Path("out/few.png"))[1], 'P');
    EXPECT_FALSE(PathExists(Path("out/few.jpg")));
    Bytes cut(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(jpeg.size() / 2));
    WriteFileBytes(Path("cut.jpg"), cut);
    EXPECT_EQ(Run("diffuse " + Path("cut.jpg") + " -o " + Path("cut.bmp")), 3);
    EXPECT_NE(stderr_.find("cut.jpg: not a JPEG image that can be read"), std::string::npos)
        << stderr_;
    EXPECT_FALSE(PathExists(Path("cut.bmp")));
    // A PNG with a damaged chunk: named, nothing written.
    Bytes damaged = png;
    damaged[20] ^= 1;
    WriteFileBytes(Path("damaged.png"), damaged);
    EXPECT_EQ(Run("exact " + Path("damaged.png") + " -o " + Path("d.png")), 3);
    EXPECT_NE(stderr_.find("damaged.png: a PNG chunk's checksum is wrong"), std::string::npos)
        << stderr_;
    EXPECT_FALSE(PathExists(Path("d.png")));
    EXPECT_EQ(ReadFileBytes(Path("damaged.png")), damaged);
}

TEST_F(Cli, DiffuseShowsAProgressBarOnlyOnATerminal) {
    WriteFileBytes(Path("in.bmp"), testimg::Make24(300, 200, [](int x, int r) {
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
    for (const char* text : {"fixed 0 / basic 42 / free 214", "reading", "counting colours",
                             "dithering", "100%", "done"}) {
        EXPECT_NE(shown.find(text), std::string::npos) << text;
    }
    // Without a terminal, nothing but errors goes to standard error.
    EXPECT_EQ(Run("diffuse " + Path("in.bmp") + " -o " + Path("out2.bmp")), 0);
    EXPECT_EQ(stderr_, "");
    EXPECT_EQ(ReadFileBytes(Path("out.bmp")), ReadFileBytes(Path("out2.bmp")));
}

// A 16-bit header that claims a billion pixels a row over no rows converts as the empty image
// it is, within a gigabyte of address space (under AddressSanitizer, whose shadow memory needs
// far more, the limit cannot be set).
TEST_F(Cli, AWideImageWithNoRowsNeedsNoRoomForARow) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "address space is not limited under AddressSanitizer";
#endif
    testimg::Layout sixteen;
    sixteen.bits = 16;
    const Bytes header = testimg::Encode(sixteen, 0x4000007F, 0, [](int, int) { return 0u; });
    WriteFileBytes(Path("wide.bmp"), header);
    // Run puts the tool's name first: `--version` makes that a harmless first command, and the
    // limited run follows in the same shell.
    for (const std::string method : {"exact", "diffuse", "diffuse --adaptive"}) {
        EXPECT_EQ(Run("--version >/dev/null; ulimit -v 1000000; " + std::string(TW_CLI_PATH) + " " +
                      method + " " + Path("wide.bmp") + " -o " + Path("out.bmp")),
                  0)
            << method << ": " << stderr_;
    }
}

TEST_F(Cli, DiffuseRefusesAndRejectsLikeExact) {
    WriteFileBytes(Path("few.bmp"), FewColours());
    ASSERT_EQ(Run("exact " + Path("few.bmp")), 0);
    const Bytes converted = ReadFileBytes(Path("few.bmp"));
    EXPECT_EQ(Run("diffuse " + Path("few.bmp") + " -o " + Path("out.bmp")), 1);
    EXPECT_NE(stderr_.find("すでに２５６です"), std::string::npos) << stderr_;
    EXPECT_FALSE(PathExists(Path("out.bmp")));
    EXPECT_EQ(ReadFileBytes(Path("few.bmp")), converted);

    EXPECT_EQ(Run("diffuse " + Path("few.bmp") + " --palette " + Path("none.pal") + " --fixed 3"),
              3);
}

TEST_F(Cli, EveryCorpusFileConvertsOrIsRefusedWithoutTouchingFiles) {
    const auto files = testimg::CorpusFiles(TW_CORPUS_DIR);
    if (files.empty()) {
        GTEST_SKIP() << "no corpus at " << TW_CORPUS_DIR;
    }
    int converted = 0, refused = 0;
    for (const std::string& source : files) {
        const Bytes original = ReadFileBytes(source);
        for (const char* command : {"exact", "diffuse"}) {
            SCOPED_TRACE(std::string(command) + " " + source);
            std::remove(Path("out.bmp").c_str());
            const int code = Run(std::string(command) + " '" + source + "' -o " + Path("out.bmp"));
            ASSERT_TRUE(code == 0 || code == 1) << stderr_;
            EXPECT_EQ(PathExists(Path("out.bmp")), code == 0);
            EXPECT_EQ(ReadFileBytes(source), original);
            (code == 0 ? converted : refused) += 1;
        }
    }
    EXPECT_GT(converted, 0);
    EXPECT_GT(refused, 0);
}

} // namespace
