#include "commandLine.h"

#include <charconv>
#include <cstring>
#include <string_view>

#include "control.h"
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
    {"--tournament", "", false, "a club night: a pool of 3 to 8 fencers, then a tableau",
     [](GameOptions& options, std::string_view) { return options.tournament = true; }},
    {"--results", "FILE", false, "keep the club night's results in FILE (CSV)",
     [](GameOptions& options, std::string_view value) {
         options.resultsPath = std::string(value);
         return !value.empty();
     }},
};

// The window toolkit's options whose next word is their value, whatever it looks like.
constexpr std::string_view TOOLKIT_OPTIONS_WITH_VALUE[] = {"-display", "-geometry"};

const OptionRow* findOption(std::string_view name) {
    for (const OptionRow& row : OPTION_TABLE) {
        if (row.name == name) {
            return &row;
        }
    }
    return nullptr;
}

bool takesToolkitValue(std::string_view word) {
    for (std::string_view option : TOOLKIT_OPTIONS_WITH_VALUE) {
        if (word == option) {
            return true;
        }
    }
    return false;
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

} // namespace

CommandLine readCommandLine(int& argc, char** argv) {
    CommandLine line{};
    int kept = 1;
    for (int index = 1; index < argc; ++index) {
        const std::string_view word = argv[index];
        if (!word.starts_with("--")) {
            argv[kept++] = argv[index];
            if (takesToolkitValue(word) && index + 1 < argc) {
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
        const bool valueGiven = equals != std::string_view::npos;
        if ((valueGiven && (row->valueName.empty() || value.empty())) ||
            !row->apply(line.options, value)) {
            line.refusal = refusalFor("bad value in", word);
            break;
        }
    }
    if (line.refusal.empty() && line.options.resultsPath && !line.options.tournament) {
        line.refusal = "lamevo: --results keeps a club night's results; add --tournament.";
    }
    if (line.refusal.empty() && line.options.computer && line.options.tournament) {
        line.refusal = "lamevo: --computer fences one bout; a club night seats its computers "
                       "by name (easy, normal or hard).";
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
    std::fputs("The window toolkit's own options (-display, -geometry, ...) work as well.\n\n"
               "Keys (click the window first; upper case works too, and ':' for ';'):\n"
               "                                             left  right\n",
               out);
    for (const CommandKeys& keys : COMMAND_KEYS) {
        std::fprintf(out, "  %-42s %c     %c\n", keys.meaning, keys.leftKey, keys.rightKey);
    }
    std::fputs("\nGame pads, beside the keys: the first pad connected fences on the left, the\n"
               "second on the right. The stick is the left one and acts once per push past half\n"
               "way; a button held down acts once.\n",
               out);
    for (const PadControl& pad : PAD_CONTROLS) {
        std::fprintf(out, "  %-42s %s\n", meaningOf(pad.command), pad.controls);
    }
    std::fputs(
        "\nThe six pose pictures (leftEngarde.bmp, leftLunge.bmp, leftParry.bmp and the same\n"
        "for right) are read from the working directory; the lamevo launcher starts the\n"
        "game in the folder where they are installed.\n",
        out);
}

void printVersion(std::FILE* out) {
    std::fputs("The Lamevo " LAMEVO_VERSION "\n", out);
}
