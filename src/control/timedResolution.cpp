#include "control.h"

#include "console.h"
#include "sides.h"

namespace {

// Lunge steps and the end of a parry hold wait for more than this since actionTime: with
// whole seconds on the clock, that is the next tick of the clock's second.
constexpr double ACTION_WAIT_SECONDS = 0.01;

void endParryHold(const Side& side) {
    if (side.parryHold == 1 && secondsSince(bout.actionTime) > ACTION_WAIT_SECONDS) {
        controlHooks.showPose(side.engarde);
        side.parryHold = 0;
        controlHooks.requestRedraw();
    }
}

// One cell per whole second towards the opponent while in reach; a touch once close enough;
// out of reach the lunge falls short and the fencer recovers.
void resolveLunge(const Side& side) {
    const std::int32_t cellsBeyondStart =
        (side.fencer.position - side.lungeStart) * side.forwardCells;
    const bool inReach = cellsBeyondStart <= LUNGE_TRAVEL_CELLS || gap() == LUNGE_ARRIVAL_GAP;
    if (!inReach) {
        announce("%s, your lunge was out of distance, so you recover and continue.\n",
                 side.fencer.name);
        side.lunging = 0;
        controlHooks.showPose(side.engarde);
        controlHooks.requestRedraw();
        return;
    }
    if (gap() <= LUNGE_ARRIVAL_GAP) {
        touchHalt(side.fencer);
        return;
    }
    if (secondsSince(bout.actionTime) > ACTION_WAIT_SECONDS) {
        moveQuad(side.quad, side.forwardCells * UNITS_PER_CELL);
        advanceFencer(side.fencer);
        printScoreboard(*bout.leftFencer, *bout.rightFencer, bout.touchLimit);
        controlHooks.requestRedraw();
        bout.actionTime = controlHooks.now();
    }
}

bool boutIsWon() {
    return bout.leftWon == 1 || bout.rightWon == 1;
}

} // namespace

void onIdle() {
    // A crossing near an end can push a fencer off the strip; a retreat off it was already
    // caught by the keyboard.
    if (leftIsOffStrip(*bout.leftFencer)) {
        offStripHalt(*bout.leftFencer);
    }
    if (rightIsOffStrip(*bout.rightFencer)) {
        offStripHalt(*bout.rightFencer);
    }
    endParryHold(leftSide());
    endParryHold(rightSide());
    // Once a fencer has won nothing moves and nothing scores: a lunge still under way at the
    // winning touch would otherwise travel on from the en-garde line and score past the limit.
    if (bout.leftLunging == 1 && !boutIsWon()) {
        resolveLunge(leftSide());
    }
    runTouchTimer(leftSide());
    if (bout.rightLunging == 1 && !boutIsWon()) {
        resolveLunge(rightSide());
    }
    runTouchTimer(rightSide());
    runSharedHaltTimer();
    runFenceBannerTimer();
    runWinExitTimer();
    if (boutListener.idleTurn != nullptr) {
        boutListener.idleTurn();
    }
}

bool waitsForTheClock() {
    const int running[] = {bout.leftLunging,    bout.rightLunging, bout.leftParryHold,
                           bout.rightParryHold, bout.halted,       bout.leftTouchHalt,
                           bout.rightTouchHalt, bout.leftOffStrip, bout.rightOffStrip,
                           bout.crossedHalt,    bout.fenceBanner,  bout.leftWon,
                           bout.rightWon};
    for (int flag : running) {
        if (flag == 1) {
            return true;
        }
    }
    return false;
}
