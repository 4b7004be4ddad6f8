#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <string>

#include "console.h"
#include "replay.h"
#include "tournament.h"

namespace {

// The one club night of the process, as the bout is the one bout.
Tournament night;
std::optional<std::string> resultsPath;
std::optional<std::uint32_t> seedOption;
ResultsHeading heading; // the day the night began, for results in the federations' format
// The bout the window fences, and whether its result has been recorded.
std::optional<NextBout> windowBout;
bool windowBoutRecorded = false;
Fencer windowFencers[2];
// With recordBouts each bout goes into a recording of its own beside the results.
bool recordBouts = false;
std::int32_t boutsStarted = 0;

[[noreturn]] void inputEndedTooSoon() {
    std::fputs("The Lamevo: the input ended before the club night could be set up.\n", stderr);
    std::exit(1);
}

// One answer of the director's: the whole line, its line end dropped. False once input has
// ended with nothing more on it.
bool readAnswerLine(std::FILE* input, std::string& line) {
    line.clear();
    int c = std::getc(input);
    if (c == EOF) {
        return false;
    }
    for (; c != EOF && c != '\n'; c = std::getc(input)) {
        line += static_cast<char>(c);
    }
    return true;
}

// How many fencers: asked again, with the reason, until a number from 3 to 8 comes alone.
std::int32_t askForFencerCount(std::FILE* input) {
    announce("%s", fencerCountQuestion().c_str());
    for (std::string line;;) {
        if (!readAnswerLine(input, line)) {
            inputEndedTooSoon();
        }
        const CountAnswer answer = fencerCountAnswer(line);
        if (answer.count != 0) {
            return answer.count;
        }
        announce("%s", answer.askAgain.c_str());
    }
}

std::vector<Seat> askForSeats(std::FILE* input, std::int32_t count) {
    std::vector<Seat> seats;
    for (std::int32_t number = 1; number <= count; ++number) {
        announce("%s", fencerNameQuestion(number).c_str());
        std::string line;
        for (std::optional<Seat> seat; !seat;) {
            if (!readAnswerLine(input, line)) {
                inputEndedTooSoon();
            }
            NameAnswer answer = fencerNameAnswer(line, number, seats);
            announce("%s", answer.reply.c_str());
            seat = std::move(answer.seat);
            if (seat) {
                seats.push_back(std::move(*seat));
            }
        }
    }
    return seats;
}

void saveResults() {
    std::string fault;
    const bool xml = resultsPath && resultsAsXml(*resultsPath);
    if (resultsPath &&
        !writeResultsFile(*resultsPath, xml ? resultsXml(night, heading) : resultsCsv(night),
                          fault)) {
        std::fprintf(stderr, "The Lamevo could not write the results to %s.\n", fault.c_str());
    }
}

void printFinalPlaces() {
    announce("\nFinal places\n");
    for (const FinalPlace& place : finalPlaces(night)) {
        announce("%3d  %s\n", place.place, night.seats[place.seat].name.c_str());
    }
}

// What the console shows once a bout is recorded: the pool sheet after a pool bout, with the
// lots and the seeded tableau once the pool is complete; the tableau after each round.
void showStandings(bool poolBout, std::size_t roundsBefore) {
    if (poolBout) {
        announce("%s", poolSheetText(night).c_str());
        if (!night.tableau.empty()) {
            announce("%s%s", lotsText(night).c_str(), tableauText(night).c_str());
        }
    } else if (night.tableau.size() != roundsBefore || !nextBout(night)) {
        announce("%s", tableauText(night).c_str());
    }
    if (!nextBout(night)) {
        printFinalPlaces();
    }
    saveResults();
    announce("%s", nextBoutText(night).c_str());
}

void record(const NextBout& fenced, std::int32_t leftTouches, std::int32_t rightTouches) {
    const std::size_t roundsBefore = night.tableau.size();
    const BoutResult result = recordBout(night, leftTouches, rightTouches);
    if (leftTouches == rightTouches) {
        announce("\n%s wins the level bout by lot.\n",
                 night.seats[result.leftWon ? result.leftSeat : result.rightSeat].name.c_str());
    }
    showStandings(fenced.pool, roundsBefore);
}

Fencer& seatFencer(std::int32_t side, std::int32_t seat) {
    Fencer& fencer = windowFencers[side - LEFT_PLAYER];
    fencer = Fencer{night.seats[seat].name.data(), -1, 0, side};
    return fencer;
}

// The shared bout as a new bout between these two: on their lines, no touches, nothing
// pending; the loaded pictures stay.
void putOnTheStrip(const NextBout& next) {
    const std::uint32_t leftTexture = bout.leftSpriteTexture;
    const std::uint32_t rightTexture = bout.rightSpriteTexture;
    bout = BoutState{};
    bout.leftSpriteTexture = leftTexture;
    bout.rightSpriteTexture = rightTexture;
    bout.leftFencer = &seatFencer(LEFT_PLAYER, next.leftSeat);
    bout.rightFencer = &seatFencer(RIGHT_PLAYER, next.rightSeat);
    bout.touchLimit = next.touchLimit;
    bout.moreBoutsToCome = next.pool || next.round != 2 ? 1 : 0;
    resetToEnGarde(*bout.leftFencer, *bout.rightFencer);
    resetSprites();
}

std::string stageOf(const NextBout& next) {
    if (next.pool) {
        return "Pool bout " + std::to_string(night.poolBouts.size() + 1) + " of " +
               std::to_string(poolOrder(static_cast<std::int32_t>(night.seats.size())).size());
    }
    switch (next.round) {
    case 2:
        return "The final";
    case 4:
        return "Semi-final";
    default:
        return "Round of " + std::to_string(next.round);
    }
}

// Starts the recording of the bout about to be fenced, if the night keeps them; a file that
// cannot be written is said on standard error and the night goes on unrecorded for it. The
// file is named in the night's order; the recording names the seats as they were fenced
// (seatsSwapped: the lot put the night's left fencer on the right), computers in that order.
void recordNextBout(const NextBout& next, std::vector<RecordedComputer> computers,
                    bool simulatedClock, bool seatsSwapped = false) {
    ++boutsStarted;
    if (!recordBouts || !resultsPath) {
        return;
    }
    const std::string& leftName = night.seats[next.leftSeat].name;
    const std::string& rightName = night.seats[next.rightSeat].name;
    Recording header;
    header.leftName = seatsSwapped ? rightName : leftName;
    header.rightName = seatsSwapped ? leftName : rightName;
    header.touchLimit = next.touchLimit;
    header.computers = std::move(computers);
    header.simulatedClock = simulatedClock;
    const std::string stage = next.pool ? "pool" : "de-" + std::to_string(next.round);
    const std::string path =
        clubBoutRecordingPath(*resultsPath, boutsStarted, stage, leftName, rightName);
    const std::string fault = startRecording(path.c_str(), header);
    if (!fault.empty()) {
        std::fprintf(stderr, "%s\n", fault.c_str());
    }
}

// The bout announced, whose go-ahead the night waits for.
std::optional<NextBout> announcedBout;

void announceWindowBout(const NextBout& next) {
    const Seat& left = night.seats[next.leftSeat];
    const Seat& right = night.seats[next.rightSeat];
    announce("\n\n%s: %s against %s, %d touches.\n", stageOf(next).c_str(), left.name.c_str(),
             right.name.c_str(), next.touchLimit);
    printControls(left.computer ? nullptr : left.name.c_str(),
                  right.computer ? nullptr : right.name.c_str());
    announce("\n\n\t\tHit Any Key then Enter to Start the Bout!");
    announcedBout = next;
}

// The final nobody watched, shown won: the winner is congratulated as after any bout, and
// the game ends ten seconds later.
void showTheDecidedFinal() {
    const BoutResult& decided = *night.tableau.back().front().result;
    putOnTheStrip(
        NextBout{false, 2, decided.leftSeat, decided.rightSeat, DIRECT_ELIMINATION_TOUCH_LIMIT});
    bout.leftFencer->touches = decided.leftTouches;
    bout.rightFencer->touches = decided.rightTouches;
    printScoreboard(*bout.leftFencer, *bout.rightFencer, bout.touchLimit);
    if (decided.leftTouches == decided.rightTouches) {
        // Level, decided by lot: congratulated as a bout won at the limit is.
        congratulate(decided.leftWon ? *bout.leftFencer : *bout.rightFencer);
        (decided.leftWon ? bout.leftWon : bout.rightWon) = 1;
    } else {
        // A bout the computers gave up on is won where it stood.
        bout.touchLimit = std::max(decided.leftTouches, decided.rightTouches);
        checkForWinner();
    }
    bout.haltTime = controlHooks.now();
    windowBoutRecorded = true;
    controlHooks.requestRedraw();
}

// The computers' bout being fenced, a piece at a time, while the window waits.
std::optional<ComputerBout> computersBout;

// Fences the computers' bouts for about budget milliseconds (NOTHING_DUE: as long as it
// takes), each one's result announced and recorded once it is over, until the next bout with a
// person in it, which is announced.
NightTurn fenceOn(Milliseconds budget) {
    const Milliseconds until =
        budget == NOTHING_DUE ? NOTHING_DUE : controlHooks.nowMilliseconds() + budget;
    while (const std::optional<NextBout> next = nextBout(night)) {
        const Seat& left = night.seats[next->leftSeat];
        const Seat& right = night.seats[next->rightSeat];
        if (!left.computer || !right.computer) {
            announceWindowBout(*next);
            return NightTurn::goAheadAsked;
        }
        if (!computersBout) {
            const std::uint32_t seed = night.lots();
            computersBout =
                startComputerBout(*left.computer, *right.computer, next->touchLimit, seed);
            const bool swapped = computersBout->seatsSwapped;
            const OpponentLevel onTheLeft = swapped ? *right.computer : *left.computer;
            const OpponentLevel onTheRight = swapped ? *left.computer : *right.computer;
            recordNextBout(*next,
                           {{LEFT_PLAYER, onTheLeft, seed}, {RIGHT_PLAYER, onTheRight, seed}}, true,
                           swapped);
        }
        const Milliseconds timeLeft =
            until == NOTHING_DUE
                ? NOTHING_DUE
                : std::max<Milliseconds>(until - controlHooks.nowMilliseconds(), 0);
        if (!fenceComputerBoutFor(*computersBout, timeLeft)) {
            return NightTurn::computersFencing;
        }
        const BoutScore score = scoreOf(*computersBout);
        computersBout.reset();
        stopRecording();
        const std::string stage = stageOf(*next);
        announce("\n\n%s: %s %d - %d %s\n", stage.c_str(), left.name.c_str(), score.leftTouches,
                 score.rightTouches, right.name.c_str());
        record(*next, score.leftTouches, score.rightTouches);
    }
    windowBout.reset();
    showTheDecidedFinal();
    return NightTurn::finalShown;
}

} // namespace

void prepareClubNight(const ClubNightOptions& options) {
    resultsPath = options.resultsPath;
    seedOption = options.seed;
    recordBouts = options.recordBouts;
    boutsStarted = 0;
    std::string fault;
    if (resultsPath && !resultsPathWritable(*resultsPath, fault)) {
        std::fprintf(stderr, "The Lamevo cannot write the results to %s.\n", fault.c_str());
        std::exit(1);
    }
}

NightTurn beginClubNight(std::FILE* input) {
    announce("\n\tWelcome to The Lamevo!\n");
    const std::int32_t count = askForFencerCount(input);
    std::vector<Seat> seats = askForSeats(input, count);
    const std::uint32_t seed = seedOption ? *seedOption : std::random_device{}();
    night = createTournament(std::move(seats), seed);
    const std::time_t now = std::time(nullptr);
    std::tm today{};
    localtime_r(&now, &today);
    heading = headingForDay(today.tm_year + 1900, today.tm_mon + 1, today.tm_mday);
    announce("\nOne pool, bouts to %d; then a tableau of %d, bouts to %d. Lots drawn with seed "
             "%u.\n",
             POOL_TOUCH_LIMIT, night.tableauSize, DIRECT_ELIMINATION_TOUCH_LIMIT, seed);
    announce("%s", poolSheetText(night).c_str());
    announce("%s", nextBoutText(night).c_str());
    return fenceOn(NOTHING_DUE);
}

void recordWindowBoutOnceWon() {
    if (!windowBout || windowBoutRecorded || (bout.leftWon != 1 && bout.rightWon != 1)) {
        return;
    }
    windowBoutRecorded = true;
    record(*windowBout, bout.leftFencer->touches, bout.rightFencer->touches);
}

NightTurn finishWindowBout(Milliseconds budget) {
    recordWindowBoutOnceWon();
    if (!nextBout(night)) {
        return NightTurn::over;
    }
    return fenceOn(budget);
}

NightTurn fenceComputersOn(Milliseconds budget) {
    return fenceOn(budget);
}

void endNightAtEndOfInput() {
    std::fputs(CONSOLE_INPUT_ENDED, stderr);
    std::exit(1);
}

WindowBout startAnnouncedBout() {
    if (!announcedBout) {
        return WindowBout{};
    }
    const NextBout next = *announcedBout;
    announcedBout.reset();
    const Seat& left = night.seats[next.leftSeat];
    const Seat& right = night.seats[next.rightSeat];
    putOnTheStrip(next);
    windowBout = next;
    windowBoutRecorded = false;
    printScoreboard(*bout.leftFencer, *bout.rightFencer, bout.touchLimit);
    controlHooks.requestRedraw();
    WindowBout seat;
    std::vector<RecordedComputer> computers;
    for (const std::int32_t side : {LEFT_PLAYER, RIGHT_PLAYER}) {
        const Seat& seated = side == LEFT_PLAYER ? left : right;
        if (seated.computer && !seat.computer) {
            const std::uint32_t seed = night.lots();
            seat.computer = createOpponent(side, *seated.computer, seed);
            computers.push_back({side, *seated.computer, seed});
        }
    }
    recordNextBout(next, computers, false);
    return seat;
}
