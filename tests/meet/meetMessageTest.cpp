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
