#include "cli/batch.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <new>
#include <set>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

#include "cli/memory.h"
#include "cli/messages.h"
#include "core/bmp/layout.h"
#include "core/quantize/bmp_writer.h"
#include "core/quantize/fewer_bits.h"
#include "core/text/refusals.h"
#include "core/text/texts.h"

namespace cli {

int Fail(int code, const std::string& path, const std::string& message) {
    std::fprintf(stderr, "tintwright: %s: %s\n", path.c_str(), message.c_str());
    return code;
}

namespace {

// A PNG or JPEG file's bytes replaced by the BMP of its pixels; a BMP stays as it is.
bool DecodeUnlessBmp(FileBytes& image, const image::AlphaRule& alpha, std::string& error) {
    if (KindOf(image.data(), image.size()) != ImageKind::Bmp) {
        cli::FileBytes decoded;
        if (!DecodeToBmp(image.data(), image.size(), alpha, decoded, error)) {
            return false;
        }
        image.swap(decoded);
    }
    return true;
}

} // namespace

bool ReadImageFile(const std::string& path, const image::AlphaRule& alpha, FileBytes& image,
                   std::string& error) {
    return cli::ReadWholeFile(path, image, error) && DecodeUnlessBmp(image, alpha, error);
}

namespace {

// The run's phases as a bar on standard error; silent unless that is a terminal.
class TerminalProgress : public quantize::DiffusionObserver {
  public:
    explicit TerminalProgress(bool wanted) : shown_(wanted && isatty(STDERR_FILENO) != 0) {}

    void Opening(int fixed, int basic, int free) override {
        if (shown_) {
            std::fprintf(stderr, "fixed %d / basic %d / free %d\n", fixed, basic, free);
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
    void PaletteComplete() override { Draw(1, 1); }
    void Finished() override {
        if (shown_) {
            std::fputs("\r\033[Kdone\n", stderr);
        }
    }

  private:
    void Draw(std::int64_t done, std::int64_t total) {
        if (!shown_) {
            return;
        }
        const int width = 30;
        const int filled = total > 0 ? static_cast<int>(done * width / total) : width;
        std::fprintf(stderr, "\r\033[K%s [%.*s%*s] %3d%%", kPhaseNames[phase_], filled,
                     "##############################", width - filled, "",
                     total > 0 ? static_cast<int>(done * 100 / total) : 100);
        std::fflush(stderr);
    }

    bool shown_;
    int phase_ = 0;
    int percent_ = -1;
};

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

// Puts the 8-bit result into the bits `wanted` (kAutoBits: the fewest for a PNG, 8 for a BMP)
// in place: a BMP file image rewritten and resized, a PNG's rows packed where they are in
// `view`, whose palette then holds the entries up to the highest a pixel takes. An empty text,
// or why the indices do not fit.
std::string FitToBits(FileBytes& image, quantize::IndexedImage& view, int wanted,
                      OutputFormat format) {
    if (wanted == kAutoBits && format == OutputFormat::Bmp) {
        return ""; // some readers take only 8-bit BMP files
    }
    const int highest = quantize::HighestIndex(view);
    const int bits = wanted == kAutoBits ? quantize::BitsHolding(highest) : wanted;
    if (highest >> bits != 0) {
        return "the result's pixels take palette entries up to " + std::to_string(highest) +
               "; --bits " + std::to_string(bits) + " holds " + std::to_string(1 << bits) +
               " (0 to " + std::to_string((1 << bits) - 1) + "); nothing was written";
    }
    if (bits == 8) {
        return "";
    }
    if (format == OutputFormat::Bmp) {
        image.resize(static_cast<std::size_t>(quantize::PackBmpInPlace(image.data(), view, bits)));
    } else {
        std::uint8_t* pixels = image.data() + (view.indices - image.data());
        view = quantize::PackInPlace(view, pixels, bits);
        view.entries = std::min(view.entries, highest + 1);
    }
    return "";
}

// Reads the input, converts it and writes the result atomically, within the memory `budget`
// gives it. A refusal is code 1 with the program's message; running out of memory counts as a
// failure to read the file whole.
FileResult ConvertFile(const std::string& input, const std::string& output, OutputFolder& folder,
                       const Conversion& convert, quantize::DiffusionObserver& observer,
                       OutputFormat format, const ImageSettings& images, MemoryBudget& budget) try {
    cli::FileBytes image;
    std::string error;
    MemoryBudget::Claim claim(budget);
    struct stat info;
    if (::stat(input.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
        claim.GrowTo(static_cast<std::uint64_t>(info.st_size));
        image.reserve(static_cast<std::size_t>(info.st_size) + kConversionRoom);
    }
    if (!cli::ReadWholeFile(input, image, error)) {
        return {kFileError, input, error};
    }
    claim.GrowTo(MemoryFor(image, format == OutputFormat::Png, images.refines, images.alpha.kept));
    claim.EndTurn();
    if (images.indexedPng && KindOf(image.data(), image.size()) == ImageKind::Png) {
        cli::FileBytes decoded;
        if (!DecodeIndexedPng(image.data(), image.size(), images.png.keyTransparent, decoded,
                              error)) {
            return {kFileError, input, error};
        }
        image.swap(decoded);
    } else if (!DecodeUnlessBmp(image, images.alpha, error)) {
        return {kFileError, input, error};
    }
    const quantize::Resizer resize = [&image](std::uint64_t size) {
        image.resize(static_cast<std::size_t>(size));
        return quantize::ResizeResult{image.data(), true};
    };
    const quantize::Result result = convert(image, resize, observer);
    if (result.outcome != quantize::Outcome::Converted) {
        return {result.outcome == quantize::Outcome::NoMemory ? kFileError : kRefused, input,
                Say(text::RefusalText(result.outcome))};
    }
    image.resize(static_cast<std::size_t>(result.newSize));
    std::vector<std::uint8_t> png;
    if (format == OutputFormat::Png || images.bits != 8) {
        if (format == OutputFormat::Png) {
            // The 8-bit result is a third of the room the 24-bit image took: the encoder's rows
            // and stream fit in what is given back.
            image.shrink_to_fit();
        }
        const std::uint32_t told =
            image.size() >= bmp::kHeadersSize ? bmp::ReadU32(image.data() + bmp::kBiClrUsed) : 0;
        auto indexed = quantize::ViewPlainBmp(
            image.data(), image.size(),
            images.entriesOfHeader && told > 0 ? static_cast<int>(told) : images.png.entries,
            images.png.keyTransparent, images.alpha.kept);
        if (indexed) {
            indexed->keyStep = images.png.keyStep;
        }
        if (!indexed || (images.bits != 8 && indexed->bits != 8)) {
            return {kFileError, output,
                    images.bits != 8 ? "only plain 8-bit images are written with fewer bits"
                                     : "only plain 8- and 24-bit images are written as PNG"};
        }
        if (images.bits != 8) {
            error = FitToBits(image, *indexed, images.bits, format);
            if (!error.empty()) {
                return {kRefused, input, error};
            }
        }
        if (format == OutputFormat::Png && !EncodePng(*indexed, png, error)) {
            return {kFileError, output, error};
        }
    }
    if (!folder.Ready(error)) {
        return {kFileError, folder.path(), error};
    }
    const bool asPng = format == OutputFormat::Png;
    if (!cli::WriteAtomically(output, asPng ? png.data() : image.data(),
                              asPng ? png.size() : image.size(), error)) {
        return {kFileError, output, error};
    }
    return {kConverted, output, ""};
} catch (const std::bad_alloc&) {
    return {kFileError, input, Say(kNoMemoryText)};
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

} // namespace

int ConvertAll(const Options& options, const Conversion& convert, int jobs,
               const ImageSettings& images) {
    OutputFolder folder(options.directory);
    MemoryBudget budget(kMemoryBudget);
    const auto formatOf = [&options](const std::string& output) {
        return FormatOf(options, output).value_or(OutputFormat::Bmp);
    };
    if (options.inputs.size() == 1) {
        TerminalProgress progress(!options.quiet);
        const std::string output = OutputOf(options, options.inputs[0]);
        const FileResult result = ConvertFile(options.inputs[0], output, folder, convert, progress,
                                              formatOf(output), images, budget);
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
            const std::string output = OutputOf(options, input);
            const FileResult result = ConvertFile(input, output, folder, convert, silent,
                                                  formatOf(output), images, budget);
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

int JobsFor(const Options& options) {
    const int processors = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    const int jobs = options.jobs > 0 ? options.jobs : processors;
    return std::min(jobs, static_cast<int>(options.inputs.size()));
}

} // namespace cli
