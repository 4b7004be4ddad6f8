#include <gtest/gtest.h>

#include <ostream>

#include "display.h"

bool operator==(const PlacedText& a, const PlacedText& b) {
    return a.colour.red == b.colour.red && a.colour.green == b.colour.green &&
           a.colour.blue == b.colour.blue && a.at.x == b.at.x && a.at.y == b.at.y &&
           a.text == b.text;
}

void PrintTo(const PlacedText& line, std::ostream* out) {
    *out << "(" << line.colour.red << "," << line.colour.green << "," << line.colour.blue
         << ") at (" << line.at.x << "," << line.at.y << ") \"" << line.text << "\"";
}

namespace {

constexpr SceneColour BLACK = {0, 0, 0};
constexpr SceneColour RED = {1, 0, 0};
constexpr SceneColour GREEN = {0, 1, 0};

const PlacedText HALT_LINE = {BLACK, {211, 89}, "--**HALT!**--"};
const PlacedText TOUCH_LEFT = {RED, {81, 57}, "Touch Left!"};
const PlacedText TOUCH_RIGHT = {GREEN, {361, 57}, "Touch Right!"};
const PlacedText OFF_STRIP = {BLACK, {211, 81}, "Off The Strip!"};

TEST(Scores, TwoDigitsFromNoneToFifteenAndNothingBeyond) {
    const std::pair<std::int32_t, const char*> cases[] = {
        {0, "00"}, {7, "07"}, {9, "09"}, {10, "10"}, {15, "15"}, {-1, ""}, {16, ""}, {99, ""},
    };
    for (const auto& [touches, text] : cases) {
        EXPECT_EQ(scoreText(touches), text) << touches;
    }
}

TEST(Names, Utf8DrawnAsItsCharactersAnythingElseByteForByte) {
    // ASCII and Latin-1 letters up to the font's last glyph; control characters; beyond the font.
    const std::pair<std::string, std::string> utf8[] = {
        {"Ann Jos\xC3\xA9 Zo\xC3\xAB ~\xC2\xA0\xC3\xBF", "Ann Jos\xE9 Zo\xEB ~\xA0\xFF"},
        {"\x01\x7F\xC2\x80\xC2\x9F", "????"},
        {"!\xC4\x80\xE2\x82\xAC\xF0\x9F\xA4\xBA", "!???"}};
    for (const auto& [typed, drawn] : utf8) {
        EXPECT_EQ(nameInFont(typed), drawn) << typed;
    }
    // Latin-1 typed, overlong, a surrogate, beyond U+10FFFF, cut short, a stray follower.
    for (const std::string typed :
         {"Jos\xE9", "\xC3\xA9\xE9", "\xC0\xA9", "\xE0\x80\xA9", "\xED\xA0\x80", "\xF4\x90\x80\x80",
          "Jos\xC3", "\xE2\x82", "\xA9"}) {
        EXPECT_EQ(nameInFont(typed), typed);
    }
}

TEST(Banners, FirstMatchingReasonChoosesTheOneBanner) {
    struct Case {
        const char* what;
        void (*set)(BoutState&);
        Banner banner;
    };
    const Case cases[] = {
        {"nothing", [](BoutState&) {}, Banner::none},
        {"left touch", [](BoutState& s) { s.leftTouch = 1; }, Banner::halt},
        {"right touch", [](BoutState& s) { s.rightTouch = 1; }, Banner::halt},
        {"left off the strip", [](BoutState& s) { s.leftOffStrip = 1; }, Banner::halt},
        {"right off the strip", [](BoutState& s) { s.rightOffStrip = 1; }, Banner::halt},
        {"crossing", [](BoutState& s) { s.crossedHalt = 1; }, Banner::halt},
        {"halted without a reason", [](BoutState& s) { s.halted = 1; }, Banner::none},
        {"the winning halt still runs",
         [](BoutState& s) {
             s.leftTouch = 1;
             s.leftWon = 1;
         },
         Banner::halt},
        {"won with the fence banner up",
         [](BoutState& s) {
             s.leftWon = 1;
             s.fenceBanner = 1;
         },
         Banner::win},
        {"right won", [](BoutState& s) { s.rightWon = 1; }, Banner::win},
        {"fence banner", [](BoutState& s) { s.fenceBanner = 1; }, Banner::fence},
        {"a touch flag of 2 is not set",
         [](BoutState& s) {
             s.leftTouch = 2;
             s.fenceBanner = 1;
         },
         Banner::fence},
        {"a won flag of 2 is not set", [](BoutState& s) { s.rightWon = 2; }, Banner::none},
    };
    for (const Case& c : cases) {
        BoutState state{};
        c.set(state);
        EXPECT_EQ(chooseBanner(state), c.banner) << c.what;
    }
}

class BannerLines : public testing::Test {
  protected:
    char leftName[4] = "Ann";
    char rightName[4] = "Bob";
    Fencer left{leftName, 15, 0, 1};
    Fencer right{rightName, 25, 0, 2};
    BoutState state{};

    void SetUp() override {
        state.leftFencer = &left;
        state.rightFencer = &right;
    }
};

TEST_F(BannerLines, CrossingSaysOnlyWhereTheCenterIs) {
    state.crossedHalt = 1;
    state.leftTouch = 1;
    state.rightOffStrip = 1;
    const std::vector<PlacedText> expected = {HALT_LINE, {BLACK, {211, 81}, "Center is here"}};
    EXPECT_EQ(haltBannerTexts(state), expected);
}

TEST_F(BannerLines, LeavingTheStripGivesTheTouchToTheOpponent) {
    state.leftOffStrip = 1;
    EXPECT_EQ(haltBannerTexts(state), (std::vector{HALT_LINE, TOUCH_RIGHT, OFF_STRIP}));
    state.leftOffStrip = 0;
    state.rightOffStrip = 1;
    EXPECT_EQ(haltBannerTexts(state), (std::vector{HALT_LINE, TOUCH_LEFT, OFF_STRIP}));
}

TEST_F(BannerLines, TouchNamesTheScorer) {
    state.rightTouch = 1;
    EXPECT_EQ(haltBannerTexts(state),
              (std::vector<PlacedText>{HALT_LINE, TOUCH_RIGHT, {BLACK, {211, 81}, "Bob Scores!"}}));
    state.rightTouch = 0;
    state.leftTouch = 1;
    EXPECT_EQ(haltBannerTexts(state),
              (std::vector<PlacedText>{HALT_LINE, TOUCH_LEFT, {BLACK, {211, 81}, "Ann Scores!"}}));
}

TEST_F(BannerLines, WinBannerNamesTheWinner) {
    const PlacedText farewell = {BLACK, {150, 81}, "Goodluck in Your Future Bouts and Goodbye!"};
    state.leftWon = 1;
    EXPECT_EQ(winBannerTexts(state),
              (std::vector<PlacedText>{
                  {BLACK, {150, 89}, "Congratulations, Ann!  You've Won The Bout!"}, farewell}));
    state.leftWon = 0;
    state.rightWon = 1;
    left.name[0] = '\0';
    EXPECT_EQ(winBannerTexts(state),
              (std::vector<PlacedText>{
                  {BLACK, {150, 89}, "Congratulations, Bob!  You've Won The Bout!"}, farewell}));
    right.name[0] = '\0';
    EXPECT_EQ(winBannerTexts(state)[0].text, "Congratulations, !  You've Won The Bout!");
}

} // namespace
