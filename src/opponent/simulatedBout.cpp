#include <iterator>

#include "sandbox.h"

namespace {

constexpr Milliseconds SIMULATED_START_MILLISECONDS = 1'000'000;

char leftName[] = "Left";
char rightName[] = "Right";

} // namespace

BoutScore fenceSimulatedBout(std::int32_t touchLimit,
                             const std::function<void(Milliseconds now)>& pressKeys) {
    if (touchLimit < 1) {
        return {0, 0};
    }
    const SavedWorld saved;
    // A recording of this bout hears it; the fencers' imagined bouts stay unheard.
    boutListener = saved.listener;
    sandboxClock = {SIMULATED_START_MILLISECONDS, SIMULATED_START_MILLISECONDS,
                    SIMULATED_START_MILLISECONDS / 1000};

    Fencer left{leftName, LEFT_EN_GARDE_CELL, 0, LEFT_PLAYER};
    Fencer right{rightName, RIGHT_EN_GARDE_CELL, 0, RIGHT_PLAYER};
    bout = BoutState{};
    bout.leftFencer = &left;
    bout.rightFencer = &right;
    bout.touchLimit = touchLimit;
    bout.leftQuad = LEFT_QUAD_EN_GARDE;
    bout.rightQuad = RIGHT_QUAD_EN_GARDE;

    const Milliseconds giveUpAt = sandboxClock.now + SIMULATED_BOUT_GIVE_UP_MILLISECONDS;
    for (; sandboxClock.now < giveUpAt && bout.leftWon == 0 && bout.rightWon == 0;
         ++sandboxClock.now) {
        pressKeys(sandboxClock.now);
        onIdle();
    }
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
    return fenceSimulatedBout(touchLimit, [&](Milliseconds) {
        opponentStep(leftComputer);
        opponentStep(rightComputer);
    });
}
