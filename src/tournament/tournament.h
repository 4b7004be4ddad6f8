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

// The results as RFC 4180 CSV (CRLF line ends): the bouts, then after a blank line the pool
// ranking in seed order, then after another the final places; each section under its header.
std::string resultsCsv(const Tournament& tournament);
// Writes text to path through a temporary file beside it renamed over it, so the file is
// always whole. On failure returns false and fault says why, in words.
bool writeResultsFile(const std::string& path, const std::string& text, std::string& fault);

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

// Keeps the options for the night and writes its results file empty, so that a file that
// cannot be written is refused before anything else: one line on standard error, status 1.
void prepareClubNight(const ClubNightOptions& options);

// Greets, asks how many fencers and their names (easy, normal or hard seats a computer), then
// fences the computers' bouts until a bout with a person in it: that one is announced, its go-
// ahead read, and the shared bout set up for it. If every bout is between computers the final
// is put on the shared bout as won, so the window congratulates its winner and the game ends
// ten seconds later. End of input during the dialogue: one line on standard error, status 1.
WindowBout beginClubNight(std::FILE* input);

// To be called after every idle turn of the window: once its bout is won, records it, prints
// the pool sheet or the tableau and rewrites the results, at once and once only.
void recordWindowBoutOnceWon();

// Where the game would end after the window's bout was won: records it, prints the pool
// sheet or the tableau, rewrites the results, fences the computers' bouts that follow and sets
// up the next bout with a person as beginClubNight does (a bout already recorded is not
// recorded again). Returns none once the night is over
// (the caller ends the game).
std::optional<WindowBout> finishWindowBout(std::FILE* input);
