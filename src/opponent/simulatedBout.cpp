#include "opponent.h"

#include <cstdio>
#include <fcntl.h>
#include <iterator>
#include <unistd.h>

namespace {

constexpr Milliseconds SIMULATED_START_MILLISECONDS = 1'000'000;

Milliseconds simulatedMilliseconds = SIMULATED_START_MILLISECONDS;

WholeSeconds simulatedSeconds() {
    return simulatedMilliseconds / 1000;
}
Milliseconds readSimulatedMilliseconds() {
    return simulatedMilliseconds;
}
void noRedraw() {}
void noPose(Pose) {}
void noSound(BoutSound) {}
void noExit(int) {}

// Standard output goes to the null device while this lives, and back where it was after.
// Without a null device the bout is fenced all the same, its words going where they always go.
struct SilencedStdout {
    int savedStdout = -1;

    SilencedStdout() {
        std::fflush(stdout);
        const int nullDevice = open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (nullDevice < 0) {
            return;
        }
        savedStdout = dup(STDOUT_FILENO);
        if (savedStdout >= 0 && dup2(nullDevice, STDOUT_FILENO) < 0) {
            close(savedStdout);
            savedStdout = -1;
        }
        close(nullDevice);
    }
    ~SilencedStdout() {
        std::fflush(stdout);
        if (savedStdout >= 0) {
            dup2(savedStdout, STDOUT_FILENO);
            close(savedStdout);
        }
    }
    SilencedStdout(const SilencedStdout&) = delete;
    SilencedStdout& operator=(const SilencedStdout&) = delete;
};

// The hooks, the bout and the simulated clock as they were, put back however the bout ends.
struct SavedWorld {
    ControlHooks hooks = controlHooks;
    BoutState shared = bout;
    Milliseconds clock = simulatedMilliseconds;

    SavedWorld() = default;
    ~SavedWorld() {
        controlHooks = hooks;
        bout = shared;
        simulatedMilliseconds = clock;
    }
    SavedWorld(const SavedWorld&) = delete;
    SavedWorld& operator=(const SavedWorld&) = delete;
};

char leftName[] = "Left";
char rightName[] = "Right";

} // namespace

BoutScore fenceSimulatedBout(std::int32_t touchLimit,
                             const std::function<void(Milliseconds now)>& pressKeys) {
    if (touchLimit < 1) {
        return {0, 0};
    }
    const SavedWorld saved;
    const SilencedStdout silence;
    simulatedMilliseconds = SIMULATED_START_MILLISECONDS;
    controlHooks = {simulatedSeconds, noRedraw, noPose, noExit, readSimulatedMilliseconds, noSound};

    Fencer left{leftName, LEFT_EN_GARDE_CELL, 0, LEFT_PLAYER};
    Fencer right{rightName, RIGHT_EN_GARDE_CELL, 0, RIGHT_PLAYER};
    bout = BoutState{};
    bout.leftFencer = &left;
    bout.rightFencer = &right;
    bout.touchLimit = touchLimit;
    bout.leftQuad = LEFT_QUAD_EN_GARDE;
    bout.rightQuad = RIGHT_QUAD_EN_GARDE;

    const Milliseconds giveUpAt = simulatedMilliseconds + SIMULATED_BOUT_GIVE_UP_MILLISECONDS;
    for (; simulatedMilliseconds < giveUpAt && bout.leftWon == 0 && bout.rightWon == 0;
         ++simulatedMilliseconds) {
        pressKeys(simulatedMilliseconds);
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
