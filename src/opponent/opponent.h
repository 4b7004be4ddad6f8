// The computer opponent: lets a lone player fence. It fences one side of the bout the way a
// player would, by pressing that side's keys through onKeyPress, so every rule, message, halt
// and the win apply to it unchanged. It decides only from what a player sees (both fencers'
// cells, who is lunging, whether play is halted or won) and the start of its own lunge, and
// it reacts as slowly as a person: each press comes a reaction time after the glance it was
// decided on. Its choices come from one generator seeded when it is created.
//
// It comes forward into range, lunges when a touch is likely, parries a lunge that comes
// within reach (not every one), recovers from a lunge of its own that can no longer arrive,
// and never steps off its own end on purpose.
#pragma once

#include <cstdint>
#include <random>

#include "control.h"

enum class OpponentLevel { easy, normal, hard };

// Everything one computer fencer keeps between its steps.
struct Opponent {
    std::int32_t playerNumber; // the side it fences: LEFT_PLAYER or RIGHT_PLAYER
    OpponentLevel level;
    std::mt19937 random;
    Milliseconds dueAt; // before this, a step does nothing at all
    bool hasPlan;       // a key decided at the last glance waits for its reaction time
    FencerCommand plan;
    bool sawOpponentLunging; // at the last glance
    bool willParry;          // decided once for each lunge of the opponent it sees begin
    std::int32_t attackGap;  // it lunges once the gap has closed to this
};

// A computer fencer for the side of playerNumber, at this level, whose choices follow from
// seed alone (the same seed and the same bout give the same choices). Its first step glances
// at the bout at once.
Opponent createOpponent(std::int32_t playerNumber, OpponentLevel level, std::uint32_t seed);

// One step of the computer fencer, to be called on every idle turn before onIdle. Until its
// timer (controlHooks.nowMilliseconds) is due it returns at once and does nothing at all.
// When due, it presses the key it decided on at its last glance, if any (ignored during a
// halt or after a win, as any player's key), then glances at the bout again and decides.
void opponentStep(Opponent& opponent);
