// Bouts fenced against a clock the test sets: each scenario presses keys and runs idle turns
// second by second, and checks the console transcript byte for byte and the state that matters.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "captureStdout.h"
#include "control.h"
#include "opponent.h"

namespace {

WholeSeconds fakeClock = 0;
Milliseconds fakeMilliseconds = 0;
int redrawRequests = 0;
std::vector<Pose> posesShown;
std::vector<int> exitStatuses;
std::vector<BoutSound> soundsAsked;

WholeSeconds readFakeClock() {
    return fakeClock;
}
Milliseconds readFakeMilliseconds() {
    return fakeMilliseconds;
}
void countRedraw() {
    ++redrawRequests;
}
void recordPose(Pose pose) {
    posesShown.push_back(pose);
}
void recordExit(int status) {
    exitStatuses.push_back(status);
}

char ann[] = "Ann";
char bob[] = "Bob";

const std::string EN_GARDE = "\n\nEn garde! Ready? Fence!\n";

// The console scoreboard, written out independently of the game's own printing.
std::string board(int leftCell, int rightCell, int leftTouches = 0, int rightTouches = 0,
                  int touchLimit = 5) {
    std::string strip(41, ' ');
    for (int cell : {leftCell, rightCell}) {
        if (cell >= 0 && cell <= 40) {
            strip[cell] = '@';
        }
    }
    return "\nThis is a " + std::to_string(touchLimit) + " touch bout" + "\nScore is: Ann " +
           std::to_string(leftTouches) + " VS. " + std::to_string(rightTouches) + " Bob" +
           "\n _________________________________________ \n"
           "|\\    /|         |       |         |\\    /|\n"
           "| \\  / |         |       |         | \\  / |\n|" +
           strip +
           "|\n| /  \\ |         |       |         | /  \\ |\n"
           "|/    \\|         |       |         |/    \\|\n"
           " ----------------------------------------- \n";
}

class Bout : public ::testing::Test {
  protected:
    Fencer left{};
    Fencer right{};

    // Also called again inside table-driven tests, to start each row on a fresh bout.
    void SetUp() override {
        left = Fencer{ann, LEFT_EN_GARDE_CELL, 0, LEFT_PLAYER};
        right = Fencer{bob, RIGHT_EN_GARDE_CELL, 0, RIGHT_PLAYER};
        bout = BoutState{};
        bout.leftFencer = &left;
        bout.rightFencer = &right;
        bout.touchLimit = POOL_TOUCH_LIMIT;
        bout.leftQuad = LEFT_QUAD_EN_GARDE;
        bout.rightQuad = RIGHT_QUAD_EN_GARDE;
        controlHooks = {
            readFakeClock,        countRedraw,
            recordPose,           recordExit,
            readFakeMilliseconds, [](BoutSound sound) { soundsAsked.push_back(sound); }};
        fakeClock = 1000;
        fakeMilliseconds = fakeClock * 1000;
        redrawRequests = 0;
        posesShown.clear();
        exitStatuses.clear();
        soundsAsked.clear();
    }

    // Puts the fencers on these cells with their sprites where they belong.
    void place(int leftCell, int rightCell) {
        left.position = leftCell;
        right.position = rightCell;
        bout.leftQuad = LEFT_QUAD_EN_GARDE;
        bout.rightQuad = RIGHT_QUAD_EN_GARDE;
        moveQuad(bout.leftQuad, (leftCell - LEFT_EN_GARDE_CELL) * UNITS_PER_CELL);
        moveQuad(bout.rightQuad, (rightCell - RIGHT_EN_GARDE_CELL) * UNITS_PER_CELL);
    }

    std::string press(const std::string& keys) {
        return captureStdout([&] {
            for (char key : keys) {
                onKeyPress(static_cast<unsigned char>(key), 0, 0);
            }
        });
    }

    // The game sleeps while waitsForTheClock is false, so every turn checks that onIdle would
    // then have changed nothing.
    std::string idleTurns(int count = 1) {
        return captureStdout([&] {
            for (int turn = 0; turn < count; ++turn) {
                const bool clockAwaited = waitsForTheClock();
                const auto shown = [&] {
                    return std::tuple{snapshot(bout), left.position, right.position};
                };
                const auto before = shown();
                onIdle();
                EXPECT_TRUE(clockAwaited || before == shown())
                    << "onIdle changed the bout while nothing waited for the clock";
            }
        });
    }

    static std::string snapshot(const BoutState& state) {
        return {reinterpret_cast<const char*>(&state), sizeof state};
    }

    std::vector<Milliseconds> pressTimes; // of every computer's keys, for the limit of 10 a second

    // Runs the bout on both clocks, 10 ms an idle turn, each computer stepping before each turn,
    // for duration or until the bout is won (or until says so); returns what the console says.
    // A player may type the key playerKey gives for the milliseconds since the start (0: none),
    // which the computers see.
    std::string fence(
        std::vector<Opponent*> computers, Milliseconds duration,
        const std::function<bool()>& until = [] { return bout.leftWon + bout.rightWon > 0; },
        const std::function<char(Milliseconds)>& playerKey = [](Milliseconds) { return '\0'; }) {
        return captureStdout([&] {
            for (const Milliseconds start = fakeMilliseconds, end = start + duration;
                 fakeMilliseconds < end && !until(); fakeMilliseconds += 10) {
                fakeClock = fakeMilliseconds / 1000;
                if (const char key = playerKey(fakeMilliseconds - start); key != '\0') {
                    for (Opponent* computer : computers) {
                        opponentSeesKey(*computer, static_cast<unsigned char>(key));
                    }
                    onKeyPress(static_cast<unsigned char>(key), 0, 0);
                }
                for (Opponent* computer : computers) {
                    const std::int32_t pressesBefore = computer->pressCount;
                    opponentStep(*computer);
                    pressTimes.insert(pressTimes.end(), computer->pressCount - pressesBefore,
                                      fakeMilliseconds);
                }
                onIdle();
            }
        });
    }

    // Idle turns at the given second of the clock.
    std::string idleAt(WholeSeconds second, int turns = 3) {
        fakeClock = second;
        return idleTurns(turns);
    }
};

std::string lungeBy(const char* name) {
    return std::string("\n") + name + " attacks with a lunge!!\n";
}
const std::string LEFT_TOUCH = "--**HALT!**-- Attack is good from my left. Touch to Ann.";
const std::string RIGHT_TOUCH = "--**HALT!**-- Attack is good from my right. Touch to Bob.";
const std::string SHORT_LEFT =
    "Ann, your lunge was out of distance, so you recover and continue.\n";

float leftEdge(const FencerQuad& quad) {
    return quad.vertex[0].x;
}
float rightEdge(const FencerQuad& quad) {
    return quad.vertex[2].x;
}

// A lunge against a fencer who stands still, by the gap it begins at: each step comes at
// the first idle turn of a new second, the touch on the turn after the gap closes to 2.
struct LungeCourse {
    int startGap;
    std::vector<std::string> transcriptBySecond; // seconds 1000, 1001, ...
};

TEST_F(Bout, LungeAgainstAFencerStandingStillTravelsOneCellPerWholeSecond) {
    const std::string touched = LEFT_TOUCH + board(15, 25, 1, 0) + EN_GARDE;
    const std::vector<LungeCourse> courses = {
        {2, {touched, "", "", "", ""}},
        {3, {"", board(16, 18) + touched, "", "", ""}},
        {4, {"", board(16, 19), board(17, 19) + touched, "", ""}},
        {5, {"", board(16, 20), board(17, 20), board(18, 20) + touched, ""}},
        {6, {"", board(16, 21), board(17, 21), board(18, 21) + SHORT_LEFT, ""}},
    };
    for (const LungeCourse& course : courses) {
        SCOPED_TRACE("lunge begun at a gap of " + std::to_string(course.startGap));
        SetUp();
        place(15, 15 + course.startGap);
        ASSERT_EQ(press("f"), lungeBy("Ann"));
        for (std::size_t second = 0; second < course.transcriptBySecond.size(); ++second) {
            EXPECT_EQ(idleAt(1000 + static_cast<WholeSeconds>(second)),
                      course.transcriptBySecond[second])
                << "at second " << second;
        }
        EXPECT_EQ(bout.leftLunging, 0);
    }
}

TEST_F(Bout, TheFirstLungeStepMayComeAnInstantAfterTheKey) {
    place(15, 20);
    fakeClock = 1000; // the key arrives just before the clock's second changes
    press("f");
    EXPECT_EQ(idleAt(1001, 1), board(16, 20));
    EXPECT_EQ(left.position, 16);
    EXPECT_EQ(leftEdge(bout.leftQuad), 190.0f);
    EXPECT_EQ(bout.actionTime, 1001);
    EXPECT_EQ(idleAt(1001), "") << "only one step per whole second";
}

TEST_F(Bout, TheRightLungeMirrorsTheLeft) {
    place(15, 20);
    EXPECT_EQ(press("J"), lungeBy("Bob"));
    EXPECT_EQ(idleAt(1001), board(15, 19));
    EXPECT_EQ(rightEdge(bout.rightQuad), 260.0f);
    EXPECT_EQ(idleAt(1002), board(15, 18));
    EXPECT_EQ(idleAt(1003), board(15, 17) + RIGHT_TOUCH + board(15, 25, 0, 1) + EN_GARDE);
    EXPECT_EQ(right.touches, 1);
    EXPECT_EQ(bout.rightTouchHalt, 1);
    EXPECT_EQ(bout.rightTouch, 1);
    EXPECT_EQ(bout.leftTouchHalt, 0);
}

TEST_F(Bout, AnOpponentWhoRetreatsDuringTheLungeMakesItFallShort) {
    place(15, 20);
    press("f");
    idleAt(1001);
    idleAt(1002);
    EXPECT_EQ(press(";"), board(17, 21));
    EXPECT_EQ(idleAt(1003), board(18, 21) + SHORT_LEFT);
    EXPECT_EQ(bout.leftLunging, 0);
    EXPECT_EQ(posesShown.back(), Pose::leftEngarde);
    EXPECT_EQ(left.touches, 0);
}

TEST_F(Bout, AParryReachesALungeWithinFourCellsOnly) {
    place(15, 19);
    press("j");
    posesShown.clear();
    EXPECT_EQ(press("s"), "Ann has parried Bob\n");
    EXPECT_EQ(bout.rightLunging, 0);
    EXPECT_EQ(posesShown, (std::vector<Pose>{Pose::leftParry, Pose::rightEngarde}));
    EXPECT_EQ(bout.leftParryHold, 1);

    SetUp();
    place(15, 20);
    press("j");
    fakeClock = 1000;
    EXPECT_EQ(press("s"), "\nAnn, you are too far away to parry.\n");
    EXPECT_EQ(bout.rightLunging, 1) << "the lunge goes on";
    EXPECT_EQ(bout.leftParryHold, 1);

    SetUp();
    place(15, 19);
    press("f");
    EXPECT_EQ(press("L"), "Bob has parried Ann\n");
    EXPECT_EQ(bout.leftLunging, 0);
}

TEST_F(Bout, AParryWithNoLungeInFlightStillHoldsThePoseForAWholeSecond) {
    fakeClock = 1000;
    EXPECT_EQ(press("l"), "\nBob, no one is attacking for you to parry.\n");
    EXPECT_EQ(bout.rightParryHold, 1);
    EXPECT_EQ(bout.actionTime, 1000);
    EXPECT_EQ(press("o"), "Bob, you are already en garde\n") << "recover does not end a parry";
    redrawRequests = 0;
    idleAt(1000);
    EXPECT_EQ(bout.rightParryHold, 1);
    EXPECT_EQ(redrawRequests, 0);
    idleAt(1001, 1);
    EXPECT_EQ(bout.rightParryHold, 0);
    EXPECT_EQ(posesShown.back(), Pose::rightEngarde);
    EXPECT_EQ(redrawRequests, 1);
}

TEST_F(Bout, RecoverEndsOnlyOnesOwnLunge) {
    press("f");
    posesShown.clear();
    EXPECT_EQ(press("w"), "Ann aborts the lunge and recovers\n");
    EXPECT_EQ(bout.leftLunging, 0);
    EXPECT_EQ(posesShown, std::vector<Pose>{Pose::leftEngarde});
    EXPECT_EQ(press("W"), "Ann, you are already en garde\n");
}

TEST_F(Bout, BothLungingAtOnceTheLeftIsResolvedFirst) {
    place(15, 17);
    press("fj");
    EXPECT_EQ(idleAt(1000, 1), LEFT_TOUCH + board(15, 25, 1, 0) + EN_GARDE);
    EXPECT_EQ(bout.rightLunging, 1) << "the right lunge goes on from cell 25";
    EXPECT_EQ(bout.rightLungeStart, 17);
    // It travels during the halt, against its old start cell, one cell a second.
    EXPECT_EQ(idleAt(1001, 1), board(15, 24, 1, 0));
    EXPECT_EQ(bout.halted, 1);
    EXPECT_EQ(rightEdge(bout.rightQuad), 310.0f);
}

TEST_F(Bout, ALungeInFlightScoresDuringAHalt) {
    place(15, 18);
    press("f");
    bout.halted = 1; // a halt started elsewhere; the idle step does not stop for it
    bout.crossedHalt = 1;
    bout.haltTime = 1000;
    EXPECT_EQ(idleAt(1001, 1), board(16, 18));
    EXPECT_EQ(idleAt(1001, 1), LEFT_TOUCH + board(15, 25, 1, 0) + EN_GARDE);
    EXPECT_EQ(bout.haltTime, 1001) << "the touch restamps the shared halt time";
}

TEST_F(Bout, ACrossingNearAnEndIsCaughtOffTheStripAndBothHaltsEndTogether) {
    place(1, 2);
    EXPECT_EQ(press("d"), board(2, 2)) << "on the same cell: no crossing yet";
    EXPECT_EQ(bout.halted, 0);
    EXPECT_EQ(press("d"), "--**HALT!**-- Nothing done, center is here." + EN_GARDE + board(-1, 6));
    EXPECT_EQ(leftEdge(bout.leftQuad), 20.0f) << "4 cells back from cell 3";
    EXPECT_EQ(rightEdge(bout.rightQuad), 130.0f) << "4 cells back from cell 2";

    EXPECT_EQ(idleAt(1001, 1),
              "--**HALT!**-- Ann is off the end of the strip. Touch to Bob." + EN_GARDE);
    EXPECT_EQ(right.touches, 1);
    EXPECT_EQ(left.position, 15);
    EXPECT_EQ(right.position, 25);
    EXPECT_EQ(bout.crossedHalt, 1);
    EXPECT_EQ(bout.leftOffStrip, 1);
    EXPECT_EQ(bout.haltTime, 1001);

    idleAt(1003);
    EXPECT_EQ(bout.halted, 1) << "only 2 whole seconds since the second stamp";
    idleAt(1004, 1);
    EXPECT_EQ(bout.halted, 0);
    EXPECT_EQ(bout.crossedHalt, 0);
    EXPECT_EQ(bout.leftOffStrip, 0);
    EXPECT_EQ(bout.fenceBanner, 1);
    EXPECT_EQ(bout.fenceBannerTime, 1004);
}

TEST_F(Bout, RetreatingOffEitherEndGivesTheTouchToTheOpponentAndRestarts) {
    place(0, 25);
    posesShown.clear();
    EXPECT_EQ(press("a"), "--**HALT!**-- Ann is off the end of the strip. Touch to Bob." +
                              EN_GARDE + board(15, 25, 0, 1));
    EXPECT_EQ(posesShown, (std::vector<Pose>{Pose::leftEngarde, Pose::rightEngarde}));
    EXPECT_EQ(leftEdge(bout.leftQuad), 180.0f);
    EXPECT_EQ(idleAt(1000), "") << "the same retreat is not counted twice";
    EXPECT_EQ(right.touches, 1);

    SetUp();
    place(15, 40);
    EXPECT_EQ(press(":"), "--**HALT!**-- Bob is off the end of the strip. Touch to Ann." +
                              EN_GARDE + board(15, 25, 1, 0));
    EXPECT_EQ(bout.rightOffStrip, 1);
    EXPECT_EQ(rightEdge(bout.rightQuad), 320.0f);
}

TEST_F(Bout, EachKeyInEitherCaseGivesItsCommand) {
    struct KeyCase {
        char key;
        std::string says;
        int leftCell, rightCell;
    };
    const std::vector<KeyCase> cases = {
        {'a', board(14, 25), 14, 25},
        {'A', board(14, 25), 14, 25},
        {'d', board(16, 25), 16, 25},
        {'D', board(16, 25), 16, 25},
        {'s', "\nAnn, no one is attacking for you to parry.\n", 15, 25},
        {'S', "\nAnn, no one is attacking for you to parry.\n", 15, 25},
        {'f', lungeBy("Ann"), 15, 25},
        {'F', lungeBy("Ann"), 15, 25},
        {'w', "Ann, you are already en garde\n", 15, 25},
        {'W', "Ann, you are already en garde\n", 15, 25},
        {';', board(15, 26), 15, 26},
        {':', board(15, 26), 15, 26},
        {'k', board(15, 24), 15, 24},
        {'K', board(15, 24), 15, 24},
        {'l', "\nBob, no one is attacking for you to parry.\n", 15, 25},
        {'L', "\nBob, no one is attacking for you to parry.\n", 15, 25},
        {'j', lungeBy("Bob"), 15, 25},
        {'J', lungeBy("Bob"), 15, 25},
        {'o', "Bob, you are already en garde\n", 15, 25},
        {'O', "Bob, you are already en garde\n", 15, 25},
        {'x', "", 15, 25},
        {'q', "", 15, 25},
        {'\r', "", 15, 25},
        {'\x1b', "", 15, 25},
    };
    for (const KeyCase& keyCase : cases) {
        SCOPED_TRACE(std::string("key ") + keyCase.key);
        SetUp();
        EXPECT_EQ(press(std::string(1, keyCase.key)), keyCase.says);
        EXPECT_EQ(left.position, keyCase.leftCell);
        EXPECT_EQ(right.position, keyCase.rightCell);
        EXPECT_EQ(redrawRequests, 1) << "every key asks for a redraw";
    }
}

TEST_F(Bout, SpritesMoveTenUnitsACell) {
    press("ddd");
    EXPECT_EQ(leftEdge(bout.leftQuad), 210.0f);
    EXPECT_EQ(rightEdge(bout.leftQuad), 260.0f);
    press(";");
    EXPECT_EQ(leftEdge(bout.rightQuad), 280.0f);
    EXPECT_EQ(rightEdge(bout.rightQuad), 330.0f);
    for (int corner : {0, 1, 2, 3}) {
        EXPECT_EQ(bout.leftQuad.vertex[corner].y, LEFT_QUAD_EN_GARDE.vertex[corner].y);
    }
}

TEST_F(Bout, KeysAreIgnoredDuringAHaltAndAfterAWinButStillAskForARedraw) {
    for (int BoutState::*flag : {&BoutState::halted, &BoutState::leftWon, &BoutState::rightWon}) {
        SetUp();
        bout.*flag = 1;
        EXPECT_EQ(press("dfksjl;aow"), "");
        EXPECT_EQ(left.position, 15);
        EXPECT_EQ(right.position, 25);
        EXPECT_EQ(bout.leftLunging + bout.rightLunging + bout.leftParryHold, 0);
        EXPECT_EQ(redrawRequests, 10);
    }
}

TEST_F(Bout, TheWinningTouchCongratulatesThenTheProcessEndsTenWholeSecondsLater) {
    left.touches = 4;
    place(15, 17);
    press("f");
    EXPECT_EQ(idleAt(1000, 1), LEFT_TOUCH +
                                   "\n\n\tCongratulations, Ann!  You've Won the Bout!"
                                   "\n\nGoodluck in your future matches, Ann.  Goodbye.\n\n" +
                                   board(15, 25, 5, 0) + EN_GARDE);
    EXPECT_EQ(bout.leftWon, 1);
    EXPECT_EQ(press("k"), "") << "no key works after a win";

    idleAt(1002);
    EXPECT_EQ(bout.halted, 1);
    idleAt(1003, 1);
    EXPECT_EQ(bout.halted, 0);
    EXPECT_EQ(bout.fenceBanner, 1) << "the banner is raised after the winning halt as usual";
    idleAt(1004, 1);
    EXPECT_EQ(bout.fenceBanner, 0);
    EXPECT_EQ(press("d"), "");

    idleAt(1009);
    EXPECT_TRUE(exitStatuses.empty()) << "not one second sooner";
    redrawRequests = 0;
    idleAt(1010, 1);
    EXPECT_EQ(exitStatuses, std::vector<int>{0});
    EXPECT_EQ(redrawRequests, 1);
}

// A lunge still under way when the other fencer steps off his end with the winning touch: the
// bout is over, so it neither travels nor scores, in a pool bout and in a direct elimination.
TEST_F(Bout, ALungeUnderWayAtTheWinNeitherTravelsNorScores) {
    for (const std::int32_t touchLimit : {POOL_TOUCH_LIMIT, DIRECT_ELIMINATION_TOUCH_LIMIT}) {
        SetUp();
        bout.touchLimit = touchLimit;
        left.touches = touchLimit - 1;
        place(36, 40);
        press("f");
        const std::string win = press(";");
        EXPECT_EQ(bout.leftWon, 1);
        EXPECT_NE(win.find("Congratulations, Ann!"), std::string::npos) << win;
        std::string afterTheWin;
        for (WholeSeconds second = 1000; second < 1010; ++second) {
            afterTheWin += idleAt(second);
        }
        afterTheWin += idleAt(1010, 1);
        EXPECT_EQ(afterTheWin, "") << "touch limit " << touchLimit;
        EXPECT_EQ(std::tuple(left.touches, right.touches, left.position, right.position),
                  std::tuple(touchLimit, 0, 15, 25));
        EXPECT_EQ(exitStatuses, std::vector<int>{0});
    }
}

TEST_F(Bout, ATouchHaltEndsThreeWholeSecondsAfterItBegan) {
    place(15, 17);
    press("j"); // the right fencer lunges at gap 2
    idleAt(1000, 1);
    ASSERT_EQ(bout.rightTouchHalt, 1);
    redrawRequests = 0;
    idleAt(1002, 2);
    EXPECT_EQ(bout.halted, 1);
    EXPECT_EQ(redrawRequests, 2) << "a redraw on every turn while the halt runs";
    idleAt(1003, 1);
    EXPECT_EQ(bout.halted, 0);
    EXPECT_EQ(bout.rightTouchHalt, 0);
    EXPECT_EQ(bout.rightTouch, 0);
    EXPECT_EQ(bout.fenceBanner, 1);
    EXPECT_EQ(press("d"), board(16, 25, 0, 1)) << "the keyboard is free again";
}

TEST_F(Bout, AParryThenALungeShowsEnGardeWhenTheHoldEndsWhileTheLungeGoesOn) {
    place(15, 20);
    press("s");
    press("f");
    posesShown.clear();
    idleAt(1001, 1);
    EXPECT_EQ(bout.leftParryHold, 0);
    EXPECT_EQ(bout.leftLunging, 1);
    EXPECT_EQ(posesShown, std::vector<Pose>{Pose::leftEngarde});
    EXPECT_EQ(left.position, 16);
}

// Keys on a fresh bout, then five seconds of idle turns.
TEST_F(Bout, TheBuzzerForATouchTheClashForAParryThatStopsALungeSilenceOtherwise) {
    const std::vector<std::tuple<int, int, std::string, std::vector<BoutSound>>> cases = {
        {15, 19, "js", {BoutSound::bladeClash}}, // a parry that stops a lunge
        {15, 20, "js", {BoutSound::buzzer}},     // too far away to parry: the lunge scores
        {15, 17, "f", {BoutSound::buzzer}},      // a lunge's touch
        {15, 25, "sl", {}},                      // parries of nothing
        {15, 21, "fjo", {}},                     // a lunge falling short, one recovered
        {15, 25, "dak;", {}},                    // steps and retreats
        {0, 25, "a", {}},                        // retreating off the strip
        {1, 2, "dd", {}},                        // a crossing that pushes Ann off the strip
    };
    for (const auto& [leftCell, rightCell, keys, heard] : cases) {
        SetUp();
        place(leftCell, rightCell);
        press(keys);
        for (WholeSeconds second = 1000; second < 1005; ++second) {
            idleAt(second);
        }
        EXPECT_EQ(soundsAsked, heard) << "keys " << keys << " from " << leftCell;
    }
}

TEST_F(Bout, NothingPendingMeansNothingChangesAndNoRedraw) {
    const BoutState before = bout;
    EXPECT_EQ(idleTurns(1000), "");
    idleAt(5000, 100);
    EXPECT_EQ(redrawRequests, 0);
    EXPECT_EQ(left.position, 15);
    EXPECT_EQ(right.position, 25);
    EXPECT_EQ(bout.actionTime, before.actionTime);
    EXPECT_TRUE(posesShown.empty());
}

// Against a player who never moves, at every level; against one who rushes in holding 'd'
// down (the key repeats after 660 ms, 25 times a second) and one who advances while lunging
// ('d' and 'f' in turn, ten keys a second); then against another computer.
TEST_F(Bout, TheComputerBeatsAStillARushingAndALungingPlayerAndTwoComputersFinishABout) {
    const auto still = [](Milliseconds) { return '\0'; };
    const auto rushing = [](Milliseconds since) {
        return since == 0 || (since >= 660 && (since - 660) % 40 == 0) ? 'd' : '\0';
    };
    const auto lungingForward = [](Milliseconds since) {
        return since % 100 == 0 ? "df"[since / 100 % 2] : '\0';
    };
    const std::vector<std::tuple<OpponentLevel, std::function<char(Milliseconds)>, int>> bouts = {
        {OpponentLevel::easy, still, 0},         {OpponentLevel::normal, still, 0},
        {OpponentLevel::hard, still, 0},         {OpponentLevel::normal, rushing, 4},
        {OpponentLevel::hard, rushing, 4},       {OpponentLevel::normal, lungingForward, 4},
        {OpponentLevel::hard, lungingForward, 4}};
    for (const auto& [level, player, mostTouchesLost] : bouts) {
        SCOPED_TRACE(static_cast<int>(level));
        SetUp();
        Opponent computer = createOpponent(RIGHT_PLAYER, level, 14);
        const std::string said = fence(
            {&computer}, 3 * 60'000, [] { return bout.leftWon + bout.rightWon > 0; }, player);
        EXPECT_EQ(bout.rightWon, 1);
        EXPECT_LE(left.touches, mostTouchesLost) << said; // leaving its end gives Ann a touch
        for (std::size_t press = 10; press < pressTimes.size(); ++press) {
            ASSERT_GE(pressTimes[press] - pressTimes[press - 10], 1000) << "11 keys in a second";
        }
        pressTimes.clear();
    }
    SetUp();
    Opponent hard = createOpponent(LEFT_PLAYER, OpponentLevel::hard, 1);
    Opponent easy = createOpponent(RIGHT_PLAYER, OpponentLevel::easy, 2);
    fence({&hard, &easy}, 10 * 60'000);
    EXPECT_EQ(bout.leftWon, 1);
    // The same again without a window: nothing said, the same score for the same seed, the bout
    // and the hooks put back; with nobody pressing a key it gives up at nil all.
    BoutScore scores[3];
    EXPECT_EQ(captureStdout([&] {
                  for (BoutScore& score : {std::ref(scores[0]), std::ref(scores[1])}) {
                      score = fenceComputerBout(OpponentLevel::hard, OpponentLevel::easy, 5, 7);
                  }
                  scores[2] = fenceSimulatedBout(5, [](Milliseconds) {});
              }),
              "");
    EXPECT_EQ(std::tie(scores[0].leftTouches, scores[0].rightTouches),
              std::tie(scores[1].leftTouches, scores[1].rightTouches));
    EXPECT_EQ(scores[0].leftTouches, 5);
    EXPECT_EQ(scores[2].leftTouches + scores[2].rightTouches, 0);
    EXPECT_EQ(std::tuple(bout.leftFencer, bout.leftWon, left.touches), std::tuple(&left, 1, 5));
    EXPECT_EQ(controlHooks.endProcess, recordExit);
    EXPECT_TRUE(exitStatuses.empty());
}

TEST_F(Bout, TheComputerParriesSomeLungesInReachAtEasyMostAtHardNoQuickerThanAPerson) {
    const auto lungeOver = [] { return bout.leftLunging == 0; };
    for (const auto& [level, fewest, most] :
         {std::tuple{OpponentLevel::easy, 1, 12}, std::tuple{OpponentLevel::normal, 8, 20},
          std::tuple{OpponentLevel::hard, 15, 20}}) {
        SCOPED_TRACE(static_cast<int>(level));
        int parried = 0;
        for (std::uint32_t seed = 0; seed < 20; ++seed) {
            SetUp();
            place(15, 19);
            fakeMilliseconds += 500; // the lunge has a second and a half to arrive
            Opponent computer = createOpponent(RIGHT_PLAYER, level, seed);
            press("f");
            if (fence({&computer}, 3000, lungeOver).starts_with("Bob has parried Ann\n")) {
                ++parried;
                EXPECT_GE(fakeMilliseconds, 1'000'500 + 150);
            }
        }
        EXPECT_GE(parried, fewest);
        EXPECT_LE(parried, most);
    }
}

// Its key during a halt goes through the keyboard, which ignores it.
TEST_F(Bout, TheComputerRecoversALungeThatCannotArriveAndItsKeysDuringAHaltChangeNothing) {
    Opponent computer = createOpponent(RIGHT_PLAYER, OpponentLevel::easy, 5);
    press("j"); // from a gap of 10
    EXPECT_EQ(fence({&computer}, 1000, [] { return bout.rightLunging == 0; }),
              "Bob aborts the lunge and recovers\n");
    SetUp();
    computer = createOpponent(RIGHT_PLAYER, OpponentLevel::easy, 3);
    fence({&computer}, 10); // it glances at the strip and means to advance
    bout.halted = 1;
    EXPECT_EQ(fence({&computer}, 2000), "");
    EXPECT_EQ(redrawRequests, 1);
}

} // namespace
