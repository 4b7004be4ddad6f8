// The ways of playing: one keyboard, against the computer, hosting a bout over the network,
// joining one, a club night, a recorded bout played back. Each is a Mode, a small value built from
// the command line: the rows of the game's loop it needs besides the window (console, network,
// pads, the computer, the bout's clock), the handler of this machine's keys and pads and the sides
// they move, and what happens when a bout ends. A new way of playing is one more WayOfPlaying, its
// rows in startMode and its end of a bout.
#pragma once

#include <functional>
#include <vector>

#include "commandLine.h"
#include "control.h"
#include "loop.h"

enum class WayOfPlaying { oneKeyboard, computer, host, join, clubNight, replay };

struct Mode {
    WayOfPlaying way = WayOfPlaying::oneKeyboard;
    GameOptions options{};
    // The fencers this machine's keyboard and pads move; the others' keys do nothing here.
    LocalSides sides;
    // The keyboard callback; the pads press their keys through it too.
    void (*keyPress)(unsigned char key, int x, int y) = onKeyPress;
    // Ten seconds after the winning halt: the game ends, or a club night moves on.
    std::function<void()> boutEnded;
    // Filled by main before startMode, from the window toolkit this library does not link:
    // the window's own handling of arrows and function keys, the toolkit's code of the right
    // arrow, and what sets the window's title to the game's name followed by words.
    void (*windowSpecialKey)(int key, int x, int y) = nullptr;
    int rightArrowKey = -1;
    void (*showInTitle)(const char* words) = nullptr;
    // Filled by startMode: the handler of arrows and function keys (a replay skips to the next
    // halt with the right arrow; otherwise windowSpecialKey).
    void (*specialKey)(int key, int x, int y) = nullptr;
    // Filled by startMode, in the order their turns come.
    std::vector<LoopSource> sources;
};

// The way of playing options ask for, before the window opens. A club night's results file
// that cannot be written, or a recording to replay that cannot be read, is refused here: one
// line on standard error, status 1. With --check the recording is replayed here, without a
// window, and the process ends with checkReplay's status.
Mode buildMode(const GameOptions& options);

// With the window open and the hooks set: runs the way of playing's console set-up (before the
// loop, reading standard input), puts the fencers on the strip, opens the pads and fills
// mode.sources. Only one mode runs in a process.
void startMode(Mode& mode);
