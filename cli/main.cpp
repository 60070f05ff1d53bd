// tintwright: the command-line front end of the BMP colour reducer. Runs the same
// conversions as the desktop program.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <string>
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
    "Usage: tintwright exact IN.bmp [-o OUT.bmp]\n"
    "       tintwright diffuse IN.bmp [-o OUT.bmp] [--palette FILE] [--fixed N] [--adaptive]\n"
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
    "      the palette FILE; 0 to 256, default 0), the 42 basic colours, and the\n"
    "      image's most frequent other colours. FILE is a 768-byte palette file, or\n"
    "      the 1572-byte format when the third character from the end of its name is\n"
    "      'z'. On a terminal, a progress bar is shown on standard error.\n"
    "      --adaptive: high quality for photographs: the N fixed colours and 256 - N\n"
    "      colours chosen for the image, dithered with Floyd-Steinberg weights. An\n"
    "      image of at most 256 - N colours keeps every pixel.\n"
    "\n"
    "Without -o the input file is replaced. Every write goes through a safety copy\n"
    "NAME.tmp, which is removed once the new file is complete; an existing NAME.tmp\n"
    "is never touched and makes the write fail.\n"
    "\n"
    "Exit status: 0 converted, 1 refused (the reason is printed), 2 usage error,\n"
    "3 a file could not be read or written. On any failure no file is changed.\n";

struct Options {
    std::string command;
    std::string input;
    std::string output;
    std::string palette;
    int fixed = 0;
    bool adaptive = false;
};

// A whole decimal number from 0 to 256, or -1.
int ParseFixedCount(const std::string& text) {
    if (text.empty() || text.size() > 3 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return -1;
    }
    const int value = std::atoi(text.c_str());
    return value <= 256 ? value : -1;
}

int UsageError(const char* problem) {
    std::fprintf(stderr, "tintwright: %s\n%s", problem, kUsage);
    return kUsageError;
}

int Fail(int code, const std::string& path, const std::string& message) {
    std::fprintf(stderr, "tintwright: %s: %s\n", path.c_str(), message.c_str());
    return code;
}

// Parses "COMMAND IN [-o OUT]"; an empty command means the arguments were wrong.
bool ParseArguments(int argc, char** argv, Options& options, std::string& problem) {
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-o" || arg == "--output" || arg == "--palette" || arg == "--fixed") {
            if (i + 1 >= argc) {
                problem = "option " + arg + " needs a value";
                return false;
            }
            const std::string value = argv[++i];
            if (arg == "--palette") {
                options.palette = value;
            } else if (arg == "--fixed") {
                options.fixed = ParseFixedCount(value);
                if (options.fixed < 0) {
                    problem = "--fixed takes a number from 0 to 256";
                    return false;
                }
            } else {
                options.output = value;
            }
        } else if (arg == "--adaptive") {
            options.adaptive = true;
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
    if (options.command != "exact" && options.command != "diffuse") {
        problem = "unknown command " + options.command;
        return false;
    }
    if (options.command == "exact" &&
        (!options.palette.empty() || options.fixed != 0 || options.adaptive)) {
        problem = "--palette, --fixed and --adaptive belong to diffuse";
        return false;
    }
    if (options.fixed > 0 && options.palette.empty()) {
        problem = "--fixed above 0 needs --palette";
        return false;
    }
    if (positional.size() != 2) {
        problem = positional.size() < 2 ? "no input file given" : "too many arguments";
        return false;
    }
    options.input = positional[1];
    if (options.output.empty()) {
        options.output = options.input;
    }
    return true;
}

// The run's phases as a bar on standard error; silent unless that is a terminal.
class TerminalProgress : public reduce::DiffusionObserver {
  public:
    TerminalProgress() : shown_(isatty(STDERR_FILENO) != 0) {}

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

// Converts the input with `convert` and writes the result through the safety copy. A
// refusal exits with 1 and the program's message; running out of memory counts as a
// failure to read the file whole.
int ConvertFile(
    const Options& options,
    const std::function<reduce::Result(cli::FileBytes&, const reduce::Resizer&)>& convert) {
    cli::FileBytes image;
    std::string error;
    if (!cli::ReadWholeFile(options.input, image, error)) {
        return Fail(kFileError, options.input, error);
    }
    const reduce::Resizer resize = [&image](std::uint64_t size) {
        image.resize(static_cast<std::size_t>(size));
        return reduce::ResizeResult{image.data(), true};
    };
    const reduce::Result result = convert(image, resize);
    if (result.outcome != reduce::Outcome::Converted) {
        return Fail(result.outcome == reduce::Outcome::NoMemory ? kFileError : kRefused,
                    options.input, text::RefusalText(result.outcome));
    }
    image.resize(static_cast<std::size_t>(result.newSize));
    if (!cli::WriteWithSafetyCopy(options.output, image.data(), image.size(), error)) {
        return Fail(kFileError, options.output, error);
    }
    return kConverted;
}

int RunExact(const Options& options) {
    return ConvertFile(options, [](cli::FileBytes& image, const reduce::Resizer& resize) {
        return reduce::ReduceExact(image.data(), image.size(), resize);
    });
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
    reduce::DiffusionInput input{options.fixed, table, reduce::kBasicPalette};
    if (options.adaptive) {
        input.method = reduce::DiffusionMethod::Adaptive;
    }
    return ConvertFile(options, [&input](cli::FileBytes& image, const reduce::Resizer& resize) {
        TerminalProgress progress;
        return reduce::DiffuseImage(image.data(), image.size(), resize, input, progress);
    });
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
    if (!ParseArguments(argc, argv, options, problem)) {
        return UsageError(problem.c_str());
    }
    try {
        return options.command == "exact" ? RunExact(options) : RunDiffuse(options);
    } catch (const std::bad_alloc&) {
        return Fail(kFileError, options.input, kNoMemoryText);
    }
}
