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
#include <functional>
#include <random>
#include <string_view>

#include "control.h"

enum class OpponentLevel { easy, normal, hard };

// The levels by the names players type for them.
struct OpponentLevelName {
    std::string_view name;
    OpponentLevel level;
};
inline constexpr OpponentLevelName OPPONENT_LEVEL_NAMES[] = {
    {"easy", OpponentLevel::easy},
    {"normal", OpponentLevel::normal},
    {"hard", OpponentLevel::hard},
};

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

// Score of a bout fenced to the end, without a window, on simulated clocks.
struct BoutScore {
    std::int32_t leftTouches;
    std::int32_t rightTouches;
};

// A simulated bout gives up after this much simulated time, whatever the score: two fencers
// who never attack would otherwise fence for ever.
inline constexpr Milliseconds SIMULATED_BOUT_GIVE_UP_MILLISECONDS = 30 * 60'000;

// Fences a whole bout to touchLimit between two computer fencers of these levels, on simulated
// clocks (one idle turn per millisecond), printing nothing; the same seed gives the same score.
// Leaves controlHooks and the shared bout as they were before the call.
// It stops on the idle turn on which a fencer reaches touchLimit (the ten seconds before the
// process would end are not run, and nothing ends the process), or after
// SIMULATED_BOUT_GIVE_UP_MILLISECONDS with the score as it stands then. A touchLimit below 1
// fences nothing and scores 0 to 0. Safe to call inside the running game between two bouts:
// while it runs, poses, redraws and sounds go nowhere and standard output is sent to the null
// device (flushed before and after, so nothing said before or after is lost or reordered).
BoutScore fenceComputerBout(OpponentLevel left, OpponentLevel right, std::int32_t touchLimit,
                            std::uint32_t seed);

// What fenceComputerBout does, with whatever presses keys given as pressKeys: it is called on
// every simulated millisecond (its argument), before the bout's idle step, as the game's idle
// step calls a computer fencer. It may press keys through onKeyPress and step computer fencers
// of its own. The clocks start at second 1000 of controlHooks.now, millisecond 1'000'000 of
// controlHooks.nowMilliseconds; the fencers are called "Left" and "Right".
BoutScore fenceSimulatedBout(std::int32_t touchLimit,
                             const std::function<void(Milliseconds now)>& pressKeys);
