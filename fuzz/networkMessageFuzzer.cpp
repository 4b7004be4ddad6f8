// Feeds arbitrary bytes to the decoder of the messages the network brings in, as either side
// would take them. Besides the sanitizers' checks it holds the decoder to its word: a refusal
// says what is wrong, and an accepted message is exactly the bytes that encoding it gives back,
// and a scene survives the trip through a bout unchanged.
#include "network.h"

#include <cstring>

namespace {

char leftName[] = "Ann";
char rightName[] = "Bo";
Fencer leftFencer{leftName, LEFT_EN_GARDE_CELL, 0, LEFT_PLAYER};
Fencer rightFencer{rightName, RIGHT_EN_GARDE_CELL, 0, RIGHT_PLAYER};
BoutState state{};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    for (Sender sender : {Sender::host, Sender::joiner}) {
        Message message;
        const char* refusal = decodeMessage(data, size, sender, message);
        if (refusal != nullptr) {
            if (std::strlen(refusal) == 0) {
                __builtin_trap();
            }
            continue;
        }
        const std::vector<std::uint8_t> again = encodeMessage(message);
        if (again.size() != size || std::memcmp(again.data(), data, size) != 0) {
            __builtin_trap();
        }
        if (message.kind == MessageKind::scene) {
            state.leftFencer = &leftFencer;
            state.rightFencer = &rightFencer;
            applyScene(message.scene, state);
            if (!(sceneOf(state) == message.scene)) {
                __builtin_trap();
            }
        }
    }
    return 0;
}
