#include "control.h"

#include <chrono>
#include <cstdlib>
#include <ctime>

#include "console.h"
#include "sides.h"

namespace {

// A halt ends once more than 2 whole seconds have passed since it began (3 on the clock).
constexpr double HALT_WAIT_SECONDS = 2.0;
// The fence banner comes down at the next tick of the clock's second.
constexpr double FENCE_BANNER_SECONDS = 0.5;
constexpr double WIN_EXIT_SECONDS = 10.0;

void noRedraw() {}
void noPose(Pose) {}
void noSound(BoutSound) {}

void startHalt() {
    bout.halted = 1;
    bout.haltTime = controlHooks.now();
}

void restartOnTheLines() {
    resetToEnGarde(*bout.leftFencer, *bout.rightFencer);
    resetSprites();
}

void sayEnGarde() {
    const bool won = bout.leftWon == 1 || bout.rightWon == 1;
    if (won && bout.moreBoutsToCome == 1) {
        return; // the club night's next bout is announced instead
    }
    announce("\n\nEn garde! Ready? Fence!\n");
}

} // namespace

ControlHooks controlHooks{systemClock, noRedraw, noPose, std::exit, monotonicMilliseconds, noSound};

Milliseconds monotonicMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

WholeSeconds systemClock() {
    return static_cast<WholeSeconds>(std::time(nullptr));
}

Milliseconds millisecondsToNextSecond() {
    constexpr Milliseconds MILLISECONDS_PER_SECOND = 1000;
    constexpr long NANOSECONDS_PER_MILLISECOND = 1000000;
    timespec precise{};
    clock_gettime(CLOCK_REALTIME, &precise);
    // std::time reads a coarser copy of the clock that turns up to a few milliseconds after the
    // precise one: until it has turned too, the new second has not begun for the bout.
    if (systemClock() < precise.tv_sec) {
        return 1;
    }
    const Milliseconds intoSecond = precise.tv_nsec / NANOSECONDS_PER_MILLISECOND;
    return MILLISECONDS_PER_SECOND - intoSecond;
}

void resetSprites() {
    bout.leftQuad = LEFT_QUAD_EN_GARDE;
    bout.rightQuad = RIGHT_QUAD_EN_GARDE;
    controlHooks.showPose(Pose::leftEngarde);
    controlHooks.showPose(Pose::rightEngarde);
}

void offStripHalt(Fencer& offender) {
    const Side side = sideOf(offender);
    announce("--**HALT!**-- %s is off the end of the strip. Touch to %s.", offender.name,
             side.opponent.name);
    addTouch(side.opponent);
    side.offStrip = 1;
    startHalt();
    checkForWinner();
    restartOnTheLines();
    sayEnGarde();
}

void crossingHalt() {
    bout.crossedHalt = 1;
    startHalt();
    announce("--**HALT!**-- Nothing done, center is here.");
    separateFencers(*bout.leftFencer, *bout.rightFencer);
    spreadQuads();
    sayEnGarde();
}

void spreadQuads() {
    moveQuad(bout.leftQuad, -CROSSING_SEPARATION * UNITS_PER_CELL);
    moveQuad(bout.rightQuad, CROSSING_SEPARATION * UNITS_PER_CELL);
}

void touchHalt(Fencer& scorer) {
    const Side side = sideOf(scorer);
    side.touchHalt = 1;
    side.touch = 1;
    controlHooks.playSound(BoutSound::buzzer);
    bout.halted = 1;
    controlHooks.requestRedraw();
    bout.haltTime = controlHooks.now();
    announce(side.forwardCells > 0 ? "--**HALT!**-- Attack is good from my left. Touch to %s."
                                   : "--**HALT!**-- Attack is good from my right. Touch to %s.",
             scorer.name);
    addTouch(scorer);
    checkForWinner();
    side.lunging = 0;
    restartOnTheLines();
    printScoreboard(*bout.leftFencer, *bout.rightFencer, bout.touchLimit);
    controlHooks.requestRedraw();
    sayEnGarde();
}

void endHalt(std::initializer_list<int*> flags) {
    for (int* flag : flags) {
        *flag = 0;
    }
    bout.halted = 0;
    bout.fenceBanner = 1;
    bout.fenceBannerTime = controlHooks.now();
}

void runTouchTimer(const Side& side) {
    if (side.touchHalt != 1) {
        return;
    }
    controlHooks.requestRedraw();
    if (secondsSince(bout.haltTime) > HALT_WAIT_SECONDS) {
        endHalt({&side.touchHalt, &side.touch});
    }
}

void runSharedHaltTimer() {
    if (bout.crossedHalt != 1 && bout.leftOffStrip != 1 && bout.rightOffStrip != 1) {
        return;
    }
    controlHooks.requestRedraw();
    if (secondsSince(bout.haltTime) > HALT_WAIT_SECONDS) {
        endHalt({&bout.crossedHalt, &bout.leftOffStrip, &bout.rightOffStrip});
    }
}

void runFenceBannerTimer() {
    if (bout.fenceBanner != 1) {
        return;
    }
    controlHooks.requestRedraw();
    if (secondsSince(bout.fenceBannerTime) > FENCE_BANNER_SECONDS) {
        bout.fenceBanner = 0;
    }
}

void runWinExitTimer() {
    if (bout.leftWon != 1 && bout.rightWon != 1) {
        return;
    }
    controlHooks.requestRedraw();
}

bool boutHasEnded() {
    return (bout.leftWon == 1 || bout.rightWon == 1) &&
           secondsSince(bout.haltTime) >= WIN_EXIT_SECONDS;
}
