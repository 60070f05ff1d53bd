// The command-line tool, run as a separate process on files in a temporary folder.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <zlib.h>

#include "cli/image_io.h"
#include "cli/options.h"
#include "core/image/rgba.h"
#include "core/quantize/alpha_diffusion.h"
#include "core/palette/palette_formats.h"
#include "core/quantize/basic_palette.h"
#include "tests/support/bmp_builder.h"
#include "tests/support/corpus.h"
#include "tests/support/literal_diffusion.h"
#include "tests/support/literal_exact.h"
#include "tests/support/recorder.h"
#include "tests/support/temp_folder.h"
#include "tw_version.h"

namespace {

using testimg::Bytes;
using Names = std::set<std::string>;

class Cli : public testing::Test {
  protected:
    void SetUp() override { ASSERT_FALSE(folder_.path().empty()); }

    std::string Path(const std::string& name) const { return folder_.Path(name); }
    void Put(const std::string& name, const Bytes& bytes) const {
        testimg::WriteFileBytes(Path(name), bytes);
    }
    void Put(const std::string& name, const std::string& text) const {
        Put(name, Bytes(text.begin(), text.end()));
    }
    Bytes Get(const std::string& name) const { return testimg::ReadFileBytes(Path(name)); }
    bool Has(const std::string& name) const { return testimg::PathExists(Path(name)); }

    // Runs the tool with the arguments, in which every word "@NAME" stands for the path of NAME
    // in the folder, behind `prefix` (a command that runs it); returns its exit status and keeps
    // what it printed.
    int Run(const std::string& arguments, const std::string& prefix = "") {
        std::string command = prefix + " " + TW_CLI_PATH;
        for (std::size_t at = 0, end = 0; at <= arguments.size(); at = end + 1) {
            end = std::min(arguments.find(' ', at), arguments.size());
            const std::string word = arguments.substr(at, end - at);
            command += " " + (word.rfind('@', 0) == 0 ? Path(word.substr(1)) : word);
        }
        const int status =
            std::system((command + " >" + Path("stdout.txt") + " 2>" + Path("stderr.txt")).c_str());
        const Bytes out = Get("stdout.txt"), err = Get("stderr.txt");
        stdout_.assign(out.begin(), out.end());
        stderr_.assign(err.begin(), err.end());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    // Whether the last run's standard error holds `text`.
    testing::AssertionResult Said(const std::string& text) const {
        return stderr_.find(text) != std::string::npos ? testing::AssertionSuccess()
                                                       : testing::AssertionFailure() << stderr_;
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
// What 誤差拡散 makes of an image with these fixed colours.
Bytes LiteralDiffusion(Bytes image, int fixed = 0, const Bytes& table = testimg::kBlackTable) {
    testimg::Recorder silent;
    EXPECT_EQ(literal::Diffuse(image, fixed, table.data(), quantize::kBasicPalette, silent),
              quantize::Outcome::Converted);
    return image;
}

TEST_F(Cli, ExactConvertsToTheOutputOrInPlace) {
    const Bytes image = FewColours();
    Bytes expected = image;
    ASSERT_EQ(literal::ReduceExact(expected), literal::ExactOutcome::Converted);
    Put("in.bmp", image);
    EXPECT_EQ(Run("exact @in.bmp -o @out.bmp"), 0);
    EXPECT_EQ(stderr_, "");
    EXPECT_EQ(Get("out.bmp"), expected);
    EXPECT_EQ(Get("in.bmp"), image);
    // Without -o the result replaces the input; no temporary is left.
    EXPECT_EQ(Run("exact @in.bmp"), 0);
    EXPECT_EQ(Get("in.bmp"), expected);
    EXPECT_EQ(folder_.Names(), (Names{"in.bmp", "out.bmp", "stderr.txt", "stdout.txt"}));
}

// Ctrl+C while a large result is being written in place: the file is the old one or the new
// one, whole, and no temporary is left. The signal goes as soon as the temporary appears
// (before the tool's write ends, in every run measured but for a few); the attempts go on
// until one was interrupted.
TEST_F(Cli, AnInterruptedWriteLeavesTheOldFileAndNoTemporary) {
    const Bytes image = testimg::Make24(4000, 3000, [](int x, int r) {
        return static_cast<std::uint32_t>((x / 16 + r / 16 * 3) % 200 * 0x010305);
    });
    Put("in.bmp", image);
    ASSERT_EQ(Run("exact @in.bmp -o @converted.bmp"), 0);
    const Bytes converted = Get("converted.bmp");
    ASSERT_EQ(mkdir(Path("work").c_str(), 0755), 0);
    const std::string path = Path("work/in.bmp");
    bool interrupted = false;
    for (int attempt = 0; attempt < 10 && !interrupted; ++attempt) {
        Put("work/in.bmp", image);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            execl(TW_CLI_PATH, TW_CLI_PATH, "exact", path.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        int status = 0;
        pid_t ended = 0;
        while ((ended = waitpid(child, &status, WNOHANG)) == 0) {
            const Names names = folder_.Names("work");
            if (names.size() > 1 || names.count("in.bmp") == 0) {
                kill(child, SIGINT);
                ended = waitpid(child, &status, 0);
                break;
            }
        }
        ASSERT_EQ(ended, child);
        interrupted = WIFSIGNALED(status) && WTERMSIG(status) == SIGINT;
        EXPECT_TRUE(interrupted || (WIFEXITED(status) && WEXITSTATUS(status) == 0)) << status;
        const Bytes now = Get("work/in.bmp");
        EXPECT_TRUE(now == image || now == converted) << now.size() << " bytes";
        EXPECT_EQ(folder_.Names("work"), Names{"in.bmp"});
    }
    EXPECT_TRUE(interrupted) << "the write always ended before the signal";
}

TEST_F(Cli, RefusalsExitWithOneAndPrintTheProgramsMessage) {
    Put("many.bmp", ManyColours());
    EXPECT_EQ(Run("exact @many.bmp -o @out.bmp"), 1);
    EXPECT_TRUE(Said("２５６色以上使用しています"));
    EXPECT_EQ(Get("many.bmp"), ManyColours());

    // Converted once, the file is refused by exact and by diffuse, and stays as it is.
    Put("few.bmp", FewColours());
    ASSERT_EQ(Run("exact @few.bmp"), 0);
    const Bytes converted = Get("few.bmp");
    for (const char* command : {"exact @few.bmp", "diffuse @few.bmp -o @out.bmp"}) {
        EXPECT_EQ(Run(command), 1);
        EXPECT_TRUE(Said("すでに２５６です")) << command;
        EXPECT_EQ(Get("few.bmp"), converted);
    }
    EXPECT_FALSE(Has("out.bmp"));

    // An 8-bit file cut short is said to be so by every command, before anything else; one
    // of a bit count no BMP has is of a kind none converts.
    Put("cut.bmp", Bytes(converted.begin(), converted.end() - 3));
    Bytes twoBits = converted;
    twoBits[bmp::kBiBitCount] = 2;
    Put("two.bmp", twoBits);
    for (const std::string command :
         {"exact", "diffuse", "diffuse --adaptive", "palette -o @p.gpl"}) {
        const std::string output = command[0] == 'p' ? "" : " -d @out";
        EXPECT_EQ(Run(command + " @cut.bmp" + output), 1) << command;
        EXPECT_TRUE(Said("画像のデータが途中で切れているため変換できません")) << command;
        EXPECT_EQ(Run(command + " @two.bmp" + output), 1) << command;
        EXPECT_TRUE(Said("この形式のBMPは変換できません")) << command;
    }
    EXPECT_FALSE(Has("out"));
    EXPECT_FALSE(Has("p.gpl"));
}

TEST_F(Cli, ManyFilesConvertTogetherAsEachWouldAlone) {
    Put("few.bmp", FewColours());
    Put("photo.bmp", ManyColours());
    ASSERT_EQ(Run("diffuse --adaptive @photo.bmp -o @alone.bmp"), 0);
    Put("indexed.bmp", Get("alone.bmp"));
    // Every file is tried, an indexed one too (--adaptive converts it as the colours it shows).
    EXPECT_EQ(Run("diffuse --adaptive @few.bmp @missing.bmp @indexed.bmp @photo.bmp -d @out -j 2"),
              3);
    EXPECT_TRUE(Said("missing.bmp: cannot open the file [ファイルが開けません]"));
    EXPECT_EQ(Get("out/photo.bmp"), Get("alone.bmp"));
    for (const std::string name : {"few.bmp", "indexed.bmp"}) {
        ASSERT_EQ(Run("diffuse --adaptive @" + name + " -o @alone.bmp"), 0);
        EXPECT_EQ(Get("out/" + name), Get("alone.bmp")) << name;
    }
    // A missing file (3) counts before an indexed one that 誤差拡散 refuses (1).
    EXPECT_EQ(Run("diffuse @indexed.bmp @missing.bmp -d @out2"), 3);
    EXPECT_TRUE(
        Said("indexed.bmp: already an indexed image of 256 colours or fewer [すでに２５６です]"));
    EXPECT_FALSE(Has("out2/indexed.bmp"));
    EXPECT_EQ(Run("exact @few.bmp @indexed.bmp -d @out"), 1);
}

TEST_F(Cli, InPlaceConversionKeepsLinksAndModesAndLeavesReadOnlyFiles) {
    Put("target.bmp", FewColours());
    ASSERT_EQ(chmod(Path("target.bmp").c_str(), 0600), 0);
    ASSERT_EQ(symlink(Path("target.bmp").c_str(), Path("link.bmp").c_str()), 0);
    EXPECT_EQ(Run("exact @link.bmp"), 0);
    struct stat link, target;
    ASSERT_EQ(lstat(Path("link.bmp").c_str(), &link), 0);
    EXPECT_TRUE(S_ISLNK(link.st_mode));
    ASSERT_EQ(stat(Path("target.bmp").c_str(), &target), 0);
    EXPECT_EQ(target.st_mode & 07777, 0600u);
    EXPECT_EQ(Get("target.bmp")[bmp::kBiBitCount], 8);

    Put("locked.bmp", FewColours());
    ASSERT_EQ(chmod(Path("locked.bmp").c_str(), 0444), 0);
    EXPECT_EQ(Run("exact @locked.bmp"), 3);
    EXPECT_TRUE(Said("上書き保存できません"));
    EXPECT_EQ(Get("locked.bmp"), FewColours());
    EXPECT_FALSE(Has("locked.bmp.tmp"));
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
    Put("shared/theirs.bmp", FewColours());
    ASSERT_EQ(chmod(Path("shared/theirs.bmp").c_str(), 0644), 0);
    // Run puts the tool's name first: `--version` makes that a harmless first command, and
    // the run as another user follows in the same shell.
    EXPECT_EQ(Run("--version >/dev/null; setpriv --reuid=65534 --regid=65534 --clear-groups " +
                  std::string(TW_CLI_PATH) + " exact @shared/theirs.bmp"),
              3);
    EXPECT_TRUE(
        Said("theirs.bmp: cannot overwrite the file [上書き保存できません] (Permission denied)"));
    EXPECT_EQ(Get("shared/theirs.bmp"), FewColours());
    struct stat info;
    ASSERT_EQ(stat(Path("shared/theirs.bmp").c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, 0u);
    EXPECT_EQ(folder_.Names("shared"), Names{"theirs.bmp"});
}

TEST_F(Cli, InPlaceConversionKeepsTheOwnerAndGroup) {
    if (getuid() != 0) {
        GTEST_SKIP() << "only root may give a file to another owner";
    }
    Put("theirs.bmp", FewColours());
    ASSERT_EQ(chown(Path("theirs.bmp").c_str(), 1234, 1235), 0);
    ASSERT_EQ(chmod(Path("theirs.bmp").c_str(), 0664), 0);
    EXPECT_EQ(Run("exact @theirs.bmp"), 0);
    struct stat info;
    ASSERT_EQ(stat(Path("theirs.bmp").c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, 1234u);
    EXPECT_EQ(info.st_gid, 1235u);
    EXPECT_EQ(info.st_mode & 07777, 0664u); // not narrowed by the umask
    EXPECT_EQ(Get("theirs.bmp")[bmp::kBiBitCount], 8);
}

// Results that would meet on one file are refused before anything is read or written.
TEST_F(Cli, InputsWhoseResultsWouldMeetAreRefusedBeforeAnyWrite) {
    ASSERT_EQ(mkdir(Path("d1").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(Path("d2").c_str(), 0755), 0);
    Put("d1/x.bmp", FewColours());
    Put("d2/x.bmp", FewColours());
    EXPECT_EQ(Run("diffuse @d1/x.bmp @d2/x.bmp -d @out"), 2);
    EXPECT_TRUE(Said("d1/x.bmp and " + Path("d2/x.bmp")));
    EXPECT_FALSE(Has("out"));
    // The same file twice, by one name or through a link: never two workers on one file.
    EXPECT_EQ(Run("exact @d1/x.bmp @d1/x.bmp -j 2"), 2);
    ASSERT_EQ(symlink(Path("d1/x.bmp").c_str(), Path("link.bmp").c_str()), 0);
    EXPECT_EQ(Run("exact @link.bmp @d1/x.bmp -j 2"), 2);
    // A result may not go over another input either.
    ASSERT_EQ(symlink(Path("d1/x.bmp").c_str(), Path("d2/y.bmp").c_str()), 0);
    EXPECT_EQ(Run("exact @d2/y.bmp @x.bmp -d @d1"), 2);
    EXPECT_EQ(Get("d1/x.bmp"), FewColours());
    EXPECT_EQ(Get("d2/x.bmp"), FewColours());
}

// A file that cannot be read, or a place that cannot take the result, exits with 3 and
// changes nothing; in particular nothing that is not a regular file is ever written over.
TEST_F(Cli, FileProblemsExitWithThreeAndChangeNothing) {
    // The folder of -d appears only with a result to put in it.
    EXPECT_EQ(Run("exact @missing.bmp -d @out"), 3);
    EXPECT_TRUE(Said("ファイルが開けません"));
    EXPECT_FALSE(Has("out"));
    // What is not a regular file is said to be so, a directory as a directory.
    EXPECT_EQ(Run("exact /dev/null -o @out.bmp"), 3);
    EXPECT_TRUE(Said("ファイルが読めません] (not a regular file)"));
    EXPECT_EQ(Run("exact @ -o @out.bmp"), 3);
    EXPECT_TRUE(Said("ファイルが読めません] (Is a directory)"));
    EXPECT_FALSE(Has("out.bmp"));
    // A pipe nobody writes to, as an input or as the palette, is refused at once, not waited
    // on (`timeout` ends a run that waits, with 124).
    ASSERT_EQ(mkfifo(Path("pipe").c_str(), 0600), 0);
    Put("in.bmp", FewColours());
    for (const char* arguments : {"exact @pipe -o @out.bmp", "diffuse @in.bmp --palette @pipe"}) {
        EXPECT_EQ(Run(arguments, "timeout 20"), 3) << arguments;
        EXPECT_TRUE(Said("(not a regular file)"));
    }
    EXPECT_FALSE(Has("out.bmp"));
    EXPECT_EQ(Get("in.bmp"), FewColours());

    EXPECT_EQ(Run("exact @in.bmp -o @no/such/dir/out.bmp"), 3);
    ASSERT_EQ(mkdir(Path("full").c_str(), 0755), 0);
    EXPECT_EQ(Run("exact @in.bmp -o @full"), 3);
    EXPECT_TRUE(Said(Path("full") + ": "));
    ASSERT_EQ(mkdir(Path("dd").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(Path("dd/in.bmp").c_str(), 0755), 0);
    EXPECT_EQ(Run("exact @in.bmp -d @dd"), 3);
    struct stat info;
    for (const char* folder : {"full", "dd/in.bmp"}) {
        ASSERT_EQ(stat(Path(folder).c_str(), &info), 0);
        EXPECT_TRUE(S_ISDIR(info.st_mode)) << folder;
    }
    EXPECT_EQ(folder_.Names(), (Names{"dd", "full", "in.bmp", "pipe", "stderr.txt", "stdout.txt"}));
    EXPECT_EQ(folder_.Names("dd"), Names{"in.bmp"});
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
                     "--adaptive", "-j", "3", "--verbose", "--effort", "10"},
                    o),
              "");
    EXPECT_EQ(o.effort, 10);
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
             {{"diffuse", "a.bmp", "--adaptive", "--effort", "0"}, "1 to 10"},
             {{"diffuse", "a.bmp", "--adaptive", "--effort", "11"}, "1 to 10"},
             {{"diffuse", "a.bmp", "--effort", "8"}, "belong to diffuse --adaptive"},
             {{"diffuse", "a.bmp", "--adaptive", "--dither", "bayer4", "--effort", "8"},
              "go with error diffusion, not --dither bayer4"},
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
             {{"exact", "a.bmp", "--bits", "3"}, "--bits takes 1, 2, 4, 8 or auto"},
             {{"palette", "a.bmp", "-o", "p.gpl", "--bits", "8"}, "--bits belongs to exact"},
             {{"diffuse", "a.bmp", "--bits", "4"},
              "diffuse without --adaptive makes 256 colours, more than --bits 4 holds (16)"},
             {{"diffuse", "a.png", "--adaptive", "--colours", "5", "--bits", "2"},
              "--colours 5 is more than --bits 2 holds (4 colours)"},
             {{"diffuse", "a.bmp", "--adaptive", "--depth", "0"}, "--depth takes the bits"},
             {{"diffuse", "a.bmp", "--adaptive", "--depth", "5,9,5"}, "each 1 to 8"},
             {{"diffuse", "a.bmp", "--adaptive", "--depth", "5,6"}, "each 1 to 8"},
             {{"diffuse", "a.bmp", "--depth", "5"}, "belong to diffuse --adaptive and palette"},
             {{"diffuse", "a.bmp", "--adaptive", "--depth", "4", "--from", "ega"},
              "--depth and --from exclude each other"},
             {{"diffuse", "a.bmp", "--adaptive", "--order", "size"}, "--order takes keep"},
             {{"palette", "a.bmp", "-o", "p.gpl", "--order", "frequency"},
              "frequency counts a result's pixels"},
             {{"diffuse", "a.bmp", "--adaptive", "--keep", "p.gpl"}, "--keep belongs to palette"},
             {{"compact", "a.bmp", "--adaptive"}, "compact takes -o, -d, --format and --key"},
             {{"diffuse", "a.bmp", "--adaptive", "--report"}, "belong to tiles"},
         }) {
        cli::Options options;
        const std::string said = parse(words, options);
        EXPECT_NE(said.find(problem), std::string::npos) << problem << ": " << said;
    }
}

TEST_F(Cli, UsageErrorsExitWithTwo) {
    EXPECT_EQ(Run(""), 2);
    EXPECT_TRUE(Said("Usage:"));
    // After "--" a name may start with '-'.
    Put("-x.bmp", FewColours());
    const std::string inFolder = "cd '" + folder_.path() + "' && " + TW_CLI_PATH;
    EXPECT_EQ(std::system((inFolder + " exact -o out.bmp -- -x.bmp").c_str()), 0);
    EXPECT_EQ(Get("out.bmp")[bmp::kBiBitCount], 8);
    EXPECT_EQ(Run("--help"), 0);
    EXPECT_NE(stdout_.find("exact IN.bmp"), std::string::npos);
    // The key colour is the first fixed colour: without one there is none.
    Put("few.bmp", FewColours());
    EXPECT_EQ(Run("diffuse @few.bmp --adaptive --key"), 2);
    EXPECT_TRUE(Said("--key takes the first fixed colour"));
    EXPECT_EQ(Get("few.bmp"), FewColours());
    EXPECT_EQ(Run("diffuse @few.bmp --adaptive --effort 11"), 2);
    EXPECT_TRUE(Said("--effort takes a number from 1 to 10"));
    EXPECT_EQ(Get("few.bmp"), FewColours());
    EXPECT_EQ(Run("--version"), 0);
    EXPECT_EQ(stdout_, "tintwright " TW_VERSION_TEXT "\n");
}

// compact: a PNG's palette holds the entries left; palette --keep: an unreadable OLD, or one of
// fewer colours than the fixed ones, changes nothing.
TEST_F(Cli, CompactAndKeep) {
    Put("few.bmp", FewColours());
    ASSERT_EQ(Run("diffuse @few.bmp -o @eight.bmp"), 0);
    EXPECT_EQ(Run("compact @eight.bmp -o @small.png"), 0) << stderr_;
    const Bytes png = Get("small.png");
    const std::string text(png.begin(), png.end());
    const std::size_t plte = text.find("PLTE");
    ASSERT_NE(plte, std::string::npos);
    EXPECT_EQ(bmp::ReadU32(&png[plte - 4]), 0x0F000000u); // 5 entries, big-endian length
    EXPECT_EQ(Run("compact @few.bmp -o @out.bmp"), 1);    // not 8-bit
    Put("fixed.gpl", "GIMP Palette\n1 2 3\n4 5 6\n7 8 9\n");
    Put("two.gpl", "GIMP Palette\n1 2 3\n4 5 6\n");
    EXPECT_EQ(Run("palette @few.bmp -o @new.gpl --keep @missing.gpl"), 3);
    EXPECT_EQ(Run("palette @few.bmp -o @new.gpl --palette @fixed.gpl --keep @two.gpl"), 2);
    EXPECT_TRUE(Said("holds 2 colours, fewer than the 3 fixed ones"));
    EXPECT_FALSE(Has("new.gpl"));
    EXPECT_EQ(Run("palette @few.bmp -o @new.gpl --palette @two.gpl --keep @fixed.gpl"), 0);
    EXPECT_TRUE(Said("--keep"));
}

// tiles: a SNES image's palettes beside it in BGR555.
TEST_F(Cli, TilesForADevice) {
    Put("photo.bmp", ManyColours());
    EXPECT_EQ(Run("tiles @photo.bmp -o @snes.png --target snes --palette-out @snes.pal"), 0)
        << stderr_;
    EXPECT_EQ(Get("snes.pal").size(), 2u * 8 * 16);
    // The palettes' file never goes over an input or the image.
    const Bytes photo = Get("photo.bmp");
    EXPECT_EQ(Run("tiles @photo.bmp -o @x.png --palette-out @photo.bmp"), 2);
    EXPECT_EQ(Run("tiles @photo.bmp -o @x.png --palette-out @x.png"), 2);
    EXPECT_TRUE(Said("would be written over an input or the image written"));
    EXPECT_EQ(Get("photo.bmp"), photo);
    EXPECT_FALSE(Has("x.png"));
    // With a key colour, entry 0 of every palette is transparent in a PNG.
    Put("key.gpl", "GIMP Palette\n1 2 3\n");
    ASSERT_EQ(Run("tiles @photo.bmp -o @keyed.png --palettes 4 --size 4 --palette @key.gpl --key"),
              0)
        << stderr_;
    const Bytes png = Get("keyed.png");
    const std::string text(png.begin(), png.end());
    const std::size_t trns = text.find("tRNS");
    ASSERT_NE(trns, std::string::npos);
    EXPECT_EQ(bmp::ReadU32(&png[trns - 4]), 0x0D000000u); // 13 entries, big-endian length
    for (std::size_t e = 0; e < 13; ++e) {
        EXPECT_EQ(png[trns + 4 + e], e % 4 == 0 ? 0 : 255) << e;
    }
}

// --from: a built-in palette by name, taken whole where it fits (the PNG's palette then holds
// its colours and no black filler); a list that is empty or too long is a usage error, and a
// fixed colour the device does not show is kept, with a warning.
TEST_F(Cli, TheColoursADeviceShows) {
    Put("photo.bmp", ManyColours());
    EXPECT_EQ(Run("diffuse @photo.bmp -o @gb.png --adaptive --from gameboy"), 0) << stderr_;
    const Bytes png = Get("gb.png");
    const std::string text(png.begin(), png.end());
    const std::size_t plte = text.find("PLTE");
    ASSERT_NE(plte, std::string::npos);
    EXPECT_EQ(bmp::ReadU32(&png[plte - 4]), 0x0C000000u); // 4 entries, big-endian length
    std::string many = "GIMP Palette\n";
    for (int k = 0; k < 5000; ++k) {
        many += std::to_string(k % 256) + " " + std::to_string(k / 256) + " 7\n";
    }
    Put("many.gpl", many);
    Put("empty.gpl", "GIMP Palette\n");
    for (const char* list : {"@many.gpl", "@empty.gpl", "nes"}) {
        EXPECT_EQ(Run(std::string("diffuse @photo.bmp -o @out.bmp --adaptive --from ") + list), 2)
            << list;
        EXPECT_TRUE(Said("not a list of 1 to 4096 colours")) << list;
        EXPECT_FALSE(Has("out.bmp"));
    }
    Put("fixed.gpl", "GIMP Palette\n10 20 30\n0 0 0\n");
    EXPECT_EQ(Run("diffuse @photo.bmp -o @out.bmp --adaptive --palette @fixed.gpl --depth 5"), 0);
    EXPECT_TRUE(Said("warning: 1 fixed colour is not one the device shows (the first: entry 0, "
                     "#0A141E); kept as it is"));
    EXPECT_EQ(testimg::EntryAt(Get("out.bmp"), 0), 0x0A141Eu);
}

// x.bmp.tmp is a file like any other: converted in the same batch as x.bmp, in place, two at
// a time, each gets its own result, and nothing else in the folder changes.
TEST_F(Cli, AFileNamedLikeAnothersTemporaryIsConvertedBesideIt) {
    ASSERT_EQ(mkdir(Path("work").c_str(), 0755), 0);
    const Bytes second = testimg::Make24(70, 50, [](int x, int r) {
        return static_cast<std::uint32_t>(x * 3 << 16 | r * 5 << 8 | (x ^ r));
    });
    Put("work/x.bmp", ManyColours());
    Put("work/x.bmp.tmp", second);
    Put("work/y.bmp", FewColours());
    EXPECT_EQ(Run("diffuse @work/x.bmp @work/x.bmp.tmp -j 2"), 0) << stderr_;
    EXPECT_EQ(Get("work/x.bmp"), LiteralDiffusion(ManyColours()));
    EXPECT_EQ(Get("work/x.bmp.tmp"), LiteralDiffusion(second));
    EXPECT_EQ(Get("work/y.bmp"), FewColours());
    EXPECT_EQ(folder_.Names("work"), (Names{"x.bmp", "x.bmp.tmp", "y.bmp"}));
}

TEST_F(Cli, DiffuseConvertsWithTheFixedColoursOfAPaletteFile) {
    const Bytes image = testimg::Make24(40, 30, [](int x, int r) {
        return static_cast<std::uint32_t>(x * 6 << 16 | r * 8 << 8 | 77);
    });
    Put("in.bmp", image);
    // The long format, chosen by the 'z' in "zpl".
    Bytes file(1572, 0);
    Bytes table(1024, 0);
    for (int i = 0; i < 256; ++i) {
        file[36 + 6 * i + 2] = table[4 * i + 2] = static_cast<std::uint8_t>(i);
        file[36 + 6 * i + 3] = table[4 * i + 1] = static_cast<std::uint8_t>(255 - i);
        file[36 + 6 * i + 4] = table[4 * i] = 40;
    }
    Put("user.zpl", file);
    EXPECT_EQ(Run("diffuse @in.bmp -o @out.bmp --palette @user.zpl --fixed 20"), 0);
    EXPECT_EQ(stderr_, ""); // no terminal, no progress bar
    const Bytes expected = LiteralDiffusion(image, 20, table);
    EXPECT_EQ(Get("out.bmp"), expected);
    EXPECT_EQ(Get("in.bmp"), image);

    // A GIMP palette of those first 20 colours says how many it holds: --fixed 20 unsaid.
    std::string gimp = "GIMP Palette\nName: user\n";
    for (int i = 0; i < 20; ++i) {
        gimp += std::to_string(i) + " " + std::to_string(255 - i) + " 40\n";
    }
    Put("user.gpl", gimp);
    EXPECT_EQ(Run("diffuse @in.bmp -o @gpl.bmp --palette @user.gpl"), 0);
    EXPECT_EQ(Get("gpl.bmp"), expected);
    // A raw palette does not say; a missing or malformed one is refused. Nothing is written.
    Put("raw.pal", Bytes(768, 7));
    EXPECT_EQ(Run("diffuse @in.bmp -o @no.bmp --palette @raw.pal"), 2);
    EXPECT_TRUE(Said("--palette needs --fixed N"));
    EXPECT_EQ(Run("diffuse @in.bmp -o @no.bmp --palette @none.pal --fixed 3"), 3);
    Put("bad.gpl", gimp.substr(0, gimp.size() - 4));
    EXPECT_EQ(Run("diffuse @in.bmp -o @no.bmp --palette @bad.gpl --fixed 3"), 3);
    EXPECT_TRUE(Said("bad.gpl: not a palette"));
    // A palette file over 1 MiB is refused whole, not read cut.
    std::string large = gimp + std::string(palette::kMaxPaletteFileBytes - gimp.size(), '#');
    Put("large.gpl", large);
    EXPECT_EQ(Run("diffuse @in.bmp -o @no.bmp --palette @large.gpl"), 0);
    Put("large.gpl", large + "\n");
    EXPECT_EQ(Run("diffuse @in.bmp -o @no2.bmp --palette @large.gpl"), 3);
    EXPECT_TRUE(Said("large.gpl: the file is too large [ファイルが大きすぎです]"));
    EXPECT_FALSE(Has("no2.bmp"));
}

// One palette for three images of different sizes, whose 200 colours together fit beside the
// user's four: each image then converts onto exactly that table and keeps every pixel.
TEST_F(Cli, PaletteMakesOneTableThatEveryImageThenTakes) {
    const auto colour = [](int k) {
        return static_cast<std::uint32_t>(k * 0x0B0705 + 0x102030) & 0xFFFFFF;
    };
    const std::vector<std::pair<int, int>> sizes = {{31, 17}, {64, 40}, {9, 90}};
    std::vector<Bytes> images;
    std::string names;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const int first = static_cast<int>(i) * 60; // 80 colours each, 20 shared with the next
        images.push_back(testimg::Make24(sizes[i].first, sizes[i].second, [&](int x, int r) {
            return colour(first + (x * 3 + r * 7) % 80);
        }));
        names += " @in" + std::to_string(i) + ".bmp";
        Put("in" + std::to_string(i) + ".bmp", images.back());
    }
    Put("user.gpl", std::string("GIMP Palette\n1 2 3\n4 5 6\n7 8 9\n250 251 252\n"));
    ASSERT_EQ(Run("palette" + names + " -o @one.gpl --palette @user.gpl -j 1"), 0) << stderr_;
    ASSERT_EQ(Run("palette" + names + " -o @two.pal --format jasc --palette @user.gpl -j 2"), 0);
    const Bytes jasc = Get("two.pal");
    EXPECT_EQ(std::string(jasc.begin(), jasc.end()).rfind("JASC-PAL\r\n0100\r\n256\r\n", 0), 0u);
    const auto table = [this](const std::string& name) {
        const Bytes file = Get(name);
        Bytes entries(1024, 0);
        palette::PaletteFileFacts facts;
        EXPECT_TRUE(palette::ReadPalette(file.data(), file.size(), false, entries.data(), facts));
        return entries;
    };
    const Bytes shared = table("one.gpl");
    EXPECT_EQ(table("two.pal"), shared); // the same with one thread or two
    EXPECT_EQ(Bytes(&shared[2 * 4], &shared[2 * 4 + 3]), (Bytes{9, 8, 7})); // user's come first

    ASSERT_EQ(Run("diffuse" + names + " --adaptive --palette @one.gpl --fixed 256 -d @out"), 0);
    for (std::size_t i = 0; i < images.size(); ++i) {
        const Bytes out = Get("out/in" + std::to_string(i) + ".bmp");
        ASSERT_GT(out.size(), bmp::k8BitPixelData);
        EXPECT_EQ(Bytes(&out[bmp::kColourTable], &out[bmp::k8BitPixelData]), shared);
        const int first = static_cast<int>(i) * 60;
        for (int r = 0; r < sizes[i].second; ++r) {
            for (int x = 0; x < sizes[i].first; ++x) {
                ASSERT_EQ(testimg::ColourAt(out, x, r), colour(first + (x * 3 + r * 7) % 80))
                    << i << " " << x;
            }
        }
    }
    // The palette never goes over an input.
    EXPECT_EQ(Run("palette" + names + " -o @in1.bmp"), 2);
    EXPECT_EQ(Get("in1.bmp"), images[1]);

    // The device formats: a hex list holds the same table and, read by --palette, says how
    // many colours it holds; BGR555 holds it rounded to 5 bits a channel; a C header its words.
    ASSERT_EQ(Run("palette" + names + " -o @list.hex --palette @user.gpl"), 0) << stderr_;
    EXPECT_EQ(table("list.hex"), shared);
    ASSERT_EQ(Run("diffuse @in0.bmp -o @hex.bmp --adaptive --palette @list.hex"), 0) << stderr_;
    const Bytes hexOut = Get("hex.bmp");
    EXPECT_EQ(Bytes(&hexOut[bmp::kColourTable], &hexOut[bmp::k8BitPixelData]), shared);
    ASSERT_EQ(Run("palette" + names + " -o @dev.pal --format bgr555 --palette @user.gpl"), 0);
    ASSERT_EQ(Get("dev.pal").size(), 512u);
    const Bytes device = table("dev.pal");
    for (std::size_t i = 0; i < device.size(); ++i) {
        EXPECT_LE(std::abs(device[i] - shared[i]), 4) << i;
    }
    ASSERT_EQ(Run("palette" + names + " -o @sprites.h --format c-bgr555 --palette @user.gpl"), 0);
    const Bytes header = Get("sprites.h");
    const std::string text(header.begin(), header.end());
    // The user's colours first, rounded: 1 2 3 to 0 0 0, 4 5 6 to 0 1 1, 7 8 9 to 1 1 1 and
    // 250 251 252 to 30 31 31.
    EXPECT_NE(text.find("static const uint16_t sprites[] = {\n"
                        "    0x0000, 0x0420, 0x0421, 0x7FFE, "),
              std::string::npos)
        << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 6 + 256 / 8 + 4); // 8 words a line
    EXPECT_EQ(Run("palette" + names + " -o @no.gpl --format hex"), 2);
    EXPECT_TRUE(Said("no.gpl names a gpl file, but --format says hex"));
    EXPECT_FALSE(Has("no.gpl"));
}

// PNG and JPEG files: read by their content, written as PNG by the output's name or
// --format; an output of another kind is refused before anything happens, and a damaged
// file is reported with its name while nothing is written.
TEST_F(Cli, PngAndJpegFilesGoInAndOut) {
    // A PNG of few colours, made by the tool itself from a BMP.
    Put("few.bmp", FewColours());
    ASSERT_EQ(Run("exact @few.bmp -o @few.png"), 0) << stderr_;
    const Bytes png = Get("few.png");
    ASSERT_GT(png.size(), 8u);
    EXPECT_EQ(Bytes(png.begin() + 1, png.begin() + 4), (Bytes{'P', 'N', 'G'}));
    // Read back by content, it converts to the same 8-bit BMP as the BMP itself.
    ASSERT_EQ(Run("exact @few.png -o @from_png.bmp"), 0) << stderr_;
    ASSERT_EQ(Run("exact @few.bmp -o @from_bmp.bmp"), 0);
    const Bytes fromPng = Get("from_png.bmp"), fromBmp = Get("from_bmp.bmp");
    ASSERT_EQ(fromPng.size(), fromBmp.size());
    EXPECT_TRUE(std::equal(fromPng.begin() + bmp::kHeadersSize, fromPng.end(),
                           fromBmp.begin() + bmp::kHeadersSize));
    // -d keeps the name, so a PNG stays a PNG; --format bmp writes a BMP under any name.
    ASSERT_EQ(Run("diffuse @few.png -d @out --adaptive"), 0);
    EXPECT_EQ(Get("out/few.png")[1], 'P');
    ASSERT_EQ(Run("diffuse @few.png -o @b.img --format bmp"), 0);
    EXPECT_EQ(Get("b.img")[0], 'B');
    // ... but not under a name that says PNG.
    EXPECT_EQ(Run("diffuse @few.png -o @b.png --format bmp"), 2);
    EXPECT_TRUE(Said("b.png names a png file, but --format says bmp"));
    EXPECT_FALSE(Has("b.png"));

    // A JPEG, made by ImageMagick (the set-up installs it): read, converted, written as asked.
    ASSERT_EQ(std::system(("convert " + Path("few.bmp") + " " + Path("few.jpg")).c_str()), 0);
    EXPECT_EQ(Run("diffuse @few.jpg -o @jpg.bmp"), 0) << stderr_;
    EXPECT_EQ(Get("jpg.bmp")[bmp::kBiBitCount], 8);
    // A palette is made of them as of BMP files: a PNG gives the palette of its BMP twin.
    ASSERT_EQ(Run("palette @few.png -o @png.gpl"), 0) << stderr_;
    ASSERT_EQ(Run("palette @few.bmp -o @bmp.gpl"), 0) << stderr_;
    EXPECT_EQ(Get("png.gpl"), Get("bmp.gpl"));
    EXPECT_EQ(Run("palette @few.jpg @few.png -o @j.act"), 0) << stderr_;
    EXPECT_EQ(Get("j.act").size(), 772u);
    // In place it would be neither BMP nor PNG: refused, the file untouched.
    const Bytes jpeg = Get("few.jpg");
    EXPECT_EQ(Run("diffuse @few.jpg"), 2);
    EXPECT_TRUE(Said("--format png"));
    EXPECT_EQ(Get("few.jpg"), jpeg);
    // As it says, --format png: few.png beside it, and the JPEG kept; with -d, DIR/few.png.
    ASSERT_EQ(std::rename(Path("few.png").c_str(), Path("first.png").c_str()), 0);
    ASSERT_EQ(Run("diffuse @few.jpg --format png"), 0) << stderr_;
    EXPECT_EQ(Get("few.png")[1], 'P');
    EXPECT_EQ(Get("few.jpg"), jpeg);
    ASSERT_EQ(Run("diffuse @few.jpg -d @out --format png"), 0);
    EXPECT_EQ(Get("out/few.png")[1], 'P');
    EXPECT_FALSE(Has("out/few.jpg"));
    // Damaged files, a JPEG cut short and a PNG with a bad checksum: named, nothing written.
    Put("cut.jpg",
        Bytes(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(jpeg.size() / 2)));
    EXPECT_EQ(Run("diffuse @cut.jpg -o @cut.bmp"), 3);
    EXPECT_TRUE(Said("cut.jpg: not a JPEG image that can be read"));
    Bytes damaged = png;
    damaged[20] ^= 1;
    Put("damaged.png", damaged);
    EXPECT_EQ(Run("exact @damaged.png -o @d.png"), 3);
    EXPECT_TRUE(Said("damaged.png: a PNG chunk's checksum is wrong"));
    EXPECT_FALSE(Has("cut.bmp") || Has("d.png"));
    EXPECT_EQ(Get("damaged.png"), damaged);
}

// --bits: auto takes the fewest bits that hold the entries the pixels take (1, 2, 4 or 8 for
// a PNG, whose palette holds those entries; 8 for a BMP, today's file); a 4-bit BMP and PNG
// show the 8-bit result's pixels; --adaptive with --bits 4 makes 16 colours. What the bits
// cannot hold is refused with nothing written: a 2-bit BMP at once, a result of 17 colours
// in 4 bits when it is known.
TEST_F(Cli, FewerBitsShowTheEightBitResult) {
    const auto expanded = [this](const std::string& name) {
        const Bytes file = Get(name);
        Bytes plain;
        EXPECT_TRUE(bmp::ExpandIndexed(file.data(), file.size(), plain)) << name;
        return Bytes(plain.begin() + bmp::kHeadersSize, plain.end());
    };
    for (const auto& [colours, bits] :
         std::vector<std::pair<int, int>>{{2, 1}, {3, 2}, {16, 4}, {17, 8}}) {
        SCOPED_TRACE(colours);
        Put("in.bmp", testimg::MakeRandom(7, 5, colours, 3, 0xEE));
        ASSERT_EQ(Run("exact @in.bmp -o @auto.png --bits auto"), 0) << stderr_;
        const Bytes png = Get("auto.png");
        EXPECT_EQ(png[24], bits); // IHDR's bit depth, then PLTE's length
        EXPECT_EQ(png[35] << 8 | png[36], bits == 8 ? 768 : 3 * colours);
        if (bits == 8) { // today's file
            ASSERT_EQ(Run("exact @in.bmp -o @default.png"), 0);
            EXPECT_EQ(png, Get("default.png"));
        }
        ASSERT_EQ(Run("exact @in.bmp -o @eight.bmp"), 0);
        ASSERT_EQ(Run("exact @auto.png -o @back.bmp"), 0) << stderr_;
        EXPECT_EQ(expanded("back.bmp"), expanded("eight.bmp"));
        ASSERT_EQ(Run("exact @in.bmp -o @auto.bmp --bits auto"), 0);
        EXPECT_EQ(Get("auto.bmp"), Get("eight.bmp"));
    }
    Put("in.bmp", testimg::MakeRandom(9, 3, 16, 5, 0xEE));
    ASSERT_EQ(Run("exact @in.bmp -o @eight.bmp"), 0);
    ASSERT_EQ(Run("exact @in.bmp -o @four.bmp --bits 4"), 0) << stderr_;
    EXPECT_EQ(Get("four.bmp")[bmp::kBiBitCount], 4);
    EXPECT_EQ(expanded("four.bmp"), expanded("eight.bmp"));
    Put("photo.bmp", ManyColours());
    ASSERT_EQ(Run("diffuse @photo.bmp --adaptive --bits 4 -o @photo.png"), 0) << stderr_;
    EXPECT_EQ(Get("photo.png")[24], 4);

    Put("many.bmp", testimg::MakeRandom(9, 3, 17, 5, 0xEE));
    const Bytes many = Get("many.bmp");
    EXPECT_EQ(Run("exact @many.bmp @in.bmp -d @out --bits 4"), 1);
    EXPECT_TRUE(Said("many.bmp: the result's pixels take palette entries up to 16; --bits 4 "
                     "holds 16 (0 to 15); nothing was written"));
    EXPECT_FALSE(Has("out/many.bmp"));
    EXPECT_TRUE(Has("out/in.bmp"));
    EXPECT_EQ(Run("exact @many.bmp --bits 2"), 2);
    EXPECT_TRUE(Said("BMP has no 2-bit form"));
    EXPECT_EQ(Run("diffuse @many.bmp -o @x.png --adaptive --colours 32 --bits 4"), 2);
    EXPECT_TRUE(Said("--colours 32 is more than --bits 4 holds (16 colours)"));
    EXPECT_EQ(Get("many.bmp"), many);
    EXPECT_FALSE(Has("x.png"));
}

TEST_F(Cli, DiffuseShowsAProgressBarOnlyOnATerminal) {
    if (std::system("command -v script > /dev/null") != 0) {
        GTEST_SKIP() << "no script(1) to give the tool a terminal";
    }
    Put("in.bmp", testimg::Make24(300, 200, [](int x, int r) {
            return static_cast<std::uint32_t>(x << 16 | r << 8 | (x ^ r));
        }));
    // `script` gives the tool a terminal; its output is what that terminal showed.
    ASSERT_EQ(
        std::system(("script -qec \"" + std::string(TW_CLI_PATH) + " diffuse " + Path("in.bmp") +
                     " -o " + Path("out.bmp") + "\" /dev/null > " + Path("tty.txt") + " 2>&1")
                        .c_str()),
        0);
    const Bytes tty = Get("tty.txt");
    const std::string shown(tty.begin(), tty.end());
    for (const char* text : {"fixed 0 / basic 42 / free 214", "reading", "counting colours",
                             "dithering", "100%", "done"}) {
        EXPECT_NE(shown.find(text), std::string::npos) << text;
    }
    // Without a terminal, nothing but errors goes to standard error.
    EXPECT_EQ(Run("diffuse @in.bmp -o @out2.bmp"), 0);
    EXPECT_EQ(stderr_, "");
    EXPECT_EQ(Get("out.bmp"), Get("out2.bmp"));
}

// A 16-bit header that claims a billion pixels a row over no rows converts as the empty image
// it is, within a gigabyte of address space (under AddressSanitizer, whose shadow memory needs
// far more, the limit cannot be set).
TEST_F(Cli, AWideImageWithNoRowsNeedsNoRoomForARow) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "address space is not limited under AddressSanitizer";
#endif
    Put("wide.bmp", testimg::Encode({16}, 0x4000007F, 0, [](int, int) { return 0u; }));
    for (const std::string method : {"exact", "diffuse", "diffuse --adaptive"}) {
        EXPECT_EQ(Run("--version >/dev/null; ulimit -v 1000000; " + std::string(TW_CLI_PATH) + " " +
                      method + " @wide.bmp -o @out.bmp"),
                  0)
            << method << ": " << stderr_;
    }
}

TEST_F(Cli, EveryCorpusFileConvertsOrIsRefusedWithoutTouchingFiles) {
    const auto files = testimg::CorpusFiles(TW_CORPUS_DIR);
    if (files.empty()) {
        GTEST_SKIP() << "no corpus at " << TW_CORPUS_DIR;
    }
    int converted = 0, refused = 0;
    for (const std::string& source : files) {
        const Bytes original = testimg::ReadFileBytes(source);
        for (const char* command : {"exact", "diffuse"}) {
            SCOPED_TRACE(std::string(command) + " " + source);
            std::remove(Path("out.bmp").c_str());
            const int code = Run(std::string(command) + " '" + source + "' -o @out.bmp");
            ASSERT_TRUE(code == 0 || code == 1) << stderr_;
            EXPECT_EQ(Has("out.bmp"), code == 0);
            EXPECT_EQ(testimg::ReadFileBytes(source), original);
            (code == 0 ? converted : refused) += 1;
        }
    }
    EXPECT_GT(converted, 0);
    EXPECT_GT(refused, 0);
}

} // namespace

namespace {

// The length and the data of a PNG's first chunk of `type`; an empty text when it has none.
std::string ChunkOf(const Bytes& png, const char* type) {
    const std::string text(png.begin(), png.end());
    const std::size_t at = text.find(type);
    if (at == std::string::npos || at < 4) {
        return "";
    }
    const std::uint32_t length = static_cast<std::uint32_t>(png[at - 4]) << 24 |
                                 static_cast<std::uint32_t>(png[at - 3]) << 16 |
                                 static_cast<std::uint32_t>(png[at - 2]) << 8 | png[at - 1];
    return text.substr(at + 4, length);
}

// The pixels of an image read with their alpha: red, green, blue, alpha, the top row first.
Bytes RgbaOf(const Bytes& file) {
    cli::FileBytes decoded;
    std::string error;
    image::AlphaRule kept;
    kept.kept = true;
    if (!cli::DecodeToBmp(file.data(), file.size(), kept, decoded, error)) {
        return {};
    }
    std::vector<std::uint8_t> rgba;
    std::uint64_t width = 0, height = 0;
    EXPECT_EQ(quantize::RgbaPixelsOf(decoded.data(), decoded.size(), rgba, width, height),
              quantize::Outcome::Converted);
    return Bytes(rgba.begin(), rgba.end());
}

} // namespace

// --alpha: a 32-bit BMP with an alpha mask of few colours comes back from the PNG pixel for
// pixel, its transparent pixels in entry 0 (the key colour's with --key), the tRNS as long as
// the entries below full alpha; BMP output, and a PNG whose tRNS does not fit it, are refused
// with nothing written.
TEST_F(Cli, SoftEdgesKeptInAPngWithAShortTrns) {
    image::RgbaImage soft;
    soft.width = 11;
    soft.height = 7;
    for (std::uint32_t i = 0; i < soft.width * soft.height; ++i) {
        const auto level = static_cast<std::uint8_t>(i % 5 * 60);
        const std::uint8_t alpha = i % 4 == 0 ? 0 : i % 4 == 1 ? 100 : i % 4 == 2 ? 200 : 255;
        soft.samples.insert(soft.samples.end(), {level, static_cast<std::uint8_t>(255 - level),
                                                 static_cast<std::uint8_t>(i % 3 * 90), alpha});
    }
    image::AlphaRule kept;
    kept.kept = true;
    Bytes bmp(*image::PlainSize(soft.width, soft.height, kept));
    image::WritePlain24(soft, kept, bmp.data());
    Put("soft.bmp", bmp);
    Put("key.gpl", "GIMP Palette\n1 2 3\n");
    for (const bool key : {false, true}) {
        ASSERT_EQ(Run(std::string("diffuse @soft.bmp -o @soft.png --adaptive --alpha") +
                      (key ? " --palette @key.gpl --fixed 1 --key" : "")),
                  0)
            << stderr_;
        const Bytes png = Get("soft.png");
        const std::string plte = ChunkOf(png, "PLTE"), trns = ChunkOf(png, "tRNS");
        ASSERT_FALSE(trns.empty());
        EXPECT_EQ(trns[0], 0);
        EXPECT_EQ(plte.substr(0, 3), key ? "\x01\x02\x03" : std::string(3, '\0'));
        // Entry 0 and one entry of each colour of alpha 100 and 200: the rest are opaque.
        std::set<std::uint32_t> translucent;
        for (std::size_t i = 0; i < soft.samples.size(); i += 4) {
            if (soft.samples[i + 3] != 0 && soft.samples[i + 3] != 255) {
                translucent.insert(static_cast<std::uint32_t>(soft.samples[i]) << 24 |
                                   soft.samples[i + 1] << 16 | soft.samples[i + 2] << 8 |
                                   soft.samples[i + 3]);
            }
        }
        EXPECT_EQ(trns.size(), 1 + translucent.size());
        const Bytes back = RgbaOf(png);
        ASSERT_EQ(back.size(), soft.samples.size());
        for (std::size_t i = 0; i < back.size(); i += 4) {
            if (soft.samples[i + 3] == 0) {
                EXPECT_EQ(back[i + 3], 0) << i / 4;
            } else {
                EXPECT_EQ(Bytes(back.begin() + static_cast<std::ptrdiff_t>(i),
                                back.begin() + static_cast<std::ptrdiff_t>(i + 4)),
                          Bytes(soft.samples.begin() + static_cast<std::ptrdiff_t>(i),
                                soft.samples.begin() + static_cast<std::ptrdiff_t>(i + 4)))
                    << i / 4;
            }
        }
    }
    // The result read again keeps every pixel: its tRNS read as the source's.
    EXPECT_EQ(Run("diffuse @soft.png -o @again.png --adaptive --alpha --palette @key.gpl --fixed 1 "
                  "--key"),
              0)
        << stderr_;
    EXPECT_EQ(RgbaOf(Get("again.png")), RgbaOf(Get("soft.png")));
    // An indexed image is opaque: its colours come back, and no tRNS is written.
    Put("eight.bmp", testimg::Picture8(5, 3, {0x102030, 0xFFEEDD}, [](int x, int y) {
            return static_cast<std::uint8_t>((x + y) % 2);
        }));
    ASSERT_EQ(Run("diffuse @eight.bmp -o @eight.png --adaptive --alpha"), 0) << stderr_;
    EXPECT_EQ(ChunkOf(Get("eight.png"), "tRNS"), "");
    EXPECT_EQ(ChunkOf(Get("eight.png"), "PLTE").size(), 6u);
    EXPECT_EQ(Run("diffuse @soft.bmp -o @soft2.bmp --adaptive --alpha"), 2);
    EXPECT_TRUE(Said("BMP has no transparency here"));
    EXPECT_TRUE(Said("--key"));
    EXPECT_FALSE(Has("soft2.bmp"));
    // Frames keep theirs as PNG files; a GIF, with one transparent index, is refused.
    ASSERT_EQ(Run("frames @soft.bmp @soft.bmp -d @anim --alpha --palette @key.gpl --fixed 1 --key"),
              0)
        << stderr_;
    EXPECT_EQ(RgbaOf(Get("anim/soft_002.png")), RgbaOf(Get("soft.png")));
    EXPECT_EQ(Run("frames @soft.bmp @soft.bmp -o @soft.gif --alpha"), 2);
    EXPECT_TRUE(Said("one transparent index"));
    EXPECT_FALSE(Has("soft.gif"));
    // A palette PNG whose tRNS holds more entries than its PLTE: damaged, refused.
    Bytes broken = Get("soft.png");
    const std::string text(broken.begin(), broken.end());
    const std::size_t trns = text.find("tRNS");
    const std::size_t plteLength = ChunkOf(broken, "PLTE").size() / 3;
    const Bytes chunk = [&] {
        Bytes c = {0, 0, 0, static_cast<std::uint8_t>(plteLength + 1), 't', 'R', 'N', 'S'};
        c.insert(c.end(), plteLength + 1, 7);
        const auto crc = static_cast<std::uint32_t>(crc32_z(0, c.data() + 4, c.size() - 4));
        c.insert(c.end(),
                 {static_cast<std::uint8_t>(crc >> 24), static_cast<std::uint8_t>(crc >> 16),
                  static_cast<std::uint8_t>(crc >> 8), static_cast<std::uint8_t>(crc)});
        return c;
    }();
    const std::size_t oldLength = ChunkOf(broken, "tRNS").size();
    broken.erase(broken.begin() + static_cast<std::ptrdiff_t>(trns - 4),
                 broken.begin() + static_cast<std::ptrdiff_t>(trns + 8 + oldLength));
    broken.insert(broken.begin() + static_cast<std::ptrdiff_t>(trns - 4), chunk.begin(),
                  chunk.end());
    Put("broken.png", broken);
    EXPECT_EQ(Run("diffuse @broken.png -o @out.png --adaptive --alpha"), 3);
    EXPECT_TRUE(Said("tRNS"));
    EXPECT_FALSE(Has("out.png"));
}
