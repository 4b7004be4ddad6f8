// Game pads: up to two game controllers fence beside the keyboard. The first pad connected
// fences on the left, the second on the right; unplugging one frees its side, which goes to
// the pad that has waited longest for one, else to the next pad connected. No pad takes a side
// that the players here do not fence (the computer's). Every press becomes the side's key and
// goes through onKeyPress, so a pad says and does exactly what the same key would, halts and
// wins included.
//
// In the pad's standard layout: the D-pad or the left stick towards the opponent advances and
// away from the opponent retreats; A (bottom face button) lunges, B (right) parries, X (left)
// recovers. A button held down acts once; the stick acts once each time it is pushed past half
// way, and again only after it has come back to within a quarter of the middle.
#pragma once

#include <cstdint>

#include "control.h"

// What a player does on a pad for each command, for the help text; one row per command, in
// the order of COMMAND_KEYS.
struct PadControl {
    FencerCommand command;
    const char* controls;
};

inline constexpr PadControl PAD_CONTROLS[] = {
    {FencerCommand::advance, "D-pad or stick towards opponent"},
    {FencerCommand::retreat, "D-pad or stick away from opponent"},
    {FencerCommand::lunge, "A (bottom button)"},
    {FencerCommand::parry, "B (right button)"},
    {FencerCommand::recover, "X (left button)"},
};

// How long pollPads lets pass between two looks at the pads: short enough that a press acts
// at once, long enough that the idle step, called continuously, seldom pays for the look.
inline constexpr std::int64_t PAD_POLL_INTERVAL_MILLISECONDS = 4;

// Starts SDL's game-controller support, alongside whatever else of SDL the game has up, and
// lets pads be read while the game's window (not SDL's) has the focus. Pads take only the
// sides in sides. Pads connected already are taken at the first poll, in the order SDL lists
// them. Returns false, and leaves nothing started, when the support cannot start: pollPads
// then does nothing and the game is the one without pads.
bool openPads(LocalSides sides);

// Called from the idle step with a monotonic clock in milliseconds. Returns at once unless
// PAD_POLL_INTERVAL_MILLISECONDS have passed since the last look (the first call looks);
// then takes every pending pad event without waiting: connections, unplugs, and presses,
// each of which calls onKeyPress with the side's key for its command. Does nothing before
// openPads or after closePads. Returns how many presses it passed on.
int pollPads(std::int64_t nowMilliseconds);

// Lets go of every pad and stops SDL's game-controller support; both sides are free again.
void closePads();
