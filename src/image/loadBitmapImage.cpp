#include "image.h"

#include <cstdio>

static void writeToStandardError(const char* message) { std::fprintf(stderr, "Error: %s\n", message); }

void (*showLoaderMessage)(const char* message) = writeToStandardError;

std::unique_ptr<RgbImage> loadBitmapImage(const char*) { return nullptr; }
