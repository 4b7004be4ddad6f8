// Each way of playing as main builds it from the options: the sides this machine's keys move,
// the key handler its keyboard and pads share, and the end of a bout.
#include <gtest/gtest.h>

#include <string>
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

} // namespace
