// Inside the opponent only: the bout's own rules run away from the real bout, on a clock of
// their own, unheard, with everything put back afterwards; and the tactics of the two upper
// levels, which imagine the next second of the bout that way before they decide.
#pragma once

#include <vector>

#include "opponent.h"

// The clock of the sandbox (SandboxClock).
extern SandboxClock sandboxClock;

// The hooks, the shared bout, the referee's voice and the sandbox clock as they were, put back
// however the sandbox ends; while it lives the hooks read the sandbox clock and show, sound
// and end nothing, and neither the referee nor the bout's listener hears anything.
struct SavedWorld {
    ControlHooks hooks;
    BoutListener listener;
    BoutState shared;
    SandboxClock clock;
    bool heard;
    SavedWorld();
    ~SavedWorld();
    SavedWorld(const SavedWorld&) = delete;
    SavedWorld& operator=(const SavedWorld&) = delete;
};

// The presses a computer fencer of the upper levels means to make, decided at now on what it
// sees and on what it expects its opponent to do; none sooner than earliest. Returns how many
// it wrote into plan, in time order.
std::int32_t planPresses(const Opponent& opponent, Milliseconds now, Milliseconds earliest,
                         std::array<PlannedPress, MOST_PRESSES_PER_PLAN>& plan);

// Whether one more press at this time keeps within MOST_PRESSES_PER_SECOND, after the
// presses it has made and those in extra (times in order, all at or before at).
bool pressFitsTheLimit(const Opponent& opponent, Milliseconds at,
                       const std::vector<Milliseconds>& extra = {});
