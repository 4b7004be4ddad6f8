// The link's decisions without the network: the host's own-press delay, what it makes of a
// datagram before ENet reads it, how often it speaks of strangers and when it lets one go.
#include <gtest/gtest.h>
#include <vector>

#include "network.h"

namespace {

struct RoundTrips {
    std::uint32_t smoothed, leastRecent, last;
    Milliseconds delay;
};
constexpr RoundTrips LINKS[] = {
    {100, 100, 100, 50},                         // a steady link of 100 ms round trip
    {101, 101, 101, 50},     {130, 90, 110, 45}, // the least of the three is the link's own
    {90, 130, 110, 45},      {130, 110, 90, 45},   {299, 299, 299, 149},
    {300, 300, 300, 150},    {301, 320, 400, 150}, // never more than 150 ms
    {2000, 1500, 1800, 150}, {0, 0, 0, 0},
};

TEST(EqualFooting, HalfTheLeastRoundTripAtMost150Milliseconds) {
    for (const RoundTrips& link : LINKS) {
        EXPECT_EQ(equalFootingDelay(link.smoothed, link.leastRecent, link.last), link.delay)
            << link.smoothed << " " << link.leastRecent << " " << link.last;
    }
}

// ENet's datagrams as they begin: a peer number with its flags (sent time 0x8000, compressed
// 0x4000, session 0x3000), a sent time when flagged, then the commands; a CONNECT command is
// 48 bytes and its first byte is 0x82 (CONNECT, acknowledge).
std::vector<std::uint8_t> datagram(std::uint16_t header, std::size_t headerSize,
                                   std::uint8_t command, std::size_t commandSize) {
    std::vector<std::uint8_t> bytes(headerSize + commandSize, 0);
    bytes[0] = static_cast<std::uint8_t>(header >> 8);
    bytes[1] = static_cast<std::uint8_t>(header);
    if (commandSize > 0) {
        bytes[headerSize] = command;
    }
    return bytes;
}

constexpr std::size_t SLOTS = 8;
constexpr std::size_t CONNECT_SIZE = 48;

struct DatagramCase {
    const char* what;
    std::vector<std::uint8_t> bytes;
    DatagramKind kind;
    std::uint16_t peerNumber;
    std::uint8_t session;
};

TEST(ScreenDatagram, OnlyPeersAndConnectsReachEnet) {
    const DatagramCase CASES[] = {
        {"nothing", {}, DatagramKind::junk, 0, 0},
        {"one byte", {0x00}, DatagramKind::junk, 0, 0},
        {"text", {'h', 'e', 'l', 'l', 'o'}, DatagramKind::junk, 0, 0},
        {"slot 3", datagram(0x8003, 4, 0x86, 20), DatagramKind::forPeer, 3, 0},
        {"slot 7, session 3", datagram(0x3007, 2, 0x01, 8), DatagramKind::forPeer, 7, 3},
        {"slot 0, compressed", datagram(0xC000, 4, 0xFF, 30), DatagramKind::forPeer, 0, 0},
        {"slot 8 of 8, compressed", datagram(0x4008, 2, 0x86, 30), DatagramKind::junk, 0, 0},
        {"slot 4094", datagram(0x0FFE, 2, 0x82, CONNECT_SIZE), DatagramKind::junk, 0, 0},
        {"connect", datagram(0x8FFF, 4, 0x82, CONNECT_SIZE), DatagramKind::connect, 0, 0},
        {"connect, no sent time", datagram(0x0FFF, 2, 0x82, CONNECT_SIZE), DatagramKind::connect, 0,
         0},
        {"connect cut short", datagram(0x8FFF, 4, 0x82, CONNECT_SIZE - 1), DatagramKind::junk, 0,
         0},
        {"connect where a sent time should be", datagram(0x8FFF, 2, 0x82, CONNECT_SIZE + 2),
         DatagramKind::junk, 0, 0},
        {"another command", datagram(0x8FFF, 4, 0x86, CONNECT_SIZE), DatagramKind::junk, 0, 0},
        {"compressed, from someone new", datagram(0xCFFF, 4, 0x13, 20),
         DatagramKind::compressedConnect, 0, 0},
    };
    for (const DatagramCase& sent : CASES) {
        const ScreenedDatagram screened =
            screenDatagram(sent.bytes.data(), sent.bytes.size(), SLOTS);
        EXPECT_EQ(screened.kind, sent.kind) << sent.what;
        if (sent.kind == DatagramKind::forPeer) {
            EXPECT_EQ(screened.peerNumber, sent.peerNumber) << sent.what;
            EXPECT_EQ(screened.session, sent.session) << sent.what;
        }
    }
}

// A flood of strangers: the first is told at once, the rest in one count a second later, and a
// stranger after a quiet second is told at once again.
TEST(StrangerLines, OneLineASecondAndACountOfTheRest) {
    StrangerLines lines;
    EXPECT_TRUE(mayTellOfStranger(lines, 5000));
    EXPECT_EQ(untoldStrangersDue(lines, 5000), 0u);
    EXPECT_FALSE(mayTellOfStranger(lines, 5001));
    EXPECT_FALSE(mayTellOfStranger(lines, 5999));
    EXPECT_EQ(untoldStrangersDue(lines, 5999), 0u);
    EXPECT_EQ(untoldStrangersDue(lines, 6000), 2u);
    EXPECT_EQ(untoldStrangersDue(lines, 6001), 0u);
    EXPECT_FALSE(mayTellOfStranger(lines, 6500)); // within a second of the count's line
    EXPECT_FALSE(mayTellOfStranger(lines, 7200)); // a count is due first
    EXPECT_EQ(untoldStrangersDue(lines, 7200), 2u);
    EXPECT_EQ(untoldStrangersDue(lines, 9000), 0u);
    EXPECT_TRUE(mayTellOfStranger(lines, 9000));
}

struct FateCase {
    StrangerSlot slot;
    Milliseconds now;
    StrangerFate fate;
};

TEST(StrangerFate, AFewSecondsForTheHelloAMinuteForTheName) {
    constexpr Milliseconds CAME = 100000;
    const FateCase CASES[] = {
        {{.since = CAME, .inUse = true}, CAME + 5999, StrangerFate::waits},
        {{.since = CAME, .inUse = true}, CAME + 6000, StrangerFate::noHelloInTime},
        {{.since = CAME, .inUse = true, .greeted = true}, CAME + 6000, StrangerFate::waits},
        {{.since = CAME, .inUse = true, .greeted = true}, CAME + 59999, StrangerFate::waits},
        {{.since = CAME, .inUse = true, .greeted = true}, CAME + 60000, StrangerFate::noNameInTime},
        {{.since = CAME, .inUse = true, .closing = true}, CAME + 5999, StrangerFate::waits},
        {{.since = CAME, .inUse = true, .closing = true}, CAME + 6000, StrangerFate::letGo},
        {{.since = CAME, .inUse = true, .greeted = true, .closing = true},
         CAME + 60000,
         StrangerFate::letGo},
    };
    for (const FateCase& stranger : CASES) {
        EXPECT_EQ(fateOf(stranger.slot, stranger.now), stranger.fate)
            << stranger.now - CAME << " " << stranger.slot.greeted << stranger.slot.closing;
    }
}

} // namespace
