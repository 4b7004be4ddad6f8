// Each way of playing as main builds it from the options: the sides this machine's keys move,
// the key handler its keyboard and pads share, and the end of a bout.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

#include "captureStdout.h"
#include "modes.h"
#include "network.h"

namespace {

std::vector<int> exits;
WholeSeconds clock = 1000;

char ann[] = "Ann";
char bob[] = "Bob";

struct WayCase {
    const char* title;
    GameOptions options;
    WayOfPlaying way;
    LocalSides sides;
    bool ownKeys; // the network's key handler
};

GameOptions withComputer() {
    GameOptions options{};
    options.computer = OpponentLevel::hard;
    options.seed = 3;
    return options;
}
GameOptions hosting() {
    GameOptions options{};
    options.hostPort = DEFAULT_PORT;
    return options;
}
GameOptions joining() {
    GameOptions options{};
    options.joinAddress = "127.0.0.1";
    return options;
}
GameOptions clubNight() {
    GameOptions options{};
    options.tournament = true;
    return options;
}

TEST(Mode, EachWayOfPlayingMovesItsOwnSidesWithItsOwnKeysAndEndsTheGameAfterItsBout) {
    const std::vector<WayCase> ways = {
        {"one keyboard", GameOptions{}, WayOfPlaying::oneKeyboard, {true, true}, false},
        {"computer", withComputer(), WayOfPlaying::computer, {true, false}, false},
        {"host", hosting(), WayOfPlaying::host, {true, false}, true},
        {"join", joining(), WayOfPlaying::join, {false, true}, true},
        {"club night", clubNight(), WayOfPlaying::clubNight, {true, true}, false},
    };
    for (const WayCase& way : ways) {
        SCOPED_TRACE(way.title);
        const Mode mode = buildMode(way.options);
        EXPECT_EQ(mode.way, way.way);
        EXPECT_EQ(mode.sides.left, way.sides.left);
        EXPECT_EQ(mode.sides.right, way.sides.right);
        EXPECT_EQ(mode.keyPress == onOwnKeyPress, way.ownKeys);
        EXPECT_NE(mode.keyPress, onKeyPress) << "this machine's keys go through the mode";
        ASSERT_TRUE(mode.boutEnded);
        EXPECT_TRUE(mode.sources.empty()) << "the rows come with startMode";
    }
    controlHooks.endProcess = [](int status) { exits.push_back(status); };
    buildMode(GameOptions{}).boutEnded();
    EXPECT_EQ(exits, std::vector<int>{0});
}

// Against the computer, the keyboard's (and so the pads') keys of the computer's side do
// nothing; the player's own act.
TEST(Mode, AgainstTheComputerOnlyThePlayersOwnSideMoves) {
    Fencer left{ann, LEFT_EN_GARDE_CELL, 0, LEFT_PLAYER};
    Fencer right{bob, RIGHT_EN_GARDE_CELL, 0, RIGHT_PLAYER};
    bout = BoutState{};
    bout.leftFencer = &left;
    bout.rightFencer = &right;
    bout.touchLimit = 5;
    controlHooks.now = [] { return clock; };
    const Mode mode = buildMode(withComputer());
    const std::string said = captureStdout([&] {
        for (const char key : std::string("kjl;K")) {
            mode.keyPress(static_cast<unsigned char>(key), 0, 0);
        }
    });
    EXPECT_EQ(said, "");
    EXPECT_EQ(right.position, RIGHT_EN_GARDE_CELL);
    captureStdout([&] { mode.keyPress('d', 0, 0); });
    EXPECT_EQ(left.position, LEFT_EN_GARDE_CELL + 1);
}

Milliseconds creepingClock = 5'000'000;
// A clock that moves on a millisecond each time it is read, so that any budget runs out.
Milliseconds readCreepingClock() {
    return ++creepingClock;
}

// A club night of Ann and three computers as the loop runs it, row by row: the go-ahead comes
// through the console row, keys act only while a bout runs, the computer wakes once Ann is on
// guard, and after Ann's bout the computers' bout is fenced in pieces before the next go-ahead.
TEST(Mode, AClubNightTakesItsGoAheadsFromTheConsoleRowAndFencesTheComputersInPieces) {
    char path[] = "/tmp/lamevoModesTestXXXXXX";
    const int descriptor = mkstemp(path);
    ASSERT_GE(descriptor, 0);
    const std::string typed = "4\nAnn\neasy\nnormal\nhard\ngo\n";
    ASSERT_EQ(write(descriptor, typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
    close(descriptor);
    ASSERT_NE(std::freopen(path, "r", stdin), nullptr);
    controlHooks.now = [] { return clock; };
    controlHooks.nowMilliseconds = readCreepingClock;
    controlHooks.endProcess = [](int status) { exits.push_back(status); };
    Mode mode = buildMode(clubNight());
    captureStdout([&] { startMode(mode); });
    ASSERT_EQ(mode.sources.size(), 5u);
    const LoopSource& console = mode.sources[0];
    const LoopSource& computers = mode.sources[1];
    const LoopSource& computer = mode.sources[3];
    const LoopSource& boutClock = mode.sources[4];
    EXPECT_NE(console.dueAt(), NOTHING_DUE) << "the go-ahead waits in stdio";
    EXPECT_EQ(computer.dueAt(), NOTHING_DUE);
    captureStdout([&] { mode.keyPress('d', 0, 0); });
    EXPECT_EQ(bout.leftFencer, nullptr) << "no bout yet";
    const std::string started = captureStdout([&] { console.turn(); });
    EXPECT_NE(started.find("This is a 5 touch bout"), std::string::npos) << started;
    EXPECT_EQ(console.descriptor(), NO_DESCRIPTOR) << "the console rests while the bout runs";
    EXPECT_EQ(computer.dueAt(), NOTHING_DUE) << "the computer waits for Ann's first key";
    captureStdout([&] { mode.keyPress('d', 0, 0); });
    EXPECT_EQ(bout.leftFencer->position, LEFT_EN_GARDE_CELL + 1);
    EXPECT_NE(computer.dueAt(), NOTHING_DUE) << "Ann is on guard";
    // Ann's bout is over: its opponent won 5-0 ten seconds ago.
    bout.rightFencer->touches = 5;
    bout.rightWon = 1;
    bout.haltTime = clock - 10;
    captureStdout([&] { boutClock.turn(); });
    EXPECT_NE(computers.dueAt(), NOTHING_DUE) << "the computers fence on, a piece a turn";
    const int position = bout.leftFencer->position;
    captureStdout([&] { mode.keyPress('a', 0, 0); });
    EXPECT_EQ(bout.leftFencer->position, position) << "keys do nothing between bouts";
    int pieces = 0;
    const std::string between = captureStdout([&] {
        while (computers.dueAt() != NOTHING_DUE && pieces < 100'000) {
            computers.turn();
            ++pieces;
        }
    });
    EXPECT_GT(pieces, 1);
    EXPECT_LT(pieces, 100'000) << "the computers' row rests once the next go-ahead is asked";
    EXPECT_EQ(between.find("Pool bout 3 of 6"), between.rfind("Pool bout 3 of 6"));
    EXPECT_NE(between.find("Pool bout 2 of 6: "), std::string::npos) << between;
    EXPECT_TRUE(between.ends_with("Hit Any Key then Enter to Start the Bout!")) << between;
    EXPECT_EQ(console.descriptor(), fileno(stdin)) << "the next go-ahead is awaited";
    EXPECT_TRUE(exits.empty() || exits == std::vector<int>{0});
    std::remove(path);
}

} // namespace
