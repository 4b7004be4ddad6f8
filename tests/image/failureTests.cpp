// Damaged and unusual pose pictures: each one is refused with exactly one message, and none is
// read one byte past its end.
#include "loaderTestSupport.h"

#include <climits>

namespace {

class FailureTest : public LoaderTest {
  protected:
    static void expectRefused(const Bytes& file, const std::string& message) {
        shownMessages.clear();
        EXPECT_EQ(load(file), nullptr);
        EXPECT_EQ(shownMessages, std::vector<std::string>{message});
    }
};

BitmapLayout eightBitPicture() {
    BitmapLayout layout{.width = 4, .height = 2, .bitsPerPixel = 8, .coloursUsed = 2};
    layout.colours = {0xFF0000, 0x0000FF};
    layout.pixels = packRows(8, {{0, 1, 0, 1}, {1, 1, 0, 0}});
    return layout;
}

TEST_F(FailureTest, LaterHeaderKindsAndOddSizesAreUnknown) {
    for (std::uint32_t headerSize : {0u, 4u, 16u, 41u, 56u, 64u, 108u, 124u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(headerSize);
        BitmapLayout layout = eightBitPicture();
        layout.headerSize = headerSize;
        expectRefused(buildBitmap(layout), UNKNOWN_FORMAT);
    }
}

TEST_F(FailureTest, LayoutsTheDecoderDoesNotKnow) {
    struct Case {
        const char* name;
        std::uint16_t bits;
        std::uint32_t compression;
        std::int32_t height;
    };
    const Case cases[] = {
        {"no bits", 0, DIB_UNCOMPRESSED, 2},
        {"2 bits", 2, DIB_UNCOMPRESSED, 2},
        {"7 bits", 7, DIB_UNCOMPRESSED, 2},
        {"48 bits", 48, DIB_UNCOMPRESSED, 2},
        {"RLE8 on 4 bits", 4, DIB_RLE8, 2},
        {"RLE4 on 8 bits", 8, DIB_RLE4, 2},
        {"RLE8 top down", 8, DIB_RLE8, -2},
        {"RLE4 top down", 4, DIB_RLE4, -2},
        {"bit fields on 24", 24, DIB_BIT_FIELDS, 2},
        {"bit fields on 8", 8, DIB_BIT_FIELDS, 2},
        {"JPEG", 24, 4, 2},
        {"PNG", 24, 5, 2},
        {"alpha bit fields", 32, 6, 2},
        {"compression beyond", 24, 0x80000000u, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BitmapLayout layout{
            .width = 4, .height = c.height, .bitsPerPixel = c.bits, .coloursUsed = 2};
        layout.compression = c.compression;
        layout.colours = {0xFF0000, 0x0000FF};
        if (c.compression == DIB_BIT_FIELDS) {
            layout.masks = {0xFF0000, 0xFF00, 0xFF};
        }
        layout.pixels = Bytes(512, 0);
        expectRefused(buildBitmap(layout), CONVERSION_ERROR);
    }
}

TEST_F(FailureTest, DimensionsTooLargeOrEmpty) {
    struct Case {
        std::int32_t width;
        std::int32_t height;
        const char* message;
    };
    const Case cases[] = {
        {0, 2, CONVERSION_ERROR},
        {4, 0, CONVERSION_ERROR},
        {-4, 2, CONVERSION_ERROR},
        {4, INT_MIN, OUT_OF_MEMORY},
        {INT_MAX, 1, OUT_OF_MEMORY},
        {0x40000000, 4, OUT_OF_MEMORY},  // 12 GiB: wraps to 0 in 32 bits
        {20000, -20000, OUT_OF_MEMORY},  // over 1 GiB, stored top down
        {89478486, 1, OUT_OF_MEMORY},    // a working row of 256 MiB and 4 bytes
        {89478485, 1, CONVERSION_ERROR}, // exactly 256 MiB: allowed, but the file holds no row
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
        BitmapLayout layout{.width = c.width, .height = c.height, .bitsPerPixel = 24};
        layout.pixels = Bytes(64, 0);
        expectRefused(buildBitmap(layout), c.message);
    }
}

TEST_F(FailureTest, CoreHeaderWithNoWidthOrHeight) {
    BitmapLayout layout{.headerSize = 12, .width = 0, .height = 3, .bitsPerPixel = 24};
    layout.pixels = Bytes(16, 0);
    expectRefused(buildBitmap(layout), CONVERSION_ERROR);
    layout.width = 3;
    layout.height = 0;
    expectRefused(buildBitmap(layout), CONVERSION_ERROR);
}

TEST_F(FailureTest, PixelOffsetOutsideTheFileOrInsideTheHeaders) {
    BitmapLayout layout = eightBitPicture();
    layout.compression = 0;
    const Bytes whole = buildBitmap(layout);
    const auto withOffset = [&](std::uint32_t offset) {
        Bytes file(whole.begin(), whole.begin() + 10);
        put32(file, offset);
        file.insert(file.end(), whole.begin() + 14, whole.end());
        return file;
    };
    for (std::uint32_t offset : {0u, 13u, 14u, 53u, static_cast<std::uint32_t>(whole.size()),
                                 static_cast<std::uint32_t>(whole.size() + 1), 0xFFFFFFFFu}) {
        SCOPED_TRACE(offset);
        expectRefused(withOffset(offset), CONVERSION_ERROR);
    }
    // Pointing into the colour table is allowed: the table then overlaps the pixels.
    shownMessages.clear();
    EXPECT_NE(load(withOffset(54)), nullptr);
    EXPECT_TRUE(shownMessages.empty());
}

TEST_F(FailureTest, PixelOffsetInsideTheMasks) {
    BitmapLayout layout{.width = 1, .height = 1, .bitsPerPixel = 16, .compression = DIB_BIT_FIELDS};
    layout.masks = {0xF800, 0x07E0, 0x001F};
    layout.pixels = Bytes(4, 0xFF);
    Bytes file = buildBitmap(layout);
    file[10] = 14 + 40 + 8;
    expectRefused(file, CONVERSION_ERROR);
}

// Files cut at every length: a cut before the pixels leaves the headers, masks or colour table
// unreadable ("Unknown DIB file format."), a cut inside them leaves rows or the run-length
// stream unfinished ("Image file conversion error."). Widths are chosen so that the last row
// needs no padding, and the run-length streams end before every row is done.
TEST_F(FailureTest, FilesCutShortAtEveryByte) {
    struct Case {
        const char* name;
        BitmapLayout layout;
    };
    std::vector<Case> cases;
    cases.push_back({"8 bits with file header", eightBitPicture()});
    BitmapLayout bare = eightBitPicture();
    bare.fileHeader = false;
    cases.push_back({"8 bits without file header", bare});
    BitmapLayout core{.headerSize = 12, .width = 8, .height = 2, .bitsPerPixel = 4};
    core.colours = std::vector<std::uint32_t>(16, 0x123456);
    core.pixels = packRows(4, {{1, 2, 3, 4, 5, 6, 7, 8}, {8, 7, 6, 5, 4, 3, 2, 1}});
    cases.push_back({"core header 4 bits", core});
    BitmapLayout masked{.width = 2, .height = 2, .bitsPerPixel = 16, .compression = DIB_BIT_FIELDS};
    masked.masks = {0xF800, 0x07E0, 0x001F};
    masked.pixels = packRows(16, {{1, 2}, {3, 4}});
    cases.push_back({"16-bit fields", masked});
    BitmapLayout topDown{.width = 4, .height = -3, .bitsPerPixel = 24};
    topDown.pixels = packRows(24, {{1, 2, 3, 4}, {5, 6, 7, 8}, {9, 10, 11, 12}});
    cases.push_back({"24 bits top down", topDown});
    BitmapLayout rle8{.width = 4, .height = 3, .bitsPerPixel = 8, .compression = DIB_RLE8};
    rle8.coloursUsed = 2;
    rle8.colours = {0xFF0000, 0x00FF00};
    rle8.pixels = {4, 1, 0, 0, 0, 3, 1, 0, 1, 0, 0, 2, 1, 0, 0, 1};
    cases.push_back({"RLE8", rle8});
    BitmapLayout rle4{.width = 4, .height = 3, .bitsPerPixel = 4, .compression = DIB_RLE4};
    rle4.coloursUsed = 2;
    rle4.colours = {0xFF0000, 0x00FF00};
    rle4.pixels = {4, 0x10, 0, 0, 0, 3, 0x10, 0x10, 0, 2, 1, 0, 0, 1};
    cases.push_back({"RLE4", rle4});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes whole = buildBitmap(c.layout);
        shownMessages.clear();
        ASSERT_NE(load(whole), nullptr);
        ASSERT_TRUE(shownMessages.empty());
        const std::size_t pixelsAt = pixelDataOffset(c.layout);
        for (std::size_t length = 0; length < whole.size(); ++length) {
            SCOPED_TRACE(length);
            expectRefused(Bytes(whole.begin(), whole.begin() + length),
                          length < pixelsAt ? UNKNOWN_FORMAT : CONVERSION_ERROR);
        }
    }
}

TEST_F(FailureTest, EveryFailureLeavesTheNextLoadUntouched) {
    BitmapLayout broken = eightBitPicture();
    broken.headerSize = 108;
    expectRefused(buildBitmap(broken), UNKNOWN_FORMAT);
    shownMessages.clear();
    const auto image = load(buildBitmap(eightBitPicture()));
    ASSERT_NE(image, nullptr);
    EXPECT_TRUE(shownMessages.empty());
    EXPECT_EQ(pixelsOf(*image), rgb({0xFF0000, 0x0000FF, 0xFF0000, 0x0000FF, 0x0000FF, 0x0000FF,
                                     0xFF0000, 0xFF0000}));
}

TEST(PaletteEntryCount, FollowsHeaderKindColoursUsedAndDepth) {
    struct Case {
        const char* name;
        BitmapLayout layout;
        int expected;
    };
    const Case cases[] = {
        {"core 1 bit", {.headerSize = 12, .bitsPerPixel = 1}, 2},
        {"core 4 bits", {.headerSize = 12, .bitsPerPixel = 4}, 16},
        {"core 8 bits", {.headerSize = 12, .bitsPerPixel = 8}, 256},
        {"core 24 bits", {.headerSize = 12, .bitsPerPixel = 24}, 0},
        {"info 8 bits", {.bitsPerPixel = 8}, 256},
        {"info 8 bits, 5 used", {.bitsPerPixel = 8, .coloursUsed = 5}, 5},
        {"info 24 bits, 3 used", {.bitsPerPixel = 24, .coloursUsed = 3}, 3},
        {"info 16 bits", {.bitsPerPixel = 16}, 0},
        {"info 2 bits", {.bitsPerPixel = 2}, 0},
        {"only the low 16 bits of used", {.bitsPerPixel = 8, .coloursUsed = 0x10003}, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BitmapLayout layout = c.layout;
        layout.fileHeader = false;
        const Bytes header = buildBitmap(layout);
        EXPECT_EQ(paletteEntryCount(header.data(), header.size()), c.expected);
    }
    const Bytes cut = {40, 0, 0, 0, 1, 0};
    EXPECT_EQ(paletteEntryCount(cut.data(), cut.size()), 0);
}

} // namespace
