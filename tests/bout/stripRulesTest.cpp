#include <gtest/gtest.h>

#include <string>

#include "bout.h"
#include "captureStdout.h"

namespace {

// Two fencers of their own per test and a bout record wiped before and after, since the
// winner check works on the one shared bout.
class StripRules : public ::testing::Test {
  protected:
    void SetUp() override { bout = BoutState{}; }
    void TearDown() override { bout = BoutState{}; }

    char annName[4] = "Ann";
    char bobName[4] = "Bob";
    Fencer left{annName, -1, 0, LEFT_PLAYER};
    Fencer right{bobName, -1, 0, RIGHT_PLAYER};
};

TEST_F(StripRules, FreshFencerStandsOffTheStripWithNoTouches) {
    Fencer* fencer = createFencer(annName, LEFT_PLAYER);
    EXPECT_EQ(fencer->name, annName); // the record keeps the dialogue's string, no copy
    EXPECT_EQ(fencer->position, -1);
    EXPECT_EQ(fencer->touches, 0);
    EXPECT_EQ(fencer->playerNumber, LEFT_PLAYER);
    addTouch(*fencer);
    addTouch(*fencer);
    EXPECT_EQ(fencer->touches, 2);
    delete fencer;
}

TEST_F(StripRules, SetPositionTakesCellsBeyondEitherEnd) {
    setPosition(left, -1);
    EXPECT_EQ(left.position, -1);
    setPosition(right, 41);
    EXPECT_EQ(right.position, 41);
}

enum class Step { advance, retreat };

struct StepCase {
    std::int32_t playerNumber;
    std::int32_t from;
    Step step;
    std::int32_t to;
};

TEST_F(StripRules, EachSideStepsTowardsOrAwayFromItsOpponentWithoutRangeChecks) {
    const StepCase cases[] = {
        {LEFT_PLAYER, 15, Step::advance, 16}, {RIGHT_PLAYER, 25, Step::advance, 24},
        {LEFT_PLAYER, 15, Step::retreat, 14}, {RIGHT_PLAYER, 25, Step::retreat, 26},
        {LEFT_PLAYER, 0, Step::retreat, -1},  {RIGHT_PLAYER, 40, Step::retreat, 41},
        {LEFT_PLAYER, 40, Step::advance, 41}, {RIGHT_PLAYER, 0, Step::advance, -1},
        {LEFT_PLAYER, -1, Step::advance, 0},  {RIGHT_PLAYER, 41, Step::advance, 40},
    };
    for (const StepCase& c : cases) {
        SCOPED_TRACE("player " + std::to_string(c.playerNumber) + " from " +
                     std::to_string(c.from) +
                     (c.step == Step::advance ? " advancing" : " retreating"));
        Fencer fencer{annName, c.from, 0, c.playerNumber};
        const std::string said = captureStdout([&] {
            if (c.step == Step::advance) {
                advanceFencer(fencer);
            } else {
                retreatFencer(fencer);
            }
        });
        EXPECT_EQ(fencer.position, c.to);
        EXPECT_EQ(said, ""); // leaving the strip is the callers' business, not a fault here
    }
}

TEST_F(StripRules, UnknownPlayerIsReportedAndDoesNotMove) {
    for (const std::int32_t playerNumber : {0, 3, -1}) {
        SCOPED_TRACE("player " + std::to_string(playerNumber));
        Fencer stray{annName, 20, 0, playerNumber};
        EXPECT_EQ(captureStdout([&] { advanceFencer(stray); }),
                  "\nPlayer is neither #1 nor #2.  Can't Advance.  ERROR.\n");
        EXPECT_EQ(stray.position, 20);
        EXPECT_EQ(captureStdout([&] { retreatFencer(stray); }),
                  "\nPlayer is neither #1 nor #2.  Can't Retreat.  ERROR.\n");
        EXPECT_EQ(stray.position, 20);
    }
}

TEST_F(StripRules, EnGardePutsPlayerOneOnFifteenWhicheverOrderTheyComeIn) {
    setPosition(left, 3);
    setPosition(right, 2);
    resetToEnGarde(left, right);
    EXPECT_EQ(left.position, 15);
    EXPECT_EQ(right.position, 25);

    setPosition(left, 40);
    setPosition(right, -1);
    resetToEnGarde(right, left);
    EXPECT_EQ(left.position, 15);
    EXPECT_EQ(right.position, 25);
}

TEST_F(StripRules, EnGardeWithoutAPlayerOneChangesNothingSilently) {
    Fencer first{annName, 7, 0, RIGHT_PLAYER};
    Fencer second{bobName, 9, 0, 3};
    EXPECT_EQ(captureStdout([&] { resetToEnGarde(first, second); }), "");
    EXPECT_EQ(first.position, 7);
    EXPECT_EQ(second.position, 9);
}

TEST_F(StripRules, SeparationSendsEachFencerFourCellsHomeEvenOffTheStrip) {
    setPosition(left, 21);
    setPosition(right, 20);
    separateFencers(left, right);
    EXPECT_EQ(left.position, 17);
    EXPECT_EQ(right.position, 24);

    setPosition(left, 3);
    setPosition(right, 2);
    separateFencers(left, right);
    EXPECT_EQ(left.position, -1);
    EXPECT_EQ(right.position, 6);
    EXPECT_TRUE(leftIsOffStrip(left));

    setPosition(left, 38);
    setPosition(right, 37);
    separateFencers(left, right);
    EXPECT_EQ(left.position, 34);
    EXPECT_EQ(right.position, 41);
    EXPECT_TRUE(rightIsOffStrip(right));
}

TEST_F(StripRules, EachFencerIsOffOnlyPastItsOwnEndAndSharingACellIsNoCrossing) {
    setPosition(left, 41);
    setPosition(right, -1);
    EXPECT_FALSE(leftIsOffStrip(left));
    EXPECT_FALSE(rightIsOffStrip(right));
    setPosition(left, 0);
    setPosition(right, 40);
    EXPECT_FALSE(leftIsOffStrip(left));
    EXPECT_FALSE(rightIsOffStrip(right));

    setPosition(left, 20);
    setPosition(right, 20);
    EXPECT_FALSE(fencersHaveCrossed(left, right));
    setPosition(left, 21);
    EXPECT_TRUE(fencersHaveCrossed(left, right));
}

TEST_F(StripRules, GapIsRightCellMinusLeftCell) {
    bout.leftFencer = &left;
    bout.rightFencer = &right;
    setPosition(left, 15);
    setPosition(right, 25);
    EXPECT_EQ(gap(), 10);
    setPosition(left, 21);
    setPosition(right, 20);
    EXPECT_EQ(gap(), -1);
}

std::string congratulations(const std::string& name) {
    return "\n\n\tCongratulations, " + name + "!  You've Won the Bout!" +
           "\n\nGoodluck in your future matches, " + name + ".  Goodbye.\n\n";
}

class WinnerCheck : public StripRules {
  protected:
    void SetUp() override {
        StripRules::SetUp();
        bout.leftFencer = &left;
        bout.rightFencer = &right;
        bout.touchLimit = POOL_TOUCH_LIMIT;
    }
};

TEST_F(WinnerCheck, LeftFencerReachingTheLimitIsCongratulatedByName) {
    left.touches = 5;
    right.touches = 4;
    EXPECT_EQ(captureStdout(checkForWinner),
              "\n\n\tCongratulations, Ann!  You've Won the Bout!"
              "\n\nGoodluck in your future matches, Ann.  Goodbye.\n\n");
    EXPECT_EQ(bout.leftWon, 1);
    EXPECT_EQ(bout.rightWon, 0);
}

TEST_F(WinnerCheck, RightFencerReachingTheLimitIsCongratulatedByName) {
    left.touches = 4;
    right.touches = 5;
    EXPECT_EQ(captureStdout(checkForWinner), congratulations("Bob"));
    EXPECT_EQ(bout.leftWon, 0);
    EXPECT_EQ(bout.rightWon, 1);
}

TEST_F(WinnerCheck, OnlyExactlyTheLimitWins) {
    left.touches = 6;
    right.touches = 4;
    EXPECT_EQ(captureStdout(checkForWinner), "");
    EXPECT_EQ(bout.leftWon, 0);
    EXPECT_EQ(bout.rightWon, 0);

    bout.touchLimit = DIRECT_ELIMINATION_TOUCH_LIMIT;
    left.touches = 5;
    right.touches = 14;
    EXPECT_EQ(captureStdout(checkForWinner), "");
    right.touches = 15;
    EXPECT_EQ(captureStdout(checkForWinner), congratulations("Bob"));
    EXPECT_EQ(bout.leftWon, 0);
    EXPECT_EQ(bout.rightWon, 1);
}

TEST_F(WinnerCheck, BothSidesAreTestedLeftFirst) {
    left.touches = 5;
    right.touches = 5;
    EXPECT_EQ(captureStdout(checkForWinner), congratulations("Ann") + congratulations("Bob"));
    EXPECT_EQ(bout.leftWon, 1);
    EXPECT_EQ(bout.rightWon, 1);
}

TEST_F(WinnerCheck, EveryCheckCongratulatesAgainAndAWinIsNeverTakenBack) {
    left.touches = 5;
    EXPECT_EQ(captureStdout(checkForWinner), congratulations("Ann"));
    EXPECT_EQ(captureStdout(checkForWinner), congratulations("Ann"));
    EXPECT_EQ(bout.leftWon, 1);

    left.touches = 6;
    EXPECT_EQ(captureStdout(checkForWinner), "");
    EXPECT_EQ(bout.leftWon, 1);
    EXPECT_EQ(bout.rightWon, 0);
}

} // namespace
