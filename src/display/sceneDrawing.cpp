#include <GL/freeglut.h>
#include <GL/gl.h>
#include <GL/glu.h>
#include <span>

#include "display.h"

namespace {

constexpr SceneColour GREY = {0.5f, 0.5f, 0.5f};

constexpr ColouredQuad BACKDROP = {{0.8f, 0.8f, 0.8f}, {{0, 0}, {0, 100}, {500, 100}, {500, 0}}};

// The band, the four marks, and the crossed bands over each end stretch.
constexpr ColouredQuad STRIP_QUADS[] = {
    {{1.0f, 0.7f, 0.0f}, {{50, 9}, {50, 12}, {450, 12}, {450, 9}}},
    {BLUE, {{211, 9}, {211, 12}, {212, 12}, {212, 9}}},
    {BLUE, {{288, 9}, {288, 12}, {289, 12}, {289, 9}}},
    {BLUE, {{101, 9}, {101, 12}, {102, 12}, {102, 9}}},
    {BLUE, {{398, 9}, {398, 12}, {399, 12}, {399, 9}}},
    {BLUE, {{50, 12}, {102, 10}, {102, 9}, {50, 11}}},
    {BLUE, {{50, 10}, {102, 12}, {102, 11}, {50, 9}}},
    {BLUE, {{398, 10}, {450, 12}, {450, 11}, {398, 9}}},
    {BLUE, {{450, 9}, {398, 11}, {398, 12}, {450, 10}}},
};

constexpr SceneColour RED_LAMP_LIT = {1, 0, 0};
constexpr SceneColour RED_LAMP_DIM = {0.5f, 0, 0};
constexpr SceneColour GREEN_LAMP_LIT = {0, 1, 0};
constexpr SceneColour GREEN_LAMP_DIM = {0, 0.5f, 0};
constexpr std::size_t RED_LAMP = 3;
constexpr std::size_t GREEN_LAMP = 5;

// Foot, post and box; the lamps (dim here) with their grey neighbours; the score windows.
constexpr std::array<ColouredQuad, 9> SCORING_BOX_QUADS = {{
    {BLACK, {{240, 20}, {240, 24}, {260, 24}, {260, 20}}},
    {BLACK, {{248, 24}, {248, 50}, {252, 50}, {252, 24}}},
    {BLACK, {{210, 50}, {210, 80}, {290, 80}, {290, 50}}},
    {RED_LAMP_DIM, {{212, 52}, {212, 64}, {224, 64}, {224, 52}}},
    {GREY, {{226, 52}, {226, 64}, {238, 64}, {238, 52}}},
    {GREEN_LAMP_DIM, {{276, 52}, {276, 64}, {288, 64}, {288, 52}}},
    {GREY, {{262, 52}, {262, 64}, {274, 64}, {274, 52}}},
    {WHITE, {{212, 66}, {212, 78}, {238, 78}, {238, 66}}},
    {WHITE, {{262, 66}, {262, 78}, {288, 78}, {288, 66}}},
}};

// Foot, post, frame and face of the left board, then the same of the right.
constexpr ColouredQuad NAME_BOARD_QUADS[] = {
    {BLACK, {{100, 16}, {100, 20}, {120, 20}, {120, 16}}},
    {BLACK, {{108, 20}, {108, 40}, {112, 40}, {112, 20}}},
    {BLACK, {{80, 40}, {80, 55}, {140, 55}, {140, 40}}},
    {WHITE, {{82, 42}, {82, 53}, {138, 53}, {138, 42}}},
    {BLACK, {{380, 16}, {380, 20}, {400, 20}, {400, 16}}},
    {BLACK, {{388, 20}, {388, 40}, {392, 40}, {392, 20}}},
    {BLACK, {{360, 40}, {360, 55}, {420, 55}, {420, 40}}},
    {WHITE, {{362, 42}, {362, 53}, {418, 53}, {418, 42}}},
};

constexpr ColouredQuad LEFT_CORD_BLOCK = {BLACK, {{10, 9}, {10, 12}, {20, 12}, {20, 9}}};
constexpr ColouredQuad LEFT_CORD_CAP = {BLACK, {{11, 12}, {11, 13}, {19, 13}, {19, 12}}};
constexpr ColouredQuad RIGHT_CORD_BLOCK = {BLACK, {{480, 9}, {480, 12}, {490, 12}, {490, 9}}};
constexpr ColouredQuad RIGHT_CORD_CAP = {BLACK, {{481, 12}, {481, 13}, {489, 13}, {489, 12}}};
constexpr SceneVertex LEFT_CORD_START[2] = {{20, 10}, {20, 11}};
constexpr SceneVertex RIGHT_CORD_START[2] = {{480, 11}, {480, 10}};

// How far in from the sprite's outer edge, and how high, the cord meets each pose.
struct CordAttachment {
    float inset;
    float height;
};
constexpr CordAttachment PARRY_ATTACHMENT = {21, 24};
constexpr CordAttachment LUNGE_ATTACHMENT = {17, 21};
constexpr CordAttachment EN_GARDE_ATTACHMENT = {12, 24};

constexpr CordAttachment cordAttachment(int parryHold, int lunging) {
    if (isSet(parryHold)) {
        return PARRY_ATTACHMENT;
    }
    if (isSet(lunging)) {
        return LUNGE_ATTACHMENT;
    }
    return EN_GARDE_ATTACHMENT;
}

// Texture corners for a sprite's vertices 0 to 3: the picture upright and unmirrored.
constexpr SceneVertex SPRITE_TEXTURE_CORNERS[4] = {{0, 0}, {0, 1}, {1, 1}, {1, 0}};

void emitQuads(std::span<const ColouredQuad> quads) {
    for (const ColouredQuad& quad : quads) {
        glColor3f(quad.colour.red, quad.colour.green, quad.colour.blue);
        for (const SceneVertex& vertex : quad.vertex) {
            glVertex2f(vertex.x, vertex.y);
        }
    }
}

void emitSprite(const FencerQuad& quad) {
    for (int corner = 0; corner < 4; ++corner) {
        glTexCoord2f(SPRITE_TEXTURE_CORNERS[corner].x, SPRITE_TEXTURE_CORNERS[corner].y);
        glVertex2f(quad.vertex[corner].x, quad.vertex[corner].y);
    }
}

} // namespace

std::array<ColouredQuad, 9> scoringBoxQuads(const BoutState& state) {
    std::array<ColouredQuad, 9> quads = SCORING_BOX_QUADS;
    if (isSet(state.leftTouchHalt)) {
        quads[RED_LAMP].colour = RED_LAMP_LIT;
    }
    if (isSet(state.rightTouchHalt)) {
        quads[GREEN_LAMP].colour = GREEN_LAMP_LIT;
    }
    return quads;
}

CordEnd leftCordEnd(const BoutState& state) {
    const CordAttachment at = cordAttachment(state.leftParryHold, state.leftLunging);
    return {state.leftQuad.vertex[0].x + at.inset, at.height};
}

CordEnd rightCordEnd(const BoutState& state) {
    const CordAttachment at = cordAttachment(state.rightParryHold, state.rightLunging);
    return {state.rightQuad.vertex[2].x - at.inset, at.height};
}

std::array<ColouredQuad, 6> cordQuads(const BoutState& state) {
    const CordEnd left = leftCordEnd(state);
    const CordEnd right = rightCordEnd(state);
    return {{
        LEFT_CORD_BLOCK,
        LEFT_CORD_CAP,
        {BLACK, {LEFT_CORD_START[0], LEFT_CORD_START[1], {left.x, left.y + 1}, {left.x, left.y}}},
        RIGHT_CORD_BLOCK,
        RIGHT_CORD_CAP,
        {BLACK,
         {{right.x, right.y}, {right.x, right.y + 1}, RIGHT_CORD_START[0], RIGHT_CORD_START[1]}},
    }};
}

void drawStrip() {
    emitQuads(STRIP_QUADS);
}

void drawScoringBox() {
    emitQuads(scoringBoxQuads(bout));
}

void drawNameBoards() {
    emitQuads(NAME_BOARD_QUADS);
}

void drawCords() {
    emitQuads(cordQuads(bout));
}

void drawFrame() {
    glClear(GL_COLOR_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluOrtho2D(0, SCENE_WIDTH, 0, SCENE_HEIGHT);
    glMatrixMode(GL_MODELVIEW);

    glBegin(GL_QUADS);
    emitQuads({&BACKDROP, 1});
    drawStrip();
    drawScoringBox();
    drawNameBoards();
    glEnd();

    // The fencers: white in their pictures is discarded by the alpha test, the right fencer
    // is drawn over the left where they meet.
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glBindTexture(GL_TEXTURE_2D, bout.leftSpriteTexture);
    glEnable(GL_TEXTURE_2D);
    glAlphaFunc(GL_GREATER, 0);
    glEnable(GL_ALPHA_TEST);
    glBegin(GL_QUADS);
    glColor3f(1, 1, 1);
    emitSprite(bout.leftQuad);
    glEnd();
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glBindTexture(GL_TEXTURE_2D, bout.rightSpriteTexture);
    glBegin(GL_QUADS);
    emitSprite(bout.rightQuad);
    glEnd();
    glDisable(GL_TEXTURE_2D);

    glBegin(GL_QUADS);
    drawCords();
    glEnd();

    drawOverlay();
    glutSwapBuffers();
}
