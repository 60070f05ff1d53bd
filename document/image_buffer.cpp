#include "document/image_buffer.h"

HGLOBAL ImageBuffer;
DWORD ImageBytes;
int ImageLoaded;
