// The decoder against the seeds the fuzzer starts from, each accepted from the side that sends
// it and refused from the other, and against one fault of each kind it must refuse.
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <utility>

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
    {"name", 0, 0, 997, "a name longer than 40 characters"},
    {"name", 0, 0, 38, "a name longer than 40 characters"},
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

// Names and console text from the other machine: what reaches a terminal or a player's eye.
struct TextCase {
    MessageKind kind;
    Sender sender;
    std::string text;
    const char* refusal; // nullptr when accepted
};

// Text as a failure message shows it: bytes beyond printable ASCII as \xNN, so that a report
// never carries what a terminal acts on.
std::string shown(std::string_view text) {
    std::string escaped;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F) {
            escaped += c;
        } else {
            constexpr char DIGITS[] = "0123456789ABCDEF";
            escaped += {'\\', 'x', DIGITS[byte >> 4], DIGITS[byte & 0xF]};
        }
    }
    return escaped;
}

std::string repeated(std::string_view piece, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += piece;
    }
    return text;
}

constexpr const char* CONTROL = "a name with a blank or a control character in it";
constexpr const char* NOT_UTF8 = "a name that is not UTF-8 text";
constexpr const char* TERMINAL_CONTROL = "console text with a control character in it";
const TextCase TEXTS[] = {
    {MessageKind::name, Sender::joiner, "Zo\xC3\xAB", nullptr},
    {MessageKind::name, Sender::joiner, repeated("\xC3\xA9", 40), nullptr},
    {MessageKind::name, Sender::joiner, repeated("\xF0\x9F\xA4\xBA", 40), nullptr},
    // Too long is told before what the bytes are.
    {MessageKind::name, Sender::joiner, std::string(161, '\xFF'),
     "a name longer than 40 characters"},
    {MessageKind::name, Sender::joiner, repeated("\xC3\xA9", 41),
     "a name longer than 40 characters"},
    {MessageKind::name, Sender::joiner, repeated("\xF0\x9F\xA4\xBA", 40), nullptr},
    {MessageKind::name, Sender::joiner, repeated("\xF0\x9F\xA4\xBA", 41),
     "a name longer than 40 characters"},
    {MessageKind::name, Sender::joiner,
     "Eve\x9B"
     "2J",
     NOT_UTF8}, // 8-bit CSI
    {MessageKind::name, Sender::joiner,
     "\x9D"
     "0;x\x9C",
     NOT_UTF8}, // 8-bit OSC
    {MessageKind::name, Sender::joiner,
     "Eve\xC2\x9B"
     "2J",
     CONTROL},                                                   // U+009B
    {MessageKind::name, Sender::joiner, "Eve\xC2\x85", CONTROL}, // next line
    {MessageKind::name, Sender::joiner, "\xC0\xAF", NOT_UTF8},   // overlong "/"
    {MessageKind::name, Sender::joiner, "\xE0\x80\xAF", NOT_UTF8},
    {MessageKind::name, Sender::joiner, "\xFF\xFE\x80", NOT_UTF8},
    {MessageKind::name, Sender::joiner, "\xED\xA0\x80", NOT_UTF8}, // a surrogate
    {MessageKind::name, Sender::joiner, "Zo\xC3", NOT_UTF8},       // cut short
    {MessageKind::name, Sender::joiner,
     "Eve\xE2\x80\xAE"
     "evE",
     CONTROL}, // right-to-left
    {MessageKind::name, Sender::joiner, "Eve\xE2\x81\xA6", CONTROL},
    {MessageKind::name, Sender::joiner, "Eve\xC2\xA0--**HALT!**--", CONTROL}, // no-break space
    {MessageKind::name, Sender::joiner, "Eve\xE3\x80\x80", CONTROL},
    {MessageKind::name, Sender::joiner, "Eve\xE2\x80\x8B", CONTROL}, // zero-width space
    {MessageKind::name, Sender::joiner,
     "\xEF\xBB\xBF"
     "Eve",
     CONTROL},
    {MessageKind::name, Sender::joiner, "Eve\xC2\xAD", CONTROL},         // soft hyphen
    {MessageKind::name, Sender::joiner, "Eve\xF3\xA0\x80\x81", CONTROL}, // a tag
    {MessageKind::name, Sender::joiner, "Eve\xEF\xBF\xBE", CONTROL},
    {MessageKind::name, Sender::joiner, "Eve\xF0\x9F\xBF\xBF", CONTROL},
    {MessageKind::name, Sender::joiner, "Eve\t", CONTROL},
    {MessageKind::name, Sender::joiner, "Eve\x1B[2J", CONTROL},
    // The host's name is shown in a neutral form instead (neutralName).
    {MessageKind::name, Sender::host, "Eve\x1B[2J\xC2\xA0", nullptr},
    {MessageKind::console, Sender::host, "\n\tAnn:\t'a' or 'A' == Rereat.\n", nullptr},
    {MessageKind::console, Sender::host, "Zo\xC3\xAB\xC2\xA0\xF0\x9F\xA4\xBA", nullptr},
    {MessageKind::console, Sender::host, "\x1B[2J\x1B[H", TERMINAL_CONTROL},
    {MessageKind::console, Sender::host, "\x1B]0;Mallory\x07", TERMINAL_CONTROL},
    {MessageKind::console, Sender::host, "Password:\r", TERMINAL_CONTROL},
    {MessageKind::console, Sender::host, "x\x7F", TERMINAL_CONTROL},
    {MessageKind::console, Sender::host,
     "\xC2\x9B"
     "2J",
     TERMINAL_CONTROL},
    {MessageKind::console, Sender::host, "\xC2\x9F", TERMINAL_CONTROL},
    {MessageKind::console, Sender::host, "\xE2\x80\xAE", TERMINAL_CONTROL},
    {MessageKind::console, Sender::host, "\xE2\x81\xA9", TERMINAL_CONTROL},
    {MessageKind::console, Sender::host,
     "\x9B"
     "2J",
     "console text that is not UTF-8"},
    {MessageKind::console, Sender::host, "Zo\xC3", "console text that is not UTF-8"},
};

TEST(NetworkMessages, NamesAndConsoleTextFromTheOtherMachine) {
    for (const TextCase& sent : TEXTS) {
        const Bytes bytes = encodeMessage({.kind = sent.kind, .text = sent.text});
        Message message;
        const char* refusal = decodeMessage(bytes.data(), bytes.size(), sent.sender, message);
        if (sent.refusal == nullptr) {
            EXPECT_EQ(refusal, nullptr) << shown(sent.text);
            EXPECT_EQ(shown(message.text), shown(sent.text));
        } else {
            EXPECT_STREQ(refusal, sent.refusal) << shown(sent.text);
        }
    }
}

// What a joiner shows of a host's name it cannot print, and what its own name becomes when it
// is not one the host accepts: always a name the host accepts.
TEST(NetworkMessages, NeutralNames) {
    const std::pair<std::string, std::string> NAMES[] = {
        {"Ann", "Ann"},
        {"Zo\xC3\xAB", "Zo\xC3\xAB"},
        {"Eve\x1B[2J", "Eve?[2J"},
        {"Eve\xC2\xA0\xC2\xA0--**HALT!**--", "Eve?"
                                             "?--**HALT!**--"},
        {"\xC0\xAF", "??"},
        {"\xE2\x80\xAE"
         "evE",
         "?evE"},
        {"Zo\xC3", "Zo?"},
        {"", "?"},
        {std::string(45, 'a'), std::string(40, 'a')},
        {repeated("\xC3\xA9", 41), repeated("\xC3\xA9", 40)},
    };
    for (const auto& [name, neutral] : NAMES) {
        EXPECT_EQ(shown(neutralName(name)), shown(neutral));
        EXPECT_EQ(nameFault(neutralName(name)), nullptr) << shown(name);
    }
}

// The host's console text made safe before it goes, in whole characters.
TEST(NetworkMessages, SafeConsoleText) {
    const std::pair<std::string, std::string> TEXTS_MADE_SAFE[] = {
        {"\n\tThank you, Ann.\n", "\n\tThank you, Ann.\n"},
        {"\x1B[2J\x1B[HThank you", "?[2J?[HThank you"},
        {"Zo\xC3\xAB\xC2\x9B!", "Zo\xC3\xAB?!"},
        {"a\xE2\x80\xAE\x9B\r\x7F", "a?"
                                    "???"},
    };
    for (const auto& [text, safe] : TEXTS_MADE_SAFE) {
        EXPECT_EQ(shown(safeConsoleText(text)), shown(safe));
        const Bytes bytes = encodeMessage({.kind = MessageKind::console, .text = safe});
        EXPECT_STREQ(decode(bytes, Sender::host), nullptr) << shown(text);
    }
    const std::pair<std::string, std::size_t> CUTS[] = {
        {"", 0},
        {"abc", 3},
        {"Zo\xC3", 2},
        {"\xE2\x80", 0},
        {"\xE2\x80\xAE", 3},
        {"\xF0\x9F\xA4", 0},
        {"\xF0\x9F\xA4\xBA", 4},
        {"a\x80", 2},
        {"a\xFF", 1},
        {"\xE0\xA0", 0},
        {"\xF0\x90\x80", 0},
        {"\xC3", 0},
        {"a\xC0", 1}, // a lead byte no character has waits as any other
    };
    for (const auto& [text, whole] : CUTS) {
        EXPECT_EQ(wholeCharactersLength(text), whole) << shown(text);
    }
}

} // namespace
