// The club night: 3 to 8 fencers, people and computers, fence one pool in which everyone meets
// everyone in the standard bout order, the pool sheet ranks them, and a direct-elimination
// tableau of 4 or 8 finds the winner. The logic (bout orders, ranking, lots, tableau, places,
// the texts and the results file) is plain data in a Tournament; the club night around it holds
// the console dialogue, decides the computers' bouts at once and hands each bout with a person
// in it to the window, one after the other.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "opponent.h"

inline constexpr std::int32_t FEWEST_FENCERS = 3;
inline constexpr std::int32_t MOST_FENCERS = 8;

// One seat of the night: a person, or a computer of some level.
struct Seat {
    std::string name; // as entered (UTF-8); a computer's own name shows its level
    std::optional<OpponentLevel> computer;
};

// Two fencers by their numbers in the pool, 1 to the pool's size; the first fences on the left.
struct PoolPair {
    std::int32_t left;
    std::int32_t right;
};

// The standard bout order of a pool of fencerCount fencers; empty outside 3 to 8.
std::span<const PoolPair> poolOrder(std::int32_t fencerCount);

// A bout fenced: seats are indexes into Tournament::seats.
struct BoutResult {
    std::int32_t leftSeat;
    std::int32_t rightSeat;
    std::int32_t leftTouches;
    std::int32_t rightTouches;
    bool leftWon; // also decides a bout that ended level (by lot)
};

// One fencer's line of the pool sheet.
struct PoolStanding {
    std::int32_t seat;
    std::int32_t victories;
    std::int32_t bouts;
    std::int32_t touchesScored;
    std::int32_t touchesReceived;
    std::int32_t place; // 0 until the pool is complete; fencers equal on V/M, Ind, TS share it
};

// A place of the tableau: two seeds (1 = best), rightSeed 0 for a bye, and its result.
struct TableauBout {
    std::int32_t leftSeed;
    std::int32_t rightSeed;
    std::optional<BoutResult> result; // none yet, and never for a bye
};

struct Tournament {
    std::vector<Seat> seats;
    std::vector<BoutResult> poolBouts; // in the order fenced
    // Once the pool is complete: the standings in seed order, lots drawn between equals.
    std::vector<PoolStanding> ranking;
    std::int32_t tableauSize; // 4 or 8
    // The rounds built so far, first round first; each in the tableau's standard order.
    std::vector<std::vector<TableauBout>> tableau;
    std::mt19937 lots; // draws between equals, the computers' bouts and bouts ended level
};

// A new night for these seats (3 to 8 of them, the pool numbers in this order). Every lot and
// every computer bout follows from seed.
Tournament createTournament(std::vector<Seat> seats, std::uint32_t seed);

// The next bout to fence, or none once the final is decided.
struct NextBout {
    bool pool;             // false for the tableau
    std::int32_t round;    // the tableau's round: 8, 4 or 2 places left; 0 in the pool
    std::int32_t leftSeat; // the pair's first number, or the higher seed
    std::int32_t rightSeat;
    std::int32_t touchLimit; // 5 in the pool, 15 in the tableau
};
std::optional<NextBout> nextBout(const Tournament& tournament);

// Records the bout nextBout gave with its score; a level score is decided by a lot. The last
// pool bout ranks the pool (drawing lots between equals) and seeds the tableau; the last bout
// of a round builds the next. Returns the result as recorded; does nothing once the final is
// decided.
BoutResult recordBout(Tournament& tournament, std::int32_t leftTouches, std::int32_t rightTouches);

// Every fencer's pool line, in pool-number order; places are filled once the pool is complete.
std::vector<PoolStanding> poolStandings(const Tournament& tournament);

// The final places decided so far, best first: the winner 1, the final's loser 2, the
// semi-finals' losers 3, the first round's losers of a tableau of 8 5; each group by seed.
struct FinalPlace {
    std::int32_t place;
    std::int32_t seat;
};
std::vector<FinalPlace> finalPlaces(const Tournament& tournament);

// The console's texts, each beginning with a line break and ending with one.
// The pool sheet: a row per fencer with V or D and the touches scored against each opponent,
// then V, V/M, TS, TR, Ind and, once the pool is complete, the place.
std::string poolSheetText(const Tournament& tournament);
// The tableau rounds built so far, with seeds, names and scores ("bye" for a bye).
std::string tableauText(const Tournament& tournament);
// The lots drawn between fencers who share a place in the pool; empty if there were none.
std::string lotsText(const Tournament& tournament);

// The results as RFC 4180 CSV (CRLF line ends): the bouts, each with its winner's side (a
// level bout names the side the lot chose), then after a blank line the pool ranking in seed
// order, then after another the final places; each section under its header.
std::string resultsCsv(const Tournament& tournament);

// The heading of the results in the federations' XML format: what the night itself does not
// know is filled with a club night's defaults (foil, mixed, seniors).
struct ResultsHeading {
    std::string date;   // the night's, dd.mm.yyyy
    std::string season; // the fencing season it falls in, as 2026/2027 (from September on)
};
ResultsHeading headingForDay(std::int32_t year, std::int32_t month, std::int32_t day);
// The night in the results interchange format that the FIE publishes and club and federation
// tournament software imports (UTF-8): a CompetitionIndividuelle with its fencers (Tireurs,
// the whole name in Nom, the final place in Classement once known), then its phases: the pool
// round (TourDePoules with one Poule and a Match per bout fenced) and, once seeded, the
// tableau (PhaseDeTableaux, one Tableau a round, a bye as a Match with one fencer). A level
// bout names the lot's winner V. Bytes that are not UTF-8 become U+FFFD, control characters
// blanks.
std::string resultsXml(const Tournament& tournament, const ResultsHeading& heading);
// Whether a results path asks for that format: its name ends in .xml, in any case.
bool resultsAsXml(std::string_view path);

// Where results may be written. The file a symbolic link names is the one written, the link
// stays. An existing file must be a plain file with write permission; its folder must let a
// file be made in it, which is tried by making and removing one. On failure returns false and
// fault names the path at fault and says why, in words ("/x/night.csv: Permission denied").
bool resultsPathWritable(const std::string& path, std::string& fault);
// Writes text where results go (as above) through a temporary file beside the target, renamed
// over it, so the file is always whole; a file replaced keeps its permissions. On failure
// returns false with fault as above, and the file is as it was.
bool writeResultsFile(const std::string& path, const std::string& text, std::string& fault);

// --- what the director's console answers mean ---
// Each answer is one whole line. These take the line as read (its line end removed or not)
// and return what it means and what to print; the night's dialogue reads the lines.

// The line without the blanks (spaces, tabs, CR) at either end.
std::string_view trimmedAnswer(std::string_view line);

// "How many fencers tonight": the count, or the text to print before the next line is read
// (the reason, or the question again for a number outside 3 to 8).
struct CountAnswer {
    std::int32_t count; // 0 when asked again
    std::string askAgain;
};
std::string fencerCountQuestion();
CountAnswer fencerCountAnswer(std::string_view line);

// Fencer number's name, given the seats taken so far. easy, normal or hard seats a computer of
// that level with a computer's name nobody has taken. An empty name or one taken tonight is
// asked again, with the reason. reply thanks the person or names the computer.
struct NameAnswer {
    std::optional<Seat> seat; // none when asked again
    std::string reply;        // the text to print: the reply, or the reason and the question
};
std::string fencerNameQuestion(std::int32_t number);
NameAnswer fencerNameAnswer(std::string_view line, std::int32_t number,
                            std::span<const Seat> seatsSoFar);

// After a bout is recorded: the line naming the bout that follows, empty after the final.
std::string nextBoutText(const Tournament& tournament);
// Once the console's input has ended at a go-ahead, said once before the night ends.
inline constexpr const char* CONSOLE_INPUT_ENDED =
    "The Lamevo: the console's input has ended; the club night ends here, its results kept.\n";

// --- the club night in the game ---

// How the club night was asked for on the command line.
struct ClubNightOptions {
    std::optional<std::string> resultsPath;
    std::optional<std::uint32_t> seed; // for the lots and the computers; drawn when absent
    bool recordBouts = false; // each bout recorded beside the results (clubBoutRecordingPath)
};

// What the window fences next: the computer facing a person, if one does.
struct WindowBout {
    std::optional<Opponent> computer;
};

// Keeps the options for the night and checks that its results can be written (writing
// nothing: the file is first written once this night's first bout is decided), so that a path
// that cannot be written is refused before anything else: one line on standard error, status 1.
void prepareClubNight(const ClubNightOptions& options);

// What a club night does once its dialogue or a bout in the window is over.
enum class NightTurn {
    goAheadAsked,     // the next bout with a person in it is announced; its go-ahead is awaited
    computersFencing, // a bout between computers is being fenced: fenceComputersOn carries on
    finalShown,       // every bout left was between computers: the final is on the strip, won
    over,             // the final is decided and was shown: the night is over
};

// Greets, asks how many fencers and their names (easy, normal or hard seats a computer), then
// fences the computers' bouts until a bout with a person in it, which is announced up to its
// go-ahead's question (goAheadAsked; startAnnouncedBout puts it on the strip once the go-ahead,
// any line, an empty one too, comes). If every bout is between computers the final is put on
// the shared bout as won, so the window congratulates its winner and the night ends ten seconds
// later (finalShown). End of input during the dialogue: one line on standard error, status 1.
NightTurn beginClubNight(std::FILE* input);

// To be called after every idle turn of the window: once its bout is won, records it, prints
// the pool sheet or the tableau and rewrites the results, at once and once only.
void recordWindowBoutOnceWon();

// Once the window's bout has ended: records it if it was not yet, prints the pool sheet or the
// tableau, rewrites the results, fences the computers' bouts that follow and announces the next
// bout with a person as beginClubNight does, up to its go-ahead's question; or puts the decided
// final on the shared bout as won; or says the night is over. Reads nothing. The computers
// fence for about budget milliseconds of controlHooks.nowMilliseconds' clock at most
// (NOTHING_DUE: to the end); if that is not enough it says so (computersFencing), and
// fenceComputersOn carries on where it stopped. Each computers' bout comes out as if fenced in
// one go, and the shared bout is left as it is while they fence.
NightTurn finishWindowBout(Milliseconds budget = NOTHING_DUE);
// Carries on the computers' bouts for about budget milliseconds, as finishWindowBout does.
NightTurn fenceComputersOn(Milliseconds budget);

// The go-ahead has come (any line, an empty one too): puts the announced bout on the shared
// bout, prints its scoreboard, and says who fences it. Nothing is announced: nothing changes.
WindowBout startAnnouncedBout();

// The console's input has ended at a go-ahead: no bout with a person can start, so the night
// ends as it ends at the names: CONSOLE_INPUT_ENDED on standard error, status 1, the results of
// the bouts decided kept.
[[noreturn]] void endNightAtEndOfInput();
