#include "palette/palette_grid.h"

// The palette dialog that creates this window does not exist yet; until then the window
// only has the default behaviour.
LRESULT CALLBACK PaletteGridProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}
