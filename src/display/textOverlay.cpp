#include <GL/freeglut.h>
#include <GL/gl.h>
#include <string_view>

#include "console.h"
#include "display.h"

namespace {

constexpr std::string_view HALT_TEXT = "--**HALT!**--";
constexpr std::string_view CENTER_TEXT = "Center is here";
constexpr std::string_view TOUCH_LEFT_TEXT = "Touch Left!";
constexpr std::string_view TOUCH_RIGHT_TEXT = "Touch Right!";
constexpr std::string_view OFF_STRIP_TEXT = "Off The Strip!";
constexpr std::string_view SCORES_TEXT = " Scores!";
constexpr std::string_view FENCE_TEXT = "--**FENCE!**--";
constexpr std::string_view CONGRATULATIONS_TEXT = "Congratulations, ";
constexpr std::string_view WON_TEXT = "!  You've Won The Bout!";
constexpr std::string_view FAREWELL_TEXT = "Goodluck in Your Future Bouts and Goodbye!";

constexpr SceneColour RED = {1, 0, 0};
constexpr SceneColour GREEN = {0, 1, 0};

constexpr SceneVertex BANNER_FIRST_LINE = {211, 89};
constexpr SceneVertex BANNER_SECOND_LINE = {211, 81};
constexpr SceneVertex TOUCH_LEFT_AT = {81, 57};
constexpr SceneVertex TOUCH_RIGHT_AT = {361, 57};
constexpr SceneVertex WIN_FIRST_LINE = {150, 89};
constexpr SceneVertex WIN_SECOND_LINE = {150, 81};
constexpr SceneVertex RIGHT_SCORE_AT = {269, 70};
constexpr SceneVertex LEFT_SCORE_AT = {219, 70};
constexpr SceneVertex LEFT_NAME_AT = {83, 45};
constexpr SceneVertex RIGHT_NAME_AT = {363, 45};

constexpr std::int32_t HIGHEST_SHOWN_SCORE = 15;

constexpr char NOT_IN_FONT = '?';

bool isInFont(char32_t codePoint) {
    return (codePoint >= 0x20 && codePoint <= 0x7E) || (codePoint >= 0xA0 && codePoint <= 0xFF);
}

// The colour is taken when the raster position is set, so it comes first.
void placeText(SceneColour colour, SceneVertex at) {
    glColor3f(colour.red, colour.green, colour.blue);
    glRasterPos2f(at.x, at.y);
}

void writeText(std::string_view text) {
    for (const char character : text) {
        glutBitmapCharacter(GLUT_BITMAP_TIMES_ROMAN_24, static_cast<unsigned char>(character));
    }
}

void writePlacedTexts(const std::vector<PlacedText>& texts) {
    for (const PlacedText& line : texts) {
        placeText(line.colour, line.at);
        writeText(line.text);
    }
}

} // namespace

Banner chooseBanner(const BoutState& state) {
    if (isSet(state.leftTouch) || isSet(state.rightTouch) || isSet(state.leftOffStrip) ||
        isSet(state.rightOffStrip) || isSet(state.crossedHalt)) {
        return Banner::halt;
    }
    if (isSet(state.leftWon) || isSet(state.rightWon)) {
        return Banner::win;
    }
    if (isSet(state.fenceBanner)) {
        return Banner::fence;
    }
    return Banner::none;
}

std::vector<PlacedText> haltBannerTexts(const BoutState& state) {
    std::vector<PlacedText> lines = {{BLACK, BANNER_FIRST_LINE, std::string(HALT_TEXT)}};
    if (isSet(state.crossedHalt)) {
        lines.push_back({BLACK, BANNER_SECOND_LINE, std::string(CENTER_TEXT)});
        return lines;
    }
    // Leaving the strip gives the touch to the opponent.
    if (isSet(state.rightOffStrip) || isSet(state.leftTouch)) {
        lines.push_back({RED, TOUCH_LEFT_AT, std::string(TOUCH_LEFT_TEXT)});
    } else {
        lines.push_back({GREEN, TOUCH_RIGHT_AT, std::string(TOUCH_RIGHT_TEXT)});
    }
    if (isSet(state.leftOffStrip) || isSet(state.rightOffStrip)) {
        lines.push_back({BLACK, BANNER_SECOND_LINE, std::string(OFF_STRIP_TEXT)});
    }
    if (isSet(state.leftTouch)) {
        lines.push_back(
            {BLACK, BANNER_SECOND_LINE, nameInFont(state.leftFencer->name) += SCORES_TEXT});
    }
    if (isSet(state.rightTouch)) {
        lines.push_back(
            {BLACK, BANNER_SECOND_LINE, nameInFont(state.rightFencer->name) += SCORES_TEXT});
    }
    return lines;
}

std::vector<PlacedText> winBannerTexts(const BoutState& state) {
    const Fencer& winner = isSet(state.leftWon) ? *state.leftFencer : *state.rightFencer;
    std::string congratulations(CONGRATULATIONS_TEXT);
    congratulations += nameInFont(winner.name);
    congratulations += WON_TEXT;
    return {{BLACK, WIN_FIRST_LINE, std::move(congratulations)},
            {BLACK, WIN_SECOND_LINE, std::string(FAREWELL_TEXT)}};
}

std::string nameInFont(std::string_view name) {
    std::string drawn;
    for (std::string_view rest = name; !rest.empty();) {
        const Utf8Character character = firstUtf8Character(rest);
        if (character.length == 0) {
            return std::string(name);
        }
        drawn +=
            isInFont(character.codePoint) ? static_cast<char>(character.codePoint) : NOT_IN_FONT;
        rest.remove_prefix(character.length);
    }
    return drawn;
}

std::string scoreText(std::int32_t touches) {
    if (touches < 0 || touches > HIGHEST_SHOWN_SCORE) {
        return {};
    }
    return {char('0' + touches / 10), char('0' + touches % 10)};
}

void drawScore(const Fencer& fencer) {
    writeText(scoreText(fencer.touches));
}

void drawName(const Fencer& fencer) {
    writeText(nameInFont(fencer.name));
}

void drawHaltBanner() {
    writePlacedTexts(haltBannerTexts(bout));
}

void drawFenceBanner() {
    placeText(BLACK, BANNER_FIRST_LINE);
    writeText(FENCE_TEXT);
}

void drawWinBanner() {
    writePlacedTexts(winBannerTexts(bout));
}

void drawOverlay() {
    switch (chooseBanner(bout)) {
    case Banner::halt:
        drawHaltBanner();
        break;
    case Banner::win:
        drawWinBanner();
        break;
    case Banner::fence:
        drawFenceBanner();
        break;
    case Banner::none:
        break;
    }
    // Before a club night's first bout is on the strip there is nobody to name yet.
    if (bout.leftFencer == nullptr || bout.rightFencer == nullptr) {
        return;
    }
    placeText(BLUE, RIGHT_SCORE_AT);
    drawScore(*bout.rightFencer);
    placeText(BLUE, LEFT_SCORE_AT);
    drawScore(*bout.leftFencer);
    placeText(BLUE, LEFT_NAME_AT);
    drawName(*bout.leftFencer);
    placeText(BLUE, RIGHT_NAME_AT);
    drawName(*bout.rightFencer);
}
