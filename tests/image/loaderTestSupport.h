// What the loader's tests share: the messages it shows, caught instead of opening a box,
// and loading from an exact-size copy, so that a read one byte past the end trips the sanitizer.
#pragma once

#include "bitmapBuilder.h"
#include "dib.h"
#include "image.h"

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

inline std::vector<std::string> shownMessages;

class LoaderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        shownMessages.clear();
        savedShow = showLoaderMessage;
        showLoaderMessage = [](const char* message) { shownMessages.emplace_back(message); };
    }
    void TearDown() override { showLoaderMessage = savedShow; }

    static std::unique_ptr<RgbImage> load(const Bytes& file) {
        std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[file.size()]);
        if (!file.empty()) {
            std::memcpy(exact.get(), file.data(), file.size());
        }
        return loadBitmapFromMemory(exact.get(), file.size());
    }

  private:
    void (*savedShow)(const char*) = nullptr;
};

// The result's bytes for pixels given as 0xRRGGBB, the bottom row first.
inline Bytes rgb(std::initializer_list<std::uint32_t> pixels) {
    Bytes bytes;
    for (std::uint32_t pixel : pixels) {
        bytes.push_back(static_cast<std::uint8_t>(pixel >> 16));
        bytes.push_back(static_cast<std::uint8_t>(pixel >> 8));
        bytes.push_back(static_cast<std::uint8_t>(pixel));
    }
    return bytes;
}

inline Bytes pixelsOf(const RgbImage& image) {
    const std::uint8_t* first = image.pixels.get();
    return Bytes(first, first + std::size_t{3} * image.width * image.height);
}

inline constexpr const char* UNKNOWN_FORMAT = "Unknown DIB file format.";
inline constexpr const char* OUT_OF_MEMORY = "Out of memory.";
inline constexpr const char* CONVERSION_ERROR = "Image file conversion error.";
