// tintwright: the command-line front end of the BMP colour reducer.
#include <cstdio>
#include <cstring>

#ifndef TW_VERSION
#define TW_VERSION "0.0.0"
#endif

static void PrintUsage(std::FILE* out) {
    std::fputs("Usage: tintwright --help | --version\n"
               "Turns 24-bit BMP images into 256-colour BMP images.\n",
               out);
}

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        PrintUsage(stdout);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("tintwright %s\n", TW_VERSION);
        return 0;
    }
    PrintUsage(stderr);
    return 2;
}
