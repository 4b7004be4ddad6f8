// The computer's ladder: each level fences seeded bouts against scripted players on simulated
// clocks (no window, no waiting) and a table says how it fared against each:
//   build/default/bench/opponentLadder [--bouts=N] [--touches=N] [PLAYER...]
// A player fences on the left and is one of
//   still                  never presses a key
//   pattern:KEYS:MS        types KEYS (of a s d f w) in turn, one every MS milliseconds
//   held:KEY               holds KEY down: X11's default key repeat, a first press, then after
//                          660 ms another every 40 ms (25 a second), halts or not
//   sensible:PARRY:LOOK    looks at the strip every LOOK ms and at once parries a lunge within
//                          4 cells (PARRY percent of the lunges it sees begin; the others it
//                          just lets come), lunges from 3 cells or less, otherwise advances
// Without players it climbs the ladder the computer is made for. The players and the computer
// are rows of the game's loop, on a simulated clock that wakes only when the game would wake.
// Each cell of the table gives the bouts the computer won, the lunges it parried, the most keys
// it pressed in any second, its quickest reaction (from the latest change on the strip before
// the glance a key was decided on to the key) and the latest a key came after its planned time.
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <deque>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "opponent.h"

namespace {

constexpr Milliseconds KEY_REPEAT_DELAY = 660;
constexpr Milliseconds KEY_REPEAT_INTERVAL = 40;
constexpr std::int32_t SENSIBLE_LUNGE_GAP = 3;

enum class PlayerKind { still, pattern, held, sensible };

struct PlayerScript {
    std::string text; // as given, for the table
    PlayerKind kind;
    std::string keys;
    Milliseconds interval;
    int parryPercent;
};

// Everything a scripted player keeps during one bout.
struct ScriptedPlayer {
    const PlayerScript& script;
    Opponent& computer; // sees every key, as a person at the same keyboard would
    std::mt19937 random;
    Milliseconds start;
    Milliseconds nextAct; // when it next types or looks
    std::size_t nextKey;
    bool sawLunge;
    bool willParry;
};

const std::vector<std::string> DEFAULT_LADDER = {
    "still",           "pattern:df:333",   "pattern:df:200", "pattern:df:100",
    "pattern:f:100",   "pattern:dddf:100", "held:d",         "held:f",
    "sensible:80:250", "sensible:100:250",
};

std::optional<int> readNumber(std::string_view text, int least, int most) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || value < least || value > most) {
        return std::nullopt;
    }
    return value;
}

bool isLeftKey(char key) {
    return std::string_view("asdfwASDFW").find(key) != std::string_view::npos;
}

std::vector<std::string_view> fieldsOf(std::string_view text) {
    std::vector<std::string_view> fields;
    for (std::size_t colon; (colon = text.find(':')) != std::string_view::npos;) {
        fields.push_back(text.substr(0, colon));
        text.remove_prefix(colon + 1);
    }
    fields.push_back(text);
    return fields;
}

std::optional<PlayerScript> readPlayer(const std::string& text) {
    const std::vector<std::string_view> fields = fieldsOf(text);
    const std::string_view kind = fields[0];
    if (kind == "still" && fields.size() == 1) {
        return PlayerScript{text, PlayerKind::still, "", 0, 0};
    }
    if (kind == "pattern" && fields.size() == 3 && !fields[1].empty() &&
        std::ranges::all_of(fields[1], isLeftKey)) {
        if (const std::optional<int> interval = readNumber(fields[2], 1, 60'000)) {
            return PlayerScript{text, PlayerKind::pattern, std::string(fields[1]), *interval, 0};
        }
    }
    if (kind == "held" && fields.size() == 2 && fields[1].size() == 1 && isLeftKey(fields[1][0])) {
        return PlayerScript{text, PlayerKind::held, std::string(fields[1]), KEY_REPEAT_INTERVAL, 0};
    }
    if (kind == "sensible" && fields.size() == 3) {
        const std::optional<int> parry = readNumber(fields[1], 0, 100);
        const std::optional<int> look = readNumber(fields[2], 1, 60'000);
        if (parry && look) {
            return PlayerScript{text, PlayerKind::sensible, "", *look, *parry};
        }
    }
    return std::nullopt;
}

void press(ScriptedPlayer& player, char key) {
    opponentSeesKey(player.computer, static_cast<unsigned char>(key));
    onKeyPress(static_cast<unsigned char>(key), 0, 0);
}

void sensibleLook(ScriptedPlayer& player) {
    const bool computerLunging = bout.rightLunging == 1;
    if (computerLunging && !player.sawLunge) {
        player.willParry =
            std::uniform_int_distribution<int>(0, 99)(player.random) < player.script.parryPercent;
    }
    player.sawLunge = computerLunging;
    if (bout.halted == 1 || bout.leftWon == 1 || bout.rightWon == 1) {
        return;
    }
    if (computerLunging) {
        if (player.willParry && gap() <= PARRY_REACH_CELLS) {
            press(player, 's');
        }
        return;
    }
    if (bout.leftLunging == 1) {
        return;
    }
    press(player, gap() <= SENSIBLE_LUNGE_GAP ? 'f' : 'd');
}

// The first time at or after from at which the player types or looks.
Milliseconds nextActAt(const ScriptedPlayer& player, Milliseconds from) {
    const Milliseconds since = std::max<Milliseconds>(from - player.start, 0);
    const Milliseconds interval = player.script.interval;
    switch (player.script.kind) {
    case PlayerKind::still:
        return NOTHING_DUE;
    case PlayerKind::held:
        if (since == 0) {
            return player.start;
        }
        if (since <= KEY_REPEAT_DELAY) {
            return player.start + KEY_REPEAT_DELAY;
        }
        return player.start + KEY_REPEAT_DELAY +
               (since - KEY_REPEAT_DELAY + interval - 1) / interval * interval;
    case PlayerKind::pattern:
    case PlayerKind::sensible:
        break;
    }
    return player.start + (since + interval - 1) / interval * interval;
}

void act(ScriptedPlayer& player) {
    switch (player.script.kind) {
    case PlayerKind::still:
        break;
    case PlayerKind::pattern:
        press(player, player.script.keys[player.nextKey]);
        player.nextKey = (player.nextKey + 1) % player.script.keys.size();
        break;
    case PlayerKind::held:
        press(player, player.script.keys[0]);
        break;
    case PlayerKind::sensible:
        sensibleLook(player);
        break;
    }
}

// What a player sees of the strip; the ladder notes the moment it last changed.
using StripView = std::tuple<std::int32_t, std::int32_t, int, int, int, int, int, int, int>;
StripView stripView() {
    return {bout.leftFencer->position,
            bout.rightFencer->position,
            bout.leftLunging,
            bout.rightLunging,
            bout.leftParryHold,
            bout.rightParryHold,
            bout.halted,
            bout.leftWon,
            bout.rightWon};
}

struct Tally {
    int bouts = 0;
    int won = 0;
    int unfinished = 0;
    int parries = 0;
    std::size_t mostPressesInASecond = 0;
    std::optional<Milliseconds> quickestReaction;
    Milliseconds latestPress = 0; // after its planned time
};

void fenceOneBout(const PlayerScript& script, OpponentLevel level, std::uint32_t seed,
                  std::int32_t touchLimit, Tally& tally) {
    Opponent computer = createOpponent(RIGHT_PLAYER, level, seed);
    std::optional<ScriptedPlayer> player;
    std::vector<Milliseconds> changes;
    StripView seen{};
    std::deque<Milliseconds> lastSecondsPresses;
    const auto noteChange = [&](Milliseconds at) {
        if (const StripView now = stripView(); now != seen) {
            seen = now;
            changes.push_back(at);
        }
    };
    LoopSource playerRow;
    playerRow.dueAt = [&] { return player ? player->nextAct : controlHooks.nowMilliseconds(); };
    playerRow.turn = [&] {
        const Milliseconds now = controlHooks.nowMilliseconds();
        if (!player) {
            player.emplace(ScriptedPlayer{script, computer, std::mt19937(seed ^ 0x9e3779b9u), now,
                                          now, 0, false, false});
            seen = stripView();
            changes.push_back(now);
        }
        noteChange(now);
        if (now >= player->nextAct) {
            act(*player);
            player->nextAct = nextActAt(*player, now + 1);
        }
        noteChange(now);
    };
    LoopSource computerRow = opponentSource(computer);
    computerRow.turn = [&] {
        const Milliseconds now = controlHooks.nowMilliseconds();
        noteChange(now);
        const bool playerWasLunging = bout.leftLunging == 1;
        const std::int32_t pressesBefore = computer.pressCount;
        opponentStep(computer);
        if (computer.pressCount == pressesBefore) {
            return;
        }
        if (playerWasLunging && bout.leftLunging == 0) {
            ++tally.parries;
        }
        lastSecondsPresses.push_back(now);
        while (lastSecondsPresses.front() <= now - 1000) {
            lastSecondsPresses.pop_front();
        }
        tally.mostPressesInASecond =
            std::max(tally.mostPressesInASecond, lastSecondsPresses.size());
        const auto changed =
            std::upper_bound(changes.begin(), changes.end(), computer.latestPressSeenAt);
        const Milliseconds reaction = now - *(changed - 1);
        tally.quickestReaction = std::min(tally.quickestReaction.value_or(reaction), reaction);
        tally.latestPress = std::max(tally.latestPress, now - computer.latestPressPlannedAt);
        noteChange(now);
    };
    const LoopSource rows[] = {playerRow, computerRow};
    const BoutScore score = fenceSimulatedBout(touchLimit, rows);
    ++tally.bouts;
    if (score.rightTouches == touchLimit) {
        ++tally.won;
    } else if (score.leftTouches != touchLimit) {
        ++tally.unfinished;
    }
}

std::string describe(const Tally& tally) {
    char text[160];
    std::snprintf(text, sizeof text, "%d%% (%d/%d), %d parries, %zu keys/s, %s, %lld ms late", //
                  tally.won * 100 / std::max(tally.bouts, 1), tally.won, tally.bouts, tally.parries,
                  tally.mostPressesInASecond,
                  tally.quickestReaction ? (std::to_string(*tally.quickestReaction) + " ms").c_str()
                                         : "no reaction",
                  static_cast<long long>(tally.latestPress));
    std::string cell = text;
    if (tally.unfinished > 0) {
        cell += ", " + std::to_string(tally.unfinished) + " unfinished";
    }
    return cell;
}

} // namespace

int main(int argc, char** argv) {
    int bouts = 40;
    int touchLimit = POOL_TOUCH_LIMIT;
    std::vector<PlayerScript> players;
    for (int index = 1; index < argc; ++index) {
        const std::string_view argument = argv[index];
        std::optional<int> number;
        if (argument.starts_with("--bouts=")) {
            number = readNumber(argument.substr(8), 1, 100'000);
            bouts = number.value_or(0);
        } else if (argument.starts_with("--touches=")) {
            number = readNumber(argument.substr(10), 1, 99);
            touchLimit = number.value_or(0);
        } else if (const std::optional<PlayerScript> player = readPlayer(argv[index])) {
            players.push_back(*player);
            continue;
        }
        if (!number) {
            std::fprintf(stderr,
                         "opponentLadder: cannot read '%s'. Players are still, pattern:KEYS:MS "
                         "(KEYS of a s d f w), held:KEY or sensible:PARRY_PERCENT:LOOK_MS; "
                         "options --bouts=N and --touches=N.\n",
                         argv[index]);
            return 2;
        }
    }
    if (players.empty()) {
        for (const std::string& text : DEFAULT_LADDER) {
            players.push_back(*readPlayer(text));
        }
    }

    std::printf("%d bouts to %d for each cell: the computer's wins, lunges it parried, most keys "
                "in any second, quickest reaction, latest key after its planned time\n\n",
                bouts, touchLimit);
    std::printf("| player on the left | easy | normal | hard |\n|---|---|---|---|\n");
    for (const PlayerScript& script : players) {
        std::string row = "| `" + script.text + "` |";
        for (OpponentLevel level :
             {OpponentLevel::easy, OpponentLevel::normal, OpponentLevel::hard}) {
            Tally tally;
            for (int seed = 0; seed < bouts; ++seed) {
                fenceOneBout(script, level, static_cast<std::uint32_t>(seed), touchLimit, tally);
            }
            row += " " + describe(tally) + " |";
        }
        std::printf("%s\n", row.c_str());
        std::fflush(stdout);
    }
    return 0;
}
