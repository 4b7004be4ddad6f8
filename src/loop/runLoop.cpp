#include <algorithm>
#include <memory>
#include <vector>

#include "loop.h"

namespace {

// Every row's turn, again for as long as the turns change what the bout shows: a lunge's last
// step and its falling short come at the same moment.
void turnUntilSettled(std::span<const LoopSource> sources) {
    ShownBout before{};
    do {
        before = shownBout(bout);
        for (const LoopSource& source : sources) {
            if (source.turn) {
                source.turn();
            }
        }
    } while (shownBout(bout) != before);
}

std::array<float, 8> cornersOf(const FencerQuad& quad) {
    std::array<float, 8> corners{};
    for (std::size_t corner = 0; corner < 4; ++corner) {
        corners[2 * corner] = quad.vertex[corner].x;
        corners[2 * corner + 1] = quad.vertex[corner].y;
    }
    return corners;
}

} // namespace

ShownBout shownBout(const BoutState& state) {
    ShownBout shown{};
    if (state.leftFencer != nullptr) {
        shown.leftName = state.leftFencer->name != nullptr ? state.leftFencer->name : "";
        shown.leftPosition = state.leftFencer->position;
        shown.leftTouches = state.leftFencer->touches;
    }
    if (state.rightFencer != nullptr) {
        shown.rightName = state.rightFencer->name != nullptr ? state.rightFencer->name : "";
        shown.rightPosition = state.rightFencer->position;
        shown.rightTouches = state.rightFencer->touches;
    }
    shown.touchLimit = state.touchLimit;
    shown.leftLunging = state.leftLunging;
    shown.rightLunging = state.rightLunging;
    shown.leftParryHold = state.leftParryHold;
    shown.rightParryHold = state.rightParryHold;
    shown.halted = state.halted;
    shown.leftOffStrip = state.leftOffStrip;
    shown.rightOffStrip = state.rightOffStrip;
    shown.crossedHalt = state.crossedHalt;
    shown.leftTouch = state.leftTouch;
    shown.rightTouch = state.rightTouch;
    shown.leftTouchHalt = state.leftTouchHalt;
    shown.rightTouchHalt = state.rightTouchHalt;
    shown.fenceBanner = state.fenceBanner;
    shown.leftWon = state.leftWon;
    shown.rightWon = state.rightWon;
    shown.leftSpriteTexture = state.leftSpriteTexture;
    shown.rightSpriteTexture = state.rightSpriteTexture;
    shown.leftCorners = cornersOf(state.leftQuad);
    shown.rightCorners = cornersOf(state.rightQuad);
    return shown;
}

void runLoop(std::span<const LoopSource> sources, const LoopClock& clock,
             const std::function<bool()>& finished) {
    std::vector<int> descriptors(sources.size(), NO_DESCRIPTOR);
    const std::unique_ptr<bool[]> readable(new bool[sources.size()]);
    for (;;) {
        do {
            turnUntilSettled(sources);
        } while (clock.settled && clock.settled());
        if (finished()) {
            return;
        }
        Milliseconds due = NOTHING_DUE;
        for (std::size_t row = 0; row < sources.size(); ++row) {
            const LoopSource& source = sources[row];
            descriptors[row] = source.descriptor ? source.descriptor() : NO_DESCRIPTOR;
            if (source.dueAt) {
                due = std::min(due, source.dueAt());
            }
            readable[row] = false;
        }
        clock.wait(descriptors, due, {readable.get(), sources.size()});
        for (std::size_t row = 0; row < sources.size(); ++row) {
            if (readable[row] && descriptors[row] != NO_DESCRIPTOR && sources[row].onReadable) {
                sources[row].onReadable();
            }
        }
    }
}
