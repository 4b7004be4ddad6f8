// Room codes and the meet's messages: every kind through encoding and back, and one fault of
// each sort refused.
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "meet.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

ENetAddress address(std::uint8_t last, std::uint16_t port) {
    ENetAddress made{};
    const std::uint8_t bytes[4] = {81, 0, 0, last};
    std::memcpy(&made.host, bytes, 4);
    made.port = port;
    return made;
}

TEST(RoomCodes, DrawnFromTheLettersThatCannotBeMisread) {
    const std::uint32_t random[ROOM_CODE_LENGTH] = {0, 1, 20, 21, 4000000000u};
    EXPECT_EQ(roomCodeFrom(random), "AC9AR"); // the 21 letters wrap round
    for (const char misread : std::string("0O1IL2Z5S6G8BQD")) {
        EXPECT_EQ(ROOM_CODE_LETTERS.find(misread), std::string_view::npos) << misread;
    }
}

TEST(RoomCodes, ReadInEitherCaseAtTheirLengthOnly) {
    const std::pair<const char*, const char*> cases[] = {
        {"acefh", "ACEFH"}, {"ACEFH", "ACEFH"},  {"9y3x7", "9Y3X7"},
        {"acef", nullptr},  {"acefhj", nullptr}, {"acef0", nullptr},
        {"ACEFO", nullptr}, {"", nullptr},       {"AC FH", nullptr},
    };
    for (const auto& [text, code] : cases) {
        const std::optional<std::string> read = readRoomCode(text);
        EXPECT_EQ(read.has_value(), code != nullptr) << text;
        if (read && code) {
            EXPECT_EQ(*read, code);
        }
    }
}

TEST(MeetMessages, EachKindComesBackAsItWent) {
    const MeetMessage messages[] = {
        {.kind = MeetKind::open, .own = address(7, 27315)},
        {.kind = MeetKind::room, .code = "HJK34"},
        {.kind = MeetKind::join, .code = "AAAAA", .own = address(2, 40000)},
        {.kind = MeetKind::meet,
         .outside = address(1, 1),
         .own = address(9, 65535),
         .sameRouter = true},
        {.kind = MeetKind::meet, .outside = address(1, 258), .own = address(9, 2)},
        {.kind = MeetKind::relay},
        {.kind = MeetKind::refused, .refusal = MeetRefusal::noSuchRoom},
        {.kind = MeetKind::refused, .refusal = MeetRefusal::serverFull},
    };
    const std::size_t sizes[] = {7, 6, 12, 14, 14, 1, 2, 2};
    for (std::size_t index = 0; index < std::size(messages); ++index) {
        const MeetMessage& sent = messages[index];
        const Bytes bytes = encodeMeet(sent);
        EXPECT_EQ(bytes.size(), sizes[index]) << index;
        MeetMessage read;
        ASSERT_TRUE(decodeMeet(bytes.data(), bytes.size(), read)) << index;
        EXPECT_EQ(read.kind, sent.kind);
        EXPECT_EQ(read.code, sent.code);
        EXPECT_EQ(read.own.host, sent.own.host);
        EXPECT_EQ(read.own.port, sent.own.port);
        EXPECT_EQ(read.outside.host, sent.outside.host);
        EXPECT_EQ(read.outside.port, sent.outside.port);
        EXPECT_EQ(read.sameRouter, sent.sameRouter);
        EXPECT_EQ(read.refusal, sent.refusal);
        // Every message is refused one byte short and one byte long.
        EXPECT_FALSE(decodeMeet(bytes.data(), bytes.size() - 1, read)) << index;
        Bytes longer = bytes;
        longer.push_back(0);
        EXPECT_FALSE(decodeMeet(longer.data(), longer.size(), read)) << index;
    }
    // The port's high byte comes first.
    const Bytes open = encodeMeet({.kind = MeetKind::open, .own = address(7, 0x1234)});
    EXPECT_EQ(open, (Bytes{1, 81, 0, 0, 7, 0x12, 0x34}));
}

TEST(MeetMessages, JunkIsRefused) {
    const Bytes junk[] = {
        {},
        {0},
        {7},
        {2, 'h', 'j', 'k', '3', '0'},                 // a code letter that is not one
        {2, 'h', 'j', 'k', '3', '4'},                 // a code in lower case
        {4, 81, 0, 0, 1, 0, 1, 81, 0, 0, 2, 0, 2, 2}, // same router neither 0 nor 1
        {6, 0},                                       // no such refusal
        {6, 6},
    };
    for (const Bytes& bytes : junk) {
        MeetMessage read;
        EXPECT_FALSE(decodeMeet(bytes.data(), bytes.size(), read)) << bytes.size();
    }
}

TEST(MeetDatagrams, PunchesAndBindingsAreToldFromTheRest) {
    const std::string punch = "LMVP";
    EXPECT_TRUE(isPunch(reinterpret_cast<const std::uint8_t*>(punch.data()), punch.size()));
    const std::string notPunches[] = {"LMVQ", "LMVPX", "LMV", "lmvp"};
    for (const std::string& bytes : notPunches) {
        EXPECT_FALSE(isPunch(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()))
            << bytes;
    }
    const auto binding = [](const std::string& bytes) {
        return readBinding(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    };
    EXPECT_EQ(binding("LMVBHJK34h"), (std::pair<std::string, char>{"HJK34", 'h'}));
    EXPECT_EQ(binding("LMVBHJK34j"), (std::pair<std::string, char>{"HJK34", 'j'}));
    for (const std::string bytes :
         {"LMVBHJK34x", "LMVBhjk34h", "LMVBHJK3h", "LMVBHJK34hh", "LMVPHJK34h", "LMVBHJK30h"}) {
        EXPECT_FALSE(binding(bytes)) << bytes;
    }
}

TEST(MeetAddresses, TheRelayIsNextDoorAndTheSameRouterMeansTheOwnAddress) {
    const ENetAddress relay = relayOf(address(100, 27320));
    EXPECT_EQ(relay.host, address(100, 0).host);
    EXPECT_EQ(relay.port, 27321);
    MeetMessage introduction{
        .kind = MeetKind::meet, .outside = address(2, 40000), .own = address(9, 27315)};
    EXPECT_EQ(meetTarget(introduction).port, 40000);
    EXPECT_EQ(meetTarget(introduction).host, address(2, 0).host);
    introduction.sameRouter = true;
    EXPECT_EQ(meetTarget(introduction).port, 27315);
    EXPECT_EQ(meetTarget(introduction).host, address(9, 0).host);
}

TEST(MeetAnswers, EachMessageCountsOnlyWhereAndWhenItIsExpected) {
    struct Case {
        MeetKind kind;
        bool hosting, answered;
        MeetUse use;
    };
    const Case cases[] = {
        {MeetKind::room, true, false, MeetUse::answer},
        {MeetKind::room, true, true, MeetUse::ignored}, // a second code changes nothing
        {MeetKind::room, false, false, MeetUse::ignored},
        {MeetKind::refused, true, false, MeetUse::answer},
        {MeetKind::refused, false, false, MeetUse::answer},
        {MeetKind::refused, false, true, MeetUse::ignored},
        {MeetKind::meet, true, true, MeetUse::introduction},
        {MeetKind::meet, false, false, MeetUse::introduction},
        {MeetKind::relay, true, true, MeetUse::relay},
        {MeetKind::relay, false, true, MeetUse::relay},
        {MeetKind::open, true, false, MeetUse::ignored},
        {MeetKind::join, false, false, MeetUse::ignored},
    };
    for (const Case& one : cases) {
        EXPECT_EQ(meetUse(one.kind, one.hosting, one.answered), one.use)
            << static_cast<int>(one.kind) << one.hosting << one.answered;
    }
}

// What a schedule sends at each of the given times, as "p" (punch), "b" (binding), "r" (ask for
// the relay), "-" (nothing), one letter group a time.
std::string sendsAt(MeetSchedule& schedule, std::initializer_list<long long> times,
                    bool waiting = false) {
    std::string sent;
    for (const long long time : times) {
        const MeetSends due = meetDue(schedule, time, waiting);
        std::string now =
            std::string(due.punch ? "p" : "") + (due.bind ? "b" : "") + (due.askRelay ? "r" : "");
        sent += (sent.empty() ? "" : " ") + (now.empty() ? "-" : now);
    }
    return sent;
}

TEST(MeetSchedule, TheHostPunchesEveryIntervalUntilPatienceAndASecondMore) {
    MeetSchedule host{.hosting = true};
    startPunching(host, 10000);
    EXPECT_EQ(sendsAt(host, {10000, 10099, 10100, 10150, 10200, 13399, 13500}), "p - p - p p -");
    // The last punch goes 3.5 s after the introduction, none after.
    MeetSchedule late{.hosting = true};
    startPunching(late, 0);
    EXPECT_EQ(sendsAt(late, {3499, 3500, 9000}), "p - -");
    // The joiner does not punch: its connection attempt does.
    MeetSchedule joiner;
    startPunching(joiner, 0);
    EXPECT_EQ(sendsAt(joiner, {0, 100, 200}), "- - -");
}

TEST(MeetSchedule, RelayingStopsThePunchesAndBindsForAWhile) {
    MeetSchedule host{.hosting = true};
    startPunching(host, 0);
    EXPECT_EQ(sendsAt(host, {0}), "p");
    startRelaying(host, 50);
    EXPECT_EQ(sendsAt(host, {50, 149, 150, 5049, 5050, 9000}), "b - b b - -");
    EXPECT_TRUE(host.relaying);
}

TEST(MeetSchedule, TheWaitingJoinerAsksForTheRelayOnceWhenPatienceRunsOut) {
    MeetSchedule joiner{.gaveUpPunchingAt = 2500};
    startPunching(joiner, 0);
    EXPECT_EQ(sendsAt(joiner, {0, 2499}, true), "- -");
    EXPECT_FALSE(joiner.relaying);
    // Asked at 2500; the first binding goes on the next step.
    EXPECT_EQ(sendsAt(joiner, {2500, 2500, 2599, 2600, 7499, 7500}, true), "r b - b b -");
    EXPECT_TRUE(joiner.askedForRelay);
    // Connected in time: no relay.
    MeetSchedule connected{.gaveUpPunchingAt = 2500};
    EXPECT_EQ(sendsAt(connected, {2500, 9000}, false), "- -");
    EXPECT_FALSE(connected.relaying);
}

TEST(MeetWays, TheRelayOnlyWhenRelayingAndAtItsAddress) {
    struct Case {
        bool relaying, atRelay, introduced, sameRouter;
        MeetWay way;
    };
    const Case cases[] = {
        {true, true, true, false, MeetWay::relayed},
        {true, true, true, true, MeetWay::relayed},
        {true, false, true, false, MeetWay::punched}, // punching got through after all
        {false, true, true, false, MeetWay::punched},
        {false, false, true, true, MeetWay::sameRouter},
        {false, false, false, false, MeetWay::none},
        {false, false, false, true, MeetWay::none},
    };
    for (const Case& one : cases) {
        EXPECT_EQ(meetWayOf(one.relaying, one.atRelay, one.introduced, one.sameRouter), one.way)
            << one.relaying << one.atRelay << one.introduced << one.sameRouter;
    }
    EXPECT_STREQ(meetWayText(MeetWay::none), "directly");
    EXPECT_STREQ(meetWayText(MeetWay::relayed), "relayed by the meet server");
}

TEST(MeetServerRules, TheRelayCountsEachAddressPerSecond) {
    RelayCount count;
    std::string allowed;
    for (const long long time : {1000, 1001, 1500, 1999, 2000, 2001, 2002, 5000}) {
        allowed += relayAllows(count, time, 3) ? 'y' : 'n';
    }
    EXPECT_EQ(allowed, "yyynyyyy");
    EXPECT_EQ(count.second, 5);
    EXPECT_EQ(count.count, 1u);
}

TEST(MeetServerRules, RoomsAreForgottenWhenIdleOrTheirRelayIsQuiet) {
    struct Case {
        RoomAge room;
        long long now;
        bool spent;
    };
    const Case cases[] = {
        {{.openedAt = 1000}, 11000, false}, // idle exactly as long as allowed
        {{.openedAt = 1000}, 11001, true},
        {{.joined = true, .openedAt = 1000}, 99999, false},
        {{.relaying = true, .openedAt = 0, .relayedAt = 1000}, 61000, false},
        {{.relaying = true, .openedAt = 0, .relayedAt = 1000}, 61001, true},
        {{.joined = true, .relaying = true, .relayedAt = 1000}, 99999, false},
    };
    for (const Case& one : cases) {
        EXPECT_EQ(roomIsSpent(one.room, one.now, 10000), one.spent) << one.now;
    }
}

TEST(MeetServerRules, EachSideBindsToTheRelayFromItsOwnMachineOnly) {
    const std::uint32_t host = address(1, 0).host, joiner = address(2, 0).host,
                        stranger = address(3, 0).host;
    EXPECT_TRUE(bindsItsOwnSide('h', host, host, joiner));
    EXPECT_TRUE(bindsItsOwnSide('j', joiner, host, joiner));
    EXPECT_FALSE(bindsItsOwnSide('h', joiner, host, joiner));
    EXPECT_FALSE(bindsItsOwnSide('j', host, host, joiner));
    EXPECT_FALSE(bindsItsOwnSide('h', stranger, host, joiner));
    EXPECT_FALSE(bindsItsOwnSide('j', stranger, host, joiner));
    // Behind one router both come from its address.
    EXPECT_TRUE(bindsItsOwnSide('h', host, host, host));
    EXPECT_TRUE(bindsItsOwnSide('j', host, host, host));
}

TEST(MeetServerRules, OnlyWhatMayBeEnetReachesEnet) {
    struct Case {
        Bytes bytes;
        bool enet;
    };
    const Case cases[] = {
        {{0x0F, 0xFF, 0, 0, 0, 0}, true},    // connecting
        {{0x8F, 0xFF, 0, 0, 0, 0}, true},    // with flags
        {{0x00, 0x00, 0, 0, 0, 0}, true},    // peer 0
        {{0x00, 0x09, 0, 0, 0, 0, 7}, true}, // the last peer
        {{0x00, 0x0A, 0, 0, 0, 0}, false},   // no such peer
        {{0x01, 0x00, 0, 0, 0, 0}, false},
        {{0x0F, 0xFF, 0, 0, 0}, false}, // too short
        {{}, false},
    };
    for (const Case& one : cases) {
        EXPECT_EQ(mayBeEnet(one.bytes.data(), one.bytes.size(), 10), one.enet) << one.bytes.size();
    }
}

TEST(MeetServerName, TakesAPortOrTheDefault) {
    EXPECT_FALSE(meetServerChosen());
    EXPECT_FALSE(useMeetServer("127.0.0.1:0"));
    EXPECT_FALSE(useMeetServer("127.0.0.1:x"));
    EXPECT_FALSE(useMeetServer("127.0.0.1:"));
    EXPECT_FALSE(useMeetServer(":27320"));
    EXPECT_FALSE(meetServerChosen());
    EXPECT_TRUE(useMeetServer("127.0.0.1:4000"));
    EXPECT_TRUE(meetServerChosen());
    EXPECT_STREQ(meetServerName(), "127.0.0.1:4000");
}

} // namespace
