// The benchmarks that run the bout start where most of a bout is spent: two named fencers on
// their en-garde lines, nothing pending.
#pragma once

#include "bout.h"

inline void placeFencersOnTheirLines() {
    static char leftName[] = "Tavrin";
    static char rightName[] = "Oriane";
    bout.touchLimit = POOL_TOUCH_LIMIT;
    bout.leftFencer = createFencer(leftName, LEFT_PLAYER);
    bout.rightFencer = createFencer(rightName, RIGHT_PLAYER);
    resetToEnGarde(*bout.leftFencer, *bout.rightFencer);
}
