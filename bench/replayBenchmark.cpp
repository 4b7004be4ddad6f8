// --check's replay of the corpus's recordings, each to its end on the replay's clock, the
// referee unheard: how long a bout takes to replay, with its presses and touch limit. (The
// whole of --check, printing included, is timed by running the game: see the README.)
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "replay.h"

namespace {

void replayWhole(benchmark::State& state, const std::string& path) {
    Recording recording;
    const std::string fault = readRecording(path.c_str(), recording);
    if (!fault.empty()) {
        state.SkipWithError(fault.c_str());
        return;
    }
    controlHooks.endProcess = [](int) {};
    for (auto _ : state) {
        beginReplay(recording, false);
        while (!replayStopped()) {
            replayUntil(*nextReplayMoment());
        }
        benchmark::DoNotOptimize(bout.leftFencer->touches);
    }
    state.counters["presses"] = static_cast<double>(recording.presses.size());
    state.counters["touches"] = recording.touchLimit;
}

} // namespace

int main(int argc, char** argv) {
    refereeHeard = false;
    for (const auto& entry : std::filesystem::directory_iterator(LAMEVO_CORPUS_DIR)) {
        if (entry.path().extension() == ".lamevo") {
            benchmark::RegisterBenchmark(entry.path().stem().string().c_str(), replayWhole,
                                         entry.path().string())
                ->Unit(benchmark::kMillisecond);
        }
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
}
