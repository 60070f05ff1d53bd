// tintwright: the command-line front end of the BMP colour reducer. Runs the same
// conversions as the desktop program.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <new>
#include <set>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "cli/file_io.h"
#include "core/palette/palette_file.h"
#include "core/reduce/basic_palette.h"
#include "core/reduce/error_diffusion.h"
#include "core/reduce/exact_reduction.h"
#include "core/text/refusals.h"
#include "core/text/texts.h"

#ifndef TW_VERSION
#define TW_VERSION "0.0.0"
#endif

namespace {

// Exit codes.
constexpr int kConverted = 0;
constexpr int kRefused = 1;
constexpr int kUsageError = 2;
constexpr int kFileError = 3;

constexpr char kUsage[] =
    "Usage: tintwright exact IN.bmp... [-o OUT.bmp | -d DIR] [-j N] [--quiet | --verbose]\n"
    "       tintwright diffuse IN.bmp... [-o OUT.bmp | -d DIR] [--palette FILE] [--fixed N]\n"
    "                          [--adaptive] [-j N] [--quiet | --verbose]\n"
    "       tintwright --help | --version\n";

constexpr char kHelp[] =
    "Turns true-colour BMP images (16, 24 and 32 bits per pixel) into 256-colour\n"
    "(8-bit indexed) BMP images.\n"
    "\n"
    "Commands:\n"
    "  exact IN.bmp [-o OUT.bmp]\n"
    "      Exact reduction: an image of at most 256 distinct colours becomes an 8-bit\n"
    "      image whose colour table lists the colours in order of first appearance.\n"
    "      Nothing is lost; images with more colours are refused.\n"
    "  diffuse IN.bmp [-o OUT.bmp] [--palette FILE] [--fixed N] [--adaptive]\n"
    "      Error diffusion onto a palette of N fixed colours (the first N entries of\n"
    "      the palette FILE; 0 to 256, default 0; --palette needs --fixed), the 42\n"
    "      basic colours, and the image's most frequent other colours. FILE is a\n"
    "      768-byte palette file, or the 1572-byte format when the third character\n"
    "      from the end of its name is 'z'. On a terminal, a progress bar is shown on\n"
    "      standard error.\n"
    "      --adaptive: high quality for photographs: the N fixed colours and 256 - N\n"
    "      colours chosen for the image, dithered with Floyd-Steinberg weights. An\n"
    "      image of at most 256 - N colours keeps every pixel.\n"
    "\n"
    "Several files: each is converted on its own, several at a time (-j N, default\n"
    "the number of processors); -d DIR writes DIR/NAME (DIR is created when the first\n"
    "result is written), -o takes one input only. Inputs whose results would go to one\n"
    "file (the same file twice, two files of one name with -d) are refused before\n"
    "anything is written. A file that is refused or cannot be read or written is\n"
    "reported with its name and the rest go on. On a terminal one line shows the\n"
    "batch's progress (--quiet: nothing; --verbose: a line per file). After --,\n"
    "every argument is a file, also one whose name starts with '-'.\n"
    "\n"
    "Without -o or -d the input file is replaced; a symbolic link's target is\n"
    "converted and keeps its mode, and a read-only file is refused. Every write goes\n"
    "through a safety copy NAME.tmp, which is removed once the new file is complete;\n"
    "an existing NAME.tmp is never touched and makes the write fail. The new file\n"
    "keeps the old one's mode, owner and group (as far as the user may set them); a\n"
    "file's other hard links keep the old image. What is not a regular file (a folder,\n"
    "a device) is never written over.\n"
    "\n"
    "Exit status: 0 all converted, 1 some refused (the reason is printed), 2 usage\n"
    "error, 3 some file could not be read or written. No file changes on a failure.\n";

struct Options {
    std::string command;
    std::vector<std::string> inputs;
    std::string output;    // -o: one input only
    std::string directory; // -d
    std::string palette;
    int fixed = 0;
    bool fixedGiven = false;
    bool adaptive = false;
    int jobs = 0; // files at a time; 0: as many as there are processors
    bool quiet = false;
    bool verbose = false;
};

// A whole decimal number from low to high, or -1.
int ParseNumber(const std::string& text, int low, int high) {
    if (text.empty() || text.size() > 4 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return -1;
    }
    const int value = std::atoi(text.c_str());
    return value >= low && value <= high ? value : -1;
}

int UsageError(const char* problem) {
    std::fprintf(stderr, "tintwright: %s\n%s", problem, kUsage);
    return kUsageError;
}

int Fail(int code, const std::string& path, const std::string& message) {
    std::fprintf(stderr, "tintwright: %s: %s\n", path.c_str(), message.c_str());
    return code;
}

// Parses "COMMAND IN... [options]"; false, with the problem, when the arguments are wrong.
bool ParseArguments(int argc, char** argv, Options& options, std::string& problem) {
    std::vector<std::string> positional;
    bool optionsEnded = false; // after "--" every argument is a file, "-x.bmp" too
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (optionsEnded) {
            positional.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "-o" || arg == "--output" || arg == "--palette" || arg == "--fixed" ||
                   arg == "-d" || arg == "-j") {
            if (i + 1 >= argc) {
                problem = "option " + arg + " needs a value";
                return false;
            }
            const std::string value = argv[++i];
            if (arg == "--palette") {
                options.palette = value;
            } else if (arg == "--fixed") {
                options.fixed = ParseNumber(value, 0, 256);
                options.fixedGiven = true;
                if (options.fixed < 0) {
                    problem = "--fixed takes a number from 0 to 256";
                    return false;
                }
            } else if (arg == "-j") {
                options.jobs = ParseNumber(value, 1, 1024);
                if (options.jobs < 0) {
                    problem = "-j takes a number from 1 to 1024";
                    return false;
                }
            } else if (arg == "-d") {
                options.directory = value;
            } else {
                options.output = value;
            }
        } else if (arg == "--adaptive") {
            options.adaptive = true;
        } else if (arg == "--quiet" || arg == "--verbose") {
            (arg == "--quiet" ? options.quiet : options.verbose) = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            problem = "unknown option " + arg;
            return false;
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.empty()) {
        problem = "no command given";
        return false;
    }
    options.command = positional[0];
    options.inputs.assign(positional.begin() + 1, positional.end());
    if (options.command != "exact" && options.command != "diffuse") {
        problem = "unknown command " + options.command;
    } else if (options.command == "exact" &&
               (!options.palette.empty() || options.fixed != 0 || options.adaptive)) {
        problem = "--palette, --fixed and --adaptive belong to diffuse";
    } else if (options.fixed > 0 && options.palette.empty()) {
        problem = "--fixed above 0 needs --palette";
    } else if (!options.palette.empty() && !options.fixedGiven) {
        problem = "--palette needs --fixed N: how many of its first colours stay fixed";
    } else if (options.inputs.empty()) {
        problem = "no input file given";
    } else if (!options.output.empty() && options.inputs.size() > 1) {
        problem = "-o takes one input file; use -d for several";
    } else if (!options.output.empty() && !options.directory.empty()) {
        problem = "-o and -d exclude each other";
    } else if (options.quiet && options.verbose) {
        problem = "--quiet and --verbose exclude each other";
    }
    return problem.empty();
}

// The run's phases as a bar on standard error; silent unless that is a terminal.
class TerminalProgress : public reduce::DiffusionObserver {
  public:
    explicit TerminalProgress(bool wanted) : shown_(wanted && isatty(STDERR_FILENO) != 0) {}

    void Opening(int fixed, int basic, int free) override {
        if (shown_) {
            std::fprintf(stderr, "%s%d / %s%d / %s%d\n", kFixedGroupText, fixed, kBasicGroupText,
                         basic, kFreeGroupText, free);
        }
    }
    void Phase(int phase) override {
        phase_ = phase;
        Draw(1, 1);
    }
    void Progress(std::int64_t done, std::int64_t total) override {
        const int percent = total > 0 ? static_cast<int>(done * 100 / total) : 100;
        if (percent != percent_) {
            percent_ = percent;
            Draw(done, total);
        }
    }
    void PaletteComplete(const std::uint8_t*) override { Draw(1, 1); }
    void Finished() override {
        if (shown_) {
            std::fprintf(stderr, "\r\033[K%s\n", kFinishedText);
        }
    }

  private:
    void Draw(std::int64_t done, std::int64_t total) {
        if (!shown_) {
            return;
        }
        const int width = 30;
        const int filled = total > 0 ? static_cast<int>(done * width / total) : width;
        std::fprintf(stderr, "\r\033[K%s [%.*s%*s] %3d%%", kPhaseLabels[phase_], filled,
                     "##############################", width - filled, "",
                     total > 0 ? static_cast<int>(done * 100 / total) : 100);
        std::fflush(stderr);
    }

    bool shown_;
    int phase_ = 0;
    int percent_ = -1;
};

// The conversion of one file's bytes.
using Conversion = std::function<reduce::Result(cli::FileBytes&, const reduce::Resizer&,
                                                reduce::DiffusionObserver&)>;

// How one file went: the exit code, and for a failure the file it concerns and why.
struct FileResult {
    int code = kConverted;
    std::string path;
    std::string message;
};

// The folder of -d, made when the first result is about to be written there, so that a
// batch whose every file fails leaves no folder behind.
class OutputFolder {
  public:
    explicit OutputFolder(std::string path) : path_(std::move(path)) {}

    // True when the folder exists (or none was asked for); else `error` says why not.
    bool Ready(std::string& error) {
        if (path_.empty()) {
            return true;
        }
        const std::lock_guard<std::mutex> hold(lock_);
        if (!made_) {
            std::error_code failure;
            std::filesystem::create_directories(path_, failure);
            if (failure) {
                error = failure.message();
                return false;
            }
            made_ = true;
        }
        return true;
    }
    const std::string& path() const { return path_; }

  private:
    const std::string path_;
    std::mutex lock_;
    bool made_ = false;
};

// Reads the input, converts it and writes the result through the safety copy. A refusal is
// code 1 with the program's message; running out of memory counts as a failure to read
// the file whole.
FileResult ConvertFile(const std::string& input, const std::string& output, OutputFolder& folder,
                       const Conversion& convert, reduce::DiffusionObserver& observer) try {
    cli::FileBytes image;
    std::string error;
    if (!cli::ReadWholeFile(input, image, error)) {
        return {kFileError, input, error};
    }
    const reduce::Resizer resize = [&image](std::uint64_t size) {
        image.resize(static_cast<std::size_t>(size));
        return reduce::ResizeResult{image.data(), true};
    };
    const reduce::Result result = convert(image, resize, observer);
    if (result.outcome != reduce::Outcome::Converted) {
        return {result.outcome == reduce::Outcome::NoMemory ? kFileError : kRefused, input,
                text::RefusalText(result.outcome)};
    }
    image.resize(static_cast<std::size_t>(result.newSize));
    if (!folder.Ready(error)) {
        return {kFileError, folder.path(), error};
    }
    if (!cli::WriteWithSafetyCopy(output, image.data(), image.size(), error)) {
        return {kFileError, output, error};
    }
    return {kConverted, output, ""};
} catch (const std::bad_alloc&) {
    return {kFileError, input, kNoMemoryText};
}

// Where a file's result goes: -o, DIR/NAME with -d, or over the file itself.
std::string OutputOf(const Options& options, const std::string& input) {
    if (!options.output.empty()) {
        return options.output;
    }
    if (!options.directory.empty()) {
        return (std::filesystem::path(options.directory) / std::filesystem::path(input).filename())
            .string();
    }
    return input;
}

// What a path names, to tell whether two paths are one file: an existing file by its device
// and inode (through symbolic and hard links alike), any other path by its absolute form.
std::string FileIdentity(const std::string& path) {
    struct stat info;
    if (::stat(path.c_str(), &info) == 0) {
        return "file " + std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
    }
    std::error_code error;
    const std::filesystem::path full = std::filesystem::weakly_canonical(path, error);
    return "path " + (error ? path : full.string());
}

// Two inputs whose results would go to one file (the same input twice, two files of one
// name with -d, two links to one file), and a result that would go over another input, are
// refused before anything is read or written: one result would be lost, or two workers
// would replace one file at once.
bool FindCollision(const Options& options, std::string& problem) {
    std::map<std::string, std::size_t> inputs, outputs;
    for (std::size_t i = 0; i < options.inputs.size(); ++i) {
        inputs.emplace(FileIdentity(options.inputs[i]), i);
    }
    for (std::size_t i = 0; i < options.inputs.size(); ++i) {
        const std::string output = OutputOf(options, options.inputs[i]);
        const std::string identity = FileIdentity(output);
        const auto [earlier, added] = outputs.emplace(identity, i);
        if (!added) {
            problem = options.inputs[earlier->second] + " and " + options.inputs[i] +
                      " would both be written to " + output;
            return true;
        }
        const auto input = inputs.find(identity);
        if (input != inputs.end() && input->second != i) {
            problem = options.inputs[i] + " would be written over another input, " +
                      options.inputs[input->second];
            return true;
        }
    }
    return false;
}

// Reports a file that failed, or with --verbose one that was converted, as "IN: OUT";
// returns the file's exit code.
int Report(const std::string& input, const FileResult& result, bool verbose) {
    if (result.code != kConverted) {
        return Fail(result.code, result.path, result.message);
    }
    if (verbose) {
        std::fprintf(stderr, "tintwright: %s: %s\n", input.c_str(), result.path.c_str());
    }
    return kConverted;
}

// The batch's progress as one line on standard error, and the files that failed, each
// reported as it ends.
class BatchReport {
  public:
    BatchReport(std::size_t total, bool line, bool verbose)
        : total_(total), line_(line && isatty(STDERR_FILENO) != 0), verbose_(verbose) {}

    void Started(const std::string& name) {
        const std::lock_guard<std::mutex> hold(lock_);
        current_.insert(name);
        Draw();
    }
    void Ended(const std::string& name, const FileResult& result) {
        const std::lock_guard<std::mutex> hold(lock_);
        current_.erase(current_.find(name));
        ++done_;
        if (result.code != kConverted || verbose_) {
            Clear();
            Report(name, result, verbose_);
        }
        Draw();
        if (done_ == total_) {
            Clear();
        }
    }

  private:
    void Clear() {
        if (line_) {
            std::fputs("\r\033[K", stderr);
        }
    }
    void Draw() {
        if (!line_) {
            return;
        }
        std::string names;
        for (const std::string& name : current_) {
            names += " " + std::filesystem::path(name).filename().string();
        }
        std::fprintf(stderr, "\r\033[K[%zu/%zu]%.*s", done_, total_, 60, names.c_str());
        std::fflush(stderr);
    }

    std::mutex lock_;
    const std::size_t total_;
    const bool line_, verbose_;
    std::size_t done_ = 0;
    std::multiset<std::string> current_;
};

// Converts every input, `jobs` at a time; the exit code is the worst of theirs: 3 before 1.
int ConvertAll(const Options& options, const Conversion& convert, int jobs) {
    OutputFolder folder(options.directory);
    if (options.inputs.size() == 1) {
        TerminalProgress progress(!options.quiet);
        const FileResult result = ConvertFile(
            options.inputs[0], OutputOf(options, options.inputs[0]), folder, convert, progress);
        return Report(options.inputs[0], result, options.verbose);
    }
    BatchReport report(options.inputs.size(), !options.quiet, options.verbose);
    std::atomic<std::size_t> next{0};
    std::atomic<int> worst{kConverted};
    const auto work = [&] {
        TerminalProgress silent(false);
        for (std::size_t i; (i = next++) < options.inputs.size();) {
            const std::string& input = options.inputs[i];
            report.Started(input);
            const FileResult result =
                ConvertFile(input, OutputOf(options, input), folder, convert, silent);
            report.Ended(input, result);
            int seen = worst.load();
            while ((result.code == kFileError || (result.code == kRefused && seen == kConverted)) &&
                   !worst.compare_exchange_weak(seen, result.code)) {
            }
        }
    };
    std::vector<std::thread> helpers;
    for (int j = 1; j < jobs; ++j) {
        try {
            helpers.emplace_back(work);
        } catch (const std::system_error&) {
            break; // fewer helpers: the files still all get done
        }
    }
    work();
    for (std::thread& helper : helpers) {
        helper.join();
    }
    return worst.load();
}

// How many files to convert at a time: -j, or the processors, never more than the files.
int JobsFor(const Options& options) {
    const int processors = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    const int jobs = options.jobs > 0 ? options.jobs : processors;
    return std::min(jobs, static_cast<int>(options.inputs.size()));
}

int RunExact(const Options& options) {
    return ConvertAll(
        options,
        [](cli::FileBytes& image, const reduce::Resizer& resize, reduce::DiffusionObserver&) {
            return reduce::ReduceExact(image.data(), image.size(), resize);
        },
        JobsFor(options));
}

int RunDiffuse(const Options& options) {
    std::uint8_t table[palette::kTableBytes] = {};
    if (!options.palette.empty()) {
        cli::FileBytes file;
        std::string error;
        if (!cli::ReadWholeFile(options.palette, file, error)) {
            return Fail(kFileError, options.palette, error);
        }
        palette::DecodePaletteFile(file.data(), file.size(),
                                   palette::IsZName(options.palette.c_str()), table);
    }
    const int jobs = JobsFor(options);
    reduce::DiffusionInput input{options.fixed, table, reduce::kBasicPalette};
    // Several files at a time keep the processors busy: each file's dithering takes one.
    input.threads = jobs > 1 ? 1 : 0;
    if (options.adaptive) {
        input.method = reduce::DiffusionMethod::Adaptive;
    }
    return ConvertAll(
        options,
        [&input](cli::FileBytes& image, const reduce::Resizer& resize,
                 reduce::DiffusionObserver& observer) {
            return reduce::DiffuseImage(image.data(), image.size(), resize, input, observer);
        },
        jobs);
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        std::fputs("\n", stdout);
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("tintwright %s\n", TW_VERSION);
        return 0;
    }
    Options options;
    std::string problem;
    if (!ParseArguments(argc, argv, options, problem) || FindCollision(options, problem)) {
        return UsageError(problem.c_str());
    }
    try {
        return options.command == "exact" ? RunExact(options) : RunDiffuse(options);
    } catch (const std::bad_alloc&) {
        return Fail(kFileError, options.inputs[0], kNoMemoryText);
    }
}
