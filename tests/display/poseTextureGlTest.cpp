// Pose pictures made into textures in a real drawing context: a hidden window on the virtual
// screen, pictures written as small bitmap files into a folder of the test's own.
#include <GL/freeglut.h>
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "display.h"
#include "leakCheck.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Rgb {
    std::uint8_t red, green, blue;
};

void put16(Bytes& bytes, std::uint32_t value) {
    bytes.push_back(static_cast<std::uint8_t>(value));
    bytes.push_back(static_cast<std::uint8_t>(value >> 8));
}

void put32(Bytes& bytes, std::uint32_t value) {
    put16(bytes, value & 0xFFFF);
    put16(bytes, value >> 16);
}

// A 24-bit bitmap as painters save it: rows bottom first, blue-green-red, each row padded to
// four bytes. rows[0] is the bottom row of the picture.
void writeBitmap(const std::string& fileName, const std::vector<std::vector<Rgb>>& rows) {
    const std::uint32_t width = static_cast<std::uint32_t>(rows[0].size());
    const std::uint32_t height = static_cast<std::uint32_t>(rows.size());
    const std::uint32_t stride = (width * 3 + 3) / 4 * 4;
    Bytes bytes = {'B', 'M'};
    put32(bytes, 54 + stride * height);
    put32(bytes, 0);
    put32(bytes, 54);
    put32(bytes, 40);
    put32(bytes, width);
    put32(bytes, height);
    put16(bytes, 1);
    put16(bytes, 24);
    for (int field = 0; field < 6; ++field) {
        put32(bytes, 0);
    }
    for (const std::vector<Rgb>& row : rows) {
        for (const Rgb& pixel : row) {
            bytes.insert(bytes.end(), {pixel.blue, pixel.green, pixel.red});
        }
        bytes.resize(bytes.size() + stride - width * 3, 0);
    }
    std::FILE* file = std::fopen(fileName.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
}

// A plain picture in one colour on white, enough for any pose.
void writePlainPose(Pose pose) {
    const Rgb white = {255, 255, 255};
    const Rgb ink = {40, 40, 120};
    writeBitmap(poseFileName(pose), {{ink, white}, {white, ink}});
}

std::vector<std::string> loaderMessages;
void catchLoaderMessage(const char* message) {
    loaderMessages.emplace_back(message);
}

GLint textureLevelParameter(GLenum parameter) {
    GLint value = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, parameter, &value);
    return value;
}

// The texels of the bound texture, first row first, 4 bytes each.
Bytes boundTexels() {
    Bytes texels(std::size_t(textureLevelParameter(GL_TEXTURE_WIDTH)) *
                 std::size_t(textureLevelParameter(GL_TEXTURE_HEIGHT)) * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    return texels;
}

Bytes texelsOf(std::uint32_t texture) {
    glBindTexture(GL_TEXTURE_2D, texture);
    return boundTexels();
}

GLint integerState(GLenum name) {
    GLint value = 0;
    glGetIntegerv(name, &value);
    return value;
}

class PoseTexture : public testing::Test {
  protected:
    std::filesystem::path previousFolder;
    std::filesystem::path pictureFolder;

    void SetUp() override {
        previousFolder = std::filesystem::current_path();
        char pattern[] = "/tmp/lamevoPosesXXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        pictureFolder = pattern;
        std::filesystem::current_path(pictureFolder);
        loaderMessages.clear();
        showLoaderMessage = catchLoaderMessage;
        bout = BoutState{};
    }

    void TearDown() override {
        glDeleteTextures(1, &bout.leftSpriteTexture);
        glDeleteTextures(1, &bout.rightSpriteTexture);
        bout = BoutState{};
        std::filesystem::current_path(previousFolder);
        std::filesystem::remove_all(pictureFolder);
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    }
};

TEST_F(PoseTexture, PictureBecomesTextureBottomRowFirstWithWhiteClear) {
    const Rgb white = {255, 255, 255};
    const Rgb nearWhite = {255, 255, 254};
    const Rgb red = {200, 10, 10};
    const Rgb blue = {10, 10, 200};
    const Rgb black = {0, 0, 0};
    // Three wide, two high: the bottom row is red, white, black; the top blue, near-white, white.
    writeBitmap("leftEngarde.bmp", {{red, white, black}, {blue, nearWhite, white}});

    loadPoseTexture(Pose::leftEngarde);

    ASSERT_NE(bout.leftSpriteTexture, 0u);
    EXPECT_TRUE(loaderMessages.empty());
    EXPECT_EQ(integerState(GL_TEXTURE_BINDING_2D), GLint(bout.leftSpriteTexture));
    EXPECT_EQ(textureLevelParameter(GL_TEXTURE_WIDTH), 3);
    EXPECT_EQ(textureLevelParameter(GL_TEXTURE_HEIGHT), 2);
    GLint filter = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &filter);
    EXPECT_EQ(filter, GL_LINEAR);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &filter);
    EXPECT_EQ(filter, GL_LINEAR);
    const Bytes expected = {
        200, 10, 10,  255, /**/ 255, 255, 255, 0,   /**/ 0,   0,   0,   255, //
        10,  10, 200, 255, /**/ 255, 255, 254, 255, /**/ 255, 255, 255, 0,   //
    };
    EXPECT_EQ(boundTexels(), expected);
}

TEST_F(PoseTexture, EveryLoadMakesAFreshTextureAndDeletesTheOneItReplaces) {
    writePlainPose(Pose::rightLunge);
    loadPoseTexture(Pose::rightLunge);
    const std::uint32_t first = bout.rightSpriteTexture;
    loadPoseTexture(Pose::rightLunge);
    const std::uint32_t second = bout.rightSpriteTexture;

    EXPECT_NE(first, 0u);
    EXPECT_NE(second, first);
    EXPECT_FALSE(glIsTexture(first));
    EXPECT_TRUE(glIsTexture(second));
}

TEST_F(PoseTexture, MissingPictureLeavesTheFencerItsSprite) {
    writePlainPose(Pose::rightEngarde);
    loadPoseTexture(Pose::rightEngarde);
    const std::uint32_t enGarde = bout.rightSpriteTexture;
    const Bytes enGardeTexels = texelsOf(enGarde);

    loadPoseTexture(Pose::rightParry); // no rightParry.bmp in the folder

    ASSERT_EQ(loaderMessages.size(), 1u);
    EXPECT_NE(loaderMessages[0].find("rightParry.bmp"), std::string::npos) << loaderMessages[0];
    EXPECT_EQ(bout.rightSpriteTexture, enGarde);
    EXPECT_TRUE(glIsTexture(enGarde));
    EXPECT_EQ(texelsOf(enGarde), enGardeTexels);
}

TEST_F(PoseTexture, MissingPictureAtStartGivesThePlaceholder) {
    loadPoseTexture(Pose::leftEngarde);
    loadPoseTexture(Pose::rightEngarde);

    EXPECT_EQ(loaderMessages.size(), 2u);
    for (const Pose pose : {Pose::leftEngarde, Pose::rightEngarde}) {
        const std::uint32_t texture =
            isLeftPose(pose) ? bout.leftSpriteTexture : bout.rightSpriteTexture;
        ASSERT_NE(texture, 0u);
        const RgbaSprite placeholder = placeholderSprite(pose);
        const std::size_t size =
            std::size_t(placeholder.width) * std::size_t(placeholder.height) * 4;
        EXPECT_EQ(texelsOf(texture), Bytes(placeholder.rgba.get(), placeholder.rgba.get() + size));
    }

    // The picture turns up later: it replaces the placeholder, which is deleted.
    const std::uint32_t placeholder = bout.leftSpriteTexture;
    writePlainPose(Pose::leftLunge);
    loadPoseTexture(Pose::leftLunge);
    EXPECT_NE(bout.leftSpriteTexture, placeholder);
    EXPECT_FALSE(glIsTexture(placeholder));
}

TEST_F(PoseTexture, EachPoseChangesOnlyItsOwnFencersSprite) {
    const Pose poses[] = {Pose::leftEngarde,  Pose::leftLunge,  Pose::leftParry,
                          Pose::rightEngarde, Pose::rightLunge, Pose::rightParry};
    for (const Pose pose : poses) {
        writePlainPose(pose);
    }
    loadPoseTexture(Pose::leftEngarde);
    loadPoseTexture(Pose::rightEngarde);
    for (const Pose pose : poses) {
        SCOPED_TRACE(poseFileName(pose));
        const bool left = isLeftPose(pose);
        const std::uint32_t own = left ? bout.leftSpriteTexture : bout.rightSpriteTexture;
        const std::uint32_t other = left ? bout.rightSpriteTexture : bout.leftSpriteTexture;
        loadPoseTexture(pose);
        EXPECT_NE(left ? bout.leftSpriteTexture : bout.rightSpriteTexture, own);
        EXPECT_EQ(left ? bout.rightSpriteTexture : bout.leftSpriteTexture, other);
        EXPECT_TRUE(glIsTexture(other));
    }
    EXPECT_TRUE(loaderMessages.empty());
}

TEST_F(PoseTexture, FrameChangesNothingInTheBoutAndLeavesTheStateTheNextFrameExpects) {
    writePlainPose(Pose::leftLunge);
    writePlainPose(Pose::rightParry);
    loadPoseTexture(Pose::leftLunge);
    loadPoseTexture(Pose::rightParry);
    char leftName[] = "Ann";
    char rightName[] = "Bob";
    Fencer left{leftName, 20, 3, 1};
    Fencer right{rightName, 24, 15, 2};
    bout.leftFencer = &left;
    bout.rightFencer = &right;
    bout.touchLimit = 15;
    bout.leftQuad = LEFT_QUAD_EN_GARDE;
    bout.rightQuad = RIGHT_QUAD_EN_GARDE;
    bout.leftLunging = 1;
    bout.rightParryHold = 1;
    bout.rightTouch = 1;
    bout.rightTouchHalt = 1;
    bout.rightWon = 1;
    bout.halted = 1;

    BoutState before;
    std::memcpy(&before, &bout, sizeof bout);
    const Fencer leftBefore = left;
    const Fencer rightBefore = right;
    drawFrame();
    bout.rightTouch = 0; // the congratulations banner too
    drawFrame();
    bout.rightTouch = 1;

    EXPECT_EQ(std::memcmp(&before, &bout, sizeof bout), 0);
    EXPECT_EQ(std::memcmp(&leftBefore, &left, sizeof left), 0);
    EXPECT_EQ(std::memcmp(&rightBefore, &right, sizeof right), 0);
    EXPECT_STREQ(leftName, "Ann");

    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_TRUE(glIsEnabled(GL_ALPHA_TEST));
    EXPECT_EQ(integerState(GL_ALPHA_TEST_FUNC), GL_GREATER);
    GLfloat reference = -1;
    glGetFloatv(GL_ALPHA_TEST_REF, &reference);
    EXPECT_EQ(reference, 0.0f);
    GLint mode = 0;
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &mode);
    EXPECT_EQ(mode, GL_REPLACE);
    EXPECT_EQ(integerState(GL_TEXTURE_BINDING_2D), GLint(bout.rightSpriteTexture));
    EXPECT_EQ(integerState(GL_MATRIX_MODE), GL_MODELVIEW);
    GLfloat projection[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    EXPECT_FLOAT_EQ(projection[0], 2.0f / SCENE_WIDTH);
    EXPECT_FLOAT_EQ(projection[5], 2.0f / SCENE_HEIGHT);
    EXPECT_FLOAT_EQ(projection[12], -1.0f);
    EXPECT_FLOAT_EQ(projection[13], -1.0f);
    bout.leftFencer = nullptr;
    bout.rightFencer = nullptr;
}

} // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    prepareForLeakCheck();
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_DOUBLE);
    glutInitWindowSize(160, 32);
    glutCreateWindow("display tests");
    glutHideWindow();
    const int result = RUN_ALL_TESTS();
    checkForLeaksNow(); // before the driver's own memory is let go at exit
    return result;
}
