#include <algorithm>
#include <iterator>
#include <vector>

#include "sandbox.h"

namespace {

constexpr Milliseconds SIMULATED_START_MILLISECONDS = 1'000'000;
constexpr Milliseconds MILLISECONDS_PER_SECOND = 1000;

char leftName[] = "Left";
char rightName[] = "Right";

// The sandbox's whole seconds turn exactly on their millisecond.
Milliseconds sandboxToNextSecond() {
    const Milliseconds intoSecond =
        ((sandboxClock.now - sandboxClock.secondBeganAt) % MILLISECONDS_PER_SECOND +
         MILLISECONDS_PER_SECOND) %
        MILLISECONDS_PER_SECOND;
    return MILLISECONDS_PER_SECOND - intoSecond;
}

bool won(const BoutState& state) {
    return state.leftWon != 0 || state.rightWon != 0;
}

// A new simulated bout on its own clock, the fencers on their lines.
void setUpSimulated(SimulatedBout& simulated, std::int32_t touchLimit) {
    simulated.leftFencer = Fencer{leftName, LEFT_EN_GARDE_CELL, 0, LEFT_PLAYER};
    simulated.rightFencer = Fencer{rightName, RIGHT_EN_GARDE_CELL, 0, RIGHT_PLAYER};
    simulated.state = BoutState{};
    simulated.state.touchLimit = touchLimit;
    simulated.state.leftQuad = LEFT_QUAD_EN_GARDE;
    simulated.state.rightQuad = RIGHT_QUAD_EN_GARDE;
    simulated.clock = {SIMULATED_START_MILLISECONDS, SIMULATED_START_MILLISECONDS,
                       SIMULATED_START_MILLISECONDS / MILLISECONDS_PER_SECOND};
    simulated.giveUpAt = SIMULATED_START_MILLISECONDS + SIMULATED_BOUT_GIVE_UP_MILLISECONDS;
    simulated.over = touchLimit < 1;
}

// Runs the game's loop on the simulated bout's clock with these players and the bout's clock,
// until the bout is won or given up, or until stop() says so after a settled round of turns
// once the clock has moved;
// a later call carries on where it stopped, as if it had not.
void fenceOn(SimulatedBout& simulated, std::span<const LoopSource> players,
             const std::function<bool()>& stop) {
    if (simulated.over) {
        return;
    }
    const SavedWorld saved;
    // A recording of this bout hears it; the fencers' imagined bouts stay unheard.
    boutListener = saved.listener;
    sandboxClock = simulated.clock;
    bout = simulated.state;
    bout.leftFencer = &simulated.leftFencer;
    bout.rightFencer = &simulated.rightFencer;

    std::vector<LoopSource> sources(players.begin(), players.end());
    sources.push_back(boutClockSource(sandboxToNextSecond, {}, {}));
    const Milliseconds giveUpAt = simulated.giveUpAt;
    // Nothing is readable on a simulated clock: waiting is moving the clock on to what is due,
    // at least a millisecond, at most to the time the bout is given up.
    // Each call moves the clock on at least once, so that every piece, however short, fences.
    bool moved = false;
    const LoopClock jumping{
        [giveUpAt, &moved](std::span<const int>, Milliseconds until, std::span<bool>) {
            sandboxClock.now = std::clamp(until, sandboxClock.now + 1, giveUpAt);
            moved = true;
        },
        {}};
    runLoop(sources, jumping,
            [&] { return won(bout) || sandboxClock.now >= giveUpAt || (moved && stop && stop()); });
    simulated.over = won(bout) || sandboxClock.now >= giveUpAt;
    simulated.state = bout;
    simulated.clock = sandboxClock;
}

} // namespace

BoutScore scoreOf(const SimulatedBout& simulated) {
    return {simulated.leftFencer.touches, simulated.rightFencer.touches};
}

BoutScore fenceSimulatedBout(std::int32_t touchLimit, std::span<const LoopSource> players) {
    SimulatedBout simulated;
    setUpSimulated(simulated, touchLimit);
    fenceOn(simulated, players, {});
    return scoreOf(simulated);
}

ComputerBout startComputerBout(OpponentLevel left, OpponentLevel right, std::int32_t touchLimit,
                               std::uint32_t seed) {
    // Two generators from one seed, apart so that equal levels do not mirror each other, and
    // a lot for the seats: the bout's rules resolve the left fencer's lunge first, which two
    // computers would otherwise turn into an advantage of the seat.
    std::seed_seq seeds{seed, 0x4c656674u, seed, 0x52696768u};
    std::uint32_t sideSeeds[3];
    seeds.generate(std::begin(sideSeeds), std::end(sideSeeds));
    const bool swapped = (sideSeeds[2] & 1u) != 0;
    ComputerBout computers{createOpponent(LEFT_PLAYER, swapped ? right : left, sideSeeds[0]),
                           createOpponent(RIGHT_PLAYER, swapped ? left : right, sideSeeds[1]),
                           {},
                           swapped};
    setUpSimulated(computers.simulated, touchLimit);
    return computers;
}

BoutScore scoreOf(const ComputerBout& computers) {
    const BoutScore score = scoreOf(computers.simulated);
    return computers.seatsSwapped ? BoutScore{score.rightTouches, score.leftTouches} : score;
}

bool fenceComputerBoutFor(ComputerBout& computers, Milliseconds budget) {
    const LoopSource players[] = {opponentSource(computers.left), opponentSource(computers.right)};
    const Milliseconds now = controlHooks.nowMilliseconds();
    const Milliseconds until = budget == NOTHING_DUE ? NOTHING_DUE : now + budget;
    // The hooks are the sandbox's while it fences: the time spent is read on the clock of the
    // game around it.
    const auto realNow = controlHooks.nowMilliseconds;
    fenceOn(computers.simulated, players,
            [&] { return until != NOTHING_DUE && realNow() >= until; });
    return computers.simulated.over;
}

BoutScore fenceComputerBout(OpponentLevel left, OpponentLevel right, std::int32_t touchLimit,
                            std::uint32_t seed) {
    ComputerBout computers = startComputerBout(left, right, touchLimit, seed);
    fenceComputerBoutFor(computers, NOTHING_DUE);
    return scoreOf(computers);
}
