#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "captureStdout.h"
#include "console.h"

namespace {

// The picture around the strip row never changes: top edge and two rows above it, two rows
// and the bottom edge below it.
constexpr const char* PICTURE_ABOVE = "\n _________________________________________ \n"
                                      "|\\    /|         |       |         |\\    /|\n"
                                      "| \\  / |         |       |         | \\  / |\n";
constexpr const char* PICTURE_BELOW = "| /  \\ |         |       |         | /  \\ |\n"
                                      "|/    \\|         |       |         |/    \\|\n"
                                      " ----------------------------------------- \n";

std::string scoreboardOf(const Fencer& left, const Fencer& right, std::int32_t touchLimit) {
    return captureStdout([&] { printScoreboard(left, right, touchLimit); });
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        lines.push_back(line);
    }
    return lines;
}

class Scoreboard : public ::testing::Test {
  protected:
    char annName[4] = "Ann";
    char bobName[4] = "Bob";
    Fencer left{annName, 15, 0, LEFT_PLAYER};
    Fencer right{bobName, 25, 0, RIGHT_PLAYER};
};

TEST_F(Scoreboard, StartOfAPoolBoutByteForByte) {
    EXPECT_EQ(scoreboardOf(left, right, 5), "\nThis is a 5 touch bout"
                                            "\nScore is: Ann 0 VS. 0 Bob"
                                            "\n _________________________________________ \n"
                                            "|\\    /|         |       |         |\\    /|\n"
                                            "| \\  / |         |       |         | \\  / |\n"
                                            "|               @         @               |\n"
                                            "| /  \\ |         |       |         | /  \\ |\n"
                                            "|/    \\|         |       |         |/    \\|\n"
                                            " ----------------------------------------- \n");
}

TEST_F(Scoreboard, EveryPictureLineIsFortyThreeColumnsWide) {
    const std::vector<std::string> lines = linesOf(scoreboardOf(left, right, 15));
    ASSERT_EQ(lines.size(), 10u); // empty first line, limit, score, seven picture lines
    EXPECT_EQ(lines[0], "");
    for (std::size_t i = 3; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].size(), 43u) << "line " << i << ": " << lines[i];
    }
}

TEST_F(Scoreboard, AFencerOffEitherEndShowsNoMarkButTheStripKeepsItsCells) {
    struct OffStrip {
        std::int32_t leftCell, rightCell;
        const char* stripRow;
    };
    const OffStrip cases[] = {
        {-1, 25, "|                         @               |\n"},
        {15, 41, "|               @                         |\n"},
        {-1, 41, "|                                         |\n"},
        {0, 40, "|@                                       @|\n"},
    };
    for (const OffStrip& c : cases) {
        SCOPED_TRACE(std::to_string(c.leftCell) + " and " + std::to_string(c.rightCell));
        left.position = c.leftCell;
        right.position = c.rightCell;
        EXPECT_EQ(scoreboardOf(left, right, 5), std::string("\nThis is a 5 touch bout"
                                                            "\nScore is: Ann 0 VS. 0 Bob") +
                                                    PICTURE_ABOVE + c.stripRow + PICTURE_BELOW);
    }
}

TEST_F(Scoreboard, BothFencersOnOneCellShowOneMark) {
    left.position = 20;
    right.position = 20;
    EXPECT_EQ(scoreboardOf(left, right, 5),
              std::string("\nThis is a 5 touch bout"
                          "\nScore is: Ann 0 VS. 0 Bob") +
                  PICTURE_ABOVE + "|                    @                    |\n" + PICTURE_BELOW);
}

TEST_F(Scoreboard, TwoDigitScoresWidenOnlyTheScoreLine) {
    left.touches = 12;
    right.touches = 10;
    left.position = 14;
    right.position = 17;
    EXPECT_EQ(scoreboardOf(left, right, 15),
              std::string("\nThis is a 15 touch bout"
                          "\nScore is: Ann 12 VS. 10 Bob") +
                  PICTURE_ABOVE + "|              @  @                       |\n" + PICTURE_BELOW);
}

TEST_F(Scoreboard, NamesArePrintedWholeAndLiterallyLeftFirst) {
    std::string longName(999, 'L');
    char percentName[] = "100%s%d";
    Fencer longLeft{longName.data(), 15, 3, LEFT_PLAYER};
    Fencer oddRight{percentName, 25, 4, RIGHT_PLAYER};
    const std::vector<std::string> lines = linesOf(scoreboardOf(longLeft, oddRight, 5));
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[2], "Score is: " + longName + " 3 VS. 4 100%s%d");
}

} // namespace
