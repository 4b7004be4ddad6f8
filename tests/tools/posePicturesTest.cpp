// The six committed pose pictures, read byte by byte: the BMP layout the game loads, the white
// colour key around a fencer who stands on the strip, each side's trim colour and facing, and
// the three poses telling apart. Then the icons, as a desktop's PNG decoder reads them.
#include <gtest/gtest.h>
#include <stb/stb_image.h>
#include <tuple>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int SIZE = 128;
constexpr std::size_t PIXELS_OFFSET = 54;
constexpr std::size_t ROW_BYTES = SIZE * 3;

struct Rgb {
    int r, g, b;
};

struct Picture {
    std::vector<std::uint8_t> bytes;

    std::uint32_t le(std::size_t offset, int count) const {
        std::uint32_t value = 0;
        for (int i = count - 1; i >= 0; --i) {
            value = value << 8 | bytes.at(offset + i);
        }
        return value;
    }
    // Row 0 is the bottom row, as stored.
    Rgb at(int x, int y) const {
        const std::size_t p = PIXELS_OFFSET + y * ROW_BYTES + x * 3;
        return {bytes.at(p + 2), bytes.at(p + 1), bytes.at(p)};
    }
    bool figure(int x, int y) const {
        const Rgb c = at(x, y);
        return c.r != 255 || c.g != 255 || c.b != 255;
    }
};

Picture readPicture(const std::string& name) {
    std::ifstream file(std::string(LAMEVO_ASSETS_DIR) + "/" + name, std::ios::binary);
    return {std::vector<std::uint8_t>(std::istreambuf_iterator<char>(file), {})};
}

bool isRed(Rgb c) {
    return c.r > 150 && c.g < 90 && c.b < 90;
}
bool isGreen(Rgb c) {
    return c.g > 120 && c.r < 90 && c.b < 110;
}
// The mask's mesh is the only near-black above the waist (the shoes are at the bottom).
bool isMesh(Rgb c) {
    return c.r < 60 && c.g < 60 && c.b < 60;
}
// Blade and guard are the only bluish greys lighter than the outline.
bool isSteel(Rgb c) {
    return c.r >= 110 && c.b - c.r >= 10;
}

struct Extent {
    int left = SIZE, right = -1, top = -1;
};

Extent figureExtent(const Picture& picture) {
    Extent e;
    for (int y = 0; y < SIZE; ++y) {
        for (int x = 0; x < SIZE; ++x) {
            if (picture.figure(x, y)) {
                e.left = std::min(e.left, x);
                e.right = std::max(e.right, x);
                e.top = std::max(e.top, y);
            }
        }
    }
    return e;
}

struct PoseFile {
    const char* name;
    bool left;
};

void PrintTo(const PoseFile& file, std::ostream* out) {
    *out << file.name;
}

class PosePicture : public testing::TestWithParam<PoseFile> {};

TEST_P(PosePicture, IsAnUncompressed24BitBottomUpBmpOf128Square) {
    const Picture p = readPicture(GetParam().name);
    ASSERT_EQ(p.bytes.size(), PIXELS_OFFSET + ROW_BYTES * SIZE);
    EXPECT_EQ(p.bytes[0], 'B');
    EXPECT_EQ(p.bytes[1], 'M');
    EXPECT_EQ(p.le(2, 4), p.bytes.size());
    EXPECT_EQ(p.le(10, 4), PIXELS_OFFSET);
    EXPECT_EQ(p.le(14, 4), 40u);
    EXPECT_EQ(p.le(18, 4), 128u);
    EXPECT_EQ(p.le(22, 4), 128u); // positive height: bottom-up rows
    EXPECT_EQ(p.le(26, 2), 1u);
    EXPECT_EQ(p.le(28, 2), 24u);
    EXPECT_EQ(p.le(30, 4), 0u);
}

TEST_P(PosePicture, FencerStandsJustAboveTheBottomEdgeOnPureWhiteAndFillsTheHeight) {
    const Picture p = readPicture(GetParam().name);
    ASSERT_EQ(p.bytes.size(), PIXELS_OFFSET + ROW_BYTES * SIZE);
    for (const auto& [x, y] :
         {std::pair{0, 0}, {SIZE - 1, 0}, {0, SIZE - 1}, {SIZE - 1, SIZE - 1}}) {
        EXPECT_FALSE(p.figure(x, y)) << "corner " << x << "," << y;
    }
    int bottomRow = 0;
    int feet = 0;
    for (int x = 0; x < SIZE; ++x) {
        bottomRow += p.figure(x, 0);
        feet += p.figure(x, 1);
    }
    EXPECT_EQ(bottomRow, 0) << "a clear bottom row keeps the feet out of the sprite's top edge";
    EXPECT_GE(feet, 10) << "both shoes stand on the row above it";
    EXPECT_GE(figureExtent(p).top, 90);
}

TEST_P(PosePicture, WearsOnlyItsOwnSidesTrimAndFacesTheOpponent) {
    const Picture p = readPicture(GetParam().name);
    ASSERT_EQ(p.bytes.size(), PIXELS_OFFSET + ROW_BYTES * SIZE);
    int red = 0, green = 0, mesh = 0, meshX = 0, steel = 0, steelX = 0;
    for (int y = 0; y < SIZE; ++y) {
        for (int x = 0; x < SIZE; ++x) {
            red += isRed(p.at(x, y));
            green += isGreen(p.at(x, y));
            if (y >= SIZE / 2 && isMesh(p.at(x, y))) {
                ++mesh;
                meshX += x;
            }
            if (isSteel(p.at(x, y))) {
                ++steel;
                steelX += x;
            }
        }
    }
    EXPECT_GE(GetParam().left ? red : green, 40);
    EXPECT_EQ(GetParam().left ? green : red, 0);
    ASSERT_GT(mesh, 20) << "the mask shows its mesh";
    ASSERT_GT(steel, 20) << "the sword shows";
    // In every pose the sword is held out in front of the mask, towards the opponent.
    const int forward = GetParam().left ? 1 : -1;
    EXPECT_GT(forward * (steelX / steel - meshX / mesh), 10);
}

INSTANTIATE_TEST_SUITE_P(
    All, PosePicture,
    testing::Values(PoseFile{"leftEngarde.bmp", true}, PoseFile{"leftLunge.bmp", true},
                    PoseFile{"leftParry.bmp", true}, PoseFile{"rightEngarde.bmp", false},
                    PoseFile{"rightLunge.bmp", false}, PoseFile{"rightParry.bmp", false}),
    [](const auto& info) {
        const std::string name = info.param.name;
        return name.substr(0, name.find('.'));
    });

// Swapped files would show a fencer in the wrong pose: the lunge is lower and longer than en
// garde, and the parry raises the blade above the mask.
TEST(PosePictures, TheThreePosesOfEachSideTellApart) {
    for (const std::string side : {"left", "right"}) {
        SCOPED_TRACE(side);
        const Extent enGarde = figureExtent(readPicture(side + "Engarde.bmp"));
        const Extent lunge = figureExtent(readPicture(side + "Lunge.bmp"));
        const Extent parry = figureExtent(readPicture(side + "Parry.bmp"));
        EXPECT_LT(lunge.top, enGarde.top - 10);
        EXPECT_GT(lunge.right - lunge.left, enGarde.right - enGarde.left + 10);
        EXPECT_GT(parry.top, enGarde.top);
    }
}

// Each icon decodes to its size in RGBA: the fencer (the same drawing as the pose pictures,
// whose trims are checked above) on a ground transparent at the corners, smooth at its edges.
TEST(Icons, ShowTheLeftFencerOnATransparentGroundAtEachSize) {
    for (const int size : {32, 48, 64, 128, 256}) {
        SCOPED_TRACE(size);
        const Picture file = readPicture("lamevo-" + std::to_string(size) + ".png");
        int width = 0, height = 0, channels = 0;
        stbi_uc* rgba = stbi_load_from_memory(
            file.bytes.data(), static_cast<int>(file.bytes.size()), &width, &height, &channels, 4);
        ASSERT_NE(rgba, nullptr) << stbi_failure_reason();
        EXPECT_EQ(std::tuple(width, height, channels), std::tuple(size, size, 4));
        int opaque = 0, blended = 0;
        for (int i = 3; i < 4 * size * size; i += 4) {
            opaque += rgba[i] == 255;
            blended += rgba[i] > 0 && rgba[i] < 255;
        }
        EXPECT_EQ(rgba[3] + rgba[4 * size - 1] + rgba[4 * size * size - 1], 0);
        EXPECT_GT(opaque, size * size / 10);
        EXPECT_GT(blended, size);
        stbi_image_free(rgba);
    }
}

} // namespace
