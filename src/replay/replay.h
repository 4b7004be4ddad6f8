// Replays: a bout kept as its presses and played again. A bout is its names, its touch limit
// and the presses that reached it with their times; everything else follows from the rules.
// A recording is a text file a person can read, written line by line as the bout goes:
//
//     lamevo-recording 1
//     left Athos
//     right Porthos
//     touches 5
//     computer right hard 1234
//     1520 left advance
//     2011 right lunge
//     ...
//     end 61233 5 3
//
// The first line names the format and its version. Then the left and right fencers' names,
// the touch limit, and for each side the computer fenced, its level and seed. Then one line
// per press: its time on the bout's clock in milliseconds, its side and its command. The
// bout's clock starts at the beginning of the whole second in which the bout began, so that
// a press at 2011 fell 11 ms after the second turn that began the bout's third second: each
// press falls where it fell between the turns of the second that move the lunges. Presses at
// one millisecond reached the bout together, with no idle turn between them; a press at the
// first millisecond of a second came before the idle turn that let that second's time pass. The
// last line, once a fencer has won, gives that moment and the score. A bout that ends before a win
// (the window closed, the other machine lost) ends with "stop" and the moment it stopped; a
// recording with neither line was cut short by a crash. Either keeps what was fenced.
// A bout the computer fenced against itself, decided at once on simulated clocks, says so with
// "clock simulated": it is played again the way it was fenced, one idle step a millisecond.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "opponent.h"

inline constexpr std::string_view RECORDING_FORMAT = "lamevo-recording";
// The version this game writes; it reads this one and every earlier one.
inline constexpr std::int32_t RECORDING_VERSION = 1;
// A larger file is refused before it is read: a bout of an hour pressed at the computer's
// fastest, ten keys a second for both sides, takes about 1.3 MB.
inline constexpr std::size_t LONGEST_RECORDING_BYTES = 16u << 20;
// A bout's clock runs at most a day in a recording.
inline constexpr Milliseconds LATEST_RECORDED_MILLISECOND = 24 * 3600 * 1000;

struct RecordedComputer {
    std::int32_t playerNumber; // LEFT_PLAYER or RIGHT_PLAYER
    OpponentLevel level;
    std::uint32_t seed;
};

struct RecordedPress {
    Milliseconds at; // on the bout's clock
    std::int32_t playerNumber;
    FencerCommand command;
};

struct Recording {
    std::int32_t version = RECORDING_VERSION;
    std::string leftName;
    std::string rightName;
    std::int32_t touchLimit = 0;             // 5 or 15
    std::vector<RecordedComputer> computers; // at most one a side
    bool simulatedClock = false; // fenced one idle step a millisecond, not in the game's loop
    std::vector<RecordedPress> presses; // in time order
    bool won = false;                   // the end line: a fencer won
    Milliseconds wonAt = 0;
    bool stopped = false; // the stop line: the game ended before a win
    Milliseconds stoppedAt = 0;
    std::int32_t leftTouches = 0; // the score the end line gives
    std::int32_t rightTouches = 0;
};

// ---- Reading ----

// Reads a recording from text, the whole file's bytes. Returns an empty string and fills
// recording when text is a recording of this version or an earlier one; otherwise the reason,
// one sentence without a full stop that follows the file's name ("is not a recording of The
// Lamevo", "is a recording of version 2, newer than this game reads", "is damaged: line 7 ...")
// and recording is unspecified. A last line without its line end (a write cut short) is left
// out and the recording counts as cut short. Any bytes at all are safe to give it.
std::string parseRecording(std::string_view text, Recording& recording);

// Reads the recording at path: refuses a file larger than LONGEST_RECORDING_BYTES before it
// reads it. Returns an empty string, or the one line to show (naming the file) on failure.
std::string readRecording(const char* path, Recording& recording);

// The recording as text, its end line included once won is set.
std::string formatRecording(const Recording& recording);

// ---- Recording a bout as it goes ----

// Opens path (created or emptied), writes the header of recording (names, touch limit,
// computers; its presses and end are not used) and listens to the bout through boutListener
// from now on: the first press or idle turn it hears begins the bout's clock; each of the
// five command keys of either side that reaches onKeyPress becomes a line, flushed at once;
// once a fencer has won, the end line is written and the file closed. Returns an empty string,
// or the one line to show if the file cannot be written (and then nothing is recorded).
// A write that fails later says so on standard error once and ends the recording; the bout
// goes on.
std::string startRecording(const char* path, const Recording& header);

// Stops listening and closes the file if it is still open: the end line if a fencer has won,
// otherwise the stop line with the bout's time now. The game's exit does the same. Safe to
// call when nothing is recorded.
void stopRecording();

// Whether a recording is being written now.
bool recordingOpen();

// Where every line the recorder writes goes too, as it is written (the host sends them to the
// joiner); null: nowhere.
void copyRecordingLines(void (*copy)(std::string_view line));

// A recording written from the lines another machine's recorder sends (the joiner's): opens
// path (created or emptied), or returns the one line to show. Each line given to
// writeCopiedLine is written and flushed as it comes; a write that fails says so on standard
// error once and ends the copy.
std::string startCopiedRecording(const char* path);
void writeCopiedLine(std::string_view line);

// Where a club night keeps one of its bouts: beside its results file, named after the results
// file, the bout's number in the night (two digits at least), its stage ("pool", or "de" and the
// places left: "de-8") and both names, as "club-03-pool-Ann-Riposte(easy).lamevo" beside
// "club.csv". Bytes of a name that a file name should not hold (a slash, a blank, a control
// character, a quote...) become '_'.
std::string clubBoutRecordingPath(const std::string& resultsPath, std::int32_t boutNumber,
                                  const std::string& stage, const std::string& leftName,
                                  const std::string& rightName);

// ---- Playing a recording back ----

// The bout's clock during a replay starts at this whole second.
inline constexpr WholeSeconds REPLAY_FIRST_SECOND = 1000;

// Sets up the bout of recording as start-up does (fencers with its names on their lines, the
// touch limit), points controlHooks.now at the replay's clock, prints the first scoreboard and
// stands at millisecond 0 of the bout's clock. The recording must outlive the replay. With
// sayCutShort, a recording cut short says so (CUT_SHORT_NOTE) once its last press is played.
void beginReplay(const Recording& recording, bool sayCutShort);

// Plays the bout on to the bout's millisecond until (or up to where it stops, if sooner): the
// presses of each millisecond through onKeyPress, then the idle step run until it changes
// nothing more, as the game's loop does after keys; and the idle step at each turn of the
// second. A recording on the simulated clock runs the idle step once each millisecond instead.
void replayUntil(Milliseconds until);

// The replay's bout clock, in milliseconds.
Milliseconds replayNow();

// The bout's millisecond of the next thing the replay does: the next press or turn of the
// second; none once it has stopped.
std::optional<Milliseconds> nextReplayMoment();

// Whether the replay has stopped: a fencer has won and the bout has ended (boutHasEnded; at
// once for a recording on the simulated clock, which stopped at its win), or a
// recording that ends without a win has played up to its stop line, or, without one, up to
// its last press.
bool replayStopped();

// Plays on as fast as can be to the moment a halt begins, if the bout has one more before it
// stops; stays in a halt that is running now only if none follows. Returns the bout's
// millisecond where it stands then.
Milliseconds skipToNextHalt();

// What the console says when a recording that ends without a win has played to its end.
inline constexpr char CUT_SHORT_NOTE[] =
    "\nThe recording ends here: the bout was cut short before either fencer won.\n";

// --replay=FILE --check: replays recording without a window on simulated clocks, as fast as
// they can run, to where the game would have ended, printing the console text the bout printed and
// then one line with the final score (after CUT_SHORT_NOTE for a recording cut short). With
// expectPath (non-null) the console text is compared with that file's, and the first differing byte
// is named on standard error. Returns the process status: 0, or 1 when the console text differs,
// the transcript cannot be read, or the score differs from the one the recording's end line gives.
int checkReplay(const Recording& recording, const char* expectPath);

// The first byte at which two texts differ, and a sentence that names it for a player
// (line and column, what each text has there); empty when they are equal.
std::string firstDifference(std::string_view expected, std::string_view replayed);

// ---- The pace of a replay in the window ----

// The speeds a player steps through with + and -, in halves of the recorded pace.
inline constexpr std::int32_t REPLAY_SPEEDS_IN_HALVES[] = {1, 2, 4, 8};
inline constexpr std::size_t NORMAL_REPLAY_SPEED = 1; // 1×

// Maps the real clock (controlHooks' monotonic milliseconds as the game starts them) onto
// the bout's clock: paused or at one of the speeds.
struct ReplayPace {
    Milliseconds realAnchor = 0; // the real millisecond at which the bout's clock read boutAnchor
    Milliseconds boutAnchor = 0;
    std::size_t speed = NORMAL_REPLAY_SPEED; // index into REPLAY_SPEEDS_IN_HALVES
    bool paused = false;
};

// The bout's millisecond at real millisecond realNow.
Milliseconds boutTimeAt(const ReplayPace& pace, Milliseconds realNow);
// The real millisecond at which the bout's clock will reach boutTime; none while paused.
std::optional<Milliseconds> realTimeOf(const ReplayPace& pace, Milliseconds boutTime);
// A player's key in the replay's window, at real millisecond realNow: space pauses and goes
// on, + (or =) and - step the speed up and down. Returns whether the pace changed.
bool changeReplayPace(ReplayPace& pace, unsigned char key, Milliseconds realNow);
// The pace to show in the window's title: "paused", "½×", "1×", "2×" or "4×".
const char* replayPaceName(const ReplayPace& pace);
