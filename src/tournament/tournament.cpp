#include "tournament.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <utility>

#include "console.h"

namespace {

// The pair's first number fences on the left.
constexpr PoolPair POOL_OF_3[] = {{2, 3}, {1, 3}, {1, 2}};
constexpr PoolPair POOL_OF_4[] = {{1, 4}, {2, 3}, {1, 3}, {2, 4}, {3, 4}, {1, 2}};
constexpr PoolPair POOL_OF_5[] = {{1, 2}, {3, 4}, {5, 1}, {2, 3}, {5, 4},
                                  {1, 3}, {2, 5}, {4, 1}, {3, 5}, {4, 2}};
constexpr PoolPair POOL_OF_6[] = {{1, 2}, {4, 3}, {6, 5}, {3, 1}, {2, 6}, {5, 4}, {1, 6}, {3, 5},
                                  {4, 2}, {5, 1}, {6, 4}, {2, 3}, {1, 4}, {5, 2}, {3, 6}};
constexpr PoolPair POOL_OF_7[] = {{1, 4}, {2, 5}, {3, 6}, {7, 1}, {5, 4}, {2, 3}, {6, 7},
                                  {5, 1}, {4, 3}, {6, 2}, {5, 7}, {3, 1}, {4, 6}, {7, 2},
                                  {3, 5}, {1, 6}, {2, 4}, {7, 3}, {6, 5}, {1, 2}, {4, 7}};
constexpr PoolPair POOL_OF_8[] = {{2, 3}, {1, 5}, {7, 4}, {6, 8}, {1, 2}, {3, 4}, {5, 6},
                                  {8, 7}, {4, 1}, {5, 2}, {8, 3}, {6, 7}, {4, 2}, {8, 1},
                                  {7, 5}, {3, 6}, {2, 8}, {5, 4}, {6, 1}, {3, 7}, {4, 8},
                                  {2, 6}, {3, 5}, {1, 7}, {4, 6}, {8, 5}, {7, 2}, {1, 3}};
constexpr std::span<const PoolPair> POOL_ORDERS[] = {POOL_OF_3, POOL_OF_4, POOL_OF_5,
                                                     POOL_OF_6, POOL_OF_7, POOL_OF_8};
static_assert(std::size(POOL_ORDERS) == MOST_FENCERS - FEWEST_FENCERS + 1);

// The seeds of the tableau's first round, top to bottom, two to a bout.
constexpr std::int32_t TABLEAU_OF_4[] = {1, 4, 2, 3};
constexpr std::int32_t TABLEAU_OF_8[] = {1, 8, 4, 5, 3, 6, 2, 7};

constexpr std::int32_t SMALL_TABLEAU = 4;
constexpr std::int32_t LARGE_TABLEAU = 8;
constexpr std::int32_t BYE = 0;

// Lots are drawn straight from the generator's numbers, which the standard fixes, so a seed
// draws the same lots with every compiler.
std::uint32_t drawLot(Tournament& tournament, std::uint32_t choices) {
    return tournament.lots() % choices;
}

std::int32_t placesOfRound(const Tournament& tournament, std::size_t round) {
    return tournament.tableauSize >> round;
}

std::int32_t winnerSeed(const TableauBout& place) {
    if (place.rightSeed == BYE) {
        return place.leftSeed;
    }
    return place.result->leftWon ? place.leftSeed : place.rightSeed;
}

std::int32_t loserSeed(const TableauBout& place) {
    return place.result->leftWon ? place.rightSeed : place.leftSeed;
}

bool decided(const TableauBout& place) {
    return place.rightSeed == BYE || place.result.has_value();
}

std::int32_t seatOfSeed(const Tournament& tournament, std::int32_t seed) {
    return tournament.ranking[seed - 1].seat;
}

// V/M, then Ind, then TS, higher first; V/M compared without dividing.
int compareStandings(const PoolStanding& a, const PoolStanding& b) {
    const std::int64_t ratioA = std::int64_t{a.victories} * b.bouts;
    const std::int64_t ratioB = std::int64_t{b.victories} * a.bouts;
    if (ratioA != ratioB) {
        return ratioA > ratioB ? -1 : 1;
    }
    const std::int32_t indicatorA = a.touchesScored - a.touchesReceived;
    const std::int32_t indicatorB = b.touchesScored - b.touchesReceived;
    if (indicatorA != indicatorB) {
        return indicatorA > indicatorB ? -1 : 1;
    }
    if (a.touchesScored != b.touchesScored) {
        return a.touchesScored > b.touchesScored ? -1 : 1;
    }
    return 0;
}

// Ranks the complete pool: places shared by equals, whose seed order the lots then decide.
void rankPool(Tournament& tournament) {
    std::vector<PoolStanding> ranking = poolStandings(tournament);
    std::stable_sort(ranking.begin(), ranking.end(),
                     [](const auto& a, const auto& b) { return compareStandings(a, b) < 0; });
    for (std::size_t first = 0; first < ranking.size();) {
        std::size_t end = first + 1;
        while (end < ranking.size() && compareStandings(ranking[first], ranking[end]) == 0) {
            ++end;
        }
        for (std::size_t i = first; i < end; ++i) {
            ranking[i].place = static_cast<std::int32_t>(first) + 1;
        }
        for (std::size_t i = end - 1; i > first; --i) {
            const std::size_t other =
                first + drawLot(tournament, static_cast<std::uint32_t>(i - first + 1));
            std::swap(ranking[i], ranking[other]);
        }
        first = end;
    }
    tournament.ranking = std::move(ranking);
}

void seedTableau(Tournament& tournament) {
    const std::span<const std::int32_t> order = tournament.tableauSize == SMALL_TABLEAU
                                                    ? std::span<const std::int32_t>(TABLEAU_OF_4)
                                                    : std::span<const std::int32_t>(TABLEAU_OF_8);
    const auto fencers = static_cast<std::int32_t>(tournament.seats.size());
    std::vector<TableauBout> round;
    for (std::size_t i = 0; i + 1 < order.size(); i += 2) {
        round.push_back({order[i], order[i + 1] <= fencers ? order[i + 1] : BYE, std::nullopt});
    }
    tournament.tableau.push_back(std::move(round));
}

// Once every place of the last round is decided, its winners meet in pairs, the higher seed
// on the left.
void buildNextRound(Tournament& tournament) {
    const std::vector<TableauBout>& last = tournament.tableau.back();
    if (last.size() < 2 || !std::ranges::all_of(last, decided)) {
        return;
    }
    std::vector<TableauBout> round;
    for (std::size_t i = 0; i + 1 < last.size(); i += 2) {
        const std::int32_t upper = winnerSeed(last[i]);
        const std::int32_t lower = winnerSeed(last[i + 1]);
        round.push_back({std::min(upper, lower), std::max(upper, lower), std::nullopt});
    }
    tournament.tableau.push_back(std::move(round));
}

// How many characters a terminal shows for a name: one a UTF-8 character, one a stray byte.
std::size_t shownWidth(std::string_view text) {
    std::size_t width = 0;
    while (!text.empty()) {
        const std::size_t length = std::max<std::size_t>(firstUtf8Character(text).length, 1);
        text.remove_prefix(length);
        ++width;
    }
    return width;
}

std::string padded(const std::string& name, std::size_t width) {
    const std::size_t shown = shownWidth(name);
    return name + std::string(width > shown ? width - shown : 0, ' ');
}

std::size_t widestName(const Tournament& tournament, std::size_t least) {
    std::size_t widest = least;
    for (const Seat& seat : tournament.seats) {
        widest = std::max(widest, shownWidth(seat.name));
    }
    return widest;
}

template <typename... Values> std::string formatted(const char* format, Values... values) {
    char text[64];
    std::snprintf(text, sizeof text, format, values...);
    return text;
}

std::string roundTitle(std::int32_t places) {
    switch (places) {
    case 2:
        return "Final";
    case 4:
        return "Semi-finals";
    default:
        return formatted("Round of %d", places);
    }
}

std::string csvField(std::string_view field) {
    if (field.find_first_of(",\"\r\n") == std::string_view::npos) {
        return std::string(field);
    }
    std::string quoted = "\"";
    for (char c : field) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    return quoted + "\"";
}

std::string csvBoutRow(const Tournament& tournament, std::string_view stage, std::int32_t round,
                       const BoutResult& result) {
    return std::string(stage) + formatted(",%d,", round) +
           csvField(tournament.seats[result.leftSeat].name) + "," +
           csvField(tournament.seats[result.rightSeat].name) +
           formatted(",%d,%d\r\n", result.leftTouches, result.rightTouches);
}

} // namespace

std::span<const PoolPair> poolOrder(std::int32_t fencerCount) {
    if (fencerCount < FEWEST_FENCERS || fencerCount > MOST_FENCERS) {
        return {};
    }
    return POOL_ORDERS[fencerCount - FEWEST_FENCERS];
}

Tournament createTournament(std::vector<Seat> seats, std::uint32_t seed) {
    const auto fencers = static_cast<std::int32_t>(seats.size());
    return Tournament{
        std::move(seats),  {}, {}, fencers <= SMALL_TABLEAU ? SMALL_TABLEAU : LARGE_TABLEAU, {},
        std::mt19937(seed)};
}

std::optional<NextBout> nextBout(const Tournament& tournament) {
    const std::span<const PoolPair> order =
        poolOrder(static_cast<std::int32_t>(tournament.seats.size()));
    if (tournament.poolBouts.size() < order.size()) {
        const PoolPair pair = order[tournament.poolBouts.size()];
        return NextBout{true, 0, pair.left - 1, pair.right - 1, POOL_TOUCH_LIMIT};
    }
    if (tournament.tableau.empty()) {
        return std::nullopt;
    }
    for (const TableauBout& place : tournament.tableau.back()) {
        if (!decided(place)) {
            return NextBout{false, placesOfRound(tournament, tournament.tableau.size() - 1),
                            seatOfSeed(tournament, place.leftSeed),
                            seatOfSeed(tournament, place.rightSeed),
                            DIRECT_ELIMINATION_TOUCH_LIMIT};
        }
    }
    return std::nullopt;
}

BoutResult recordBout(Tournament& tournament, std::int32_t leftTouches, std::int32_t rightTouches) {
    const std::optional<NextBout> next = nextBout(tournament);
    if (!next) {
        return {};
    }
    const bool leftWon =
        leftTouches != rightTouches ? leftTouches > rightTouches : drawLot(tournament, 2) == 0;
    const BoutResult result{next->leftSeat, next->rightSeat, leftTouches, rightTouches, leftWon};
    if (next->pool) {
        tournament.poolBouts.push_back(result);
        if (!nextBout(tournament)) {
            rankPool(tournament);
            seedTableau(tournament);
        }
        return result;
    }
    for (TableauBout& place : tournament.tableau.back()) {
        if (!decided(place)) {
            place.result = result;
            break;
        }
    }
    buildNextRound(tournament);
    return result;
}

std::vector<PoolStanding> poolStandings(const Tournament& tournament) {
    std::vector<PoolStanding> standings;
    for (std::size_t seat = 0; seat < tournament.seats.size(); ++seat) {
        standings.push_back({static_cast<std::int32_t>(seat), 0, 0, 0, 0, 0});
    }
    for (const BoutResult& result : tournament.poolBouts) {
        PoolStanding& left = standings[result.leftSeat];
        PoolStanding& right = standings[result.rightSeat];
        ++left.bouts;
        ++right.bouts;
        (result.leftWon ? left : right).victories += 1;
        left.touchesScored += result.leftTouches;
        left.touchesReceived += result.rightTouches;
        right.touchesScored += result.rightTouches;
        right.touchesReceived += result.leftTouches;
    }
    for (const PoolStanding& ranked : tournament.ranking) {
        standings[ranked.seat].place = ranked.place;
    }
    return standings;
}

std::vector<FinalPlace> finalPlaces(const Tournament& tournament) {
    std::vector<std::pair<FinalPlace, std::int32_t>> placed; // with the seed, to order by
    for (std::size_t round = 0; round < tournament.tableau.size(); ++round) {
        const std::int32_t place = placesOfRound(tournament, round) / 2 + 1;
        for (const TableauBout& bout : tournament.tableau[round]) {
            if (!bout.result) {
                continue;
            }
            const std::int32_t loser = loserSeed(bout);
            placed.push_back({{place, seatOfSeed(tournament, loser)}, loser});
            if (place == 2) {
                const std::int32_t winner = winnerSeed(bout);
                placed.push_back({{1, seatOfSeed(tournament, winner)}, winner});
            }
        }
    }
    std::ranges::sort(placed, [](const auto& a, const auto& b) {
        return std::pair(a.first.place, a.second) < std::pair(b.first.place, b.second);
    });
    std::vector<FinalPlace> places;
    for (const auto& [place, seed] : placed) {
        places.push_back(place);
    }
    return places;
}

std::string poolSheetText(const Tournament& tournament) {
    const std::size_t nameWidth = widestName(tournament, 4);
    const std::size_t fencers = tournament.seats.size();
    std::string text = "\nPool sheet\n    " + std::string(nameWidth, ' ');
    for (std::size_t number = 1; number <= fencers; ++number) {
        text += formatted("%4zu", number);
    }
    text += formatted("%5s%7s%5s%5s%6s%7s\n", "V", "V/M", "TS", "TR", "Ind", "Place");
    const std::vector<PoolStanding> standings = poolStandings(tournament);
    for (std::size_t row = 0; row < fencers; ++row) {
        text += formatted("%2zu  ", row + 1) + padded(tournament.seats[row].name, nameWidth);
        for (std::size_t column = 0; column < fencers; ++column) {
            std::string cell;
            for (const BoutResult& result : tournament.poolBouts) {
                const bool left = std::cmp_equal(result.leftSeat, row) &&
                                  std::cmp_equal(result.rightSeat, column);
                const bool right = std::cmp_equal(result.rightSeat, row) &&
                                   std::cmp_equal(result.leftSeat, column);
                if (left || right) {
                    cell = formatted("%c%d", result.leftWon == left ? 'V' : 'D',
                                     left ? result.leftTouches : result.rightTouches);
                }
            }
            text += formatted("%4s", cell.c_str());
        }
        const PoolStanding& line = standings[row];
        const double ratio = line.bouts == 0 ? 0.0 : double(line.victories) / line.bouts;
        const std::int32_t indicator = line.touchesScored - line.touchesReceived;
        text += formatted("%5d%7.3f%5d%5d", line.victories, ratio, line.touchesScored,
                          line.touchesReceived) +
                formatted(indicator == 0 ? "%6d" : "%+6d", indicator);
        text += line.place == 0 ? "\n" : formatted("%7d\n", line.place);
    }
    return text;
}

std::string tableauText(const Tournament& tournament) {
    const std::size_t nameWidth = widestName(tournament, 0);
    std::string text = formatted("\nTableau of %d\n", tournament.tableauSize);
    for (std::size_t round = 0; round < tournament.tableau.size(); ++round) {
        text += roundTitle(placesOfRound(tournament, round)) + "\n";
        for (const TableauBout& place : tournament.tableau[round]) {
            const std::string upper =
                formatted("  (%d) ", place.leftSeed) +
                padded(tournament.seats[seatOfSeed(tournament, place.leftSeed)].name, nameWidth);
            if (place.rightSeed == BYE) {
                text += upper + "  bye\n";
                continue;
            }
            const std::string score =
                place.result
                    ? formatted("%2d - %-2d", place.result->leftTouches, place.result->rightTouches)
                    : std::string("   -   ");
            text += upper + "  " + score + formatted("  (%d) ", place.rightSeed) +
                    tournament.seats[seatOfSeed(tournament, place.rightSeed)].name + "\n";
        }
    }
    return text;
}

std::string lotsText(const Tournament& tournament) {
    std::string text;
    const std::vector<PoolStanding>& ranking = tournament.ranking;
    for (std::size_t first = 0; first < ranking.size();) {
        std::size_t end = first + 1;
        while (end < ranking.size() && ranking[end].place == ranking[first].place) {
            ++end;
        }
        if (end - first > 1) {
            text += formatted("\nLots drawn between the fencers who share place %d:",
                              ranking[first].place);
            for (std::size_t i = first; i < end; ++i) {
                text += formatted(i == first ? " " : ", ") +
                        tournament.seats[ranking[i].seat].name + formatted(" is seeded %zu", i + 1);
            }
            text += ".\n";
        }
        first = end;
    }
    return text;
}

std::string resultsCsv(const Tournament& tournament) {
    std::string csv = "stage,round,left,right,left_touches,right_touches\r\n";
    for (const BoutResult& result : tournament.poolBouts) {
        csv += csvBoutRow(tournament, "pool", 1, result);
    }
    for (std::size_t round = 0; round < tournament.tableau.size(); ++round) {
        for (const TableauBout& place : tournament.tableau[round]) {
            if (place.result) {
                csv +=
                    csvBoutRow(tournament, "de", placesOfRound(tournament, round), *place.result);
            }
        }
    }
    csv += "\r\nplace,name,v,m,ts,tr,ind\r\n";
    for (const PoolStanding& line : tournament.ranking) {
        csv += formatted("%d,", line.place) + csvField(tournament.seats[line.seat].name) +
               formatted(",%d,%d,%d,%d,%d\r\n", line.victories, line.bouts, line.touchesScored,
                         line.touchesReceived, line.touchesScored - line.touchesReceived);
    }
    csv += "\r\nfinal_place,name\r\n";
    for (const FinalPlace& place : finalPlaces(tournament)) {
        csv += formatted("%d,", place.place) + csvField(tournament.seats[place.seat].name) + "\r\n";
    }
    return csv;
}

bool writeResultsFile(const std::string& path, const std::string& text, std::string& fault) {
    const std::string temporary = path + ".tmp";
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr) {
        fault = std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    const int writeError = errno;
    if (std::fclose(file) != 0 || !written) {
        fault = std::strerror(written ? errno : writeError);
        std::remove(temporary.c_str());
        return false;
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        fault = std::strerror(errno);
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}
