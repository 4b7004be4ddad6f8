#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <utility>

#include "captureStdout.h"
#include "privateFolder.h"
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

// The bout orders as the federations' pool sheets print them, the first number on the left.
TEST(ClubNight, EveryPoolOrderIsTheStandardSheet) {
    const char* const SHEETS[] = {
        "2-3 1-3 1-2",
        "1-4 2-3 1-3 2-4 3-4 1-2",
        "1-2 3-4 5-1 2-3 5-4 1-3 2-5 4-1 3-5 4-2",
        "1-2 4-5 2-3 5-6 3-1 6-4 2-5 1-4 5-3 1-6 4-2 3-6 5-1 3-4 6-2",
        "1-4 2-5 3-6 7-1 5-4 2-3 6-7 5-1 4-3 6-2 5-7 3-1 4-6 7-2 3-5 1-6 2-4 7-3 6-5 1-2 4-7",
        "2-3 1-5 7-4 6-8 1-2 3-4 5-6 8-7 4-1 5-2 8-3 6-7 4-2 8-1 7-5 3-6 2-8 5-4 6-1 3-7 4-8 2-6 "
        "3-5 1-7 4-6 8-5 7-2 1-3",
    };
    for (std::int32_t fencers = FEWEST_FENCERS; fencers <= MOST_FENCERS; ++fencers) {
        std::string sheet;
        for (const PoolPair& pair : poolOrder(fencers)) {
            sheet += (sheet.empty() ? "" : " ") + std::to_string(pair.left) + "-" +
                     std::to_string(pair.right);
        }
        EXPECT_EQ(sheet, SHEETS[fencers - FEWEST_FENCERS]) << "pool of " << fencers;
    }
}

TEST(ClubNight, SheetTableauLotsAndResultsByteForByte) {
    Tournament night = createTournament({{"Ann", {}}, {"Bo", {}}, {"C,\"y\"", {}}}, 1);
    for (const auto& [left, right] : NIGHTS[0].scores) {
        recordBout(night, left, right);
    }
    EXPECT_EQ(poolSheetText(night), "\nPool sheet\n"
                                    "           1  2  3    V    V/M   TS   TR   Ind  Place\n"
                                    " 1  Ann      D4 V5    1  0.500    9    7    +2      2\n"
                                    " 2  Bo    V5    V5    2  1.000   10    7    +3      1\n"
                                    " 3  C,\"y\" D2 D3       0  0.000    5   10    -5      3\n");
    EXPECT_EQ(tableauText(night), "\nTableau of 4\n"
                                  "Semi-finals\n"
                                  "  (1) Bo     bye\n"
                                  "  (2) Ann    15 - 11  (3) C,\"y\"\n"
                                  "Final\n"
                                  "  (1) Bo     15 - 13  (2) Ann\n");
    EXPECT_EQ(lotsText(night), "");
    const std::string csv = "stage,round,left,right,left_touches,right_touches,winner\r\n"
                            "pool,1,Bo,\"C,\"\"y\"\"\",5,3,left\r\n"
                            "pool,1,Ann,\"C,\"\"y\"\"\",5,2,left\r\n"
                            "pool,1,Ann,Bo,4,5,right\r\n"
                            "de,4,Ann,\"C,\"\"y\"\"\",15,11,left\r\n"
                            "de,2,Bo,Ann,15,13,left\r\n"
                            "\r\nplace,name,v,m,ts,tr,ind\r\n"
                            "1,Bo,2,2,10,7,3\r\n"
                            "2,Ann,1,2,9,7,2\r\n"
                            "3,\"C,\"\"y\"\"\",0,2,5,10,-5\r\n"
                            "\r\nfinal_place,name\r\n"
                            "1,Bo\r\n2,Ann\r\n3,\"C,\"\"y\"\"\"\r\n";
    EXPECT_EQ(resultsCsv(night), csv);

    // The file is replaced whole; a folder that is not there is refused in words.
    const std::string path = privateFolder() + "clubNightResults.csv";
    std::string fault;
    ASSERT_TRUE(writeResultsFile(path, "old", fault) && writeResultsFile(path, csv, fault));
    std::ostringstream written;
    written << std::ifstream(path, std::ios::binary).rdbuf();
    EXPECT_EQ(written.str(), csv);
    EXPECT_FALSE(std::ifstream(path + ".tmp").good());
    EXPECT_FALSE(writeResultsFile(privateFolder() + "missing/night.csv", csv, fault));
    EXPECT_EQ(fault, privateFolder() + "missing/night.csv: No such file or directory");
    std::remove(path.c_str());

    Tournament tied = createTournament({{"Ann", {}}, {"Bo", {}}, {"Cy", {}}, {"Dee", {}}}, 7);
    for (const auto& [left, right] : NIGHTS[1].scores) {
        recordBout(tied, left, right);
    }
    EXPECT_EQ(lotsText(tied), "\nLots drawn between the fencers who share place 1: Bo is seeded "
                              "1, Cy is seeded 2, Ann is seeded 3.\n");
}

// The night of three above in the federations' format, worked out by hand: Bo wins the pool
// and the final, Ann beats C,"y" in the semi-final while Bo has a bye.
TEST(ClubNight, ResultsInTheFederationsXmlFormat) {
    Tournament night = createTournament({{"Ann", {}}, {"Bo & \"B\" <", {}}, {"C,\xff", {}}}, 1);
    for (const auto& [left, right] : NIGHTS[0].scores) {
        recordBout(night, left, right);
    }
    const std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<CompetitionIndividuelle Version=\"3.3\" Championnat=\"Lamevo\" ID=\"1\" "
        "Annee=\"2026/2027\" Arme=\"F\" Sexe=\"X\" Categorie=\"S\" Date=\"08.12.2026\" "
        "TitreCourt=\"Club night\" TitreLong=\"The Lamevo club night\">\n"
        "  <Tireurs>\n"
        "    <Tireur ID=\"1\" Nom=\"Ann\" Prenom=\"\" Classement=\"2\"/>\n"
        "    <Tireur ID=\"2\" Nom=\"Bo &amp; &quot;B&quot; &lt;\" Prenom=\"\" Classement=\"1\"/>\n"
        "    <Tireur ID=\"3\" Nom=\"C,\xef\xbf\xbd\" Prenom=\"\" Classement=\"3\"/>\n"
        "  </Tireurs>\n"
        "  <Phases>\n"
        "    <TourDePoules PhaseID=\"TourPoules1\" ID=\"1\" NbDePoules=\"1\" "
        "PhaseSuivanteDesQualifies=\"PhaseTableaux1\" NbQualifiesParIndice=\"3\">\n"
        "      <Tireur REF=\"1\" RangInitial=\"1\" RangFinal=\"2\" Statut=\"Q\"/>\n"
        "      <Tireur REF=\"2\" RangInitial=\"2\" RangFinal=\"1\" Statut=\"Q\"/>\n"
        "      <Tireur REF=\"3\" RangInitial=\"3\" RangFinal=\"3\" Statut=\"Q\"/>\n"
        "      <Poule ID=\"1\">\n"
        "        <Tireur REF=\"1\" NoDansLaPoule=\"1\" NbVictoires=\"1\" NbMatches=\"2\" TD=\"9\" "
        "TR=\"7\" RangPoule=\"2\"/>\n"
        "        <Tireur REF=\"2\" NoDansLaPoule=\"2\" NbVictoires=\"2\" NbMatches=\"2\" TD=\"10\" "
        "TR=\"7\" RangPoule=\"1\"/>\n"
        "        <Tireur REF=\"3\" NoDansLaPoule=\"3\" NbVictoires=\"0\" NbMatches=\"2\" TD=\"5\" "
        "TR=\"10\" RangPoule=\"3\"/>\n"
        "        <Match ID=\"1\">\n"
        "          <Tireur REF=\"2\" Score=\"5\" Statut=\"V\" Cote=\"G\"/>\n"
        "          <Tireur REF=\"3\" Score=\"3\" Statut=\"D\" Cote=\"D\"/>\n"
        "        </Match>\n"
        "        <Match ID=\"2\">\n"
        "          <Tireur REF=\"1\" Score=\"5\" Statut=\"V\" Cote=\"G\"/>\n"
        "          <Tireur REF=\"3\" Score=\"2\" Statut=\"D\" Cote=\"D\"/>\n"
        "        </Match>\n"
        "        <Match ID=\"3\">\n"
        "          <Tireur REF=\"1\" Score=\"4\" Statut=\"D\" Cote=\"G\"/>\n"
        "          <Tireur REF=\"2\" Score=\"5\" Statut=\"V\" Cote=\"D\"/>\n"
        "        </Match>\n"
        "      </Poule>\n"
        "    </TourDePoules>\n"
        "    <PhaseDeTableaux PhaseID=\"PhaseTableaux1\" ID=\"2\">\n"
        "      <Tireur REF=\"2\" RangInitial=\"1\" RangFinal=\"1\"/>\n"
        "      <Tireur REF=\"1\" RangInitial=\"2\" RangFinal=\"2\"/>\n"
        "      <Tireur REF=\"3\" RangInitial=\"3\" RangFinal=\"3\"/>\n"
        "      <SuiteDeTableaux ID=\"A\" Titre=\"Tableau\" NbDeTableaux=\"2\">\n"
        "        <Tableau ID=\"A4\" Titre=\"Semi-finals\" Taille=\"4\">\n"
        "          <Match ID=\"1\">\n"
        "            <Tireur REF=\"2\"/>\n"
        "            <Tireur/>\n"
        "          </Match>\n"
        "          <Match ID=\"2\">\n"
        "            <Tireur REF=\"1\" Score=\"15\" Statut=\"V\" Cote=\"G\"/>\n"
        "            <Tireur REF=\"3\" Score=\"11\" Statut=\"D\" Cote=\"D\"/>\n"
        "          </Match>\n"
        "        </Tableau>\n"
        "        <Tableau ID=\"A2\" Titre=\"Final\" Taille=\"2\">\n"
        "          <Match ID=\"1\">\n"
        "            <Tireur REF=\"2\" Score=\"15\" Statut=\"V\" Cote=\"G\"/>\n"
        "            <Tireur REF=\"1\" Score=\"13\" Statut=\"D\" Cote=\"D\"/>\n"
        "          </Match>\n"
        "        </Tableau>\n"
        "      </SuiteDeTableaux>\n"
        "    </PhaseDeTableaux>\n"
        "  </Phases>\n"
        "</CompetitionIndividuelle>\n";
    const std::string written = resultsXml(night, headingForDay(2026, 12, 8));
    // Line by line, so that a difference names its element.
    std::istringstream expectedLines(xml);
    std::istringstream writtenLines(written);
    std::string expectedLine;
    std::string writtenLine;
    for (int line = 1; std::getline(expectedLines, expectedLine); ++line) {
        std::getline(writtenLines, writtenLine);
        EXPECT_EQ(writtenLine, expectedLine) << "line " << line;
    }
    EXPECT_EQ(written, xml);

    // Before the first bout: the fencers and the empty pool, no tableau.
    const std::string fresh = resultsXml(createTournament({{"Ann", {}}, {"Bo", {}}, {"Cy", {}}}, 1),
                                         headingForDay(2027, 8, 31));
    EXPECT_NE(fresh.find("Annee=\"2026/2027\" Arme=\"F\" Sexe=\"X\" Categorie=\"S\" "
                         "Date=\"31.08.2027\""),
              std::string::npos);
    EXPECT_NE(fresh.find("      <Tireur REF=\"3\" RangInitial=\"3\"/>\n"), std::string::npos);
    EXPECT_NE(fresh.find("<Tireur REF=\"3\" NoDansLaPoule=\"3\" NbVictoires=\"0\" "
                         "NbMatches=\"0\" TD=\"0\" TR=\"0\"/>\n      </Poule>"),
              std::string::npos);
    EXPECT_EQ(fresh.find("PhaseDeTableaux"), std::string::npos);
    EXPECT_EQ(headingForDay(2026, 9, 1).season, "2026/2027");

    EXPECT_TRUE(resultsAsXml("night.xml"));
    EXPECT_TRUE(resultsAsXml("/a/NIGHT.XmL"));
    EXPECT_FALSE(resultsAsXml("night.csv"));
    EXPECT_FALSE(resultsAsXml("xml"));
    EXPECT_FALSE(resultsAsXml("night.xmlx"));
    EXPECT_TRUE(resultsAsXml(".xml"));
    EXPECT_NE(resultsXml(createTournament({{"Tab\there\x7f", {}}, {"Bo", {}}, {"Cy", {}}}, 1),
                         headingForDay(2026, 12, 8))
                  .find("Nom=\"Tab here \""),
              std::string::npos);
}

// A level bout fenced out of time: the lot's winner shows as V with the level score on the
// sheet and as its side in the results.
TEST(ClubNight, ALevelBoutKeepsItsWinner) {
    Tournament night = createTournament({{"Ann", {}}, {"Bo", {}}, {"Cy", {}}}, 2);
    const BoutResult level = recordBout(night, 3, 3); // 2-3: Bo on the left
    recordBout(night, 0, 0);                          // 1-3
    const bool boWon = level.leftWon;
    const std::string sheet = poolSheetText(night);
    EXPECT_NE(sheet.find(" 2  Bo" + std::string(9, ' ') + (boWon ? "V3" : "D3") + "    1"),
              std::string::npos)
        << sheet;
    const std::size_t cyRow = sheet.find(" 3  Cy  ");
    ASSERT_NE(cyRow, std::string::npos);
    EXPECT_EQ(sheet.substr(cyRow + 8 + 3, 3), boWon ? " D3" : " V3") << sheet;
    const std::string csv = resultsCsv(night);
    EXPECT_NE(csv.find(boWon ? "pool,1,Bo,Cy,3,3,left\r\n" : "pool,1,Bo,Cy,3,3,right\r\n"),
              std::string::npos)
        << csv;
    EXPECT_NE(csv.find("pool,1,Ann,Cy,0,0,"), std::string::npos) << csv;
}

std::string fileText(const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

mode_t permissionsOf(const std::string& path) {
    struct stat status {};
    stat(path.c_str(), &status);
    return status.st_mode & 07777;
}

// The results file is written where it should be and nowhere else: through a link to its
// target, keeping a file's permissions, under a name as long as the system allows, never over
// a file nobody may write or a folder; each refusal names the path at fault.
TEST(ClubNight, ResultsFileReplacedOnlyWhereItShouldBe) {
    const std::string folder = privateFolder() + "clubNightFiles/";
    mkdir(folder.c_str(), 0755);
    std::string fault;

    const std::string target = folder + "target.csv";
    const std::string link = folder + "link.csv";
    std::remove(target.c_str());
    std::remove(link.c_str());
    ASSERT_EQ(symlink("target.csv", link.c_str()), 0);
    EXPECT_TRUE(resultsPathWritable(link, fault)) << fault;
    EXPECT_TRUE(writeResultsFile(link, "first", fault)) << fault;
    EXPECT_EQ(fileText(target), "first");
    chmod(target.c_str(), 0640);
    EXPECT_TRUE(writeResultsFile(link, "second", fault)) << fault;
    struct stat status {};
    ASSERT_EQ(lstat(link.c_str(), &status), 0);
    EXPECT_TRUE(S_ISLNK(status.st_mode));
    EXPECT_EQ(fileText(target), "second");
    EXPECT_EQ(permissionsOf(target), 0640u);

    chmod(target.c_str(), 0444);
    EXPECT_FALSE(resultsPathWritable(link, fault));
    EXPECT_EQ(fault, folder + "target.csv: Permission denied");
    EXPECT_FALSE(writeResultsFile(link, "third", fault));
    EXPECT_EQ(fileText(target), "second");
    EXPECT_EQ(permissionsOf(target), 0444u);

    const std::string longName = folder + std::string(251, 'n') + ".c";
    EXPECT_TRUE(resultsPathWritable(longName, fault)) << fault;
    EXPECT_TRUE(writeResultsFile(longName, "long", fault)) << fault;
    EXPECT_EQ(fileText(longName), "long");
    std::remove(longName.c_str());

    EXPECT_FALSE(resultsPathWritable(folder, fault));
    EXPECT_EQ(fault, folder + ": Is a directory");
    EXPECT_FALSE(resultsPathWritable(folder + "missing/x.csv", fault));
    EXPECT_EQ(fault, folder + "missing/x.csv: No such file or directory");
    EXPECT_TRUE(resultsPathWritable(folder + "new.csv", fault)) << fault;
    EXPECT_FALSE(std::ifstream(folder + "new.csv").good()); // checked, not written

    std::remove(link.c_str());
    chmod(target.c_str(), 0644);
    std::remove(target.c_str());
    const std::string loop = folder + "loop.csv";
    std::remove(loop.c_str());
    ASSERT_EQ(symlink("loop.csv", loop.c_str()), 0);
    EXPECT_FALSE(writeResultsFile(loop, "x", fault));
    EXPECT_EQ(fault, loop + ": Too many levels of symbolic links");
    std::remove(loop.c_str());
}

// Every answer is one whole line; a count is a number alone.
TEST(ClubNight, FencerCountFromOneLine) {
    const std::string again = "\n\tHow many fencers tonight (3 to 8)? ";
    const struct {
        const char* line;
        std::int32_t count;
        std::string askAgain;
    } ANSWERS[] = {
        {"3\n", 3, ""},
        {" 8\r\n", 8, ""},
        {"+05", 5, ""},
        {"", 0, "\nPlease enter a number from 3 to 8: "},
        {" \t \r", 0, "\nPlease enter a number from 3 to 8: "},
        {"3.5", 0,
         "\n\"3.5\" is not a whole number on its own. Please enter a number from 3 to 8: "},
        {"4 fencers\n", 0,
         "\n\"4 fencers\" is not a whole number on its own. Please enter a number from 3 to 8: "},
        {"5abc", 0,
         "\n\"5abc\" is not a whole number on its own. Please enter a number from 3 to 8: "},
        {"-", 0, "\n\"-\" is not a whole number on its own. Please enter a number from 3 to 8: "},
        {"2", 0, again},
        {"9", 0, again},
        {"0", 0, again},
        {"-3", 0, again},
        {"13", 0, again},
        {"99999999999999999999", 0, again},
    };
    for (const auto& answer : ANSWERS) {
        SCOPED_TRACE(answer.line);
        const CountAnswer read = fencerCountAnswer(answer.line);
        EXPECT_EQ(read.count, answer.count);
        EXPECT_EQ(read.askAgain, answer.askAgain);
    }
    EXPECT_EQ(fencerCountQuestion(), again);
}

// A name is the whole line trimmed; one taken tonight is asked again; a computer takes a name
// nobody has.
TEST(ClubNight, FencerNamesFromOneLineEachOnce) {
    const std::string question2 =
        "\n\tPlease enter the name of fencer 2 (easy, normal or hard seats the computer): ";
    EXPECT_EQ(fencerNameQuestion(2), question2);
    std::vector<Seat> seats;
    const struct {
        const char* line;
        const char* name; // null when asked again
        bool computer;
        std::string reply;
    } ANSWERS[] = {
        {"  Anne Marie \r\n", "Anne Marie", false, "\n\nThank you, Anne Marie.\n"},
        {"Anne Marie", nullptr, false,
         "\nAnne Marie already fences tonight; every fencer needs a name of their own." +
             question2},
        {" \t", nullptr, false, "\nEvery fencer needs a name." + question2},
        {"Riposte(easy)", "Riposte(easy)", false, "\n\nThank you, Riposte(easy).\n"},
        {"easy", "Remise(easy)", true, "\n\nFencer 2 is the computer Remise(easy).\n"},
        {"Remise(easy)", nullptr, false,
         "\nRemise(easy) already fences tonight; every fencer needs a name of their own." +
             question2},
        {"Remise(hard)", "Remise(hard)", false, "\n\nThank you, Remise(hard).\n"},
        {"hard", "Feint(hard)", true, "\n\nFencer 2 is the computer Feint(hard).\n"},
        {"Tab\tin", "Tab in", false, "\n\nThank you, Tab in.\n"},
    };
    for (const auto& answer : ANSWERS) {
        SCOPED_TRACE(answer.line);
        const NameAnswer read = fencerNameAnswer(answer.line, 2, seats);
        EXPECT_EQ(read.reply, answer.reply);
        ASSERT_EQ(read.seat.has_value(), answer.name != nullptr);
        if (read.seat) {
            EXPECT_EQ(read.seat->name, answer.name);
            EXPECT_EQ(read.seat->computer.has_value(), answer.computer);
            seats.push_back(*read.seat);
        }
    }
    const NameAnswer longest = fencerNameAnswer(std::string(998, 'a') + "\xc3\xa9", 3, seats);
    EXPECT_EQ(longest.seat->name, std::string(998, 'a')); // the character cut whole
    const NameAnswer fits = fencerNameAnswer(std::string(997, 'a') + "\xc3\xa9", 3, seats);
    EXPECT_EQ(fits.seat->name.size(), 999u);
}

// The sheet of a pool of 8 fits 80 columns, measuring names as a terminal shows them: a
// combining mark takes no column, an East Asian letter two; longer names are cut and given
// whole under the sheet.
TEST(ClubNight, PoolSheetFitsEightyColumns) {
    Tournament night =
        createTournament({{"Balestra(normal)", OpponentLevel::normal},
                          {"Rene\xcc\x81"
                           "e",
                           {}},
                          {"\xe6\x9d\x8e\xe5\xb0\x8f\xe9\xbe\x8d", {}},
                          {"Riposte(easy)", OpponentLevel::easy},
                          {"\xe6\x9d\x8e\xe5\xb0\x8f\xe9\xbe\x8d\xe6\x9d\x8e\xe5\xb0\x8f"
                           "\xe9\xbe\x8d\xe6\x9d\x8e",
                           {}},
                          {"Exactly12chr", {}},
                          {"Gi", {}},
                          {"Ho", {}}},
                         4);
    for (int bout = 0; bout < 28; ++bout) {
        recordBout(night, 5, bout % 5);
    }
    const std::string sheet = poolSheetText(night);
    std::istringstream lines(sheet);
    std::vector<std::string> rows;
    for (std::string line; std::getline(lines, line);) {
        rows.push_back(line);
    }
    ASSERT_EQ(rows.size(), 15u) << sheet; // blank, title, header, 8 rows, legend of 3 + title
    EXPECT_EQ(rows[2].size(), 75u);
    EXPECT_EQ(rows[3].substr(0, 22), " 1  Balestra(no~    V5");
    EXPECT_EQ(rows[4].substr(0, 4 + 7 + 7 + 2), " 2  Rene\xcc\x81"
                                                "e" +
                                                    std::string(7 + 1, ' ') + "D");
    EXPECT_EQ(rows[5].substr(0, 4 + 9 + 6), " 3  \xe6\x9d\x8e\xe5\xb0\x8f\xe9\xbe\x8d      ");
    EXPECT_EQ(rows[7].substr(0, 4 + 15 + 2),
              " 5  \xe6\x9d\x8e\xe5\xb0\x8f\xe9\xbe\x8d\xe6\x9d\x8e\xe5\xb0\x8f~ ");
    EXPECT_EQ(rows[8].substr(0, 16), " 6  Exactly12chr");
    EXPECT_EQ(rows[11], "Names in full");
    EXPECT_EQ(rows[12], " 1  Balestra(normal)");
    EXPECT_EQ(rows[13], " 4  Riposte(easy)");
    EXPECT_EQ(
        rows[14],
        " 5  \xe6\x9d\x8e\xe5\xb0\x8f\xe9\xbe\x8d\xe6\x9d\x8e\xe5\xb0\x8f\xe9\xbe\x8d\xe6\x9d\x8e");
    // Every row as wide as the header: the bytes beyond 75 are those the names take beyond
    // their columns.
    const std::size_t extraBytes[] = {0, 2, 3, 0, 5, 0, 0, 0};
    for (std::size_t row = 0; row < 8; ++row) {
        EXPECT_EQ(rows[3 + row].size(), 75u + extraBytes[row]) << rows[3 + row];
    }
}

std::FILE* consoleTyping(const char* text) {
    std::FILE* input = std::tmpfile();
    std::fputs(text, input);
    std::rewind(input);
    return input;
}

// A night of three computers typed at the console, line by line: the count asked again with
// the reason, a level's name with blanks around it, every bout decided at once, each followed
// by the sheet or the tableau and the next bout, the results written.
TEST(ClubNight, ANightOfComputersFromTheConsole) {
    const std::string path = privateFolder() + "computersNight.csv";
    std::remove(path.c_str());
    prepareClubNight({path, 5});
    EXPECT_FALSE(std::ifstream(path).good()) << "nothing written before a bout is decided";
    std::FILE* input = consoleTyping("two 9\n9\n3\nhard\n  easy \r\nnormal\n");
    const std::string said = captureStdout([&] { beginClubNight(input); });
    std::fclose(input);
    const std::string dialogue =
        std::string("\n\tWelcome to The Lamevo!\n") + fencerCountQuestion() +
        "\n\"two 9\" is not a whole number on its own. Please enter a number from 3 to 8: " +
        fencerCountQuestion() + fencerNameQuestion(1) +
        "\n\nFencer 1 is the computer Riposte(hard).\n" + fencerNameQuestion(2);
    EXPECT_EQ(said.substr(0, dialogue.size()), dialogue);
    EXPECT_NE(said.find("\n\nFencer 2 is the computer Remise(easy).\n"), std::string::npos);
    EXPECT_NE(said.find("\nNext: Remise(easy) against Feint(normal)\n"), std::string::npos);
    EXPECT_NE(said.find("\nFinal places\n"), std::string::npos);
    EXPECT_EQ(said.find("Hit Any Key"), std::string::npos);
    const std::string csv = fileText(path);
    EXPECT_EQ(csv.substr(0, csv.find("\r\n")),
              "stage,round,left,right,left_touches,right_touches,winner");
    EXPECT_NE(csv.find("\r\nfinal_place,name\r\n1,"), std::string::npos);
    std::remove(path.c_str());
}

TEST(ClubNightDeathTest, InputEndingAtTheCountEndsTheNight) {
    prepareClubNight({std::nullopt, 1});
    EXPECT_EXIT(beginClubNight(consoleTyping("4 fencers\n")), ::testing::ExitedWithCode(1),
                "the input ended before the club night could be set up");
}

// A night of Ann and three computers as the window's loop runs it: the go-ahead's question
// ends the dialogue, and the computers' bout after Ann's first is fenced in the shortest
// pieces, the shared bout untouched between them, with the very console text and results of
// the same night fenced in one go.
struct NightRun {
    std::string said;
    int pieces = 0;
    std::vector<NightTurn> turns;
};

NightRun fenceAnnsFirstBout(Milliseconds budget) {
    NightRun run;
    prepareClubNight({std::nullopt, 5});
    std::FILE* input = std::tmpfile();
    std::fputs("4\nAnn\neasy\nnormal\nhard\n", input);
    std::rewind(input);
    run.said = captureStdout([&] {
        run.turns.push_back(beginClubNight(input));
        const WindowBout seat = startAnnouncedBout();
        EXPECT_TRUE(seat.computer.has_value());
        const BoutState fenced = bout;
        bout.rightFencer->touches = 5; // Ann's opponent wins 5-0
        bout.rightWon = 1;
        NightTurn turn = finishWindowBout(budget);
        while (turn == NightTurn::computersFencing) {
            ++run.pieces;
            EXPECT_EQ(bout.leftFencer, fenced.leftFencer);
            EXPECT_EQ(bout.rightWon, 1) << "the window's bout stays as it was";
            turn = fenceComputersOn(budget);
        }
        run.turns.push_back(turn);
    });
    std::fclose(input);
    return run;
}

TEST(ClubNight, TheComputersBoutBetweenTheWindowsIsFencedInPiecesAsInOneGo) {
    const NightRun inOneGo = fenceAnnsFirstBout(NOTHING_DUE);
    const NightRun inPieces = fenceAnnsFirstBout(0);
    EXPECT_EQ(inOneGo.pieces, 0);
    EXPECT_GT(inPieces.pieces, 10);
    EXPECT_EQ(inPieces.said, inOneGo.said);
    EXPECT_EQ(inOneGo.turns,
              (std::vector<NightTurn>{NightTurn::goAheadAsked, NightTurn::goAheadAsked}));
    EXPECT_EQ(inPieces.turns, inOneGo.turns);
    EXPECT_NE(inOneGo.said.find("Pool bout 1 of 6: Ann against"), std::string::npos)
        << inOneGo.said;
    EXPECT_NE(inOneGo.said.find("\n\nPool bout 2 of 6: "), std::string::npos)
        << "the computers' result";
    EXPECT_NE(inOneGo.said.find("Pool bout 3 of 6: Ann against"), std::string::npos);
    EXPECT_TRUE(inOneGo.said.ends_with("Hit Any Key then Enter to Start the Bout!"));
}

// A night of three people, every bout in the window: the pool's bouts and the semi-final go on
// the strip with more bouts to come (no goodbye at their win), the final as the last one.
TEST(ClubNight, OnlyTheFinalGoesOnTheStripAsTheLastBout) {
    prepareClubNight({std::nullopt, 1});
    std::FILE* input = consoleTyping("3\nAnn\nBo\nCy\n");
    std::vector<std::string> stages;
    std::vector<int> moreBoutsToCome;
    NightTurn turn = NightTurn::over;
    const std::string said = captureStdout([&] {
        turn = beginClubNight(input);
        while (turn == NightTurn::goAheadAsked && stages.size() < 10) {
            startAnnouncedBout();
            moreBoutsToCome.push_back(bout.moreBoutsToCome);
            bout.leftFencer->touches = bout.touchLimit;
            bout.leftWon = 1;
            stages.push_back(bout.touchLimit == 5 ? "pool" : "tableau");
            turn = finishWindowBout();
        }
    });
    std::fclose(input);
    EXPECT_EQ(turn, NightTurn::over) << said;
    EXPECT_EQ(stages, (std::vector<std::string>{"pool", "pool", "pool", "tableau", "tableau"}));
    EXPECT_EQ(moreBoutsToCome, (std::vector<int>{1, 1, 1, 1, 0}));
    EXPECT_NE(said.find("Semi-final: "), std::string::npos) << said;
}

} // namespace

namespace {

TEST(ClubNight, KeepsEachBoutBesideTheResultsOnlyWhenAsked) {
    for (const bool recordBouts : {false, true}) {
        const std::filesystem::path folder =
            std::filesystem::path(privateFolder()) / ("night" + std::to_string(recordBouts));
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        const std::string resultsPath = (folder / "club.csv").string();
        // Not asked for is as the command line leaves it: the option's own default.
        prepareClubNight(recordBouts ? ClubNightOptions{resultsPath, 5u, true}
                                     : ClubNightOptions{.resultsPath = resultsPath, .seed = 5u});
        char answers[] = "3\nhard\neasy\nnormal\n";
        std::FILE* input = fmemopen(answers, sizeof answers - 1, "r");
        // three computers: the whole night is fenced at once
        const std::string said = captureStdout([&] { beginClubNight(input); });
        std::fclose(input);
        std::vector<std::string> kept;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            if (entry.path().extension() == ".lamevo") {
                kept.push_back(entry.path().filename().string());
            }
        }
        std::sort(kept.begin(), kept.end());
        ASSERT_EQ(kept.size(), recordBouts ? 5u : 0u); // three pool bouts, a semi-final, a final
        if (recordBouts) {
            EXPECT_TRUE(kept.front().starts_with("club-01-pool-")) << kept.front();
            EXPECT_TRUE(kept.back().starts_with("club-05-de-2-")) << kept.back();
        }
        // Each recording ends with the score the night announced, its names in the seats the
        // computers fenced in (the lot may have swapped them).
        struct Announced {
            std::string left, right;
            std::int32_t leftTouches, rightTouches;
        };
        std::vector<Announced> results; // "Stage: Left 5 - 3 Right" lines, in order
        std::istringstream lines(said);
        for (std::string text; std::getline(lines, text);) {
            const std::size_t colon = text.find(": ");
            Announced one;
            std::string dash, rest;
            std::istringstream words(colon == std::string::npos ? "" : text.substr(colon + 2));
            if (words >> one.left >> one.leftTouches >> dash >> one.rightTouches >> one.right &&
                dash == "-" && !(words >> rest)) {
                results.push_back(one);
            }
        }
        ASSERT_EQ(results.size(), 5u);
        for (std::size_t number = 0; number < kept.size(); ++number) {
            const Announced& line = results[number];
            Recording recording;
            EXPECT_EQ(readRecording((folder / kept[number]).c_str(), recording), "");
            EXPECT_TRUE(recording.won && recording.simulatedClock) << kept[number];
            const bool swapped = recording.leftName != line.left;
            EXPECT_EQ(recording.leftName, swapped ? line.right : line.left) << kept[number];
            EXPECT_EQ(recording.rightName, swapped ? line.left : line.right) << kept[number];
            EXPECT_EQ(recording.leftTouches, swapped ? line.rightTouches : line.leftTouches);
            EXPECT_EQ(recording.rightTouches, swapped ? line.leftTouches : line.rightTouches);
        }
    }
}

} // namespace
