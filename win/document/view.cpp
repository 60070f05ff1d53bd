#include "win/document/view.h"

#include <algorithm>
#include <climits>
#include <iterator>

ViewState View;

int ZoomedExtent(long long extent) {
    if (extent <= 0) {
        return 0;
    }
    const long long zoomed = ZoomedOffset(extent);
    return static_cast<int>(std::clamp<long long>(zoomed, 1, INT_MAX));
}

long long ZoomedOffset(long long offset) {
    return offset * View.zoom / 100;
}

int NextZoomStep(int zoom, int direction) {
    if (direction > 0) {
        for (const int step : kZoomSteps) {
            if (step > zoom) {
                return step;
            }
        }
        return zoom;
    }
    for (auto step = std::rbegin(kZoomSteps); step != std::rend(kZoomSteps); ++step) {
        if (*step < zoom) {
            return *step;
        }
    }
    return zoom;
}

int FittingZoom(long long width, long long height, LONG clientWidth, LONG clientHeight) {
    if (width <= 0 || height <= 0) {
        return 100;
    }
    const long long across = std::max<LONG>(clientWidth, 1) * 100LL / width;
    const long long down = std::max<LONG>(clientHeight, 1) * 100LL / height;
    return static_cast<int>(std::clamp<long long>(std::min(across, down), kMinZoom, kMaxZoom));
}
