#include "sandbox.h"

#include <algorithm>

SandboxClock sandboxClock{0, 0, 0};

namespace {

WholeSeconds sandboxSeconds() {
    const Milliseconds since = sandboxClock.now - sandboxClock.secondBeganAt;
    const Milliseconds wholeSeconds = since >= 0 ? since / 1000 : -((999 - since) / 1000);
    return sandboxClock.second + wholeSeconds;
}
Milliseconds sandboxMilliseconds() {
    return sandboxClock.now;
}
void noRedraw() {}
void noPose(Pose) {}
void noSound(BoutSound) {}
void noExit(int) {}

} // namespace

SavedWorld::SavedWorld()
    : hooks(controlHooks), listener(boutListener), shared(bout), clock(sandboxClock),
      heard(refereeHeard) {
    refereeHeard = false;
    boutListener = {nullptr, nullptr};
    controlHooks = {sandboxSeconds, noRedraw, noPose, noExit, sandboxMilliseconds, noSound};
}

SavedWorld::~SavedWorld() {
    controlHooks = hooks;
    boutListener = listener;
    bout = shared;
    sandboxClock = clock;
    refereeHeard = heard;
}

bool pressFitsTheLimit(const Opponent& opponent, Milliseconds at,
                       const std::vector<Milliseconds>& extra) {
    // The press MOST_PRESSES_PER_SECOND back from this one must be a second or more before it.
    const auto made =
        static_cast<std::size_t>(std::min(opponent.pressCount, MOST_PRESSES_PER_SECOND));
    const std::size_t total = made + extra.size();
    if (total < MOST_PRESSES_PER_SECOND) {
        return true;
    }
    const std::size_t back = total - MOST_PRESSES_PER_SECOND; // index of that press, oldest first
    Milliseconds thatPress = 0;
    if (back < made) {
        const std::size_t oldest =
            static_cast<std::size_t>(opponent.pressCount) % MOST_PRESSES_PER_SECOND;
        thatPress =
            opponent.recentPresses[(opponent.pressCount >= MOST_PRESSES_PER_SECOND ? oldest + back
                                                                                   : back) %
                                   MOST_PRESSES_PER_SECOND];
    } else {
        thatPress = extra[back - made];
    }
    return at - thatPress >= 1000;
}
