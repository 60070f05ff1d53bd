#include "reduce/conversion_window.h"

// Error diffusion, which creates this window, does not exist yet; until then the window only
// has the default behaviour.
LRESULT CALLBACK ConversionWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}
