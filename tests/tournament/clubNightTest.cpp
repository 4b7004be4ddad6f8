#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <utility>

#include "replay.h"
#include "tournament.h"

namespace {

using Pairs = std::vector<std::pair<std::int32_t, std::int32_t>>;

// A whole night fenced from a table of scores, bout by bout, in the order nextBout gives.
struct NightCase {
    const char* title;
    std::vector<std::string> names;
    std::uint32_t seed;
    Pairs scores;            // left and right touches of each bout in turn
    Pairs boutsFenced;       // the seats (from 0) of each bout, left then right
    std::vector<int> places; // the pool's places in seed order
    std::vector<int> seeds;  // the seats in seed order
    Pairs finalPlaces;       // place, seat
};

const NightCase NIGHTS[] = {
    // Bo wins both pool bouts; seed 1 has a bye, 2 and 3 fence the semi-final.
    {"three, with a bye",
     {"Ann", "Bo", "C,\"y\""},
     1,
     {{5, 3}, {5, 2}, {4, 5}, {15, 11}, {15, 13}},
     {{1, 2}, {0, 2}, {0, 1}, {0, 2}, {1, 0}},
     {1, 2, 3},
     {1, 0, 2},
     {{1, 1}, {2, 0}, {3, 2}}},
    // Ann, Bo and Cy beat each other 5-4 in a ring and Dee 5-0: equal on V/M, Ind and TS,
    // they share first place and lots seed them; Dee, 4th, meets seed 1.
    {"four, three sharing first place",
     {"Ann", "Bo", "Cy", "Dee"},
     7,
     {{5, 0}, {5, 4}, {4, 5}, {5, 0}, {5, 0}, {5, 4}, {15, 3}, {9, 15}, {15, 12}},
     {{0, 3}, {1, 2}, {0, 2}, {1, 3}, {2, 3}, {0, 1}, {1, 3}, {2, 0}, {1, 0}},
     {1, 1, 1, 4},
     {1, 2, 0, 3},
     {{1, 1}, {2, 0}, {3, 2}, {3, 3}}},
    // Five in a tableau of 8: byes for seeds 1 to 3, 4 meets 5. Ann and Bo share V/M and Ind
    // puts Ann first; Dee and Eve share V/M and Ind, and TS puts Dee first. Their level bout
    // is decided by lot.
    {"five, three byes",
     {"Ann", "Bo", "Cy", "Dee", "Eve"},
     3,
     {{5, 4},
      {5, 3},
      {2, 5},
      {5, 4},
      {5, 2},
      {5, 3},
      {5, 3},
      {5, 4},
      {5, 2},
      {4, 5},
      {7, 7},
      {15, 2},
      {15, 14},
      {10, 15}},
     {{0, 1},
      {2, 3},
      {4, 0},
      {1, 2},
      {4, 3},
      {0, 2},
      {1, 4},
      {3, 0},
      {2, 4},
      {3, 1},
      {3, 4},
      {0, 3},
      {1, 2},
      {0, 1}},
     {1, 2, 3, 4, 5},
     {0, 1, 2, 3, 4},
     {{1, 1}, {2, 0}, {3, 2}, {3, 3}, {5, 4}}},
};

TEST(ClubNight, EachNightFencedFromItsScoresTable) {
    for (const NightCase& night : NIGHTS) {
        SCOPED_TRACE(night.title);
        std::vector<Seat> seats;
        for (const std::string& name : night.names) {
            seats.push_back({name, std::nullopt});
        }
        Tournament tournament = createTournament(seats, night.seed);
        Pairs fenced;
        for (const auto& [left, right] : night.scores) {
            const std::optional<NextBout> next = nextBout(tournament);
            ASSERT_TRUE(next);
            EXPECT_EQ(next->touchLimit, next->pool ? 5 : 15);
            fenced.emplace_back(next->leftSeat, next->rightSeat);
            recordBout(tournament, left, right);
        }
        EXPECT_FALSE(nextBout(tournament));
        EXPECT_EQ(fenced, night.boutsFenced);
        std::vector<int> places, seeds;
        for (const PoolStanding& line : tournament.ranking) {
            places.push_back(line.place);
            seeds.push_back(line.seat);
        }
        EXPECT_EQ(places, night.places);
        EXPECT_EQ(seeds, night.seeds);
        Pairs finals;
        for (const FinalPlace& place : finalPlaces(tournament)) {
            finals.emplace_back(place.place, place.seat);
        }
        EXPECT_EQ(finals, night.finalPlaces);
    }
}

TEST(ClubNight, EveryPoolOrderMeetsEachPairOnce) {
    EXPECT_TRUE(poolOrder(2).empty());
    EXPECT_TRUE(poolOrder(9).empty());
    for (std::int32_t fencers = FEWEST_FENCERS; fencers <= MOST_FENCERS; ++fencers) {
        std::set<std::pair<int, int>> met;
        for (const PoolPair& pair : poolOrder(fencers)) {
            EXPECT_TRUE(pair.left >= 1 && pair.left <= fencers && pair.right >= 1 &&
                        pair.right <= fencers && pair.left != pair.right);
            met.insert(std::minmax(pair.left, pair.right));
        }
        EXPECT_EQ(met.size(), poolOrder(fencers).size()) << fencers;
        EXPECT_EQ(met.size(), std::size_t(fencers * (fencers - 1) / 2)) << fencers;
    }
    EXPECT_EQ(poolOrder(5)[2].left, 5); // "5-1": the first number on the left
}

TEST(ClubNight, SheetTableauLotsAndResultsByteForByte) {
    Tournament night = createTournament({{"Ann", {}}, {"Bo", {}}, {"C,\"y\"", {}}}, 1);
    for (const auto& [left, right] : NIGHTS[0].scores) {
        recordBout(night, left, right);
    }
    EXPECT_EQ(poolSheetText(night), "\nPool sheet\n"
                                    "            1   2   3    V    V/M   TS   TR   Ind  Place\n"
                                    " 1  Ann        D4  V5    1  0.500    9    7    +2      2\n"
                                    " 2  Bo     V5      V5    2  1.000   10    7    +3      1\n"
                                    " 3  C,\"y\"  D2  D3        0  0.000    5   10    -5      3\n");
    EXPECT_EQ(tableauText(night), "\nTableau of 4\n"
                                  "Semi-finals\n"
                                  "  (1) Bo     bye\n"
                                  "  (2) Ann    15 - 11  (3) C,\"y\"\n"
                                  "Final\n"
                                  "  (1) Bo     15 - 13  (2) Ann\n");
    EXPECT_EQ(lotsText(night), "");
    const std::string csv = "stage,round,left,right,left_touches,right_touches\r\n"
                            "pool,1,Bo,\"C,\"\"y\"\"\",5,3\r\n"
                            "pool,1,Ann,\"C,\"\"y\"\"\",5,2\r\n"
                            "pool,1,Ann,Bo,4,5\r\n"
                            "de,4,Ann,\"C,\"\"y\"\"\",15,11\r\n"
                            "de,2,Bo,Ann,15,13\r\n"
                            "\r\nplace,name,v,m,ts,tr,ind\r\n"
                            "1,Bo,2,2,10,7,3\r\n"
                            "2,Ann,1,2,9,7,2\r\n"
                            "3,\"C,\"\"y\"\"\",0,2,5,10,-5\r\n"
                            "\r\nfinal_place,name\r\n"
                            "1,Bo\r\n2,Ann\r\n3,\"C,\"\"y\"\"\"\r\n";
    EXPECT_EQ(resultsCsv(night), csv);

    // The file is replaced whole; a folder that is not there is refused in words.
    const std::string path = ::testing::TempDir() + "clubNightResults.csv";
    std::string fault;
    ASSERT_TRUE(writeResultsFile(path, "old", fault) && writeResultsFile(path, csv, fault));
    std::ostringstream written;
    written << std::ifstream(path, std::ios::binary).rdbuf();
    EXPECT_EQ(written.str(), csv);
    EXPECT_FALSE(std::ifstream(path + ".tmp").good());
    EXPECT_FALSE(writeResultsFile(::testing::TempDir() + "missing/night.csv", csv, fault));
    EXPECT_EQ(fault, "No such file or directory");
    std::remove(path.c_str());

    Tournament tied = createTournament({{"Ann", {}}, {"Bo", {}}, {"Cy", {}}, {"Dee", {}}}, 7);
    for (const auto& [left, right] : NIGHTS[1].scores) {
        recordBout(tied, left, right);
    }
    EXPECT_EQ(lotsText(tied), "\nLots drawn between the fencers who share place 1: Bo is seeded "
                              "1, Cy is seeded 2, Ann is seeded 3.\n");
}

} // namespace

namespace {

TEST(ClubNight, KeepsEachBoutBesideTheResultsOnlyWhenAsked) {
    for (const bool recordBouts : {false, true}) {
        const std::filesystem::path folder =
            std::filesystem::path(testing::TempDir()) / ("night" + std::to_string(recordBouts));
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        prepareClubNight({(folder / "club.csv").string(), 5u, recordBouts});
        char answers[] = "3\nhard\neasy\nnormal\n";
        std::FILE* input = fmemopen(answers, sizeof answers - 1, "r");
        beginClubNight(input); // three computers: the whole night is fenced at once
        std::fclose(input);
        std::vector<std::string> kept;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            if (entry.path().extension() == ".lamevo") {
                kept.push_back(entry.path().filename().string());
                Recording recording;
                EXPECT_EQ(readRecording(entry.path().c_str(), recording), "");
                EXPECT_TRUE(recording.won && recording.simulatedClock) << kept.back();
            }
        }
        std::sort(kept.begin(), kept.end());
        ASSERT_EQ(kept.size(), recordBouts ? 5u : 0u); // three pool bouts, a semi-final, a final
        if (recordBouts) {
            EXPECT_TRUE(kept.front().starts_with("club-01-pool-")) << kept.front();
            EXPECT_TRUE(kept.back().starts_with("club-05-de-2-")) << kept.back();
        }
    }
}

} // namespace
