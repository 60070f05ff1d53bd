// tintwright: the command-line front end of the BMP colour reducer. Runs the same
// conversions as the desktop program.
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "cli/file_io.h"
#include "reduce/exact_reduction.h"
#include "res/texts.h"

#ifndef TW_VERSION
#define TW_VERSION "0.0.0"
#endif

namespace {

// Exit codes.
constexpr int kConverted = 0;
constexpr int kRefused = 1;
constexpr int kUsageError = 2;
constexpr int kFileError = 3;

constexpr char kUsage[] = "Usage: tintwright exact IN.bmp [-o OUT.bmp]\n"
                          "       tintwright --help | --version\n";

constexpr char kHelp[] =
    "Turns 24-bit BMP images into 256-colour (8-bit indexed) BMP images.\n"
    "\n"
    "Commands:\n"
    "  exact IN.bmp [-o OUT.bmp]\n"
    "      Exact reduction: an image of at most 256 distinct colours becomes an 8-bit\n"
    "      image whose colour table lists the colours in order of first appearance.\n"
    "      Nothing is lost; images with more colours are refused.\n"
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
};

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
        if (arg == "-o" || arg == "--output") {
            if (i + 1 >= argc) {
                problem = "option " + arg + " needs a file name";
                return false;
            }
            options.output = argv[++i];
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
    if (options.command != "exact") {
        problem = "unknown command " + options.command;
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

const char* RefusalText(reduce::ExactOutcome outcome) {
    switch (outcome) {
    case reduce::ExactOutcome::NotTrueColour:
        return kAlready256Text;
    case reduce::ExactOutcome::TooManyColours:
        return kTooManyColoursText;
    case reduce::ExactOutcome::UnsupportedLayout:
        return kUnsupportedLayoutText;
    case reduce::ExactOutcome::Truncated:
        return kTruncatedImageText;
    case reduce::ExactOutcome::NoMemory:
        return kNoMemoryText;
    case reduce::ExactOutcome::Converted:
        break;
    }
    return "";
}

int RunExact(const Options& options) {
    std::vector<std::uint8_t> image;
    std::string error;
    if (!cli::ReadWholeFile(options.input, image, error)) {
        return Fail(kFileError, options.input, error);
    }
    const auto resize = [&image](std::uint64_t size) {
        image.resize(static_cast<std::size_t>(size));
        return reduce::ResizeResult{image.data(), true};
    };
    const reduce::ExactResult result = reduce::ReduceExact(image.data(), image.size(), resize);
    if (result.outcome != reduce::ExactOutcome::Converted) {
        return Fail(result.outcome == reduce::ExactOutcome::NoMemory ? kFileError : kRefused,
                    options.input, RefusalText(result.outcome));
    }
    image.resize(static_cast<std::size_t>(result.newSize));
    if (!cli::WriteWithSafetyCopy(options.output, image, error)) {
        return Fail(kFileError, options.output, error);
    }
    return kConverted;
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
        return RunExact(options);
    } catch (const std::bad_alloc&) {
        return Fail(kFileError, options.input, kNoMemoryText);
    }
}
