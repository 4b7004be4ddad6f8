#include "tournament.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
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
constexpr PoolPair POOL_OF_6[] = {{1, 2}, {4, 5}, {2, 3}, {5, 6}, {3, 1}, {6, 4}, {2, 5}, {1, 4},
                                  {5, 3}, {1, 6}, {4, 2}, {3, 6}, {5, 1}, {3, 4}, {6, 2}};
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

// The widest name the pool sheet shows whole: a pool of 8 then fits 80 columns.
constexpr std::size_t SHEET_NAME_WIDTH = 12;

constexpr std::int32_t SMALL_TABLEAU = 4;
constexpr std::int32_t LARGE_TABLEAU = 8;
constexpr std::int32_t BYE = 0;

// The results file: what a symbolic link at its path leads to, written through a temporary
// file in the same folder, under a short name so that any name the system accepts works.
constexpr int MOST_LINKS_FOLLOWED = 40;
constexpr char TEMPORARY_NAME[] = ".lamevo-results-XXXXXX";
constexpr mode_t ANYONE_WRITES = S_IWUSR | S_IWGRP | S_IWOTH;

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool resultsTarget(const std::string& path, std::string& target, std::string& fault) {
    target = path;
    for (int links = 0; links < MOST_LINKS_FOLLOWED; ++links) {
        struct stat status {};
        if (lstat(target.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) {
            return true;
        }
        char pointsTo[PATH_MAX];
        const ssize_t length = readlink(target.c_str(), pointsTo, sizeof pointsTo);
        if (length < 0 || std::cmp_equal(length, sizeof pointsTo)) {
            fault = target + ": " + std::strerror(length < 0 ? errno : ENAMETOOLONG);
            return false;
        }
        const std::string next(pointsTo, static_cast<std::size_t>(length));
        target = next.starts_with('/') ? next : folderOf(target) + next;
    }
    fault = path + ": " + std::strerror(ELOOP);
    return false;
}

struct ExistingFile {
    bool exists;
    mode_t mode; // its permissions
};

// A file already there must be a plain file with write permission; no write permission for
// anybody counts as refused even where the superuser could write it.
bool targetWritable(const std::string& target, ExistingFile& existing, std::string& fault) {
    struct stat status {};
    existing = {};
    if (stat(target.c_str(), &status) != 0) {
        return true; // missing, or its folder is: making the temporary file tells
    }
    if (S_ISDIR(status.st_mode)) {
        fault = target + ": " + std::strerror(EISDIR);
        return false;
    }
    if (!S_ISREG(status.st_mode)) {
        fault = target + ": not a plain file";
        return false;
    }
    if ((status.st_mode & ANYONE_WRITES) == 0 || access(target.c_str(), W_OK) != 0) {
        fault = target + ": " + std::strerror(EACCES);
        return false;
    }
    existing = {true, static_cast<mode_t>(status.st_mode & 07777)};
    return true;
}

int makeTemporaryBeside(const std::string& target, std::string& temporary) {
    temporary = folderOf(target) + TEMPORARY_NAME;
    return mkstemp(temporary.data());
}

// A new file's permissions, as the process's umask leaves them.
mode_t newFileMode() {
    const mode_t mask = umask(0);
    umask(mask);
    return static_cast<mode_t>(0666 & ~mask);
}

// The computers' own names, one for each seat a night can have; the level is added to it.
constexpr const char* COMPUTER_NAMES[] = {"Riposte", "Remise", "Feint", "Balestra",
                                          "Coupe",   "Fleche", "Prime", "Quarte"};
static_assert(std::size(COMPUTER_NAMES) == MOST_FENCERS);

// The longest name kept, in bytes, as the one-bout dialogue keeps them.
constexpr std::size_t LONGEST_NAME = 999;

std::optional<OpponentLevel> levelNamed(std::string_view word) {
    for (const OpponentLevelName& level : OPPONENT_LEVEL_NAMES) {
        if (level.name == word) {
            return level.level;
        }
    }
    return std::nullopt;
}

std::string_view nameOfLevel(OpponentLevel wanted) {
    for (const OpponentLevelName& level : OPPONENT_LEVEL_NAMES) {
        if (level.level == wanted) {
            return level.name;
        }
    }
    return "";
}

bool nameTaken(std::string_view name, std::span<const Seat> seats) {
    return std::ranges::any_of(seats, [name](const Seat& seat) { return seat.name == name; });
}

// A name as the sheet can show it: tabs and other control characters inside it become blanks,
// and it is cut to LONGEST_NAME bytes before a character that would not fit whole.
std::string cleanedName(std::string_view line) {
    std::string name;
    while (!line.empty()) {
        const std::size_t length = std::max<std::size_t>(firstUtf8Character(line).length, 1);
        if (name.size() + length > LONGEST_NAME) {
            break;
        }
        const auto first = static_cast<unsigned char>(line.front());
        name +=
            first < 0x20 || first == 0x7F ? std::string(" ") : std::string(line.substr(0, length));
        line.remove_prefix(length);
    }
    return name;
}

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

// Code points a terminal draws in no column of their own (combining marks, joiners) or in two
// (East Asian wide and full-width forms, the pictographs), as wcwidth counts them.
struct CodePointRange {
    char32_t first;
    char32_t last;
};
constexpr CodePointRange ZERO_WIDTH[] = {
    {0x0300, 0x036F}, {0x0483, 0x0489}, {0x0591, 0x05BD}, {0x05BF, 0x05BF},   {0x05C1, 0x05C2},
    {0x05C4, 0x05C5}, {0x05C7, 0x05C7}, {0x0610, 0x061A}, {0x064B, 0x065F},   {0x0670, 0x0670},
    {0x06D6, 0x06DC}, {0x06DF, 0x06E4}, {0x06E7, 0x06E8}, {0x06EA, 0x06ED},   {0x0711, 0x0711},
    {0x0730, 0x074A}, {0x0900, 0x0902}, {0x093C, 0x093C}, {0x0941, 0x0948},   {0x094D, 0x094D},
    {0x0E31, 0x0E31}, {0x0E34, 0x0E3A}, {0x0E47, 0x0E4E}, {0x1AB0, 0x1AFF},   {0x1DC0, 0x1DFF},
    {0x200B, 0x200F}, {0x202A, 0x202E}, {0x2060, 0x2064}, {0x20D0, 0x20FF},   {0x3099, 0x309A},
    {0xFE00, 0xFE0F}, {0xFE20, 0xFE2F}, {0xFEFF, 0xFEFF}, {0xE0100, 0xE01EF},
};
constexpr CodePointRange DOUBLE_WIDTH[] = {
    {0x1100, 0x115F},   {0x231A, 0x231B},   {0x2329, 0x232A},   {0x2E80, 0x303E},
    {0x3041, 0x3098},   {0x309B, 0x33FF},   {0x3400, 0x4DBF},   {0x4E00, 0x9FFF},
    {0xA000, 0xA4CF},   {0xA960, 0xA97F},   {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},
    {0xFE10, 0xFE19},   {0xFE30, 0xFE6F},   {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6},
    {0x1F300, 0x1F64F}, {0x1F900, 0x1F9FF}, {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD},
};

bool inRanges(char32_t codePoint, std::span<const CodePointRange> ranges) {
    return std::ranges::any_of(ranges, [codePoint](const CodePointRange& range) {
        return codePoint >= range.first && codePoint <= range.last;
    });
}

// The columns a terminal gives a character; a stray byte that is not UTF-8 takes one.
std::size_t characterWidth(char32_t codePoint, std::size_t length) {
    if (length == 0) {
        return 1;
    }
    if (inRanges(codePoint, ZERO_WIDTH)) {
        return 0;
    }
    return inRanges(codePoint, DOUBLE_WIDTH) ? 2 : 1;
}

// How many columns a terminal gives a name.
std::size_t shownWidth(std::string_view text) {
    std::size_t width = 0;
    while (!text.empty()) {
        const Utf8Character character = firstUtf8Character(text);
        width += characterWidth(character.codePoint, character.length);
        text.remove_prefix(std::max<std::size_t>(character.length, 1));
    }
    return width;
}

// The name cut to fit width columns with SHORTENED_MARK as its last, if it is wider; the
// combining marks after the last character kept stay with it.
constexpr std::string_view SHORTENED_MARK = "~";
std::string shortened(std::string_view name, std::size_t width) {
    if (shownWidth(name) <= width) {
        return std::string(name);
    }
    std::size_t kept = 0;
    std::size_t columns = 0;
    while (kept < name.size()) {
        const Utf8Character character = firstUtf8Character(name.substr(kept));
        const std::size_t columnsOf = characterWidth(character.codePoint, character.length);
        if (columns + columnsOf > width - SHORTENED_MARK.size()) {
            break;
        }
        columns += columnsOf;
        kept += std::max<std::size_t>(character.length, 1);
    }
    return std::string(name.substr(0, kept)) + std::string(SHORTENED_MARK) +
           std::string(width - SHORTENED_MARK.size() - columns, ' ');
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
    char text[128];
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
           formatted(",%d,%d,", result.leftTouches, result.rightTouches) +
           (result.leftWon ? "left\r\n" : "right\r\n");
}

// The results in the federations' XML format: attribute values made safe, one element a line.
constexpr std::string_view REPLACEMENT_CHARACTER = "\xEF\xBF\xBD";

std::string xmlValue(std::string_view text) {
    std::string safe;
    while (!text.empty()) {
        const Utf8Character character = firstUtf8Character(text);
        if (character.length == 0) {
            safe += REPLACEMENT_CHARACTER;
            text.remove_prefix(1);
            continue;
        }
        switch (character.codePoint) {
        case '&':
            safe += "&amp;";
            break;
        case '<':
            safe += "&lt;";
            break;
        case '>':
            safe += "&gt;";
            break;
        case '"':
            safe += "&quot;";
            break;
        default:
            safe += character.codePoint < 0x20 || character.codePoint == 0x7F
                        ? std::string(" ")
                        : std::string(text.substr(0, character.length));
        }
        text.remove_prefix(character.length);
    }
    return safe;
}

struct XmlAttribute {
    std::string_view name;
    std::string value; // an attribute without a value is left out
    bool evenEmpty = false;
};

std::string xmlElement(int depth, std::string_view name,
                       std::initializer_list<XmlAttribute> attributes, bool empty) {
    // Appended piece by piece: GCC 12 warns wrongly of overlapping copies in the sum of strings.
    std::string text(static_cast<std::size_t>(depth) * 2, ' ');
    text += '<';
    text += name;
    for (const XmlAttribute& attribute : attributes) {
        if (!attribute.value.empty() || attribute.evenEmpty) {
            text += ' ';
            text += attribute.name;
            text += "=\"";
            text += xmlValue(attribute.value);
            text += '"';
        }
    }
    text += empty ? "/>\n" : ">\n";
    return text;
}

std::string xmlClose(int depth, std::string_view name) {
    return std::string(static_cast<std::size_t>(depth) * 2, ' ') + "</" + std::string(name) + ">\n";
}

std::string number(std::int32_t value) {
    return std::to_string(value);
}

// A bout's two fencers by their IDs (pool numbers from 1), the left one first, Cote G and D.
std::string xmlMatch(int depth, std::int32_t id, const BoutResult& result) {
    return xmlElement(depth, "Match", {{"ID", number(id)}}, false) +
           xmlElement(depth + 1, "Tireur",
                      {{"REF", number(result.leftSeat + 1)},
                       {"Score", number(result.leftTouches)},
                       {"Statut", result.leftWon ? "V" : "D"},
                       {"Cote", "G"}},
                      true) +
           xmlElement(depth + 1, "Tireur",
                      {{"REF", number(result.rightSeat + 1)},
                       {"Score", number(result.rightTouches)},
                       {"Statut", result.leftWon ? "D" : "V"},
                       {"Cote", "D"}},
                      true) +
           xmlClose(depth, "Match");
}

std::string xmlPoolRound(const Tournament& tournament) {
    const std::vector<PoolStanding> standings = poolStandings(tournament);
    const bool ranked = !tournament.ranking.empty();
    std::string xml = xmlElement(
        2, "TourDePoules",
        {{"PhaseID", "TourPoules1"},
         {"ID", "1"},
         {"NbDePoules", "1"},
         {"PhaseSuivanteDesQualifies", "PhaseTableaux1"},
         {"NbQualifiesParIndice", number(static_cast<std::int32_t>(tournament.seats.size()))}},
        false);
    for (std::size_t seat = 0; seat < standings.size(); ++seat) {
        const std::int32_t place = standings[seat].place;
        xml += xmlElement(3, "Tireur",
                          {{"REF", number(static_cast<std::int32_t>(seat) + 1)},
                           {"RangInitial", number(static_cast<std::int32_t>(seat) + 1)},
                           {"RangFinal", ranked ? number(place) : ""},
                           {"Statut", ranked ? "Q" : ""}},
                          true);
    }
    xml += xmlElement(3, "Poule", {{"ID", "1"}}, false);
    for (const PoolStanding& line : standings) {
        xml += xmlElement(4, "Tireur",
                          {{"REF", number(line.seat + 1)},
                           {"NoDansLaPoule", number(line.seat + 1)},
                           {"NbVictoires", number(line.victories)},
                           {"NbMatches", number(line.bouts)},
                           {"TD", number(line.touchesScored)},
                           {"TR", number(line.touchesReceived)},
                           {"RangPoule", ranked ? number(line.place) : ""}},
                          true);
    }
    for (std::size_t bout = 0; bout < tournament.poolBouts.size(); ++bout) {
        xml += xmlMatch(4, static_cast<std::int32_t>(bout) + 1, tournament.poolBouts[bout]);
    }
    return xml + xmlClose(3, "Poule") + xmlClose(2, "TourDePoules");
}

std::string xmlTableau(const Tournament& tournament) {
    std::vector<std::int32_t> finalPlaceOf(tournament.seats.size(), 0);
    for (const FinalPlace& place : finalPlaces(tournament)) {
        finalPlaceOf[place.seat] = place.place;
    }
    std::string xml =
        xmlElement(2, "PhaseDeTableaux", {{"PhaseID", "PhaseTableaux1"}, {"ID", "2"}}, false);
    for (std::size_t seed = 1; seed <= tournament.ranking.size(); ++seed) {
        const std::int32_t seat = tournament.ranking[seed - 1].seat;
        xml +=
            xmlElement(3, "Tireur",
                       {{"REF", number(seat + 1)},
                        {"RangInitial", number(static_cast<std::int32_t>(seed))},
                        {"RangFinal", finalPlaceOf[seat] == 0 ? "" : number(finalPlaceOf[seat])}},
                       true);
    }
    xml +=
        xmlElement(3, "SuiteDeTableaux",
                   {{"ID", "A"},
                    {"Titre", "Tableau"},
                    {"NbDeTableaux", number(static_cast<std::int32_t>(tournament.tableau.size()))}},
                   false);
    for (std::size_t round = 0; round < tournament.tableau.size(); ++round) {
        const std::int32_t places = placesOfRound(tournament, round);
        xml += xmlElement(4, "Tableau",
                          {{"ID", "A" + number(places)},
                           {"Titre", roundTitle(places)},
                           {"Taille", number(places)}},
                          false);
        std::int32_t matchId = 0;
        for (const TableauBout& place : tournament.tableau[round]) {
            ++matchId;
            if (place.result) {
                xml += xmlMatch(5, matchId, *place.result);
                continue;
            }
            // A bye, or a bout still to fence: its fencers without a score.
            xml += xmlElement(5, "Match", {{"ID", number(matchId)}}, false);
            for (const std::int32_t seed : {place.leftSeed, place.rightSeed}) {
                xml += seed == BYE
                           ? xmlElement(6, "Tireur", {}, true)
                           : xmlElement(6, "Tireur",
                                        {{"REF", number(seatOfSeed(tournament, seed) + 1)}}, true);
            }
            xml += xmlClose(5, "Match");
        }
        xml += xmlClose(4, "Tableau");
    }
    return xml + xmlClose(3, "SuiteDeTableaux") + xmlClose(2, "PhaseDeTableaux");
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
    const std::size_t nameWidth = std::min(widestName(tournament, 4), SHEET_NAME_WIDTH);
    const std::size_t fencers = tournament.seats.size();
    std::string text = "\nPool sheet\n    " + std::string(nameWidth, ' ');
    for (std::size_t number = 1; number <= fencers; ++number) {
        text += formatted("%3zu", number);
    }
    text += formatted("%5s%7s%5s%5s%6s%7s\n", "V", "V/M", "TS", "TR", "Ind", "Place");
    const std::vector<PoolStanding> standings = poolStandings(tournament);
    std::string legend;
    for (std::size_t row = 0; row < fencers; ++row) {
        const std::string& name = tournament.seats[row].name;
        text += formatted("%2zu  ", row + 1) + padded(shortened(name, nameWidth), nameWidth);
        if (shownWidth(name) > nameWidth) {
            legend += formatted("%2zu  ", row + 1) + name + "\n";
        }
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
            text += formatted("%3s", cell.c_str());
        }
        const PoolStanding& line = standings[row];
        const double ratio = line.bouts == 0 ? 0.0 : double(line.victories) / line.bouts;
        const std::int32_t indicator = line.touchesScored - line.touchesReceived;
        text += formatted("%5d%7.3f%5d%5d", line.victories, ratio, line.touchesScored,
                          line.touchesReceived) +
                formatted(indicator == 0 ? "%6d" : "%+6d", indicator);
        text += line.place == 0 ? "\n" : formatted("%7d\n", line.place);
    }
    return legend.empty() ? text : text + "Names in full\n" + legend;
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
    std::string csv = "stage,round,left,right,left_touches,right_touches,winner\r\n";
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

namespace {

// The file the results go to (a link's target) and a new temporary file beside it, open for
// writing; -1, with fault saying why, where either cannot be had.
int openTemporaryBesideTarget(const std::string& path, std::string& target, ExistingFile& existing,
                              std::string& temporary, std::string& fault) {
    if (!resultsTarget(path, target, fault) || !targetWritable(target, existing, fault)) {
        return -1;
    }
    const int file = makeTemporaryBeside(target, temporary);
    if (file < 0) {
        fault = target + ": " + std::strerror(errno);
    }
    return file;
}

} // namespace

bool resultsPathWritable(const std::string& path, std::string& fault) {
    std::string target;
    ExistingFile existing{};
    std::string temporary;
    const int file = openTemporaryBesideTarget(path, target, existing, temporary, fault);
    if (file < 0) {
        return false;
    }
    close(file);
    unlink(temporary.c_str());
    return true;
}

bool writeResultsFile(const std::string& path, const std::string& text, std::string& fault) {
    std::string target;
    ExistingFile existing{};
    std::string temporary;
    const int file = openTemporaryBesideTarget(path, target, existing, temporary, fault);
    if (file < 0) {
        return false;
    }
    bool written = fchmod(file, existing.exists ? existing.mode : newFileMode()) == 0;
    for (std::size_t done = 0; written && done < text.size();) {
        const ssize_t wrote = write(file, text.data() + done, text.size() - done);
        written = wrote > 0 || (wrote < 0 && errno == EINTR);
        done += wrote > 0 ? static_cast<std::size_t>(wrote) : 0;
    }
    written = written && fsync(file) == 0;
    int failure = errno;
    if (close(file) != 0 && written) {
        written = false;
        failure = errno;
    }
    if (written && rename(temporary.c_str(), target.c_str()) != 0) {
        written = false;
        failure = errno;
    }
    if (!written) {
        unlink(temporary.c_str());
        fault = target + ": " + std::strerror(failure);
    }
    return written;
}

std::string_view trimmedAnswer(std::string_view line) {
    constexpr std::string_view BLANKS = " \t\r\n";
    const std::size_t first = line.find_first_not_of(BLANKS);
    if (first == std::string_view::npos) {
        return {};
    }
    return line.substr(first, line.find_last_not_of(BLANKS) - first + 1);
}

std::string fencerCountQuestion() {
    return formatted("\n\tHow many fencers tonight (%d to %d)? ", FEWEST_FENCERS, MOST_FENCERS);
}

CountAnswer fencerCountAnswer(std::string_view line) {
    const std::string_view answer = trimmedAnswer(line);
    const std::string askForNumber =
        formatted("Please enter a number from %d to %d: ", FEWEST_FENCERS, MOST_FENCERS);
    if (answer.empty()) {
        return {0, "\n" + askForNumber};
    }
    const std::string_view digits =
        answer.starts_with('+') || answer.starts_with('-') ? answer.substr(1) : answer;
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos) {
        return {0, "\n\"" + std::string(answer) + "\" is not a whole number on its own. " +
                       askForNumber};
    }
    const bool negative = answer.starts_with('-');
    const std::size_t firstDigit = std::min(digits.find_first_not_of('0'), digits.size());
    const bool inRange = !negative && digits.size() - firstDigit == 1 &&
                         digits.back() - '0' >= FEWEST_FENCERS &&
                         digits.back() - '0' <= MOST_FENCERS;
    if (!inRange) {
        return {0, fencerCountQuestion()};
    }
    return {digits.back() - '0', ""};
}

std::string fencerNameQuestion(std::int32_t number) {
    return "\n\tPlease enter the name of fencer " + std::to_string(number) +
           " (easy, normal or hard seats the computer): ";
}

NameAnswer fencerNameAnswer(std::string_view line, std::int32_t number,
                            std::span<const Seat> seatsSoFar) {
    const std::string name = cleanedName(trimmedAnswer(line));
    if (name.empty()) {
        return {std::nullopt, "\nEvery fencer needs a name." + fencerNameQuestion(number)};
    }
    const std::optional<OpponentLevel> level = levelNamed(name);
    if (level) {
        const auto computers = static_cast<std::size_t>(std::ranges::count_if(
            seatsSoFar, [](const Seat& seat) { return seat.computer.has_value(); }));
        std::string computerName;
        for (std::size_t tried = 0; tried < std::size(COMPUTER_NAMES); ++tried) {
            computerName =
                std::string(COMPUTER_NAMES[(computers + tried) % std::size(COMPUTER_NAMES)]) + "(" +
                std::string(nameOfLevel(*level)) + ")";
            if (!nameTaken(computerName, seatsSoFar)) {
                break;
            }
        }
        return {Seat{computerName, level}, "\n\nFencer " + std::to_string(number) +
                                               " is the computer " + computerName + ".\n"};
    }
    if (nameTaken(name, seatsSoFar)) {
        return {std::nullopt, "\n" + name + " already fences tonight; every fencer needs a name " +
                                  "of their own." + fencerNameQuestion(number)};
    }
    return {Seat{name, std::nullopt}, "\n\nThank you, " + name + ".\n"};
}

std::string nextBoutText(const Tournament& tournament) {
    const std::optional<NextBout> next = nextBout(tournament);
    if (!next) {
        return "";
    }
    return "\nNext: " + tournament.seats[next->leftSeat].name + " against " +
           tournament.seats[next->rightSeat].name + "\n";
}

ResultsHeading headingForDay(std::int32_t year, std::int32_t month, std::int32_t day) {
    constexpr std::int32_t SEASON_BEGINS = 9; // September
    const std::int32_t firstYear = month >= SEASON_BEGINS ? year : year - 1;
    return {formatted("%02d.%02d.%04d", day, month, year),
            formatted("%d/%d", firstYear, firstYear + 1)};
}

std::string resultsXml(const Tournament& tournament, const ResultsHeading& heading) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    xml += xmlElement(0, "CompetitionIndividuelle",
                      {{"Version", "3.3"},
                       {"Championnat", "Lamevo"},
                       {"ID", "1"},
                       {"Annee", heading.season},
                       {"Arme", "F"},
                       {"Sexe", "X"},
                       {"Categorie", "S"},
                       {"Date", heading.date},
                       {"TitreCourt", "Club night"},
                       {"TitreLong", "The Lamevo club night"}},
                      false);
    std::vector<std::int32_t> finalPlaceOf(tournament.seats.size(), 0);
    for (const FinalPlace& place : finalPlaces(tournament)) {
        finalPlaceOf[place.seat] = place.place;
    }
    xml += xmlElement(1, "Tireurs", {}, false);
    for (std::size_t seat = 0; seat < tournament.seats.size(); ++seat) {
        xml +=
            xmlElement(2, "Tireur",
                       {{"ID", number(static_cast<std::int32_t>(seat) + 1)},
                        {"Nom", tournament.seats[seat].name},
                        {"Prenom", "", true},
                        {"Classement", finalPlaceOf[seat] == 0 ? "" : number(finalPlaceOf[seat])}},
                       true);
    }
    xml += xmlClose(1, "Tireurs") + xmlElement(1, "Phases", {}, false) + xmlPoolRound(tournament);
    if (!tournament.tableau.empty()) {
        xml += xmlTableau(tournament);
    }
    return xml + xmlClose(1, "Phases") + xmlClose(0, "CompetitionIndividuelle");
}

bool resultsAsXml(std::string_view path) {
    constexpr std::string_view EXTENSION = ".xml";
    if (path.size() < EXTENSION.size()) {
        return false;
    }
    const std::string_view end = path.substr(path.size() - EXTENSION.size());
    return std::ranges::equal(end, EXTENSION, [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == b;
    });
}
