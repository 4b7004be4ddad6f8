#include "sides.h"

#include "control.h"

Side leftSide() {
    return {*bout.leftFencer,
            *bout.rightFencer,
            bout.leftLunging,
            bout.leftLungeStart,
            bout.leftParryHold,
            bout.rightLunging,
            bout.leftTouch,
            bout.leftTouchHalt,
            bout.leftOffStrip,
            bout.leftQuad,
            +1,
            Pose::leftEngarde,
            Pose::leftLunge,
            Pose::leftParry,
            Pose::rightEngarde};
}

Side rightSide() {
    return {*bout.rightFencer,
            *bout.leftFencer,
            bout.rightLunging,
            bout.rightLungeStart,
            bout.rightParryHold,
            bout.leftLunging,
            bout.rightTouch,
            bout.rightTouchHalt,
            bout.rightOffStrip,
            bout.rightQuad,
            -1,
            Pose::rightEngarde,
            Pose::rightLunge,
            Pose::rightParry,
            Pose::leftEngarde};
}

Side sideOf(const Fencer& fencer) {
    return &fencer == bout.leftFencer ? leftSide() : rightSide();
}

bool isOffItsEnd(const Side& side) {
    return side.forwardCells > 0 ? leftIsOffStrip(side.fencer) : rightIsOffStrip(side.fencer);
}

double secondsSince(WholeSeconds stamp) {
    return static_cast<double>(controlHooks.now() - stamp);
}
