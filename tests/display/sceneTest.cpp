#include <gtest/gtest.h>

#include "display.h"

namespace {

BoutState enGardeBout() {
    BoutState state{};
    state.leftQuad = LEFT_QUAD_EN_GARDE;
    state.rightQuad = RIGHT_QUAD_EN_GARDE;
    return state;
}

void expectCordEnd(CordEnd end, float x, float y) {
    EXPECT_FLOAT_EQ(end.x, x);
    EXPECT_FLOAT_EQ(end.y, y);
}

TEST(Cords, EnGardeCordsMeetTheSpritesTwelveUnitsInAtHeight24) {
    const BoutState state = enGardeBout();
    expectCordEnd(leftCordEnd(state), 192, 24);
    expectCordEnd(rightCordEnd(state), 308, 24);
}

TEST(Cords, EachFencerTakesTheFirstMatchingPoseOfParryLungeEnGarde) {
    struct Case {
        const char* what;
        int parryHold;
        int lunging;
        float leftX, rightX, y;
    };
    const Case cases[] = {
        {"lunging", 0, 1, 197, 303, 21},
        {"holding a parry", 1, 0, 201, 299, 24},
        {"parry wins over a lunge", 1, 1, 201, 299, 24},
        {"a flag of 2 is not set", 2, 2, 192, 308, 24},
        {"a parry flag of 2 leaves the lunge", 2, 1, 197, 303, 21},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        BoutState state = enGardeBout();
        state.leftParryHold = c.parryHold;
        state.leftLunging = c.lunging;
        expectCordEnd(leftCordEnd(state), c.leftX, c.y);
        expectCordEnd(rightCordEnd(state), 308, 24); // the other fencer keeps its own

        state = enGardeBout();
        state.rightParryHold = c.parryHold;
        state.rightLunging = c.lunging;
        expectCordEnd(rightCordEnd(state), c.rightX, c.y);
        expectCordEnd(leftCordEnd(state), 192, 24);
    }
}

TEST(Cords, CordFollowsTheSpriteAndKeepsItsBlockEnd) {
    BoutState state = enGardeBout();
    for (int step = 0; step < 3; ++step) {
        moveQuad(state.leftQuad, UNITS_PER_CELL);
    }
    moveQuad(state.rightQuad, UNITS_PER_CELL); // one retreat of the right fencer
    const std::array<ColouredQuad, 6> quads = cordQuads(state);

    const ColouredQuad& leftCord = quads[2];
    EXPECT_FLOAT_EQ(leftCord.vertex[0].x, 20);
    EXPECT_FLOAT_EQ(leftCord.vertex[0].y, 10);
    EXPECT_FLOAT_EQ(leftCord.vertex[1].x, 20);
    EXPECT_FLOAT_EQ(leftCord.vertex[1].y, 11);
    EXPECT_FLOAT_EQ(leftCord.vertex[2].x, 222);
    EXPECT_FLOAT_EQ(leftCord.vertex[2].y, 25);
    EXPECT_FLOAT_EQ(leftCord.vertex[3].x, 222);
    EXPECT_FLOAT_EQ(leftCord.vertex[3].y, 24);

    const ColouredQuad& rightCord = quads[5];
    EXPECT_FLOAT_EQ(rightCord.vertex[0].x, 318);
    EXPECT_FLOAT_EQ(rightCord.vertex[0].y, 24);
    EXPECT_FLOAT_EQ(rightCord.vertex[1].x, 318);
    EXPECT_FLOAT_EQ(rightCord.vertex[1].y, 25);
    EXPECT_FLOAT_EQ(rightCord.vertex[2].x, 480);
    EXPECT_FLOAT_EQ(rightCord.vertex[2].y, 11);
    EXPECT_FLOAT_EQ(rightCord.vertex[3].x, 480);
    EXPECT_FLOAT_EQ(rightCord.vertex[3].y, 10);

    for (const ColouredQuad& quad : quads) {
        EXPECT_EQ(quad.colour.red + quad.colour.green + quad.colour.blue, 0); // all black
    }
}

struct LampColours {
    SceneColour red;
    SceneColour green;
};

LampColours lampsFor(int leftTouchHalt, int rightTouchHalt) {
    BoutState state{};
    state.leftTouchHalt = leftTouchHalt;
    state.rightTouchHalt = rightTouchHalt;
    const std::array<ColouredQuad, 9> quads = scoringBoxQuads(state);
    // The lamps are found by where they stand, not by their place in the list.
    LampColours lamps{};
    for (const ColouredQuad& quad : quads) {
        if (quad.vertex[0].x == 212 && quad.vertex[0].y == 52) {
            lamps.red = quad.colour;
        }
        if (quad.vertex[0].x == 276 && quad.vertex[0].y == 52) {
            lamps.green = quad.colour;
        }
    }
    return lamps;
}

void expectColour(SceneColour colour, float red, float green, float blue) {
    EXPECT_FLOAT_EQ(colour.red, red);
    EXPECT_FLOAT_EQ(colour.green, green);
    EXPECT_FLOAT_EQ(colour.blue, blue);
}

TEST(ScoringBox, EachLampLightsOnlyForItsOwnTouchHalt) {
    struct Case {
        int leftTouchHalt, rightTouchHalt;
        float red, green;
    };
    const Case cases[] = {
        {0, 0, 0.5f, 0.5f}, {1, 0, 1, 0.5f}, {0, 1, 0.5f, 1}, {1, 1, 1, 1}, {2, 2, 0.5f, 0.5f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.leftTouchHalt << " " << c.rightTouchHalt);
        const LampColours lamps = lampsFor(c.leftTouchHalt, c.rightTouchHalt);
        expectColour(lamps.red, c.red, 0, 0);
        expectColour(lamps.green, 0, c.green, 0);
    }
}

} // namespace
