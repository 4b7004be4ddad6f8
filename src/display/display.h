// What the players see: the window with its event loop, the pose sprites, and each frame of
// the scene (strip, scoring box, name boards, fencers, cords) with its text.
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "bout.h"
#include "control.h"
#include "image.h"
#include "loop.h"

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

// ---- The window ----

// A rectangle of the screen or the window in pixels, from its top left corner.
struct ScreenArea {
    int left;
    int top;
    int width;
    int height;
};

// The largest area of the scene's 5:1 shape inside width x height pixels, centred; empty when
// there is no room.
ScreenArea largestSceneIn(int width, int height);

// Where the window opens on a screen of this size: 1600 x 320 at (100, 100) wherever that fits
// whole; otherwise the largest window of the scene's shape that fits inside the screen with a
// margin all round, centred. A screen of unknown size (0 or less) gets the usual place.
ScreenArea windowPlace(int screenWidth, int screenHeight);

// Between full screen and the window, either way: the window manager's full screen where it
// has one; otherwise the window covers the screen, and goes back to where it was after.
void switchFullScreen();

// The reshape callback. In a window the scene fills it, whatever its shape, as it always has;
// full screen it keeps its shape, as large as fits and centred, the rest of the screen plain.
void reshapeScene(int width, int height);

// The special-key callback: F11 switches between full screen and the window.
void onSpecialKey(int key, int x, int y);

// ---- The event loop ----
//
// The game sleeps while nothing is due. The window runs the game's one loop (loop.h) on the
// real clock: it waits in poll() on every row's descriptor and on the window's X connection,
// a row of its own that comes last, and wakes for a window event, a readable descriptor or the
// earliest time a row is due, whichever comes first. After each wake it calls the rows whose
// descriptors are readable (the window's runs its events: keys, redraws; closing the window
// ends the process), then every row's turn; a frame asked for is drawn before it sleeps again.

// Asks for a frame, which the loop draws before it sleeps again unless it would show nothing
// new: what controlHooks.requestRedraw points at. The window's own redraws (uncovered,
// resized) come from freeglut as ever.
void requestFrame();

// Runs the window with these rows until the process ends, never returning. Needs the window
// created; sources may be empty.
[[noreturn]] void runEventLoop(std::span<const LoopSource> sources);

// ---- Pose sprites, without the drawing context ----

// A sprite ready for upload: width x height pixels of 4 bytes (red, green, blue, alpha) in
// the picture's own order, bottom row first. rgba is null when its memory could not be had.
struct RgbaSprite {
    std::int32_t width;
    std::int32_t height;
    std::unique_ptr<std::uint8_t[]> rgba;
};

// The pose picture with exactly pure white (255, 255, 255) made transparent (alpha 0) and
// every other pixel kept as it is, opaque (alpha 255). Returns a null rgba if out of memory.
RgbaSprite keyWhiteTransparent(const RgbImage& image);

// The stand-in shown while a fencer has no picture of its own: a small opaque figure in its
// side's trim colour (red for the left, green for the right), facing the opponent.
RgbaSprite placeholderSprite(Pose pose);

// The pose picture's file name and whose sprite it is.
const char* poseFileName(Pose pose);
bool isLeftPose(Pose pose);

// ---- Scene drawing, without the drawing context ----

// Flags hold 0 or 1; anything but exactly 1 counts as clear.
constexpr bool isSet(int flag) {
    return flag == 1;
}

struct SceneColour {
    float red, green, blue;
};

inline constexpr SceneColour BLACK = {0, 0, 0};
inline constexpr SceneColour WHITE = {1, 1, 1};
inline constexpr SceneColour BLUE = {0, 0, 1};

struct ColouredQuad {
    SceneColour colour;
    SceneVertex vertex[4];
};

// The scoring box with each lamp lit or dim as the bout's touch halts say.
std::array<ColouredQuad, 9> scoringBoxQuads(const BoutState& state);

// Where a fencer's cord meets its sprite: d units in from the sprite's outer edge, at height
// y (the cord is 1 unit thick above it). A parry hold wins over a lunge.
struct CordEnd {
    float x;
    float y;
};
CordEnd leftCordEnd(const BoutState& state);
CordEnd rightCordEnd(const BoutState& state);
std::array<ColouredQuad, 6> cordQuads(const BoutState& state);

// ---- Text overlay, without the drawing context ----

enum class Banner { none, halt, win, fence };
// The one banner across the top: a halt reason first, then a win, then the fence banner.
Banner chooseBanner(const BoutState& state);

// A line of text with its colour and the left end of its baseline in scene units.
struct PlacedText {
    SceneColour colour;
    SceneVertex at;
    std::string text;
};

// The lines of the halt banner and of the congratulations banner for the bout as it stands;
// both need the fencers to exist.
std::vector<PlacedText> haltBannerTexts(const BoutState& state);
std::vector<PlacedText> winBannerTexts(const BoutState& state);

// A fencer's name as the window's font (Times Roman 24, Latin-1) draws it, one byte a glyph.
// A name that is valid UTF-8, as a UTF-8 terminal types it, becomes the characters it
// encodes: U+0020 to U+007E and U+00A0 to U+00FF as their own glyphs, any other character
// (a control character, U+0080 to U+009F, anything beyond U+00FF) as one "?". A name that
// is not valid UTF-8, as a Latin-1 terminal types it, is drawn byte for byte.
std::string nameInFont(std::string_view name);

// A score as its two digits ("00" to "15"); any other count gives no text at all.
std::string scoreText(std::int32_t touches);
