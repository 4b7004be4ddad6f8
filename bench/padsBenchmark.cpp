// What game pads cost the idle step, which the event loop calls without pause: the idle step
// alone (the game without pads), then with pads opened and none or two connected; and one look
// at the pads, which the idle step pays once per poll interval. No display needed:
//   build/default/bench/padsBenchmark
#include <benchmark/benchmark.h>

#include <vector>

#include "control.h"
#include "fencersOnTheirLines.h"
#include "pads.h"
#include "virtualPad.h"

namespace {

void noRedraw() {}
void noPose(Pose) {}
void noExit(int) {}

// Two fencers on their lines with nothing pending, as for most of a bout.
void setUpBout() {
    placeFencersOnTheirLines();
    // The game's clocks, and no window to redraw, no pictures, no exit.
    controlHooks.requestRedraw = noRedraw;
    controlHooks.showPose = noPose;
    controlHooks.endProcess = noExit;
}

void idleStepAlone(benchmark::State& state) {
    for (auto _ : state) {
        onIdle();
    }
}

// The idle step without pads, reading the clock as the game with pads does: what is left beside
// this is the pads' own share.
void idleStepAndClock(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(monotonicMilliseconds());
        onIdle();
    }
}

// Opens the pads with state.range(0) of them plugged in and taken, runs the timing, lets go.
template <typename Timing> void withPads(benchmark::State& state, Timing timing) {
    if (!openPads({})) {
        state.SkipWithError("SDL's game-controller support did not start");
        return;
    }
    std::vector<SDL_Joystick*> pads;
    for (int pad = 0; pad < state.range(0); ++pad) {
        pads.push_back(plugInVirtualPad());
    }
    pollPads(monotonicMilliseconds());
    timing();
    for (SDL_Joystick* pad : pads) {
        unplugVirtualPad(pad);
    }
    closePads();
}

void idleStepWithPads(benchmark::State& state) {
    withPads(state, [&] {
        for (auto _ : state) {
            pollPads(monotonicMilliseconds());
            onIdle();
        }
    });
}

// Every call a full look: the clock moves on by the poll interval each time.
void lookAtPads(benchmark::State& state) {
    withPads(state, [&] {
        std::int64_t now = monotonicMilliseconds();
        for (auto _ : state) {
            now += PAD_POLL_INTERVAL_MILLISECONDS;
            pollPads(now);
        }
    });
}

} // namespace

int main(int argc, char** argv) {
    setUpBout();
    benchmark::RegisterBenchmark("idleStep/noPads", idleStepAlone);
    benchmark::RegisterBenchmark("idleStep/noPads/clockRead", idleStepAndClock);
    benchmark::RegisterBenchmark("idleStep/padsConnected", idleStepWithPads)->Arg(0)->Arg(2);
    benchmark::RegisterBenchmark("padsLook/padsConnected", lookAtPads)->Arg(0)->Arg(2);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
