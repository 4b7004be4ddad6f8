// Inside control only: one side of the bout seen as a whole, so that each fencing rule is
// written once and applied to the left fencer and, mirrored, to the right one.
#pragma once

#include <initializer_list>

#include "bout.h"

struct Side {
    Fencer& fencer;
    Fencer& opponent;
    int& lunging;
    std::int32_t& lungeStart;
    int& parryHold;
    int& opponentLunging;
    int& touch;
    int& touchHalt;
    int& offStrip;
    FencerQuad& quad;
    std::int32_t forwardCells; // +1 for the left fencer, -1 for the right
    Pose engarde;
    Pose lunge;
    Pose parry;
    Pose opponentEngarde;
};

Side leftSide();
Side rightSide();
// The side on which this fencer (leftFencer or rightFencer of the bout) fences.
Side sideOf(const Fencer& fencer);

// Each fencer is tested only against its own end of the strip.
bool isOffItsEnd(const Side& side);

// Now minus the stamp, as a real number of seconds: always whole, since both are.
double secondsSince(WholeSeconds stamp);

// Ends a halt whose wait is over: clears its flags, frees the keyboard, raises the fence banner.
void endHalt(std::initializer_list<int*> flags);

// The timers the idle step runs on every call; each asks for a redraw while it runs.
// The halt after a touch by this side.
void runTouchTimer(const Side& side);
// The halts for leaving the strip and for crossing, which share one wait.
void runSharedHaltTimer();
void runFenceBannerTimer();
// Ten whole seconds after the winning halt began, the process ends.
void runWinExitTimer();
