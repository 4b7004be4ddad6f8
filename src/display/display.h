// What the players see: the window with its event loop, the pose sprites, and each frame of
// the scene (strip, scoring box, name boards, fencers, cords) with its text.
#pragma once

#include "bout.h"

// The scene is a fixed frame of 500 x 100 units, origin at the bottom left.
inline constexpr float SCENE_WIDTH = 500.0f;
inline constexpr float SCENE_HEIGHT = 100.0f;

// Reads the pose's picture ("leftEngarde.bmp", ...) from the working directory, turns pure
// white transparent, uploads it as a new texture and makes it that fencer's current sprite.
// If the picture cannot be read, the loader has shown its message; the fencer keeps the
// sprite it had, or gets a plain placeholder sprite if it had none. Needs the window's
// drawing context.
void loadPoseTexture(Pose pose);

// The display callback: draws the whole scene from the bout state and swaps the buffers.
// It changes nothing in the bout.
void drawFrame();

// Each of these emits the colours and vertices of its quads inside a batch the caller opens.
void drawStrip();
void drawScoringBox();
void drawNameBoards();
void drawCords();

// All text of the window: at most one banner, both scores and both names.
void drawOverlay();
void drawScore(const Fencer& fencer);
void drawName(const Fencer& fencer);
void drawHaltBanner();
void drawFenceBanner();
void drawWinBanner();
