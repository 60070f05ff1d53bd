#include "win/app/app.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    return TintwrightMain(instance, showCommand);
}
