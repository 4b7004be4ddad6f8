// Pose pictures read from disk: what is found, what cannot be opened, and how a message reaches
// the player when no display is there to show a box.
#include "loaderTestSupport.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

// The game's own way of showing a message, taken before any test replaces it.
void (*const showInBox)(const char*) = showLoaderMessage;

class FileTest : public LoaderTest {
  protected:
    void SetUp() override {
        LoaderTest::SetUp();
        std::string pattern = testing::TempDir() + "lamevoImageXXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder = pattern + "/";
    }
    void TearDown() override {
        for (const std::string& path : created) {
            std::remove(path.c_str());
        }
        rmdir(folder.c_str());
        LoaderTest::TearDown();
    }

    std::string write(const std::string& name, const Bytes& bytes) {
        const std::string path = folder + name;
        std::FILE* file = std::fopen(path.c_str(), "wb");
        EXPECT_NE(file, nullptr);
        if (file != nullptr) {
            if (!bytes.empty()) {
                std::fwrite(bytes.data(), 1, bytes.size(), file);
            }
            std::fclose(file);
        }
        created.push_back(path);
        return path;
    }

    std::string folder;
    std::vector<std::string> created;
};

TEST_F(FileTest, PictureOnDiskLoadsAndEachLoadIsItsOwn) {
    BitmapLayout layout{.width = 2, .height = 2, .bitsPerPixel = 24};
    layout.pixels = packRows(24, {{0x112233, 0x445566}, {0x778899, 0xAABBCC}});
    const std::string path = write("leftEngarde.bmp", buildBitmap(layout));
    const auto first = loadBitmapImage(path.c_str());
    const auto second = loadBitmapImage(path.c_str());
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_TRUE(shownMessages.empty());
    EXPECT_EQ(pixelsOf(*first), rgb({0x112233, 0x445566, 0x778899, 0xAABBCC}));
    EXPECT_EQ(pixelsOf(*second), pixelsOf(*first));
    EXPECT_NE(first->pixels.get(), second->pixels.get());
}

TEST_F(FileTest, DamagedPictureOnDiskShowsItsOwnMessageOnly) {
    BitmapLayout layout{.width = 2, .height = 2, .bitsPerPixel = 24, .compression = 5};
    layout.pixels = Bytes(16, 0);
    const std::string path = write("rightLunge.bmp", buildBitmap(layout));
    EXPECT_EQ(loadBitmapImage(path.c_str()), nullptr);
    EXPECT_EQ(shownMessages, std::vector<std::string>{CONVERSION_ERROR});
}

TEST_F(FileTest, WhatCannotBeOpenedNamesTheFileAsGiven) {
    const std::string empty = write("rightParry.bmp", {});
    const std::string pipe = folder + "leftParry.bmp";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    created.push_back(pipe);
    const std::string names[] = {
        "leftLunge.bmp", // missing, by the bare name the game uses
        folder + "missing.bmp", empty, folder, pipe,
    };
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        shownMessages.clear();
        EXPECT_EQ(loadBitmapImage(name.c_str()), nullptr);
        EXPECT_EQ(shownMessages,
                  std::vector<std::string>{"Failed to open DIB file " + name + ".\n"});
    }
}

// A player saving a picture over the one the game is reading: each load gives the whole
// picture or one message, never a fault or a picture made of what was read half way. Small
// files are read whole; the larger ones (over 128 KiB, stored bottom up and top down) a band of
// rows at a time, and their rows differ so that a band out of place shows.
TEST_F(FileTest, PictureSavedOverWhileItIsReadLoadsWholeOrNotAtAll) {
    for (const auto& [width, height] : {std::pair{128, 64}, {250, 262}, {250, -262}}) {
        BitmapLayout layout{.width = width, .height = height, .bitsPerPixel = 24};
        layout.pixels.resize(workingRowBytes(width) * std::abs(height));
        std::iota(layout.pixels.begin(), layout.pixels.end(), std::uint8_t{7});
        const Bytes file = buildBitmap(layout);
        const std::string path = write("leftParry.bmp", file);
        const Bytes expected = pixelsOf(*load(file));
        ASSERT_EQ(pixelsOf(*loadBitmapImage(path.c_str())), expected) << width << " x " << height;
        std::atomic<bool> reading{true};
        std::thread saver([&] {
            for (const std::size_t half = file.size() / 2; reading;) {
                std::FILE* saved = std::fopen(path.c_str(), "wb");
                std::fwrite(file.data(), 1, half, saved);
                std::fflush(saved);
                std::fwrite(file.data() + half, 1, file.size() - half, saved);
                std::fclose(saved);
            }
        });
        const std::string refusals[] = {"Failed to open DIB file " + path + ".\n", UNKNOWN_FORMAT,
                                        CONVERSION_ERROR};
        for (int attempt = 0; attempt < 5000; ++attempt) {
            shownMessages.clear();
            const auto image = loadBitmapImage(path.c_str());
            ASSERT_TRUE(image ? pixelsOf(*image) == expected && shownMessages.empty()
                              : shownMessages.size() == 1 &&
                                    std::ranges::count(refusals, shownMessages[0]) == 1)
                << width << " x " << height << ": "
                << (shownMessages.empty() ? "a picture unlike the one saved" : shownMessages[0]);
        }
        reading = false;
        saver.join();
    }
}

// Files far longer than any pose picture, most of them a hole the system reads as zeros: the
// header decides before anything sized from the file is reserved, and a picture takes no more
// of a file than it can use. Reading such a file whole would ask for 64 GiB and say
// "Out of memory." instead.
TEST_F(FileTest, AHugeFileIsJudgedByItsHeaderNotItsLength) {
    constexpr off_t HUGE_FILE_BYTES = off_t{64} << 30;
    BitmapLayout runLength{
        .width = 3, .height = 2, .bitsPerPixel = 8, .compression = DIB_RLE8, .coloursUsed = 2};
    runLength.colours = {0x000000, 0xFF0000};
    // Runs of one pixel each: more bytes than the same rows uncompressed.
    runLength.pixels = {1, 1, 1, 1, 1, 1, 0, 0, 1, 1, 1, 1, 1, 1, 0, 1};
    BitmapLayout coreHeader{.headerSize = 12, .width = 1, .height = 1, .bitsPerPixel = 32};
    coreHeader.pixels = {0x33, 0x22, 0x11, 0};
    const struct Case {
        const char* what;
        Bytes start;
        std::vector<std::string> messages;
        Bytes pixels;
    } cases[] = {
        {"not a bitmap", Bytes(64, 'x'), {UNKNOWN_FORMAT}, {}},
        {"a bitmap's file header only", Bytes{'B', 'M'}, {UNKNOWN_FORMAT}, {}},
        {"run-length rows",
         buildBitmap(runLength),
         {},
         rgb({0xFF0000, 0xFF0000, 0xFF0000, 0xFF0000, 0xFF0000, 0xFF0000})},
        {"a core header", buildBitmap(coreHeader), {}, rgb({0x112233})},
    };
    for (const Case& huge : cases) {
        SCOPED_TRACE(huge.what);
        shownMessages.clear();
        const std::string path = write("huge.bmp", huge.start);
        ASSERT_EQ(truncate(path.c_str(), HUGE_FILE_BYTES), 0);
        const auto image = loadBitmapImage(path.c_str());
        EXPECT_EQ(shownMessages, huge.messages);
        EXPECT_EQ(image ? pixelsOf(*image) : Bytes{}, huge.pixels);
    }
}

TEST_F(FileTest, LongNameIsCutToTheMessageArea) {
    const std::string name = folder + std::string(400, 'x') + ".bmp";
    EXPECT_EQ(loadBitmapImage(name.c_str()), nullptr);
    const std::string full = "Failed to open DIB file " + name + ".\n";
    EXPECT_EQ(shownMessages, std::vector<std::string>{full.substr(0, 255)});
}

TEST(MessageBox, WithoutDisplayTheMessageGoesToStandardError) {
    const char* display = std::getenv("DISPLAY");
    const std::string savedDisplay = display != nullptr ? display : "";
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    setenv("SDL_VIDEODRIVER", "x11", 1);
    testing::internal::CaptureStderr();
    showInBox("Unknown DIB file format.");
    showInBox("Failed to open DIB file leftParry.bmp.\n");
    const std::string written = testing::internal::GetCapturedStderr();
    unsetenv("SDL_VIDEODRIVER");
    if (display != nullptr) {
        setenv("DISPLAY", savedDisplay.c_str(), 1);
    }
    EXPECT_EQ(written,
              "Error: Unknown DIB file format.\nError: Failed to open DIB file leftParry.bmp.\n");
}

} // namespace
