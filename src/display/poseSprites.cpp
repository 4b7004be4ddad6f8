#include <GL/gl.h>
#include <cstddef>
#include <new>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "display.h"

namespace {

constexpr std::uint8_t OPAQUE = 255;
constexpr std::uint8_t TRANSPARENT = 0;
constexpr std::uint8_t KEY_WHITE = 255;

// The stand-in figure, top row first, facing right: mask, guard arm with blade, bent legs.
constexpr std::string_view PLACEHOLDER_ART[] = {
    "................", //
    "....##..........", //
    "...####.........", //
    "...####.........", //
    "....##..........", //
    "...#####........", //
    "..#######.......", //
    "..##.##########.", //
    "..##.####.......", //
    "....####........", //
    "....####........", //
    "...##..##.......", //
    "..##....##......", //
    "..#......##.....", //
    ".##.......##....", //
    ".##.......##....", //
};
constexpr std::int32_t PLACEHOLDER_ART_SIZE = 16;
// Each art cell becomes a block of texels, so the smoothing of the stretched sprite stays thin.
constexpr std::int32_t PLACEHOLDER_SCALE = 4;
constexpr std::int32_t PLACEHOLDER_SIZE = PLACEHOLDER_ART_SIZE * PLACEHOLDER_SCALE;
constexpr std::uint8_t LEFT_TRIM[3] = {200, 30, 30};
constexpr std::uint8_t RIGHT_TRIM[3] = {30, 160, 30};

RgbaSprite allocateSprite(std::int32_t width, std::int32_t height) {
    const std::size_t bytes = std::size_t(width) * std::size_t(height) * 4;
    return {width, height, std::unique_ptr<std::uint8_t[]>(new (std::nothrow) std::uint8_t[bytes])};
}

std::uint32_t uploadSprite(const RgbaSprite& sprite) {
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, sprite.width, sprite.height, 0, GL_RGBA,
                 GL_UNSIGNED_BYTE, sprite.rgba.get());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    // A sprite ends at its edges: repeating would smooth its bottom row into a faint line along
    // its top edge, and the border colour GL_CLAMP blends in would darken every edge.
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    return name;
}

// The pose picture made ready for upload; a null rgba when it could not be had, after the
// player has been told why.
RgbaSprite readPoseSprite(Pose pose) {
    const std::unique_ptr<RgbImage> image = loadBitmapImage(poseFileName(pose));
    if (!image) {
        return {};
    }
    RgbaSprite sprite = keyWhiteTransparent(*image);
    if (!sprite.rgba) {
        showLoaderMessage("Out of memory.");
    }
    return sprite;
}

} // namespace

const char* poseFileName(Pose pose) {
    switch (pose) {
    case Pose::leftEngarde:
        return "leftEngarde.bmp";
    case Pose::leftLunge:
        return "leftLunge.bmp";
    case Pose::leftParry:
        return "leftParry.bmp";
    case Pose::rightEngarde:
        return "rightEngarde.bmp";
    case Pose::rightLunge:
        return "rightLunge.bmp";
    case Pose::rightParry:
        return "rightParry.bmp";
    }
    return "";
}

bool isLeftPose(Pose pose) {
    return pose == Pose::leftEngarde || pose == Pose::leftLunge || pose == Pose::leftParry;
}

RgbaSprite keyWhiteTransparent(const RgbImage& image) {
    RgbaSprite sprite = allocateSprite(image.width, image.height);
    if (!sprite.rgba) {
        return sprite;
    }
    const std::size_t pixelCount = std::size_t(image.width) * std::size_t(image.height);
    const std::uint8_t* from = image.pixels.get();
    std::uint8_t* to = sprite.rgba.get();
    std::size_t k = 0;
#if defined(__SSE2__)
    // Four pixels at a time: the 16 bytes read from the first pixel are spread into four words
    // of three colour bytes each, and the fourth byte of each becomes its alpha. The loop keeps
    // the bytes read beyond the fourth pixel inside the picture.
    const __m128i colour = _mm_set1_epi32(0x00FFFFFF);
    const __m128i opaque = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    for (; k + 6 <= pixelCount; k += 4) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 3 * k));
        const __m128i firstTwo = _mm_unpacklo_epi32(block, _mm_srli_si128(block, 3));
        const __m128i lastTwo =
            _mm_unpacklo_epi32(_mm_srli_si128(block, 6), _mm_srli_si128(block, 9));
        const __m128i pixels = _mm_and_si128(_mm_unpacklo_epi64(firstTwo, lastTwo), colour);
        const __m128i white = _mm_cmpeq_epi32(pixels, colour);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + 4 * k),
                         _mm_or_si128(pixels, _mm_andnot_si128(white, opaque)));
    }
#endif
    for (; k < pixelCount; ++k) {
        const std::uint8_t* in = from + 3 * k;
        std::uint8_t* out = to + 4 * k;
        out[0] = in[0];
        out[1] = in[1];
        out[2] = in[2];
        const bool white = in[0] == KEY_WHITE && in[1] == KEY_WHITE && in[2] == KEY_WHITE;
        out[3] = white ? TRANSPARENT : OPAQUE;
    }
    return sprite;
}

RgbaSprite placeholderSprite(Pose pose) {
    RgbaSprite sprite = allocateSprite(PLACEHOLDER_SIZE, PLACEHOLDER_SIZE);
    if (!sprite.rgba) {
        return sprite;
    }
    const bool left = isLeftPose(pose);
    const std::uint8_t* trim = left ? LEFT_TRIM : RIGHT_TRIM;
    std::uint8_t* to = sprite.rgba.get();
    // Texture rows go bottom first; the right fencer's figure faces the other way. The clear
    // texels carry the trim colour too, so smoothing leaves no white fringe round the figure.
    for (std::int32_t row = PLACEHOLDER_SIZE - 1; row >= 0; --row) {
        for (std::int32_t column = 0; column < PLACEHOLDER_SIZE; ++column, to += 4) {
            const std::int32_t artRow = row / PLACEHOLDER_SCALE;
            const std::int32_t artColumn =
                (left ? column : PLACEHOLDER_SIZE - 1 - column) / PLACEHOLDER_SCALE;
            to[0] = trim[0];
            to[1] = trim[1];
            to[2] = trim[2];
            to[3] = PLACEHOLDER_ART[artRow][artColumn] == '#' ? OPAQUE : TRANSPARENT;
        }
    }
    return sprite;
}

void loadPoseTexture(Pose pose) {
    std::uint32_t& current = isLeftPose(pose) ? bout.leftSpriteTexture : bout.rightSpriteTexture;
    RgbaSprite sprite = readPoseSprite(pose);
    if (!sprite.rgba) {
        if (current != 0) {
            return; // the fencer keeps the picture it had
        }
        sprite = placeholderSprite(pose);
        if (!sprite.rgba) {
            return;
        }
    }
    const std::uint32_t fresh = uploadSprite(sprite);
    if (current != 0) {
        glDeleteTextures(1, &current);
    }
    current = fresh;
}
