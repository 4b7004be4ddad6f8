// The computer opponent: lets a lone player fence. It fences one side of the bout the way a
// player would, by pressing that side's keys through onKeyPress, so every rule, message, halt
// and the win apply to it unchanged. It decides only from what a player sees: both fencers'
// cells, who is lunging, whether play is halted or won, the start of its own lunge, when the
// lunges move on (once a second, on the bout's clock) and the keys its opponent presses, as a
// person sharing the keyboard sees the other's hands. It keeps to a person's limits: each
// press comes at least a reaction time (never under 150 ms) after the glance it was decided
// on, and it never presses more than 10 keys in any second. Its choices come from one
// generator seeded when it is created.
//
// Easy comes forward into range, lunges when a touch is likely, parries some lunges in reach
// and makes mistakes, slowly. Normal and hard keep their distance, counter-attack a player
// who walks into reach, parry lunges they see coming, take the touch when the gap allows and
// learn the rhythm of a player who repeats a pattern of keys, foreseeing the next keys. Before
// each decision they try their likely presses on an imagined copy of the bout, with the
// bout's own rules, against what they expect the player to do; hard sees quicker and further.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <random>
#include <string_view>

#include "control.h"
#include "loop.h"

enum class OpponentLevel { easy, normal, hard };

inline constexpr int MOST_PRESSES_PER_SECOND = 10;
inline constexpr int OPPONENT_KEYS_REMEMBERED = 24;
inline constexpr int MOST_PRESSES_PER_PLAN = 3;

struct SeenKey {
    Milliseconds at;
    unsigned char key;
};

struct PlannedPress {
    Milliseconds at;
    FencerCommand command;
};

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
    std::int32_t playerNumber = LEFT_PLAYER; // the side it fences: LEFT_PLAYER or RIGHT_PLAYER
    OpponentLevel level = OpponentLevel::normal;
    std::mt19937 random;
    Milliseconds glanceAt = 0; // its next glance, once the plan's presses are made
    // The presses decided at the latest glance, in time order, and that glance.
    std::array<PlannedPress, MOST_PRESSES_PER_PLAN> plan{};
    std::int32_t planLength = 0;
    std::int32_t planDone = 0;
    Milliseconds planSeenAt = 0;
    bool sawOpponentLunging = false; // at the last glance
    bool willParry = false;          // decided once for each lunge of the opponent it sees begin
    std::int32_t attackGap = 0;      // easy lunges once the gap has closed to this
    // The opponent's latest keys, oldest first once the ring is full.
    std::array<SeenKey, OPPONENT_KEYS_REMEMBERED> seenKeys{};
    std::int32_t seenKeyCount = 0;
    // When the bout's clock last turned to a new second, as far as it has watched.
    WholeSeconds second = 0;
    Milliseconds secondBeganAt = -1;
    // Its own latest presses, a ring, for the limit of keys in any second.
    std::array<Milliseconds, MOST_PRESSES_PER_SECOND> recentPresses{};
    std::int32_t pressCount = 0;
    // For whoever measures it: the glance the latest press was decided on, and the time it was
    // planned for.
    Milliseconds latestPressSeenAt = 0;
    Milliseconds latestPressPlannedAt = 0;
};

// A computer fencer for the side of playerNumber, at this level, whose choices follow from
// seed alone (the same seed, the same bout and the same keys give the same choices). Its
// first step glances at the bout at once.
Opponent createOpponent(std::int32_t playerNumber, OpponentLevel level, std::uint32_t seed);

// One step of the computer fencer, to be called on every idle turn before onIdle. It watches
// the bout's clock, presses a key it decided on once that key is due (ignored during a halt or
// after a win, as any player's key), and when its next glance is due it looks at the bout and
// decides its next keys. Between glances and presses it changes nothing in the bout.
void opponentStep(Opponent& opponent);

// When opponentStep has something to do next: the plan's next press, or once the plan is done
// its next glance.
Milliseconds opponentDueAt(const Opponent& opponent);

// The computer as a row of the loop: due at opponentDueAt, its turn is opponentStep.
LoopSource opponentSource(Opponent& opponent);

// Shows the computer a key just pressed by anyone at the keyboard, at
// controlHooks.nowMilliseconds; it keeps its opponent's command keys and ignores the rest.
// Call it for every key typed in the window, before onKeyPress.
void opponentSeesKey(Opponent& opponent, unsigned char key);

// Score of a bout fenced to the end, without a window, on simulated clocks.
struct BoutScore {
    std::int32_t leftTouches;
    std::int32_t rightTouches;
};

// A simulated bout gives up after this much simulated time, whatever the score: two fencers
// who never attack would otherwise fence for ever. Bouts to 15 between the computer's levels
// end within three simulated minutes when they end at all; two hard ones that hold each other
// off now and then cost about a third of a second to give up on.
inline constexpr Milliseconds SIMULATED_BOUT_GIVE_UP_MILLISECONDS = 10 * 60'000;

// Fences a whole bout to touchLimit between two computer fencers of these levels, on simulated
// clocks, printing nothing; the same seed gives the same score. Leaves controlHooks and the
// shared bout as they were before the call.
// It stops on the turn on which a fencer reaches touchLimit (the ten seconds before the bout
// would end are not run), or after SIMULATED_BOUT_GIVE_UP_MILLISECONDS with the score as it
// stands then. A touchLimit below 1 fences nothing and scores 0 to 0. Safe to call inside the
// running game between two bouts: while it runs, poses, redraws and sounds go nowhere and the
// referee is not heard; the bout's listener (a recording) hears its presses and idle turns, on
// the simulated clocks.
BoutScore fenceComputerBout(OpponentLevel left, OpponentLevel right, std::int32_t touchLimit,
                            std::uint32_t seed);

// The clock of a simulated bout: a millisecond count, whose whole seconds turn over at
// secondBeganAt + 1000 k, when they become second + k.
struct SandboxClock {
    Milliseconds now;
    Milliseconds secondBeganAt;
    WholeSeconds second;
};

// A bout fenced without a window, on a simulated clock, a piece at a time if need be.
struct SimulatedBout {
    Fencer leftFencer, rightFencer;
    BoutState state; // its fencer pointers are set while it fences
    SandboxClock clock;
    Milliseconds giveUpAt;
    bool over; // won, or given up
};
BoutScore scoreOf(const SimulatedBout& simulated);

// Two computers' bout, to be fenced a piece at a time between the turns of the game's loop.
struct ComputerBout {
    Opponent left, right;
    SimulatedBout simulated;
    bool seatsSwapped; // by lot: the computer asked for on the left fences on the right
};
// The score in the seats asked for, whichever seats the lot gave.
BoutScore scoreOf(const ComputerBout& computers);
// The bout fenceComputerBout would fence, not yet begun.
ComputerBout startComputerBout(OpponentLevel left, OpponentLevel right, std::int32_t touchLimit,
                               std::uint32_t seed);
// Fences the bout on for about budget milliseconds of controlHooks.nowMilliseconds' clock
// (NOTHING_DUE: to its end); returns whether it is over. However it is cut into pieces, it is
// fenced exactly as in one go, and between the pieces controlHooks and the shared bout are as
// they were.
bool fenceComputerBoutFor(ComputerBout& computers, Milliseconds budget);

// What fenceComputerBout does, with players (computers, scripted players) as rows of the
// game's loop on a simulated clock: the loop wakes only when a row or the bout's clock is due,
// as the game's does, and jumps the clock to that time. The rows press keys through onKeyPress
// (and show them to any computer that should see them); the bout's clock is the last row. The
// clocks start at second 1000 of controlHooks.now, millisecond 1'000'000 of
// controlHooks.nowMilliseconds; the fencers are called "Left" and "Right".
BoutScore fenceSimulatedBout(std::int32_t touchLimit, std::span<const LoopSource> players);
