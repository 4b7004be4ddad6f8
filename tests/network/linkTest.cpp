// The link's decisions without the network: the host's own-press delay, what it makes of a
// datagram before ENet reads it, how often it speaks of strangers and when it lets one go.
#include <gtest/gtest.h>
#include <string>
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

// Twenty compressed CONNECTs a second reach ENet; the count begins anew a second after the
// first of its second.
TEST(CompressedConnects, TwentyASecond) {
    CompressedConnects connects;
    for (unsigned count = 1; count <= COMPRESSED_CONNECTS_A_SECOND; ++count) {
        EXPECT_TRUE(mayDecompressConnect(connects, 5000 + count)) << count;
    }
    EXPECT_FALSE(mayDecompressConnect(connects, 5100));
    EXPECT_FALSE(mayDecompressConnect(connects, 5999));
    EXPECT_TRUE(mayDecompressConnect(connects, 6001));
    EXPECT_EQ(connects.count, 1u);
    EXPECT_EQ(connects.since, 6001);
}

// A host of four slots as ENet keeps it, for the screen's decisions: each test sets the slots'
// states and addresses, and the address of the datagram just received.
struct FourSlots {
    ENetPeer peers[5]{}; // the fifth lies past the host's slots: nothing may read it
    ENetHost host{};
    FourSlots() {
        host.peers = peers;
        host.peerCount = 4;
        host.receivedAddress = {.host = 0x0100007F, .port = 4000};
    }
    ENetPeer& at(std::size_t slot, ENetPeerState state, enet_uint32 address, enet_uint16 port) {
        peers[slot].state = state;
        peers[slot].address = {.host = address, .port = port};
        return peers[slot];
    }
};
constexpr enet_uint32 HERE = 0x0100007F, ELSEWHERE = 0x0200007F;

TEST(StrangersOnEnetsRecords, ADatagramGoesToENetOnlyFromItsSlotsPeer) {
    FourSlots four;
    ENetPeer& peer = four.at(2, ENET_PEER_STATE_CONNECTED, HERE, 4000);
    peer.outgoingPeerID = 0;
    peer.incomingSessionID = 2;
    const ScreenedDatagram inSession{DatagramKind::forPeer, 2, 2};
    EXPECT_TRUE(isFromItsPeer(four.host, inSession));
    EXPECT_FALSE(isFromItsPeer(four.host, {DatagramKind::forPeer, 2, 1})) << "another session";
    EXPECT_FALSE(isFromItsPeer(four.host, {DatagramKind::forPeer, 1, 2})) << "an empty slot";
    peer.outgoingPeerID = ENET_PROTOCOL_MAXIMUM_PEER_ID; // not yet given its number
    EXPECT_TRUE(isFromItsPeer(four.host, {DatagramKind::forPeer, 2, 1}));
    four.host.receivedAddress.port = 4001;
    EXPECT_FALSE(isFromItsPeer(four.host, inSession)) << "another port";
    four.host.receivedAddress = {.host = ELSEWHERE, .port = 4000};
    EXPECT_FALSE(isFromItsPeer(four.host, inSession)) << "another address";
    four.host.receivedAddress = {.host = HERE, .port = 4000};
    for (const ENetPeerState closed : {ENET_PEER_STATE_DISCONNECTED, ENET_PEER_STATE_ZOMBIE}) {
        peer.state = closed;
        EXPECT_FALSE(isFromItsPeer(four.host, inSession)) << closed;
    }
    peer.state = ENET_PEER_STATE_CONNECTING;
    EXPECT_TRUE(isFromItsPeer(four.host, inSession));
}

TEST(StrangersOnEnetsRecords, OneConnectionAnAddressWaits) {
    FourSlots four;
    four.at(4, ENET_PEER_STATE_CONNECTED, HERE, 4001);
    EXPECT_FALSE(hasWaitingConnection(four.host, nullptr)) << "past the last slot";
    ENetPeer& other = four.at(1, ENET_PEER_STATE_CONNECTED, ELSEWHERE, 4000);
    EXPECT_FALSE(hasWaitingConnection(four.host, nullptr)) << "another address";
    ENetPeer& same = four.at(3, ENET_PEER_STATE_CONNECTED, HERE, 4000);
    EXPECT_FALSE(hasWaitingConnection(four.host, nullptr)) << "a retry from the same socket";
    same.address.port = 4001;
    EXPECT_TRUE(hasWaitingConnection(four.host, nullptr));
    EXPECT_FALSE(hasWaitingConnection(four.host, &same)) << "the opponent waits for nothing";
    same.state = ENET_PEER_STATE_ACKNOWLEDGING_CONNECT;
    EXPECT_TRUE(hasWaitingConnection(four.host, &other)) << "half open";
    same.state = ENET_PEER_STATE_DISCONNECTED;
    EXPECT_FALSE(hasWaitingConnection(four.host, &other));
}

TEST(StrangersOnEnetsRecords, AFullHouseLetsTheLongestWaitingGo) {
    FourSlots four;
    constexpr Milliseconds NOW = 100000;
    std::vector<StrangerSlot> slots(4);
    const Milliseconds came[4] = {NOW - 3000, NOW - 5000, NOW - 4000, NOW - 1000};
    for (std::size_t slot = 0; slot < 4; ++slot) {
        four.at(slot, ENET_PEER_STATE_CONNECTED, HERE, static_cast<enet_uint16>(4000 + slot));
        slots[slot] = {.since = came[slot], .inUse = true, .greeted = true};
    }
    EXPECT_EQ(slotToMakeRoom(four.host, slots, nullptr, NOW), 1u);
    EXPECT_EQ(slotToMakeRoom(four.host, slots, &four.peers[1], NOW), 2u) << "not the opponent";
    slots[2] = {.since = NOW - 6000, .inUse = true}; // no hello in time: refused, not let go
    EXPECT_EQ(slotToMakeRoom(four.host, slots, &four.peers[1], NOW), 0u);
    slots[0].closing = true; // refused 3 s ago, and waiting for its goodbye
    EXPECT_EQ(slotToMakeRoom(four.host, slots, &four.peers[1], NOW), 0u);
    slots[3].since = NOW - 3000; // as long as the one refused: either
    EXPECT_EQ(slotToMakeRoom(four.host, slots, &four.peers[1], NOW), 0u);
    slots[3].since = NOW - 3001;
    EXPECT_EQ(slotToMakeRoom(four.host, slots, &four.peers[1], NOW), 3u);
    four.peers[2].state = ENET_PEER_STATE_DISCONNECTED; // a slot is free
    EXPECT_EQ(slotToMakeRoom(four.host, slots, &four.peers[1], NOW), 4u);
    four.peers[2].state = ENET_PEER_STATE_CONNECTED;
    slots[0] = {.since = NOW - 60000, .inUse = true, .greeted = true}; // no name in time
    slots[3] = {.since = NOW - 6000, .inUse = true, .closing = true};  // to be let go
    EXPECT_EQ(slotToMakeRoom(four.host, slots, &four.peers[1], NOW), 4u) << "none waits";
}

// Messages waiting for their acknowledgement: each waits at most half a second, or twice the
// round trip of a longer link, and the next resend is the first message's.
TEST(PoorLinks, ResendWaitsStopGrowing) {
    struct Case {
        enet_uint32 roundTrip;
        std::vector<enet_uint32> waits, capped;
    };
    const Case CASES[] = {
        {50, {200, 499, 500, 501, 3200}, {200, 499, 500, 500, 500}},
        {300, {200, 599, 600, 601, 3200}, {200, 599, 600, 600, 600}},
        {249, {498, 499}, {498, 499}},
        {251, {502, 503}, {502, 502}},
    };
    for (const Case& link : CASES) {
        ENetPeer peer{};
        peer.roundTripTime = link.roundTrip;
        peer.nextTimeout = 99999;
        enet_list_clear(&peer.sentReliableCommands);
        std::vector<ENetOutgoingCommand> commands(link.waits.size());
        for (std::size_t number = 0; number < commands.size(); ++number) {
            commands[number].sentTime = 1000 + static_cast<enet_uint32>(number);
            commands[number].roundTripTimeout = link.waits[number];
            enet_list_insert(enet_list_end(&peer.sentReliableCommands), &commands[number]);
        }
        capResendWaits(peer);
        for (std::size_t number = 0; number < commands.size(); ++number) {
            EXPECT_EQ(commands[number].roundTripTimeout, link.capped[number])
                << link.roundTrip << " " << number;
        }
        EXPECT_EQ(peer.nextTimeout, 1000 + link.capped[0]) << link.roundTrip;
    }
    ENetPeer idle{};
    idle.nextTimeout = 77;
    enet_list_clear(&idle.sentReliableCommands);
    capResendWaits(idle);
    EXPECT_EQ(idle.nextTimeout, 77u);
}

// Console text goes in pieces of at most 1024 bytes, each ending on a whole character.
TEST(ConsoleTextPieces, AtMostAMessageEachAndNoCharacterCut) {
    const std::string ascii(2500, 'x');
    std::string accents(1023, 'x');
    accents += "\xC3\xA9\xC3\xA9"; // é twice: the first would straddle the 1024th byte
    std::string wide(1022, 'x');
    wide += "\xE2\x80\x94"; // an em dash from byte 1022 to 1024
    struct Case {
        const char* what;
        std::string text;
        std::vector<std::size_t> sizes;
    };
    const Case CASES[] = {
        {"nothing", "", {}},
        {"one byte", "x", {1}},
        {"one message", std::string(1024, 'x'), {1024}},
        {"two and a half", ascii, {1024, 1024, 452}},
        {"a two-byte character at the end", accents, {1023, 4}},
        {"a three-byte character at the end", wide, {1022, 3}},
    };
    for (const Case& text : CASES) {
        const std::vector<std::string_view> pieces = consoleTextPieces(text.text);
        std::vector<std::size_t> sizes;
        std::string joined;
        for (const std::string_view piece : pieces) {
            sizes.push_back(piece.size());
            joined += piece;
        }
        EXPECT_EQ(sizes, text.sizes) << text.what;
        EXPECT_EQ(joined, text.text) << text.what;
    }
}

// What each game says when the link ends, or never comes.
TEST(LinkLoss, EachEndIsToldAsItIs) {
    const LinkLoss joined{.connected = true, .address = "10.0.0.5", .port = 27315, .opponent = ""};
    auto joiner = [&](auto change) {
        LinkLoss loss = joined;
        change(loss);
        return loss;
    };
    const std::string game = "The game at 10.0.0.5:27315";
    struct Case {
        LinkLoss loss;
        std::string line;
    };
    const Case CASES[] = {
        {joiner([](LinkLoss& l) { l.connected = false; }),
         "Nobody answered at 10.0.0.5, UDP port 27315: is a game hosting there (lamevo "
         "--host)?\n"},
        {joiner([](LinkLoss& l) { l.connected = false, l.nameOverdue = true; }),
         "Nobody answered at 10.0.0.5, UDP port 27315: is a game hosting there (lamevo "
         "--host)?\n"},
        {joiner(
             [](LinkLoss& l) { l.connected = false, l.throughMeet = true, l.address = "K7M3P"; }),
         "Neither punching through nor the meet server's relay reached the host of room K7M3P.\n"},
        {joiner([](LinkLoss& l) { l.nameOverdue = true; }),
         game + " answered but gave no player's name within 10 seconds: is it The Lamevo?\n"},
        {joiner([](LinkLoss& l) { l.refusal = opponentAlreadyThere; }),
         game + " is busy: it already has an opponent.\n"},
        {joiner([](LinkLoss& l) { l.refusal = hostBusy; }),
         game + " is busy with other connections: try again in a moment.\n"},
        {joiner([](LinkLoss& l) { l.refusal = noHelloInTime; }),
         game + " did not hear this game's hello within 6 seconds and closed the connection.\n"},
        {joiner([](LinkLoss& l) { l.refusal = noNameInTime; }),
         game + " waited for this player's name for a minute and closed the connection.\n"},
        {joiner([](LinkLoss& l) { l.refusal = notThisGame; }), game + " refused this game.\n"},
        {joiner([](LinkLoss& l) { l.refusal = badMessage, l.boutWon = true; }),
         game + " refused this game.\n"},
        {joiner([](LinkLoss& l) { l.boutWon = true, l.opponent = "Ann"; }), ""},
        {joiner([](LinkLoss& l) { l.opponent = "Ann"; }),
         "\nThe connection to Ann was lost: the bout cannot go on.\n"},
        {joined, "\nThe connection to 10.0.0.5 was lost: the bout cannot go on.\n"},
        {{.hosting = true, .boutWon = true, .address = "", .opponent = "Bo"},
         "\nThe connection to Bo was lost: the bout cannot go on.\n"},
    };
    for (const Case& end : CASES) {
        EXPECT_EQ(lossLine(end.loss), end.line);
    }
}
