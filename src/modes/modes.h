// The ways of playing: one keyboard, against the computer, hosting a bout over the network,
// joining one, a club night. Each is a Mode, a small value built from the command line: the
// rows of the game's loop it needs besides the window (console, network, pads, the computer,
// the bout's clock), the handler of this machine's keys and pads and the sides they move, and
// what happens when a bout ends. A new way of playing is one more WayOfPlaying, its rows in
// startMode and its end of a bout.
#pragma once

#include <functional>
#include <vector>

#include "commandLine.h"
#include "control.h"
#include "loop.h"

enum class WayOfPlaying { oneKeyboard, computer, host, join, clubNight };

struct Mode {
    WayOfPlaying way = WayOfPlaying::oneKeyboard;
    GameOptions options{};
    // The fencers this machine's keyboard and pads move; the others' keys do nothing here.
    LocalSides sides;
    // The keyboard callback; the pads press their keys through it too.
    void (*keyPress)(unsigned char key, int x, int y) = onKeyPress;
    // Ten seconds after the winning halt: the game ends, or a club night moves on.
    std::function<void()> boutEnded;
    // Filled by startMode, in the order their turns come.
    std::vector<LoopSource> sources;
};

// The way of playing options ask for, before the window opens. A club night's results file
// that cannot be written is refused here: one line on standard error, status 1.
Mode buildMode(const GameOptions& options);

// With the window open and the hooks set: runs the way of playing's console set-up (before the
// loop, reading standard input), puts the fencers on the strip, opens the pads and fills
// mode.sources. Only one mode runs in a process.
void startMode(Mode& mode);
