#include "core/quantize/observer.h"

namespace quantize {

void ReportProgress(DiffusionObserver& observer, std::int64_t begin, std::int64_t end,
                    std::int64_t total) {
    for (std::int64_t done = (begin + 99) / 100 * 100; done < end; done += 100) {
        observer.Progress(done, total);
    }
}

} // namespace quantize
