// Feeds arbitrary bytes to the reader of recordings. Besides the sanitizers' checks it holds
// the reader to its word: a refusal is one sentence, and an accepted recording written out
// again reads back as the same recording, and its text is the text's whole lines.
#include "replay.h"

namespace {

bool sameRecording(const Recording& a, const Recording& b) {
    if (a.presses.size() != b.presses.size() || a.computers.size() != b.computers.size()) {
        return false;
    }
    for (std::size_t index = 0; index < a.presses.size(); ++index) {
        const RecordedPress& x = a.presses[index];
        const RecordedPress& y = b.presses[index];
        if (x.at != y.at || x.playerNumber != y.playerNumber || x.command != y.command) {
            return false;
        }
    }
    return a.leftName == b.leftName && a.rightName == b.rightName &&
           a.touchLimit == b.touchLimit && a.won == b.won && a.wonAt == b.wonAt &&
           a.stopped == b.stopped && a.stoppedAt == b.stoppedAt &&
           a.simulatedClock == b.simulatedClock;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    Recording recording;
    const std::string refusal = parseRecording(text, recording);
    if (!refusal.empty()) {
        if (refusal.find('\n') != std::string::npos) {
            __builtin_trap();
        }
        return 0;
    }
    Recording again;
    if (!parseRecording(formatRecording(recording), again).empty() ||
        !sameRecording(recording, again)) {
        __builtin_trap();
    }
    return 0;
}
