#include "commandLine.h"

#include <charconv>
#include <cstring>
#include <string_view>

#include "control.h"
#include "meet.h"
#include "pads.h"

namespace {

struct OptionRow {
    std::string_view name;      // with its two dashes
    std::string_view valueName; // empty for an option that takes no value
    bool valueOptional;         // the option may also be given without its value
    std::string_view help;
    // Records the option; value is empty when none was given. Returns false to refuse it.
    bool (*apply)(GameOptions& options, std::string_view value);
};

// "--computer" alone fences the normal computer.
bool applyComputer(GameOptions& options, std::string_view value) {
    const std::string_view name = value.empty() ? "normal" : value;
    for (const OpponentLevelName& level : OPPONENT_LEVEL_NAMES) {
        if (level.name == name) {
            options.computer = level.level;
            return true;
        }
    }
    return false;
}

bool applySeed(GameOptions& options, std::string_view value) {
    if (value.empty()) {
        return false;
    }
    std::uint32_t seed = 0;
    const char* end = value.data() + value.size();
    const auto [stop, fault] = std::from_chars(value.data(), end, seed);
    if (fault != std::errc() || stop != end) {
        return false;
    }
    options.seed = seed;
    return true;
}

std::optional<std::uint16_t> portNumber(std::string_view value) {
    std::uint16_t port = 0;
    const char* end = value.data() + value.size();
    const auto [stop, fault] = std::from_chars(value.data(), end, port);
    if (value.empty() || fault != std::errc() || stop != end || port == 0) {
        return std::nullopt;
    }
    return port;
}

bool applyHost(GameOptions& options, std::string_view value) {
    options.hostPort = value.empty() ? std::optional(DEFAULT_PORT) : portNumber(value);
    return options.hostPort.has_value();
}

// ADDRESS, ADDRESS:PORT, or [ADDRESS]:PORT for an address with colons of its own.
bool applyJoin(GameOptions& options, std::string_view value) {
    std::string_view address = value;
    std::string_view port;
    if (value.starts_with('[')) {
        const std::size_t close = value.find(']');
        if (close == std::string_view::npos ||
            (close + 1 < value.size() && value[close + 1] != ':')) {
            return false;
        }
        address = value.substr(1, close - 1);
        port = value.substr(std::min(close + 2, value.size()));
    } else if (value.find(':') == value.rfind(':') && value.find(':') != std::string_view::npos) {
        address = value.substr(0, value.find(':'));
        port = value.substr(value.find(':') + 1);
    }
    const std::optional<std::uint16_t> number = port.empty() ? DEFAULT_PORT : portNumber(port);
    if (address.empty() || !number) {
        return false;
    }
    options.joinAddress = address;
    options.joinPort = *number;
    return true;
}

constexpr OptionRow OPTION_TABLE[] = {
    {"--help", "", false, "show this help and exit",
     [](GameOptions& options, std::string_view) { return options.showHelp = true; }},
    {"--version", "", false, "show the game's version and exit",
     [](GameOptions& options, std::string_view) { return options.showVersion = true; }},
    {"--computer", "LEVEL", true, "fence the computer: easy, normal (the default) or hard",
     applyComputer},
    {"--seed", "N", false, "make the computer's choices and a club night's lots repeatable",
     applySeed},
    {"--mute", "", false, "fence without sound",
     [](GameOptions& options, std::string_view) { return options.mute = true; }},
    {"--fullscreen", "", false, "start full screen; F11 switches to the window and back",
     [](GameOptions& options, std::string_view) { return options.fullScreen = true; }},
    {"--host", "PORT", true, "fence on the left against a player who joins over the network",
     applyHost},
    {"--join", "ADDR[:PORT]", false, "fence on the right of the game hosted at ADDR", applyJoin},
    {"--no-router", "", false, "host without asking the home router to open the port",
     [](GameOptions& options, std::string_view) { return options.noRouter = true; }},
    {"--meet", "SERVER[:PORT]", false, "host or join by room code through a meet server",
     [](GameOptions& options, std::string_view value) {
         options.meetServer = std::string(value);
         return !value.empty();
     }},
    {"--tournament", "", false, "a club night: a pool of 3 to 8 fencers, then a tableau",
     [](GameOptions& options, std::string_view) { return options.tournament = true; }},
    {"--results", "FILE", false, "keep the club night's results in FILE (CSV; FIE XML for .xml)",
     [](GameOptions& options, std::string_view value) {
         options.resultsPath = std::string(value);
         return !value.empty();
     }},
    {"--record", "FILE", true,
     "record the bout into FILE; in a club night, --record alone keeps each bout beside the "
     "results",
     [](GameOptions& options, std::string_view value) {
         options.recordPath = std::string(value);
         return true;
     }},
    {"--replay", "FILE", false, "play the recorded bout in FILE back in the window",
     [](GameOptions& options, std::string_view value) {
         options.replayPath = std::string(value);
         return !value.empty();
     }},
    {"--check", "", false, "with --replay: replay without a window and print the final score",
     [](GameOptions& options, std::string_view) { return options.check = true; }},
    {"--expect", "TRANSCRIPT", false,
     "with --check: compare the console text with TRANSCRIPT's, naming the first difference",
     [](GameOptions& options, std::string_view value) {
         options.expectPath = std::string(value);
         return !value.empty();
     }},
};

// The window toolkit's own options, the only words passed on to it. The value of one that
// takes a value is the next word, whatever it looks like.
struct ToolkitOption {
    std::string_view name;
    bool takesValue;
};
constexpr ToolkitOption TOOLKIT_OPTIONS[] = {
    {"-display", true},   {"-geometry", true}, {"-iconic", false}, {"-direct", false},
    {"-indirect", false}, {"-gldebug", false}, {"-sync", false},
};

const OptionRow* findOption(std::string_view name) {
    for (const OptionRow& row : OPTION_TABLE) {
        if (row.name == name) {
            return &row;
        }
    }
    return nullptr;
}

const ToolkitOption* findToolkitOption(std::string_view word) {
    for (const ToolkitOption& option : TOOLKIT_OPTIONS) {
        if (option.name == word) {
            return &option;
        }
    }
    return nullptr;
}

std::string refusalFor(std::string_view problem, std::string_view word) {
    return "lamevo: " + std::string(problem) + " '" + std::string(word) +
           "'; try 'lamevo --help' for the options.";
}

const char* meaningOf(FencerCommand command) {
    for (const CommandKeys& keys : COMMAND_KEYS) {
        if (keys.command == command) {
            return keys.meaning;
        }
    }
    return "";
}

// The options of recording and replaying that do not go together; empty when they do.
std::string replayRefusal(const GameOptions& chosen, int ways) {
    if (chosen.recordPath && chosen.recordPath->empty() &&
        (!chosen.tournament || !chosen.resultsPath)) {
        return "lamevo: --record alone keeps a club night's bouts beside its results; add "
               "--tournament and --results, or give --record=FILE.";
    }
    if (chosen.recordPath && !chosen.recordPath->empty() && chosen.tournament) {
        return "lamevo: a club night keeps each bout in a file of its own beside the results: "
               "give --record alone.";
    }
    if (!chosen.replayPath.empty() && (ways > 0 || chosen.recordPath)) {
        return "lamevo: --replay plays a recorded bout back; it goes with none of --host, "
               "--join, --computer, --tournament and --record.";
    }
    if (chosen.check && chosen.replayPath.empty()) {
        return "lamevo: --check replays a recording; add --replay=FILE.";
    }
    if (!chosen.expectPath.empty() && !chosen.check) {
        return "lamevo: --expect compares a replay's console text; add --replay=FILE --check.";
    }
    return "";
}

} // namespace

CommandLine readCommandLine(int& argc, char** argv) {
    CommandLine line{};
    int kept = 1;
    for (int index = 1; index < argc; ++index) {
        const std::string_view word = argv[index];
        if (!word.starts_with("--")) {
            const ToolkitOption* toolkit = findToolkitOption(word);
            if (toolkit == nullptr) {
                line.refusal =
                    refusalFor(word.starts_with('-') ? "unknown option" : "unexpected word", word);
                break;
            }
            argv[kept++] = argv[index];
            if (toolkit->takesValue && index + 1 < argc) {
                argv[kept++] = argv[++index];
            }
            continue;
        }
        const std::size_t equals = word.find('=');
        const std::string_view name = word.substr(0, equals);
        const std::string_view value =
            equals == std::string_view::npos ? std::string_view() : word.substr(equals + 1);
        const OptionRow* row = findOption(name);
        if (row == nullptr) {
            line.refusal = refusalFor("unknown option", word);
            break;
        }
        if (name == "--results" && line.options.resultsPath) {
            line.refusal = "lamevo: --results given twice; a club night keeps one results file.";
            break;
        }
        const bool valueGiven = equals != std::string_view::npos;
        if ((valueGiven && (row->valueName.empty() || value.empty())) ||
            !row->apply(line.options, value)) {
            line.refusal = refusalFor("bad value in", word);
            break;
        }
    }
    const GameOptions& chosen = line.options;
    if (line.refusal.empty() && chosen.resultsPath && !chosen.tournament) {
        line.refusal = "lamevo: --results keeps a club night's results; add --tournament.";
    }
    if (line.refusal.empty() && chosen.computer && chosen.tournament) {
        line.refusal = "lamevo: --computer fences one bout; a club night seats its computers "
                       "by name (easy, normal or hard).";
    }
    if (line.refusal.empty() && chosen.noRouter && !chosen.hostPort) {
        line.refusal = "lamevo: --no-router keeps the router closed for a host; add --host.";
    }
    if (line.refusal.empty() && !chosen.meetServer.empty()) {
        const std::optional<std::string> code = readRoomCode(chosen.joinAddress);
        if (!chosen.hostPort && chosen.joinAddress.empty()) {
            line.refusal = "lamevo: --meet finds a bout for --host or --join=CODE; add one.";
        } else if (!chosen.joinAddress.empty() && !code) {
            line.refusal = "lamevo: with --meet, --join takes the room code the host's console "
                           "shows, such as --join=" +
                           std::string(ROOM_CODE_LETTERS.substr(0, ROOM_CODE_LENGTH)) + ".";
        } else if (code) {
            line.options.joinAddress = *code;
        }
    }
    const int ways = (chosen.hostPort ? 1 : 0) + (chosen.joinAddress.empty() ? 0 : 1) +
                     (chosen.computer ? 1 : 0) + (chosen.tournament ? 1 : 0);
    if (line.refusal.empty() && ways > 1) {
        line.refusal = "lamevo: choose one of --host, --join, --computer and --tournament; try "
                       "'lamevo --help' for the options.";
    }
    if (line.refusal.empty()) {
        line.refusal = replayRefusal(chosen, ways);
    }
    argv[kept] = nullptr;
    argc = kept;
    return line;
}

void printUsage(std::FILE* out) {
    std::fputs("Usage: lamevo [OPTION]...\n"
               "A real-time fencing game for two players who share one keyboard: the console\n"
               "asks both names and the kind of bout, the bout is fenced in the window.\n\n"
               "Options:\n",
               out);
    for (const OptionRow& row : OPTION_TABLE) {
        std::string option(row.name);
        if (!row.valueName.empty()) {
            option.append(row.valueOptional ? "[=" : "=").append(row.valueName);
            if (row.valueOptional) {
                option.append("]");
            }
        }
        std::fprintf(out, "  %-20s %.*s\n", option.c_str(), static_cast<int>(row.help.size()),
                     row.help.data());
    }
    std::fputs("The window toolkit's own options work as well:\n ", out);
    for (const ToolkitOption& option : TOOLKIT_OPTIONS) {
        std::fprintf(out, "%s %.*s", &option == TOOLKIT_OPTIONS ? "" : ",",
                     static_cast<int>(option.name.size()), option.name.data());
    }
    std::fputs(
        "\nAn unknown option, a bad value or any other word is refused with exit status 2.\n\n"
        "Keys (click the window first; upper case works too, and ':' for ';'):\n"
        "                                             left  right\n",
        out);
    for (const CommandKeys& keys : COMMAND_KEYS) {
        std::fprintf(out, "  %-42s %c     %c\n", keys.meaning, keys.leftKey, keys.rightKey);
    }
    std::fprintf(out, "  %-42s F11\n", "Full screen, and back to the window");
    std::fputs("\nGame pads, beside the keys: the first pad connected fences on the left, the\n"
               "second on the right. The stick is the left one and acts once per push past half\n"
               "way; a button held down acts once.\n",
               out);
    for (const PadControl& pad : PAD_CONTROLS) {
        std::fprintf(out, "  %-42s %s\n", meaningOf(pad.command), pad.controls);
    }
    std::fprintf(out,
                 "\nOver the network the host fences on the left, the joiner on the right, each\n"
                 "with its own keys; the default port is UDP %u. Exit status %d: the other\n"
                 "machine could not be reached, went away or sent what the game refuses.\n",
                 DEFAULT_PORT, CONNECTION_LOST_STATUS);
    std::fputs(
        "\nThe six pose pictures (leftEngarde.bmp, leftLunge.bmp, leftParry.bmp and the same\n"
        "for right) are read from the working directory; the lamevo launcher starts the\n"
        "game in the folder where they are installed.\n",
        out);
}

void printVersion(std::FILE* out) {
    std::fputs("The Lamevo " LAMEVO_VERSION "\n", out);
}
