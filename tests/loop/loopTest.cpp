// The game's loop on a clock the test moves: rows' turns in order, settled while the bout
// shows a change, sleeps to the earliest due time, readers called for what is readable; and
// the console as a row that hands on whole lines.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "loop.h"

namespace {

Milliseconds testClock = 0;
Milliseconds readTestClock() {
    return testClock;
}

char ann[] = "Ann";
char bob[] = "Bob";

class Loop : public ::testing::Test {
  protected:
    Fencer left{ann, LEFT_EN_GARDE_CELL, 0, LEFT_PLAYER};
    Fencer right{bob, RIGHT_EN_GARDE_CELL, 0, RIGHT_PLAYER};
    std::vector<std::string> events;
    std::vector<Milliseconds> waits; // the times the loop slept until

    void SetUp() override {
        left = Fencer{ann, LEFT_EN_GARDE_CELL, 0, LEFT_PLAYER};
        right = Fencer{bob, RIGHT_EN_GARDE_CELL, 0, RIGHT_PLAYER};
        bout = BoutState{};
        bout.leftFencer = &left;
        bout.rightFencer = &right;
        controlHooks.nowMilliseconds = readTestClock;
        testClock = 1000;
    }

    // Sleeping moves the clock to the time asked; the descriptors listed are readable then.
    LoopClock clockWithReadable(std::vector<int> readableDescriptors) {
        return {[this, readableDescriptors](std::span<const int> descriptors, Milliseconds until,
                                            std::span<bool> readable) {
                    waits.push_back(until);
                    for (std::size_t row = 0; row < descriptors.size(); ++row) {
                        for (int ready : readableDescriptors) {
                            readable[row] = readable[row] || descriptors[row] == ready;
                        }
                    }
                    if (until != NOTHING_DUE) {
                        testClock = until;
                    }
                },
                {}};
    }
};

TEST_F(Loop, TurnsComeInRowOrderAgainWhileTheBoutChangesAndTheLoopSleepsToTheEarliestDue) {
    int stepsLeft = 2; // the first row moves the left fencer on two turns running
    LoopSource mover;
    mover.turn = [&] {
        events.push_back("mover at " + std::to_string(testClock));
        if (stepsLeft > 0) {
            --stepsLeft;
            ++left.position;
        }
    };
    mover.dueAt = [] { return testClock < 1300 ? Milliseconds{1300} : NOTHING_DUE; };
    LoopSource timer;
    timer.dueAt = [] { return testClock < 1250 ? Milliseconds{1250} : Milliseconds{5000}; };
    timer.turn = [&] { events.push_back("timer at " + std::to_string(testClock)); };
    const LoopSource rows[] = {mover, timer};
    int rounds = 0;
    runLoop(rows, clockWithReadable({}), [&] { return ++rounds == 3; });
    EXPECT_EQ(events, (std::vector<std::string>{"mover at 1000", "timer at 1000", "mover at 1000",
                                                "timer at 1000", "mover at 1000", "timer at 1000",
                                                "mover at 1250", "timer at 1250", "mover at 1300",
                                                "timer at 1300"}));
    EXPECT_EQ(waits, (std::vector<Milliseconds>{1250, 1300}));
    EXPECT_EQ(left.position, LEFT_EN_GARDE_CELL + 2);
}

TEST_F(Loop, OnlyReadableRowsAreReadAndTheWaitKnowsEveryDescriptor) {
    std::vector<std::vector<int>> asked;
    LoopSource quiet;
    quiet.descriptor = [] { return 7; };
    quiet.onReadable = [&] { events.push_back("quiet read"); };
    LoopSource network;
    network.descriptor = [] { return 9; };
    network.onReadable = [&] { events.push_back("network read"); };
    LoopSource none;
    none.onReadable = [&] { events.push_back("none read"); };
    const LoopSource rows[] = {quiet, network, none};
    int rounds = 0;
    LoopClock clock = clockWithReadable({9, NO_DESCRIPTOR});
    clock.wait = [&, wait = clock.wait](std::span<const int> descriptors, Milliseconds until,
                                        std::span<bool> readable) {
        asked.emplace_back(descriptors.begin(), descriptors.end());
        wait(descriptors, until, readable);
    };
    runLoop(rows, clock, [&] { return ++rounds == 2; });
    EXPECT_EQ(events, std::vector<std::string>{"network read"});
    EXPECT_EQ(asked, (std::vector<std::vector<int>>{{7, 9, NO_DESCRIPTOR}}));
    EXPECT_EQ(waits, std::vector<Milliseconds>{NOTHING_DUE});
}

TEST_F(Loop, WhatTheBoutShowsIsItsFieldsNotItsBytes) {
    const ShownBout before = shownBout(bout);
    bout.actionTime = 99; // times show only through what they change
    bout.leftLungeStart = 3;
    EXPECT_EQ(shownBout(bout), before);
    char sameName[] = "Ann";
    left.name = sameName; // another copy of the same name
    EXPECT_EQ(shownBout(bout), before);
    const std::vector<void (*)(BoutState&)> changes = {
        [](BoutState& state) { state.leftFencer->position += 1; },
        [](BoutState& state) { state.rightFencer->touches += 1; },
        [](BoutState& state) { state.touchLimit = 15; },
        [](BoutState& state) { state.rightParryHold = 1; },
        [](BoutState& state) { state.fenceBanner = 1; },
        [](BoutState& state) { state.rightWon = 1; },
        [](BoutState& state) { state.leftTouchHalt = 1; },
        [](BoutState& state) { state.crossedHalt = 1; },
        [](BoutState& state) { state.rightSpriteTexture = 4; },
        [](BoutState& state) { state.leftQuad.vertex[3].y += 1; },
        [](BoutState& state) { state.leftQuad.vertex[0].y += 1; },
        [](BoutState& state) { state.leftFencer->name = bob; },
        [](BoutState& state) { state.rightFencer->name = ann; },
        [](BoutState& state) { state.rightQuad.vertex[0].x += 1; },
    };
    for (std::size_t change = 0; change < changes.size(); ++change) {
        SetUp();
        changes[change](bout);
        EXPECT_NE(shownBout(bout), before) << "change " << change;
    }
    bout.leftFencer = nullptr;
    EXPECT_EQ(shownBout(bout).leftName, "");
    bout.rightFencer = nullptr;
    EXPECT_EQ(shownBout(bout).rightTouches, 0);
}

// The console as the club night reads it: whole lines, the listening ending after a go-ahead
// leaves the rest for the next time, a last line without its break, then the end of input.
TEST_F(Loop, TheConsoleHandsOnWholeLinesOnlyWhileListeningThenItsEnd) {
    std::FILE* input = std::tmpfile();
    ASSERT_NE(input, nullptr);
    std::fputs("\n  go on\nAnn\nlast", input);
    std::rewind(input);
    ConsoleLines console;
    console.input = input;
    std::vector<std::string> lines;
    int ends = 0;
    console.onLine = [&](const std::string& line) {
        lines.push_back(line);
        console.listening = line.empty(); // an empty line goes on waiting
    };
    console.onEnd = [&] {
        ++ends;
        console.listening = false;
    };
    const LoopSource source = consoleSource(console);
    EXPECT_EQ(source.descriptor(), NO_DESCRIPTOR) << "not listening";
    EXPECT_EQ(source.dueAt(), NOTHING_DUE);
    console.listening = true;
    EXPECT_EQ(source.descriptor(), fileno(input));
    source.onReadable();
    EXPECT_EQ(lines, (std::vector<std::string>{"", "  go on"}));
    source.turn();
    EXPECT_EQ(lines.size(), 2u) << "read only while listening";
    console.listening = true;
    EXPECT_EQ(source.dueAt(), testClock) << "the rest waits in stdio, where no wait sees it";
    source.turn();
    EXPECT_EQ(lines.back(), "Ann");
    console.listening = true;
    source.turn();
    EXPECT_EQ(lines.back(), "Ann") << "a line is handed on only once it is whole";
    source.onReadable(); // the end of input is readable
    EXPECT_EQ(lines.back(), "last");
    EXPECT_EQ(ends, 0) << "the line handler stopped listening first";
    console.listening = true;
    EXPECT_EQ(source.dueAt(), testClock);
    EXPECT_EQ(source.descriptor(), NO_DESCRIPTOR) << "nothing more to wait for";
    source.turn();
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(lines.size(), 4u);
    std::fclose(input);
}

} // namespace
