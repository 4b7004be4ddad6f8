// The bout model: the two fencers, the one record of the running bout that every
// part of the game shares, and the rules of the strip that move fencers and decide the winner.
#pragma once

#include <cstdint>

// The strip: 41 cells, the left fencer starts on 15 and advances towards 40,
// the right fencer starts on 25 and advances towards 0.
inline constexpr std::int32_t STRIP_FIRST_CELL = 0;
inline constexpr std::int32_t STRIP_LAST_CELL = 40;
inline constexpr std::int32_t LEFT_EN_GARDE_CELL = 15;
inline constexpr std::int32_t RIGHT_EN_GARDE_CELL = 25;
// How far each fencer is sent back towards its own end after the two have crossed.
inline constexpr std::int32_t CROSSING_SEPARATION = 4;

inline constexpr std::int32_t LEFT_PLAYER = 1;
inline constexpr std::int32_t RIGHT_PLAYER = 2;

inline constexpr std::int32_t POOL_TOUCH_LIMIT = 5;
inline constexpr std::int32_t DIRECT_ELIMINATION_TOUCH_LIMIT = 15;

// One strip cell is this many scene units wide; sprites move by it.
inline constexpr float UNITS_PER_CELL = 10.0f;

struct Fencer {
    char* name; // owned: handed over by the set-up dialogue, never freed
    std::int32_t position;
    std::int32_t touches;
    std::int32_t playerNumber; // 1 fences on the left, 2 on the right
};

// The six pictures a fencer can show; each side has its own three, never mirrored.
enum class Pose { leftEngarde, leftLunge, leftParry, rightEngarde, rightLunge, rightParry };

struct SceneVertex {
    float x;
    float y;
};

// A fencer's sprite rectangle in scene units: bottom left, top left, top right, bottom right.
struct FencerQuad {
    SceneVertex vertex[4];
};

inline constexpr FencerQuad LEFT_QUAD_EN_GARDE = {{{180, 10}, {180, 60}, {230, 60}, {230, 10}}};
inline constexpr FencerQuad RIGHT_QUAD_EN_GARDE = {{{270, 10}, {270, 60}, {320, 60}, {320, 10}}};

// Every time in the bout is the system clock in whole seconds.
using WholeSeconds = std::int64_t;

// Flags hold 0 or 1 and are tested against 1.
struct BoutState {
    Fencer* leftFencer;
    Fencer* rightFencer;
    std::int32_t touchLimit;

    int leftLunging, rightLunging;
    std::int32_t leftLungeStart, rightLungeStart;
    int leftParryHold, rightParryHold;
    WholeSeconds actionTime; // latest lunge start, lunge step or parry of either fencer

    int halted;
    WholeSeconds haltTime; // start of the latest halt, shared by all halts
    int leftOffStrip, rightOffStrip;
    int crossedHalt;
    int leftTouch, rightTouch;
    int leftTouchHalt, rightTouchHalt; // also light the scoring lamps
    int fenceBanner;
    WholeSeconds fenceBannerTime;

    int leftWon, rightWon;
    // 1 for a club night's bout before its final: the winner is not bidden goodbye and the
    // winning touch is not followed by "En garde", as more bouts come.
    int moreBoutsToCome;

    std::uint32_t leftSpriteTexture, rightSpriteTexture;
    FencerQuad leftQuad, rightQuad;
};

// The one bout of this process; all callbacks read and write it directly.
extern BoutState bout;

// Allocates a fencer off the strip (position -1) with no touches; it keeps the name pointer.
// If memory runs out it says so on standard error and ends the process with status 1.
Fencer* createFencer(char* name, std::int32_t playerNumber);
// Stores the cell without a range check: the callers test the strip ends afterwards.
void setPosition(Fencer& fencer, std::int32_t cell);
void addTouch(Fencer& fencer);

// One cell towards the opponent. A player number other than 1 or 2 is reported on the
// console and the fencer stays where it is.
void advanceFencer(Fencer& fencer);
// One cell away from the opponent; may leave the strip. Bad player numbers as above.
void retreatFencer(Fencer& fencer);
// The player-1 fencer to cell 15, the other to cell 25, in whichever order they are given.
// If neither is player 1 nothing changes.
void resetToEnGarde(Fencer& first, Fencer& second);
// After a crossing: the left fencer 4 cells towards 0, the right 4 towards 40; the result
// may lie off the strip, which the idle step then treats as leaving it.
void separateFencers(Fencer& left, Fencer& right);
// The winner's congratulation on the console, and the goodbye unless more bouts come.
void congratulate(const Fencer& winner);
// Congratulates (on the console) and marks as winner each fencer whose touches equal the
// touch limit; more touches than the limit win nothing.
void checkForWinner();
// The right fencer's cell minus the left fencer's: the distance both sides measure.
std::int32_t gap();

// Offside tests applied by the callers after a move; each fencer only against its own end.
inline bool leftIsOffStrip(const Fencer& left) {
    return left.position < STRIP_FIRST_CELL;
}
inline bool rightIsOffStrip(const Fencer& right) {
    return right.position > STRIP_LAST_CELL;
}
inline bool fencersHaveCrossed(const Fencer& left, const Fencer& right) {
    return left.position > right.position;
}

// Moves all four corners of a sprite rectangle sideways by dx scene units.
void moveQuad(FencerQuad& quad, float dx);

// The referee's voice: formatted text on standard output, flushed at once so that a
// pipe or a terminal sees every message the moment it is said; nothing at all while
// refereeHeard is false.
[[gnu::format(printf, 1, 2)]] void announce(const char* format, ...);
// True from the start. The computer turns it off while it fences bouts of its own or imagines
// how the bout may go, so that none of those is heard.
extern bool refereeHeard;
