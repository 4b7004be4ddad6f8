// Each layout a pose picture may be saved in, hand-built and decoded to known pixels.
#include "loaderTestSupport.h"

namespace {

constexpr std::uint32_t BLACK = 0x000000;
constexpr std::uint32_t GREY = 0x808080;
constexpr std::uint32_t RED = 0xFF0000;
constexpr std::uint32_t GREEN = 0x00FF00;
constexpr std::uint32_t BLUE = 0x0000FF;
constexpr std::uint32_t WHITE = 0xFFFFFF;

struct Loaded {
    std::int32_t width;
    std::int32_t height;
    Bytes pixels;
};

class DecodingTest : public LoaderTest {
  protected:
    // Decodes a file that must load without a message.
    static Loaded decode(const BitmapLayout& layout) {
        const auto image = load(buildBitmap(layout));
        EXPECT_TRUE(shownMessages.empty()) << shownMessages.front();
        if (!image) {
            return {0, 0, {}};
        }
        return {image->width, image->height, pixelsOf(*image)};
    }
};

TEST_F(DecodingTest, TwentyFourBitsWithAndWithoutFileHeader) {
    for (bool fileHeader : {true, false}) {
        SCOPED_TRACE(fileHeader ? "with file header" : "without file header");
        BitmapLayout layout{.fileHeader = fileHeader, .width = 2, .height = 2, .bitsPerPixel = 24};
        // Stored rows of 6 bytes and 2 of padding, the bottom row first.
        layout.pixels = packRows(24, {{0x112233, 0x445566}, {0x778899, 0xAABBCC}});
        ASSERT_EQ(layout.pixels.size(), 16u);
        const Loaded image = decode(layout);
        EXPECT_EQ(image.width, 2);
        EXPECT_EQ(image.height, 2);
        EXPECT_EQ(image.pixels, rgb({0x112233, 0x445566, 0x778899, 0xAABBCC}));
    }
}

TEST_F(DecodingTest, TwentyFourBitsOnePixelWideAndThreeWideKeepNoPadding) {
    BitmapLayout narrow{.width = 1, .height = 3, .bitsPerPixel = 24};
    narrow.pixels = packRows(24, {{RED}, {GREEN}, {BLUE}});
    EXPECT_EQ(decode(narrow).pixels, rgb({RED, GREEN, BLUE}));

    BitmapLayout odd{.width = 3, .height = 2, .bitsPerPixel = 24};
    odd.pixels = packRows(24, {{RED, GREEN, BLUE}, {0x010203, 0x040506, 0x070809}});
    EXPECT_EQ(decode(odd).pixels, rgb({RED, GREEN, BLUE, 0x010203, 0x040506, 0x070809}));
}

TEST_F(DecodingTest, OneBitTenWide) {
    BitmapLayout layout{
        .width = 10, .height = 2, .bitsPerPixel = 1, .colours = {0x102030, 0xF0E0D0}};
    layout.pixels = packRows(1, {{1, 0, 0, 1, 1, 0, 1, 0, 0, 1}, {0, 0, 0, 0, 0, 0, 0, 0, 1, 1}});
    const std::uint32_t o = 0x102030;
    const std::uint32_t i = 0xF0E0D0;
    EXPECT_EQ(decode(layout).pixels,
              rgb({i, o, o, i, i, o, i, o, o, i, o, o, o, o, o, o, o, o, i, i}));
}

TEST_F(DecodingTest, FourBitsThreeWide) {
    BitmapLayout layout{.width = 3, .height = 2, .bitsPerPixel = 4};
    for (std::uint32_t entry = 0; entry < 16; ++entry) {
        layout.colours.push_back(entry * 0x111111);
    }
    layout.pixels = packRows(4, {{1, 15, 7}, {0, 2, 3}});
    EXPECT_EQ(decode(layout).pixels,
              rgb({0x111111, 0xFFFFFF, 0x777777, 0x000000, 0x222222, 0x333333}));
}

TEST_F(DecodingTest, EightBitsWithFiveColoursUsedFindPixelsAfterThem) {
    BitmapLayout layout{.fileHeader = false, .width = 3, .height = 2, .bitsPerPixel = 8};
    layout.coloursUsed = 5;
    layout.colours = {RED, GREEN, BLUE, WHITE, GREY};
    ASSERT_EQ(pixelDataOffset(layout), 60u);
    // Index 5 lies past the five colours: black.
    layout.pixels = packRows(8, {{4, 0, 5}, {1, 2, 3}});
    EXPECT_EQ(decode(layout).pixels, rgb({GREY, RED, BLACK, GREEN, BLUE, WHITE}));
}

TEST_F(DecodingTest, EightBitsWithNoColoursUsedCarry256) {
    BitmapLayout layout{.fileHeader = false, .width = 3, .height = 1, .bitsPerPixel = 8};
    for (std::uint32_t entry = 0; entry < 256; ++entry) {
        layout.colours.push_back(entry << 16 | (255 - entry));
    }
    layout.pixels = packRows(8, {{0, 255, 128}});
    EXPECT_EQ(decode(layout).pixels, rgb({0x0000FF, 0xFF0000, 0x80007F}));
}

TEST_F(DecodingTest, TwentyFourBitsSkipTheirColourTableWithoutFileHeader) {
    BitmapLayout layout{.fileHeader = false, .width = 2, .height = 1, .bitsPerPixel = 24};
    layout.coloursUsed = 3;
    layout.colours = {WHITE, WHITE, WHITE};
    layout.pixels = packRows(24, {{RED, BLUE}});
    EXPECT_EQ(decode(layout).pixels, rgb({RED, BLUE}));
}

TEST_F(DecodingTest, FileHeaderOffsetAloneLocatesThePixels) {
    BitmapLayout layout{.width = 2, .height = 1, .bitsPerPixel = 24, .gapBeforePixels = 6};
    layout.pixels = packRows(24, {{RED, BLUE}});
    EXPECT_EQ(decode(layout).pixels, rgb({RED, BLUE}));
}

TEST_F(DecodingTest, CoreHeaderFourBitsWithThreeByteColours) {
    for (bool fileHeader : {true, false}) {
        SCOPED_TRACE(fileHeader ? "with file header" : "without file header");
        BitmapLayout layout{.fileHeader = fileHeader, .headerSize = 12, .width = 3, .height = 1};
        layout.bitsPerPixel = 4;
        for (std::uint32_t entry = 0; entry < 16; ++entry) {
            layout.colours.push_back(0x010203 * entry);
        }
        layout.pixels = packRows(4, {{15, 1, 0}});
        EXPECT_EQ(decode(layout).pixels, rgb({0x0F1E2D, 0x010203, 0x000000}));
    }
}

TEST_F(DecodingTest, CoreHeaderSizesAreUnsigned) {
    BitmapLayout layout{.headerSize = 12, .width = 40000, .height = 1, .bitsPerPixel = 1};
    layout.colours = {BLACK, WHITE};
    std::vector<std::uint32_t> row(40000, 0);
    row[39999] = 1;
    layout.pixels = packRows(1, {row});
    const Loaded image = decode(layout);
    EXPECT_EQ(image.width, 40000);
    EXPECT_EQ(image.height, 1);
    ASSERT_EQ(image.pixels.size(), 120000u);
    EXPECT_EQ(image.pixels[119997], 0xFF);
    EXPECT_EQ(image.pixels[119994], 0x00);
}

TEST_F(DecodingTest, SixteenBitsAreFiveFiveFiveByDefault) {
    BitmapLayout layout{.width = 5, .height = 1, .bitsPerPixel = 16};
    // Five bits scale to eight by rounding: 1 -> 8, 16 -> 132, 31 -> 255; the top bit is unused.
    layout.pixels = packRows(16, {{0x7C00, 0x03E0, 0x0001, 0x4210, 0x8000}});
    EXPECT_EQ(decode(layout).pixels, rgb({RED, GREEN, 0x000008, 0x848484, BLACK}));
}

TEST_F(DecodingTest, SixteenBitFieldsOfUnusualWidths) {
    struct Case {
        const char* name;
        std::vector<std::uint32_t> masks; // red, green, blue
        std::uint32_t pixel;
        std::uint32_t expected;
    };
    const Case cases[] = {
        {"5-6-5", {0xF800, 0x07E0, 0x001F}, 0x0020, 0x000400},       // 1 of 63 -> 4
        {"5-6-5 full", {0xF800, 0x07E0, 0x001F}, 0xFFFF, WHITE},     //
        {"4-4-4", {0x0F00, 0x00F0, 0x000F}, 0x0F81, 0xFF8811},       // 8 of 15 -> 136
        {"1-bit red", {0x8000, 0x7FE0, 0x001F}, 0x8000, RED},        //
        {"no blue", {0xF800, 0x07E0, 0}, 0x001F, BLACK},             //
        {"3-bit green", {0xE000, 0x1C00, 0x0300}, 0x0C00, 0x006D00}, // 3 of 7 -> 109
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BitmapLayout layout{
            .width = 1, .height = 1, .bitsPerPixel = 16, .compression = DIB_BIT_FIELDS};
        layout.masks = c.masks;
        layout.pixels = packRows(16, {{c.pixel}});
        EXPECT_EQ(decode(layout).pixels, rgb({c.expected}));
    }
}

TEST_F(DecodingTest, ThirtyTwoBitsIgnoreTheirFourthByte) {
    BitmapLayout layout{.width = 2, .height = 1, .bitsPerPixel = 32};
    layout.pixels = packRows(32, {{0xFF123456, 0x00ABCDEF}});
    EXPECT_EQ(decode(layout).pixels, rgb({0x123456, 0xABCDEF}));
}

TEST_F(DecodingTest, ThirtyTwoBitFields) {
    struct Case {
        const char* name;
        std::vector<std::uint32_t> masks;
        std::uint32_t pixel;
        std::uint32_t expected;
    };
    const Case cases[] = {
        {"8-8-8 as plain", {0xFF0000, 0xFF00, 0xFF}, 0xEE123456, 0x123456},
        {"red in the top byte", {0xFF000000, 0xFF0000, 0xFF00}, 0x123456EE, 0x123456},
        // 512 of 1023 -> 128, 1023 -> 255, 1 -> 0
        {"10-10-10", {0x3FF00000, 0x000FFC00, 0x000003FF}, 512u << 20 | 1023u << 10 | 1, 0x80FF00},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BitmapLayout layout{
            .width = 1, .height = 1, .bitsPerPixel = 32, .compression = DIB_BIT_FIELDS};
        layout.masks = c.masks;
        layout.pixels = packRows(32, {{c.pixel}});
        EXPECT_EQ(decode(layout).pixels, rgb({c.expected}));
    }
}

TEST_F(DecodingTest, RunLengthEightWithEveryEscape) {
    BitmapLayout layout{.width = 6, .height = 4, .bitsPerPixel = 8, .compression = DIB_RLE8};
    layout.coloursUsed = 4;
    layout.colours = {GREY, RED, GREEN, BLUE};
    layout.pixels = {
        3, 1,             // bottom row: three red
        0, 3, 2, 3, 2, 0, // three literal indices, padded to an even count of bytes
        0, 0,             // end of line
        2, 3,             // two blue
        1, 9,             // index 9 lies past the four colours: black
        0, 2, 1, 1,       // move one right and one row up
        5, 0,             // five grey, of which three fit in the row
        0, 0,             // end of line
        0, 1,             // end of bitmap: the top row stays black
    };
    const Loaded image = decode(layout);
    EXPECT_EQ(image.pixels, rgb({
                                RED,   RED,   RED,   GREEN, BLUE,  GREEN, //
                                BLUE,  BLUE,  BLACK, BLACK, BLACK, BLACK, //
                                BLACK, BLACK, BLACK, BLACK, GREY,  GREY,  //
                                BLACK, BLACK, BLACK, BLACK, BLACK, BLACK, //
                            }));
}

TEST_F(DecodingTest, RunLengthFourWithOddLiteralRunsAndADeltaUp) {
    BitmapLayout layout{.width = 7, .height = 3, .bitsPerPixel = 4, .compression = DIB_RLE4};
    layout.coloursUsed = 5;
    layout.colours = {GREY, RED, GREEN, BLUE, WHITE};
    layout.pixels = {
        4, 0x12,                         // bottom row: red and green by turns
        0, 3,    0x34, 0x30,             // three literal indices in two bytes
        0, 0,                            // end of line
        0, 5,    0x12, 0x34, 0x10, 0x00, // five literal indices in three bytes, padded to four
        0, 2,    1,    1,                // one right and one row up
        1, 0x40,                         // one white
        0, 1,                            // end of bitmap
    };
    EXPECT_EQ(decode(layout).pixels, rgb({
                                         RED,   GREEN, RED,   GREEN, BLUE,  WHITE, BLUE,  //
                                         RED,   GREEN, BLUE,  WHITE, RED,   BLACK, BLACK, //
                                         BLACK, BLACK, BLACK, BLACK, BLACK, BLACK, WHITE, //
                                     }));
}

TEST_F(DecodingTest, RunLengthStreamThatFinishesEveryRowNeedsNoEndMark) {
    BitmapLayout layout{.width = 2, .height = 2, .bitsPerPixel = 8, .compression = DIB_RLE8};
    layout.coloursUsed = 2;
    layout.colours = {RED, BLUE};
    layout.pixels = {2, 0, 0, 0, 2, 1, 0, 0};
    EXPECT_EQ(decode(layout).pixels, rgb({RED, RED, BLUE, BLUE}));
}

TEST_F(DecodingTest, TopDownPicturesComeOutBottomRowFirst) {
    for (std::uint16_t bits : {1, 4, 8, 16, 24, 32}) {
        SCOPED_TRACE(bits);
        const std::vector<std::vector<std::uint32_t>> bottomUp = {{1, 0, 1}, {0, 1, 1}};
        BitmapLayout layout{.width = 3, .height = 2, .bitsPerPixel = bits};
        if (bits <= 8) {
            layout.coloursUsed = 2;
            layout.colours = {RED, BLUE};
        }
        layout.pixels = packRows(bits, bottomUp);
        const Loaded stored = decode(layout);
        layout.height = -2;
        layout.pixels = packRows(bits, {bottomUp[1], bottomUp[0]});
        const Loaded topDown = decode(layout);
        EXPECT_EQ(topDown.height, 2);
        EXPECT_EQ(topDown.pixels, stored.pixels);
    }
}

TEST_F(DecodingTest, LastRowMayLackItsPadding) {
    BitmapLayout layout{.width = 1, .height = 2, .bitsPerPixel = 24};
    layout.pixels = packRows(24, {{RED}, {BLUE}});
    layout.pixels.pop_back();
    EXPECT_EQ(decode(layout).pixels, rgb({RED, BLUE}));
}

} // namespace

namespace {

// The working image the decoder fills: blue, green, red, each row padded to 4 bytes, the bottom
// row first also for a picture stored top down.
TEST(DecodeDibPixels, FillsPaddedBlueGreenRedRowsBottomFirst) {
    DibDescription description{};
    description.headerSize = 40;
    description.width = 2;
    description.height = -2;
    description.bitsPerPixel = 8;
    description.colourCount = 2;
    description.colours.reset(new DibColour[2]{{0x01, 0x02, 0x03, 0}, {0x0A, 0x0B, 0x0C, 0}});
    const Bytes stored = {1, 0, 0, 0, 0, 1, 0, 0}; // top row first
    Bytes working(2 * workingRowBytes(2), 0xEE);
    ASSERT_EQ(workingRowBytes(2), 8u);
    EXPECT_EQ(decodeDibPixels(description, stored.data(), stored.size(), working.data()), 2);
    const Bytes bottom(working.begin(), working.begin() + 6);
    const Bytes top(working.begin() + 8, working.begin() + 14);
    EXPECT_EQ(bottom, (Bytes{0x01, 0x02, 0x03, 0x0A, 0x0B, 0x0C}));
    EXPECT_EQ(top, (Bytes{0x0A, 0x0B, 0x0C, 0x01, 0x02, 0x03}));

    // Sizes it cannot hold, or too few bytes for them, are refused before a byte is written.
    for (std::int32_t height : {0, INT32_MIN, 100000}) {
        SCOPED_TRACE(height);
        description.height = height;
        EXPECT_EQ(decodeDibPixels(description, stored.data(), stored.size(), working.data()), 0);
    }
    description.height = 2;
    description.width = 0;
    EXPECT_EQ(decodeDibPixels(description, stored.data(), stored.size(), working.data()), 0);
    EXPECT_EQ(working[6], 0xEE);
}

} // namespace
