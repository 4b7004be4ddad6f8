// The decoder against the seeds the fuzzer starts from, each accepted from the side that sends
// it and refused from the other, and against one fault of each kind it must refuse.
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>

#include "network.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes seed(const std::string& name) {
    std::ifstream file(std::string(SEEDS_FOLDER) + "/" + name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), {});
}

const char* decode(const Bytes& bytes, Sender sender) {
    Message message;
    return decodeMessage(bytes.data(), bytes.size(), sender, message);
}

struct SeedCase {
    const char* name;
    Sender sender;
};
constexpr SeedCase SEEDS[] = {
    {"hello", Sender::host},      {"hello", Sender::joiner},   {"name", Sender::joiner},
    {"command", Sender::joiner},  {"goAhead", Sender::joiner}, {"console", Sender::host},
    {"askGoAhead", Sender::host}, {"scene", Sender::host},     {"pose", Sender::host},
    {"sound", Sender::host},      {"recording", Sender::host},
};

TEST(NetworkMessages, EachSeedFromItsSenderOnly) {
    for (const SeedCase& sent : SEEDS) {
        const Bytes bytes = seed(sent.name);
        ASSERT_FALSE(bytes.empty()) << sent.name;
        EXPECT_EQ(decode(bytes, sent.sender), nullptr) << sent.name;
        const bool bothSend = bytes[0] <= static_cast<std::uint8_t>(MessageKind::name);
        const Sender other = sent.sender == Sender::host ? Sender::joiner : Sender::host;
        EXPECT_EQ(decode(bytes, other) == nullptr, bothSend) << sent.name;
    }
}

// A seed with one byte changed (at an index from the end when negative), one byte more or less.
struct Fault {
    const char* seedName;
    int index;         // where the byte changes; 0 with no change
    std::uint8_t byte; // the byte put there
    int sizeChange;    // bytes added (zeros) or cut off the end
    const char* refusal;
};
constexpr Fault FAULTS[] = {
    {"hello", 1, 't', 0, "a first message that is not The Lamevo's"},
    {"hello", 0, 0, 1, "a message of the wrong size"},
    {"name", 2, ' ', 0, "a name with a blank or a control character in it"},
    {"name", 3, 0x7F, 0, "a name with a blank or a control character in it"},
    {"name", 0, 0, -3, "a message of the wrong size"},
    {"name", 0, 0, 997, "a name longer than 999 bytes"},
    {"command", 1, 5, 0, "an unknown command"},
    {"goAhead", 0, 0, 1, "a message of the wrong size"},
    {"scene", 1, 16, 0, "a scene with an impossible score"},
    {"scene", 9, 51, 0, "a scene with a fencer far off the strip"},
    {"scene", 20, 0x80, 0, "a scene with unknown flags"},
    {"scene", -1, 0x7F, 0, "a scene with a sprite out of place"}, // a corner far beyond the scene
    {"scene", 0, 0, -1, "a message of the wrong size"},
    {"pose", 1, 6, 0, "an unknown pose"},
    {"sound", 1, 2, 0, "an unknown sound"},
    {"sound", 0, 11, 0, "a message of a kind it may not send"},
    {"recording", -1, 'x', 0, "a recording's line that is not one whole line"},
    {"recording", 5, '\n', 0, "a recording's line that is not one whole line"},
    {"recording", 0, 0, -15, "a message of the wrong size"},
    {"sound", 0, 0, -2, "an empty message"},
};

TEST(NetworkMessages, RefusesEachFault) {
    for (const Fault& fault : FAULTS) {
        Bytes bytes = seed(fault.seedName);
        const bool fromJoiner = bytes[0] <= static_cast<std::uint8_t>(MessageKind::goAhead);
        bytes.resize(bytes.size() + fault.sizeChange, fault.seedName[0]);
        if (fault.index != 0 || fault.byte != 0) {
            bytes[fault.index >= 0 ? fault.index : bytes.size() + fault.index] = fault.byte;
        }
        EXPECT_STREQ(decode(bytes, fromJoiner ? Sender::joiner : Sender::host), fault.refusal)
            << fault.seedName << " " << fault.index;
    }
}

} // namespace
