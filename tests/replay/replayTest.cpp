// Recordings: what the reader refuses and why, bouts recorded as they are fenced on a clock the
// test sets and replayed to the same console text byte for byte, and the replay's pace.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "captureStdout.h"
#include "console.h"
#include "privateFolder.h"
#include "replay.h"

namespace {

const std::string HEADER = "lamevo-recording 1\nleft Ann\nright Bob\ntouches 5\n";

struct Refusal {
    std::string text;
    std::string reason;
};

TEST(RecordingReader, RefusesWhatIsNotAWholeRecordingInOneSentence) {
    const std::string longName(1200, 'x');
    const Refusal table[] = {
        {"", "is not a recording of The Lamevo"},
        {"GIF89a\x01\x02", "is not a recording of The Lamevo"},
        {"lamevo-recording\n", "is not a recording of The Lamevo"},
        {"lamevo-recording 1 2\n", "is not a recording of The Lamevo"},
        {"lamevo-recording 2\nleft Ann\n",
         "is a recording of version 2, newer than this game reads (version 1 and earlier)"},
        {"lamevo-recording 0\n", "is damaged: line 1 gives no version"},
        {"lamevo-recording -1\n", "is damaged: line 1 gives no version"},
        {"lamevo-recording 99999999999\n", "is damaged: line 1 gives no version"},
        {"lamevo-recording 1", "is damaged: it ends before both names and the touch limit"},
        {"lamevo-recording 1\nleft Ann\nright Bob\n",
         "is damaged: it ends before both names and the touch limit"},
        {"lamevo-recording 1\nleft Ann\nleft Bob\n",
         "is damaged: line 3 has a bad or second left name"},
        {"lamevo-recording 1\nright A\tB\n", "is damaged: line 2 has a bad or second right name"},
        {"lamevo-recording 1\nleft " + longName + "\n", "is damaged: line 2 is too long"},
        {"lamevo-recording 1\ntouches 7\n",
         "is damaged: line 2 has a bad or second touch limit (5 or 15)"},
        {"lamevo-recording 1\nleft Ann\n100 left lunge\n",
         "is damaged: line 3 has a press before both names and the touch limit"},
        {HEADER + "100 left lunge\n50 right parry\n",
         "is damaged: line 6 has a press earlier than the one before"},
        {HEADER + "100 left feint\n",
         "is damaged: line 5 has a press of an unknown side or command"},
        {HEADER + "100 middle lunge\n",
         "is damaged: line 5 has a press of an unknown side or command"},
        {HEADER + "100 left lunge now\n",
         "is damaged: line 5 has a press without time, side and command"},
        {HEADER + "86400001 left lunge\n",
         "is damaged: line 5 has a press without time, side and command"},
        {HEADER + "-5 left lunge\n", "is damaged: line 5 has an unknown line '-5'"},
        {HEADER + "100  left lunge\n", "is damaged: line 5 has an empty word or line"},
        {HEADER + "\n", "is damaged: line 5 has an empty word or line"},
        {HEADER + "100 left lunge\ncomputer right hard 3\n",
         "is damaged: line 6 has 'computer' among the presses"},
        {HEADER + "computer right wily 3\n",
         "is damaged: line 5 has a bad computer side, level or seed"},
        {HEADER + "computer right hard 4294967296\n",
         "is damaged: line 5 has a bad computer side, level or seed"},
        {HEADER + "computer right hard 3\ncomputer right easy 4\n",
         "is damaged: line 6 has a second computer on one side"},
        {HEADER + "end 100 4 2\n",
         "is damaged: line 5 has an end that is no win, or earlier than a press"},
        {HEADER + "end 100 5 5\n",
         "is damaged: line 5 has an end that is no win, or earlier than a press"},
        {HEADER + "200 left lunge\nend 100 5 2\n",
         "is damaged: line 6 has an end that is no win, or earlier than a press"},
        {HEADER + "end 100 5 2\n300 left lunge\n", "is damaged: line 6 has a line after the end"},
        {HEADER + "end 100 5\n", "is damaged: line 5 has an end without time and score"},
        {HEADER + "200 left lunge\nstop 100\n",
         "is damaged: line 6 has a stop without its time, or earlier than a press"},
        {HEADER + "stop\n",
         "is damaged: line 5 has a stop without its time, or earlier than a press"},
    };
    for (const Refusal& row : table) {
        Recording recording;
        EXPECT_EQ(parseRecording(row.text, recording), row.reason) << row.text.substr(0, 80);
    }
}

TEST(RecordingReader, TakesAWholeRecordingAndLeavesOutALineCutShortAsItWasWritten) {
    const std::string text = HEADER + "computer right hard 4294967295\n"
                                      "0 left advance\n1520 right lunge\r\n1520 left parry\n152";
    Recording recording;
    ASSERT_EQ(parseRecording(text, recording), "");
    EXPECT_EQ(recording.leftName, "Ann");
    EXPECT_EQ(recording.rightName, "Bob");
    EXPECT_EQ(recording.touchLimit, 5);
    ASSERT_EQ(recording.computers.size(), 1u);
    EXPECT_EQ(recording.computers[0].playerNumber, RIGHT_PLAYER);
    EXPECT_EQ(recording.computers[0].level, OpponentLevel::hard);
    EXPECT_EQ(recording.computers[0].seed, 4294967295u);
    ASSERT_EQ(recording.presses.size(), 3u);
    EXPECT_EQ(recording.presses[1].at, 1520);
    EXPECT_EQ(recording.presses[1].playerNumber, RIGHT_PLAYER);
    EXPECT_EQ(recording.presses[1].command, FencerCommand::lunge);
    EXPECT_EQ(recording.presses[2].command, FencerCommand::parry);
    EXPECT_FALSE(recording.won);

    ASSERT_EQ(parseRecording(HEADER + "86400000 left lunge\n", recording), ""); // a whole day
    EXPECT_EQ(recording.presses.back().at, LATEST_RECORDED_MILLISECOND);

    const std::string finished = HEADER + "clock simulated\n10 right retreat\nend 4000 2 5\n";
    ASSERT_EQ(parseRecording(finished, recording), "");
    EXPECT_TRUE(recording.simulatedClock);
    EXPECT_TRUE(recording.won);
    EXPECT_EQ(recording.wonAt, 4000);
    EXPECT_EQ(recording.rightTouches, 5);
    EXPECT_EQ(formatRecording(recording), finished);
}

TEST(RecordingReader, NamesTheFileInItsRefusal) {
    Recording recording;
    EXPECT_EQ(readRecording("/nonexistent/bout.txt", recording),
              "The Lamevo cannot open the recording /nonexistent/bout.txt: No such file or "
              "directory.");
    EXPECT_EQ(readRecording("/", recording), "The recording / is not a file the game can read.");
    EXPECT_EQ(startRecording("/nonexistent/bout.txt", {}),
              "The Lamevo cannot write the recording /nonexistent/bout.txt: No such file or "
              "directory.");
    EXPECT_EQ(startRecording("/dev/full", {}),
              "The Lamevo cannot write the recording /dev/full: No space left on device.");
    EXPECT_FALSE(recordingOpen());
}

// ---- A bout fenced as the game's loop fences it, on a clock the test sets ----

Milliseconds fakeMilliseconds = 0;
WholeSeconds fakeSeconds() {
    return fakeMilliseconds / 1000;
}
Milliseconds readFakeMilliseconds() {
    return fakeMilliseconds;
}

char ann[] = "Ann";
char bob[] = "Bob";

// Milliseconds a pose's picture takes to show, as a slow disk would make it.
Milliseconds pictureMilliseconds = 0;

// The idle step until it changes nothing, as the loop runs it after a key and at a turn.
void settle() {
    for (int turn = 0; turn < 8; ++turn) {
        onIdle();
    }
}

struct FencedBout {
    std::string transcript;
    std::string recordingPath;
};

// Fences Ann against Bob from second 1000: keys at their bout milliseconds; the loop lets time
// pass at each turn of the second, except at the late ones, where it wakes only with the next
// key. Records the bout and returns its console text, first scoreboard included.
FencedBout fence(const std::multimap<Milliseconds, char>& keys, Milliseconds until,
                 const std::vector<Milliseconds>& lateTurns = {}) {
    static int boutNumber = 0;
    FencedBout fenced;
    fenced.recordingPath = privateFolder() + "bout" + std::to_string(++boutNumber) + ".txt";
    Fencer left{ann, LEFT_EN_GARDE_CELL, 0, LEFT_PLAYER};
    Fencer right{bob, RIGHT_EN_GARDE_CELL, 0, RIGHT_PLAYER};
    bout = BoutState{};
    bout.leftFencer = &left;
    bout.rightFencer = &right;
    bout.touchLimit = POOL_TOUCH_LIMIT;
    controlHooks = {fakeSeconds,
                    [] {},
                    [](Pose) { fakeMilliseconds += pictureMilliseconds; },
                    [](int) {},
                    readFakeMilliseconds,
                    [](BoutSound) {}};
    const Milliseconds start = 1'000'000;
    fakeMilliseconds = start;
    Recording header;
    header.leftName = "Ann";
    header.rightName = "Bob";
    header.touchLimit = POOL_TOUCH_LIMIT;
    EXPECT_EQ(startRecording(fenced.recordingPath.c_str(), header), "");
    fenced.transcript = captureStdout([&] {
        printScoreboard(left, right, bout.touchLimit);
        for (Milliseconds at = 0; at <= until; ++at) {
            fakeMilliseconds = std::max(fakeMilliseconds, start + at);
            const bool late = std::find(lateTurns.begin(), lateTurns.end(), at) != lateTurns.end();
            if (at % 1000 == 0 && !late) {
                settle();
            }
            const auto [first, last] = keys.equal_range(at);
            for (auto key = first; key != last; ++key) {
                onKeyPress(static_cast<unsigned char>(key->second), 0, 0);
                settle();
            }
        }
    });
    stopRecording();
    return fenced;
}

std::string fileText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// Replays the recording with --check and the transcript to compare; returns the status and
// fills what it printed.
int check(const FencedBout& fenced, std::string& printed, Recording& recording) {
    EXPECT_EQ(readRecording(fenced.recordingPath.c_str(), recording), "");
    const std::string expectPath = fenced.recordingPath + ".transcript";
    std::ofstream(expectPath, std::ios::binary) << fenced.transcript;
    int status = -1;
    printed = captureStdout([&] { status = checkReplay(recording, expectPath.c_str()); });
    return status;
}

TEST(RecordedBout, ALungeParriedAtTheTurnOfTheSecondReplaysParried) {
    // Both close to a gap of 4; Ann lunges at 4.300 s, her lunge steps at 5 s; Bob's parry
    // comes at 6.004 s, before the loop, late, has let the sixth second's time pass: the
    // lunge is still a cell short and the parry holds. Replayed with the parry after the turn,
    // the lunge would score first.
    const std::multimap<Milliseconds, char> keys = {{1000, 'd'}, {1200, 'k'}, {1400, 'd'},
                                                    {1600, 'k'}, {1800, 'd'}, {2000, 'k'},
                                                    {4300, 'f'}, {6004, 'l'}, {9500, 'w'}};
    const FencedBout fenced = fence(keys, 10'000, {6000});
    ASSERT_NE(fenced.transcript.find("Bob has parried Ann"), std::string::npos);
    std::string printed;
    Recording recording;
    EXPECT_EQ(check(fenced, printed, recording), 0);
    EXPECT_EQ(printed, fenced.transcript + CUT_SHORT_NOTE + "\nFinal score: Ann 0 VS. 0 Bob\n");
    ASSERT_EQ(recording.presses.size(), keys.size());
    EXPECT_EQ(recording.presses[6].at, 4300);
    EXPECT_EQ(recording.presses[7].at, 6000); // before the sixth second's turn was let pass
    EXPECT_FALSE(recording.won);
}

TEST(RecordedBout, AKeyAfterTheTurnWasLetPassStaysAfterItAndTheWinEndsTheFile) {
    // Ann walks in and lunges five times from a gap of 2; every touch ends the bout's halt
    // three seconds on. Keys pressed in the very millisecond of a turn come after it.
    std::multimap<Milliseconds, char> keys = {{0, 'd'}, {0, 'd'}, {0, 'd'},   {1, 'k'},
                                              {2, 'k'}, {3, 'k'}, {1000, 'f'}};
    for (Milliseconds touch = 1; touch < 5; ++touch) {
        const Milliseconds at = 1000 + touch * 5000;
        keys.insert(
            {{at, 'd'}, {at, 'd'}, {at, 'd'}, {at, 'k'}, {at, 'k'}, {at, 'k'}, {at + 500, 'F'}});
    }
    const FencedBout fenced = fence(keys, 30'000);
    std::string printed;
    Recording recording;
    EXPECT_EQ(check(fenced, printed, recording), 0);
    EXPECT_EQ(printed, fenced.transcript + "\nFinal score: Ann 5 VS. 0 Bob\n");
    EXPECT_TRUE(recording.won);
    EXPECT_EQ(recording.leftTouches, 5);
    EXPECT_EQ(recording.presses[0].at, 1); // after the idle turn that began the bout
    EXPECT_EQ(recording.presses[6].at, 1001);
    EXPECT_EQ(recording.wonAt, 23'000);
    const std::string text = fileText(fenced.recordingPath);
    EXPECT_LE((text.size() - HEADER.size()) / recording.presses.size(), 40u);
}

TEST(RecordedBout, ALungeWhosePictureIsSlowToShowKeepsTheSecondItWasPressedIn) {
    // Ann lunges 2 ms before a turn from a gap of 4 and her picture takes 3 ms: the lunge
    // stays in the second it was pressed in, steps at the turn, and Bob's step in then lets
    // her score at once. Read after the turn, the lunge would step a second later.
    pictureMilliseconds = 3;
    const FencedBout fenced = fence({{100, 'd'},
                                     {200, 'd'},
                                     {300, 'd'},
                                     {400, 'k'},
                                     {500, 'k'},
                                     {600, 'k'},
                                     {1998, 'f'},
                                     {2500, 'k'}},
                                    4000);
    pictureMilliseconds = 0;
    ASSERT_NE(fenced.transcript.find("Touch to Ann"), std::string::npos);
    std::string printed;
    Recording recording;
    EXPECT_EQ(check(fenced, printed, recording), 0);
    ASSERT_EQ(recording.presses.size(), 8u);
    EXPECT_EQ(recording.presses[6].at, 1998);
}

TEST(RecordedBout, ADifferentTranscriptIsNamedAtItsFirstDifferingByte) {
    FencedBout fenced = fence({{0, 'd'}, {400, 'a'}}, 1000);
    const std::size_t changed = fenced.transcript.size() - 3;
    const std::size_t line =
        1 + std::count(fenced.transcript.begin(), fenced.transcript.begin() + changed, '\n');
    // A byte a terminal would not show is given by its number.
    for (const auto& [put, shown] : {std::pair{'#', "'#'"}, std::pair{'\x7f', "byte 0x7f"},
                                     std::pair{'\x1f', "byte 0x1f"}, std::pair{' ', "' '"}}) {
        fenced.transcript[changed] = put;
        std::string printed;
        Recording recording;
        testing::internal::CaptureStderr();
        EXPECT_EQ(check(fenced, printed, recording), 1);
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find("first at byte " + std::to_string(changed) + " (line " +
                            std::to_string(line) + ", column 42): the transcript has " + shown +
                            ", the replay '-'.\n"),
                  std::string::npos)
            << said;
    }
}

TEST(RecordedBout, KeysThatReachTheBoutTogetherAreRecordedAtOneMillisecond) {
    // Ann's advance and Bob's, 3 ms apart but read by the loop before its idle step, replay
    // together; Ann's retreat after that step comes a millisecond after them at the least.
    Fencer left{ann, LEFT_EN_GARDE_CELL, 0, LEFT_PLAYER};
    Fencer right{bob, RIGHT_EN_GARDE_CELL, 0, RIGHT_PLAYER};
    bout = BoutState{};
    bout.leftFencer = &left;
    bout.rightFencer = &right;
    bout.touchLimit = POOL_TOUCH_LIMIT;
    controlHooks = {fakeSeconds,          [] {},           [](Pose) {}, [](int) {},
                    readFakeMilliseconds, [](BoutSound) {}};
    const std::string path = privateFolder() + "together.lamevo";
    Recording header;
    header.leftName = "Ann";
    header.rightName = "Bob";
    header.touchLimit = POOL_TOUCH_LIMIT;
    // The lines go to the joiner too, as they are written, one whole line at a time.
    static std::string copied;
    static bool wholeLines;
    copied.clear();
    wholeLines = true;
    copyRecordingLines([](std::string_view line) {
        wholeLines = wholeLines && line.find('\n') == line.size() - 1;
        copied += line;
    });
    ASSERT_EQ(startRecording(path.c_str(), header), "");
    captureStdout([] {
        fakeMilliseconds = 2'000'100;
        onIdle();
        onKeyPress('d', 0, 0);
        fakeMilliseconds += 3;
        onKeyPress('k', 0, 0);
        onIdle();
        onKeyPress('a', 0, 0);
        onIdle();
        // An idle step between two keys of one millisecond puts the second a millisecond
        // later, unless that would take it into the next second.
        for (const Milliseconds at : {2'001'500, 2'002'999}) {
            fakeMilliseconds = at;
            onIdle();
            onKeyPress('d', 0, 0);
            onIdle();
            onKeyPress('k', 0, 0);
        }
    });
    stopRecording();
    copyRecordingLines(nullptr);
    EXPECT_EQ(copied, fileText(path));
    EXPECT_TRUE(wholeLines);
    Recording recording;
    ASSERT_EQ(readRecording(path.c_str(), recording), "");
    ASSERT_EQ(recording.presses.size(), 7u);
    EXPECT_EQ(recording.presses[0].at, 100);
    EXPECT_EQ(recording.presses[1].at, 100);
    EXPECT_EQ(recording.presses[2].at, 103);
    EXPECT_EQ(recording.presses[3].at, 1500);
    EXPECT_EQ(recording.presses[4].at, 1501);
    EXPECT_EQ(recording.presses[5].at, 2999);
    EXPECT_EQ(recording.presses[6].at, 2999);
}

TEST(RecordedBout, AReplayThatEndsOnAnotherScoreThanTheRecordingFails) {
    // Five touches from a gap of 2 for Ann; the end line says Bob had one.
    std::string text = HEADER;
    for (int touch = 0; touch < 5; ++touch) {
        const std::string at = std::to_string(touch * 5000) + " ";
        for (const char* side :
             {"left", "left", "left", "left", "right", "right", "right", "right"}) {
            text += at + side + " advance\n";
        }
        text += at + "left lunge\n";
    }
    Recording recording;
    ASSERT_EQ(parseRecording(text + "end 20000 5 1\n", recording), "");
    int status = -1;
    testing::internal::CaptureStderr();
    const std::string printed = captureStdout([&] { status = checkReplay(recording, nullptr); });
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "The replay ends 5 to 0, but the recording ends 5 to 1.\n");
    EXPECT_EQ(status, 1);
    EXPECT_TRUE(printed.ends_with("\nFinal score: Ann 5 VS. 0 Bob\n"));
    ASSERT_EQ(parseRecording(text + "end 20000 5 0\n", recording), "");
    captureStdout([&] { status = checkReplay(recording, nullptr); });
    EXPECT_EQ(status, 0);
}

TEST(ReplayTranscript, FirstDifferenceNamesLineColumnAndBothBytes) {
    EXPECT_EQ(firstDifference("abc", "abc"), "");
    EXPECT_EQ(firstDifference("ab\ncd", "ab\ncX"),
              "byte 4 (line 2, column 2): the transcript has 'd', the replay 'X'");
    EXPECT_EQ(firstDifference("ab", "abc"), "byte 2 (line 1, column 3): the transcript has its "
                                            "end, the replay 'c'");
    EXPECT_EQ(firstDifference("a\n", std::string("a\x01", 2)),
              "byte 1 (line 1, column 2): the transcript has a line end, the replay byte 0x01");
}

TEST(RecordedBout, TheComputersOwnBoutReplaysToItsScore) {
    Recording header;
    header.leftName = "Left";
    header.rightName = "Right";
    header.touchLimit = 15;
    header.simulatedClock = true;
    header.computers = {{LEFT_PLAYER, OpponentLevel::hard, 7},
                        {RIGHT_PLAYER, OpponentLevel::easy, 8}};
    const std::string path = privateFolder() + "computers.txt";
    ASSERT_EQ(startRecording(path.c_str(), header), "");
    ComputerBout computers = startComputerBout(OpponentLevel::hard, OpponentLevel::easy, 15, 99);
    EXPECT_TRUE(fenceComputerBoutFor(computers, NOTHING_DUE));
    // The recording keeps the seats the bout was fenced in, whichever the lot gave.
    const BoutScore score = scoreOf(computers.simulated);
    EXPECT_FALSE(recordingOpen()); // the win closed it
    Recording recording;
    ASSERT_EQ(readRecording(path.c_str(), recording), "");
    EXPECT_TRUE(recording.won);
    EXPECT_EQ(recording.leftTouches, score.leftTouches);
    EXPECT_EQ(recording.rightTouches, score.rightTouches);
    std::string printed;
    int status = -1;
    printed = captureStdout([&] { status = checkReplay(recording, nullptr); });
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(printed.ends_with("\nFinal score: Left " + std::to_string(score.leftTouches) +
                                  " VS. " + std::to_string(score.rightTouches) + " Right\n"));
}

TEST(ReplayedBout, SkipsToTheMomentTheNextHaltBegins) {
    Recording recording;
    ASSERT_EQ(parseRecording(HEADER + "0 left advance\n0 left advance\n0 left advance\n"
                                      "0 left advance\n0 right advance\n0 right advance\n"
                                      "0 right advance\n0 right advance\n"
                                      "2500 left lunge\n7200 left retreat\n",
                             recording),
              "");
    captureStdout([&] {
        beginReplay(recording, true);
        EXPECT_EQ(skipToNextHalt(), 2500); // the lunge from a gap of 2 touches at once
        EXPECT_EQ(bout.halted, 1);
        EXPECT_EQ(bout.leftFencer->touches, 1);
        EXPECT_EQ(skipToNextHalt(), 7200); // past the halt's end, to the retreat's: none comes
        EXPECT_TRUE(replayStopped());
    });
}

TEST(ReplayPace, SpeedsPauseAndTheRealTimeOfABoutMoment) {
    ReplayPace pace;
    EXPECT_STREQ(replayPaceName(pace), "1×");
    EXPECT_EQ(boutTimeAt(pace, 1000), 1000);
    EXPECT_TRUE(changeReplayPace(pace, '+', 1000)); // 2× from bout 1000 at real 1000
    EXPECT_STREQ(replayPaceName(pace), "2×");
    EXPECT_EQ(boutTimeAt(pace, 1500), 2000);
    EXPECT_EQ(realTimeOf(pace, 2001), 1501);
    EXPECT_TRUE(changeReplayPace(pace, '=', 1500));
    EXPECT_FALSE(changeReplayPace(pace, '+', 1500)); // 4× is the fastest
    EXPECT_STREQ(replayPaceName(pace), "4×");
    EXPECT_EQ(boutTimeAt(pace, 1600), 2400);
    EXPECT_TRUE(changeReplayPace(pace, ' ', 1600));
    EXPECT_STREQ(replayPaceName(pace), "paused");
    EXPECT_EQ(boutTimeAt(pace, 9000), 2400);
    EXPECT_EQ(realTimeOf(pace, 2500), std::nullopt);
    EXPECT_TRUE(changeReplayPace(pace, ' ', 9000));
    for (int step = 0; step < 3; ++step) {
        EXPECT_TRUE(changeReplayPace(pace, '-', 9000));
    }
    EXPECT_FALSE(changeReplayPace(pace, '-', 9000)); // ½× is the slowest
    EXPECT_FALSE(changeReplayPace(pace, 'f', 9000));
    EXPECT_STREQ(replayPaceName(pace), "½×");
    EXPECT_EQ(boutTimeAt(pace, 9100), 2450);
    EXPECT_EQ(realTimeOf(pace, 2450), 9100);
    EXPECT_EQ(realTimeOf(pace, 100), 9000);
}

} // namespace
