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

struct LevelName {
    std::string_view name;
    OpponentLevel level;
};
constexpr LevelName COMPUTER_LEVELS[] = {
    {"easy", OpponentLevel::easy},
    {"normal", OpponentLevel::normal},
    {"hard", OpponentLevel::hard},
};

// "--computer" alone fences the normal computer.
bool applyComputer(GameOptions& options, std::string_view value) {
    const std::string_view name = value.empty() ? "normal" : value;
    for (const LevelName& level : COMPUTER_LEVELS) {
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
    {"--seed", "N", false, "make the computer's choices repeatable", applySeed},
    {"--mute", "", false, "fence without sound",
     [](GameOptions& options, std::string_view) { return options.mute = true; }},
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
        const bool valueGiven = equals != std::string_view::npos;
        if ((valueGiven && (row->valueName.empty() || value.empty())) ||
            !row->apply(line.options, value)) {
            line.refusal = refusalFor("bad value in", word);
            break;
        }
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
