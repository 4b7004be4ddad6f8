#include "loop.h"

LoopSource boutClockSource(Milliseconds (*toNextSecond)(), std::function<void()> afterIdle,
                           std::function<void()> boutEnded) {
    LoopSource clock;
    clock.dueAt = [toNextSecond] {
        return waitsForTheClock() ? controlHooks.nowMilliseconds() + toNextSecond() : NOTHING_DUE;
    };
    clock.turn = [afterIdle = std::move(afterIdle), boutEnded = std::move(boutEnded)] {
        onIdle();
        if (afterIdle) {
            afterIdle();
        }
        if (boutEnded && boutHasEnded()) {
            boutEnded();
        }
    };
    return clock;
}
