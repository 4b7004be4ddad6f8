// The game's one event loop. Every input and every timer of a way of playing is one row, a
// LoopSource: the descriptor it owns (if any) and what to do once it is readable, when it is
// next due, and its turn. The loop sleeps until the earliest due time or a readable
// descriptor, reads what is readable, then gives every row its turn, again and again while the
// turns change what the bout shows. Nothing a row does may block. The window runs it on the
// real clock (display.h); whatever fences without a window runs it on a simulated clock, which
// jumps from one due time to the next.
#pragma once

#include <array>
#include <cstdio>
#include <functional>
#include <limits>
#include <span>
#include <string>
#include <string_view>

#include "control.h"

// Returned by a row's dueAt when nothing is due without an event.
inline constexpr Milliseconds NOTHING_DUE = std::numeric_limits<Milliseconds>::max();
// A row's descriptor while it has none to be waited on.
inline constexpr int NO_DESCRIPTOR = -1;

// One input or timer. Any of its functions may be empty: no descriptor, never due, no turn.
struct LoopSource {
    // The descriptor to wait on for reading now, or NO_DESCRIPTOR.
    std::function<int()> descriptor;
    // Called once the descriptor is readable (also at its end or on an error); never blocks.
    std::function<void()> onReadable;
    // On controlHooks.nowMilliseconds' clock, when the row's turn must come with no event to
    // wake the loop, or NOTHING_DUE.
    std::function<Milliseconds()> dueAt;
    // Runs on every turn of the loop, in row order; when nothing of the row is due it changes
    // nothing.
    std::function<void()> turn;
};

// How a loop waits, and what it does once the rows' turns have settled.
struct LoopClock {
    // Sleeps until until (NOTHING_DUE: for ever) or until one of descriptors is readable, and
    // sets readable[i] for each readable descriptors[i] (NO_DESCRIPTOR is never readable).
    std::function<void(std::span<const int> descriptors, Milliseconds until,
                       std::span<bool> readable)>
        wait;
    // After the turns have settled; returns true when the rows must have their turns again
    // before the loop sleeps (a frame drawn has read a key). May be empty.
    std::function<bool()> settled;
};

// Runs the loop until finished() (asked after each settled round of turns) is true. The first
// round of turns comes at once, before any wait.
void runLoop(std::span<const LoopSource> sources, const LoopClock& clock,
             const std::function<bool()>& finished);

// ---- What the bout shows ----

// The fields of the shared bout that the window draws and the console prints: the fencers'
// names, cells and touches, the touch limit, every flag, the sprite places and pictures. Times
// and lunge starts show only through these.
struct ShownBout {
    std::string_view leftName, rightName;
    std::int32_t leftPosition, rightPosition;
    std::int32_t leftTouches, rightTouches;
    std::int32_t touchLimit;
    int leftLunging, rightLunging, leftParryHold, rightParryHold;
    int halted, leftOffStrip, rightOffStrip, crossedHalt;
    int leftTouch, rightTouch, leftTouchHalt, rightTouchHalt;
    int fenceBanner, leftWon, rightWon;
    std::uint32_t leftSpriteTexture, rightSpriteTexture;
    std::array<float, 8> leftCorners, rightCorners; // the sprite places, x then y of each corner
    bool operator==(const ShownBout&) const = default;
};
ShownBout shownBout(const BoutState& state);

// ---- Rows every way of playing has ----

// The bout's clock: due at the next turn of its whole second while the bout waits for the
// clock (toNextSecond gives how long until then). Its turn lets time pass (onIdle), then calls
// afterIdle (may be empty) and, once the bout has ended (boutHasEnded), boutEnded (may be
// empty).
LoopSource boutClockSource(Milliseconds (*toNextSecond)(), std::function<void()> afterIdle,
                           std::function<void()> boutEnded);

// ---- The console as a row ----

// Reads input (standard input, say) a line at a time without blocking the loop: a row that
// waits on its descriptor only while listening, reads what has come (and what the stdio
// buffer already holds) and hands each whole line, without its line break, to onLine; the end
// of input is handed on as onEnd, once. A last line without a line break comes before onEnd.
struct ConsoleLines {
    std::FILE* input = stdin;
    bool listening = false;
    std::string partial;
    bool ended = false;
    std::function<void(const std::string& line)> onLine;
    std::function<void()> onEnd;
};
LoopSource consoleSource(ConsoleLines& console);
