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

} // namespace

BoutScore fenceSimulatedBout(std::int32_t touchLimit, std::span<const LoopSource> players) {
    if (touchLimit < 1) {
        return {0, 0};
    }
    const SavedWorld saved;
    sandboxClock = {SIMULATED_START_MILLISECONDS, SIMULATED_START_MILLISECONDS,
                    SIMULATED_START_MILLISECONDS / MILLISECONDS_PER_SECOND};

    Fencer left{leftName, LEFT_EN_GARDE_CELL, 0, LEFT_PLAYER};
    Fencer right{rightName, RIGHT_EN_GARDE_CELL, 0, RIGHT_PLAYER};
    bout = BoutState{};
    bout.leftFencer = &left;
    bout.rightFencer = &right;
    bout.touchLimit = touchLimit;
    bout.leftQuad = LEFT_QUAD_EN_GARDE;
    bout.rightQuad = RIGHT_QUAD_EN_GARDE;

    std::vector<LoopSource> sources(players.begin(), players.end());
    sources.push_back(boutClockSource(sandboxToNextSecond, {}, {}));
    const Milliseconds giveUpAt = sandboxClock.now + SIMULATED_BOUT_GIVE_UP_MILLISECONDS;
    // Nothing is readable on a simulated clock: waiting is moving the clock on to what is due,
    // at least a millisecond, at most to the time the bout is given up.
    const LoopClock simulated{
        [giveUpAt](std::span<const int>, Milliseconds until, std::span<bool>) {
            sandboxClock.now = std::clamp(until, sandboxClock.now + 1, giveUpAt);
        },
        {}};
    runLoop(sources, simulated, [giveUpAt] {
        return bout.leftWon != 0 || bout.rightWon != 0 || sandboxClock.now >= giveUpAt;
    });
    return {left.touches, right.touches};
}

BoutScore fenceComputerBout(OpponentLevel left, OpponentLevel right, std::int32_t touchLimit,
                            std::uint32_t seed) {
    // Two generators from one seed, apart so that equal levels do not mirror each other.
    std::seed_seq seeds{seed, 0x4c656674u, seed, 0x52696768u};
    std::uint32_t sideSeeds[2];
    seeds.generate(std::begin(sideSeeds), std::end(sideSeeds));
    Opponent leftComputer = createOpponent(LEFT_PLAYER, left, sideSeeds[0]);
    Opponent rightComputer = createOpponent(RIGHT_PLAYER, right, sideSeeds[1]);
    const LoopSource players[] = {opponentSource(leftComputer), opponentSource(rightComputer)};
    return fenceSimulatedBout(touchLimit, players);
}
