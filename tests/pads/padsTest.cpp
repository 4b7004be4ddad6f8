// Virtual pads fence a bout row by row; each row must print exactly what its keys print when
// pressed on the same bout, from the pads taking sides in order to a press during a halt.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "captureStdout.h"
#include "pads.h"
#include "virtualPad.h"

namespace {

char ann[] = "Ann";
char bob[] = "Bob";
Fencer left{}, right{};

void startBout() {
    left = Fencer{ann, 20, 0, LEFT_PLAYER};
    right = Fencer{bob, 22, 0, RIGHT_PLAYER};
    bout = BoutState{};
    bout.leftFencer = &left;
    bout.rightFencer = &right;
    bout.touchLimit = POOL_TOUCH_LIMIT;
    controlHooks = {[] { return WholeSeconds{1000}; },    [] {},           [](Pose) {}, [](int) {},
                    [] { return Milliseconds{1000000}; }, [](BoutSound) {}};
}

// A row works one of three pads: a button of the standard layout up (0) or down (1; pressing
// one held down does nothing), the left stick's x to the value, or the pad plugged in or out.
// Ann starts on cell 20, Bob on 22: the last stick push crosses them, and the last row presses
// during the halt. The third pad waits without a side until the first is unplugged.
constexpr int PLUG = -1, UNPLUG = -2, STICK = -3;
constexpr int A = SDL_CONTROLLER_BUTTON_A, B = SDL_CONTROLLER_BUTTON_B, X = SDL_CONTROLLER_BUTTON_X,
              RIGHT = SDL_CONTROLLER_BUTTON_DPAD_RIGHT, LEFT = SDL_CONTROLLER_BUTTON_DPAD_LEFT;
struct PadRow {
    int pad, control, value;
    const char* keys;
};
const std::vector<PadRow> ROWS = {
    {0, PLUG, 0, ""},       {1, PLUG, 0, ""},        {0, A, 1, "f"},
    {0, A, 1, ""},          {1, B, 1, "l"},          {0, X, 1, "w"},
    {0, LEFT, 1, "a"},      {0, RIGHT, 1, "d"},      {1, RIGHT, 1, ";"},
    {1, LEFT, 1, "k"},      {0, STICK, -15000, ""},  {0, STICK, -20000, "a"},
    {0, STICK, -32768, ""}, {0, STICK, -10000, ""},  {0, STICK, -20000, ""},
    {0, STICK, 0, ""},      {0, STICK, -20000, "a"}, {0, STICK, 20000, "d"},
    {1, STICK, 20000, ";"}, {1, STICK, 0, ""},       {1, STICK, -20000, "k"},
    {2, PLUG, 0, ""},       {2, B, 1, ""},           {0, UNPLUG, 0, ""},
    {1, A, 1, "j"},         {2, X, 1, "w"},          {2, STICK, 20000, "d"},
    {2, STICK, 0, ""},      {2, STICK, 20000, "d"},  {2, STICK, 0, ""},
    {2, STICK, 20000, "d"}, {2, STICK, 0, ""},       {2, STICK, 20000, "d"},
    {2, A, 1, "f"},
};

TEST(Pads, FenceExactlyAsTheirKeys) {
    ASSERT_TRUE(openPads({}));
    startBout();
    SDL_Joystick* pads[3] = {};
    std::int64_t lastLook = 0;
    pollPads(lastLook); // the first look comes at once
    std::vector<std::string> padTranscript;
    for (const PadRow& row : ROWS) {
        if (row.control == PLUG) {
            pads[row.pad] = plugInVirtualPad();
        } else if (row.control == UNPLUG) {
            unplugVirtualPad(pads[row.pad]);
        } else if (row.control == STICK) {
            SDL_JoystickSetVirtualAxis(pads[row.pad], SDL_CONTROLLER_AXIS_LEFTX, row.value);
        } else {
            SDL_JoystickSetVirtualButton(pads[row.pad], row.control, row.value);
        }
        lastLook += PAD_POLL_INTERVAL_MILLISECONDS;
        EXPECT_EQ(captureStdout([&] { pollPads(lastLook - 1); }), "") << "looked too soon";
        padTranscript.push_back(captureStdout([&] { pollPads(lastLook); }));
    }
    EXPECT_EQ(bout.halted, 1);
    EXPECT_EQ(padTranscript.back(), "") << "a parry during the halt";
    unplugVirtualPad(pads[1]);
    unplugVirtualPad(pads[2]);
    closePads();

    startBout();
    for (std::size_t index = 0; index < ROWS.size(); ++index) {
        const std::string typed = captureStdout([&] {
            for (const char* key = ROWS[index].keys; *key != '\0'; ++key) {
                onKeyPress(static_cast<unsigned char>(*key), 0, 0);
            }
        });
        EXPECT_EQ(padTranscript[index], typed) << "row " << index;
    }
}

// With the computer on the right, pads wait for the left side alone.
TEST(Pads, NeverTakeTheComputersSide) {
    ASSERT_TRUE(openPads({.left = true, .right = false}));
    startBout();
    SDL_Joystick* first = plugInVirtualPad();
    SDL_Joystick* second = plugInVirtualPad();
    pollPads(0);
    SDL_JoystickSetVirtualButton(second, A, 1);
    EXPECT_EQ(captureStdout([] { pollPads(PAD_POLL_INTERVAL_MILLISECONDS); }), "");
    unplugVirtualPad(first);
    pollPads(2 * PAD_POLL_INTERVAL_MILLISECONDS);
    SDL_JoystickSetVirtualButton(second, B, 1);
    EXPECT_EQ(captureStdout([] { pollPads(3 * PAD_POLL_INTERVAL_MILLISECONDS); }),
              "\nAnn, no one is attacking for you to parry.\n");
    unplugVirtualPad(second);
    closePads();
}

} // namespace
