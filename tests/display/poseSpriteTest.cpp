#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "display.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

RgbImage imageOf(std::int32_t width, std::int32_t height, const Bytes& rgb) {
    RgbImage image{width, height, std::make_unique<std::uint8_t[]>(rgb.size())};
    std::memcpy(image.pixels.get(), rgb.data(), rgb.size());
    return image;
}

Bytes rgbaOf(const RgbaSprite& sprite) {
    const std::size_t size = std::size_t(sprite.width) * std::size_t(sprite.height) * 4;
    return Bytes(sprite.rgba.get(), sprite.rgba.get() + size);
}

TEST(ColourKey, OnlyPureWhiteTurnsClearAndEveryPixelKeepsItsPlace) {
    // Three wide and two high, so a swapped width and height or a lost pixel shows.
    const RgbImage image = imageOf(3, 2,
                                   {
                                       255, 255, 255, /**/ 255, 255, 254, /**/ 0, 0, 0,    //
                                       254, 255, 255, /**/ 12, 34, 56, /**/ 255, 254, 255, //
                                   });
    const RgbaSprite sprite = keyWhiteTransparent(image);
    ASSERT_NE(sprite.rgba, nullptr);
    EXPECT_EQ(sprite.width, 3);
    EXPECT_EQ(sprite.height, 2);
    const Bytes expected = {
        255, 255, 255, 0,   /**/ 255, 255, 254, 255, /**/ 0,   0,   0,   255, //
        254, 255, 255, 255, /**/ 12,  34,  56,  255, /**/ 255, 254, 255, 255, //
    };
    EXPECT_EQ(rgbaOf(sprite), expected);
}

TEST(ColourKey, FullSizePictureGivesFourBytesForEveryPixel) {
    const std::int32_t side = 128;
    Bytes rgb(std::size_t(side) * side * 3, 255);
    rgb[rgb.size() - 3] = 7; // the last pixel: top right of the picture
    const RgbaSprite sprite = keyWhiteTransparent(imageOf(side, side, rgb));
    ASSERT_NE(sprite.rgba, nullptr);
    const Bytes rgba = rgbaOf(sprite);
    ASSERT_EQ(rgba.size(), std::size_t(side) * side * 4);
    EXPECT_EQ(rgba[rgba.size() - 4], 7);
    EXPECT_EQ(rgba[rgba.size() - 1], 255);
    EXPECT_EQ(rgba[rgba.size() - 5], 0);
}

TEST(PoseFiles, EachPoseReadsItsOwnPictureForItsOwnFencer) {
    struct Case {
        Pose pose;
        const char* file;
        bool left;
    };
    const Case cases[] = {
        {Pose::leftEngarde, "leftEngarde.bmp", true},
        {Pose::leftLunge, "leftLunge.bmp", true},
        {Pose::leftParry, "leftParry.bmp", true},
        {Pose::rightEngarde, "rightEngarde.bmp", false},
        {Pose::rightLunge, "rightLunge.bmp", false},
        {Pose::rightParry, "rightParry.bmp", false},
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(poseFileName(c.pose), c.file);
        EXPECT_EQ(isLeftPose(c.pose), c.left) << c.file;
    }
}

// Alpha of texel (column, row), rows counted from the bottom as the texture holds them.
std::uint8_t alphaAt(const RgbaSprite& sprite, std::int32_t column, std::int32_t row) {
    return sprite
        .rgba[(std::size_t(row) * std::size_t(sprite.width) + std::size_t(column)) * 4 + 3];
}

TEST(Placeholder, StandsOnTheStripFacingTheOpponentInItsSideColour) {
    const RgbaSprite left = placeholderSprite(Pose::leftLunge);
    const RgbaSprite right = placeholderSprite(Pose::rightParry);
    ASSERT_NE(left.rgba, nullptr);
    ASSERT_NE(right.rgba, nullptr);
    ASSERT_EQ(left.width, right.width);
    ASSERT_EQ(left.height, right.height);

    bool feetOnBottomRow = false;
    for (std::int32_t column = 0; column < left.width; ++column) {
        feetOnBottomRow = feetOnBottomRow || alphaAt(left, column, 0) == 255;
    }
    EXPECT_TRUE(feetOnBottomRow);

    // Mirror images of each other, and the figure is not symmetric (the blade points one way).
    bool symmetric = true;
    for (std::int32_t row = 0; row < left.height; ++row) {
        for (std::int32_t column = 0; column < left.width; ++column) {
            const std::int32_t mirrored = left.width - 1 - column;
            ASSERT_EQ(alphaAt(left, column, row), alphaAt(right, mirrored, row));
            symmetric = symmetric && alphaAt(left, column, row) == alphaAt(left, mirrored, row);
            const std::uint8_t alpha = alphaAt(left, column, row);
            ASSERT_TRUE(alpha == 0 || alpha == 255);
        }
    }
    EXPECT_FALSE(symmetric);
    // The blade reaches the right-hand half for the left fencer.
    bool bladeForward = false;
    for (std::int32_t column = left.width * 3 / 4; column < left.width; ++column) {
        for (std::int32_t row = 0; row < left.height; ++row) {
            bladeForward = bladeForward || alphaAt(left, column, row) == 255;
        }
    }
    EXPECT_TRUE(bladeForward);

    EXPECT_GT(left.rgba[0], left.rgba[1]);   // red trim
    EXPECT_GT(right.rgba[1], right.rgba[0]); // green trim
}

} // namespace
