// The seat matrix: every pair of the computer's levels fences seeded bouts between two
// computers, each level in both seats, on simulated clocks (as a club night decides them), and
// a table says how the seats and the levels fared:
//   build/default/bench/seatMatrix [--bouts=N] [--touches=N]
// Each row is one pairing, the first level on the left: the left's wins, the right's, the bouts
// given up on at the time limit (won by the fencer ahead, or by lot at a level score, which
// counts as half a win each) and the left's winning share. Under the rows, for each pair of
// levels, the share of the first level from the left and from the right: the seat's own
// advantage is their difference.
#include <charconv>
#include <cstdio>
#include <string_view>

#include "opponent.h"

namespace {

struct Tally {
    int leftWins = 0;
    int rightWins = 0;
    int timeLimit = 0; // bouts not decided on touches
    int level = 0;     // of those, bouts that ended level
    int bouts = 0;

    double leftShare() const { return bouts == 0 ? 0.0 : (leftWins + 0.5 * level) / bouts; }
};

Tally fence(OpponentLevel left, OpponentLevel right, int bouts, int touches) {
    Tally tally;
    for (int bout = 0; bout < bouts; ++bout) {
        const BoutScore score =
            fenceComputerBout(left, right, touches, static_cast<std::uint32_t>(1000 + bout));
        ++tally.bouts;
        if (score.leftTouches != touches && score.rightTouches != touches) {
            ++tally.timeLimit;
        }
        if (score.leftTouches > score.rightTouches) {
            ++tally.leftWins;
        } else if (score.rightTouches > score.leftTouches) {
            ++tally.rightWins;
        } else {
            ++tally.level;
        }
    }
    return tally;
}

bool readCount(std::string_view argument, std::string_view option, int& value) {
    if (!argument.starts_with(option)) {
        return false;
    }
    const std::string_view digits = argument.substr(option.size());
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    return error == std::errc() && end == digits.data() + digits.size() && value > 0;
}

} // namespace

int main(int argc, char** argv) {
    int bouts = 40;
    int touches = 5;
    for (int index = 1; index < argc; ++index) {
        const std::string_view argument = argv[index];
        if (!readCount(argument, "--bouts=", bouts) &&
            !readCount(argument, "--touches=", touches)) {
            std::fprintf(stderr, "usage: seatMatrix [--bouts=N] [--touches=N]\n");
            return 2;
        }
    }
    constexpr int LEVELS = static_cast<int>(std::size(OPPONENT_LEVEL_NAMES));
    Tally tallies[LEVELS][LEVELS];
    std::printf("%d bouts to %d for each pairing, two computers, the first on the left\n\n", bouts,
                touches);
    std::printf("%-18s %6s %6s %6s %6s %8s\n", "left - right", "left", "right", "time", "level",
                "left %");
    int timeLimit = 0;
    int total = 0;
    for (int left = 0; left < LEVELS; ++left) {
        for (int right = 0; right < LEVELS; ++right) {
            Tally& tally = tallies[left][right];
            tally = fence(OPPONENT_LEVEL_NAMES[left].level, OPPONENT_LEVEL_NAMES[right].level,
                          bouts, touches);
            char pairing[32];
            std::snprintf(pairing, sizeof pairing, "%s - %s",
                          OPPONENT_LEVEL_NAMES[left].name.data(),
                          OPPONENT_LEVEL_NAMES[right].name.data());
            std::printf("%-18s %6d %6d %6d %6d %7.1f%%\n", pairing, tally.leftWins, tally.rightWins,
                        tally.timeLimit, tally.level, 100 * tally.leftShare());
            timeLimit += tally.timeLimit;
            total += tally.bouts;
            std::fflush(stdout);
        }
    }
    std::printf("\nThe first level's winning share from each seat, and the seat's advantage\n");
    std::printf("%-18s %9s %9s %9s\n", "levels", "on left", "on right", "seat");
    for (int first = 0; first < LEVELS; ++first) {
        for (int second = first; second < LEVELS; ++second) {
            const double fromLeft = tallies[first][second].leftShare();
            const double fromRight = 1.0 - tallies[second][first].leftShare();
            char pairing[32];
            std::snprintf(pairing, sizeof pairing, "%s v %s",
                          OPPONENT_LEVEL_NAMES[first].name.data(),
                          OPPONENT_LEVEL_NAMES[second].name.data());
            std::printf("%-18s %8.1f%% %8.1f%% %+8.1f\n", pairing, 100 * fromLeft, 100 * fromRight,
                        100 * (fromLeft - fromRight));
        }
    }
    std::printf("\nDecided by the time limit: %d of %d bouts (%.1f%%)\n", timeLimit, total,
                100.0 * timeLimit / total);
    return 0;
}
