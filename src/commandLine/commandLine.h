// The command line: the game's own options, all of them long ("--help"), read before anything
// needs a display. Each option is one row of the table in commandLine.cpp, which both the
// parser and the help text read. The window toolkit's own options (-display, -geometry, ...)
// are left in place for the toolkit; any other word is refused.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "network.h"
#include "opponent.h"

// What the players asked for on the command line; all false or empty when they gave nothing,
// and then the game is exactly the one without options.
struct GameOptions {
    bool showHelp;
    bool showVersion;
    std::optional<OpponentLevel> computer; // the computer fences the right fencer
    std::optional<std::uint32_t> seed;     // for the computer's choices
    bool mute;       // no buzzer, no clash, and the audio output is never opened
    bool fullScreen; // the window starts full screen
    std::optional<std::uint16_t> hostPort; // host a bout over the network on this UDP port
    std::string joinAddress;               // join the bout hosted there; empty: no joining
    std::uint16_t joinPort;
    bool noRouter; // the host does not ask the home router to forward its port
    // A meet server's SERVER[:PORT]; with --join, joinAddress is then a room code.
    std::string meetServer;
    bool tournament;                        // a club night of 3 to 8 fencers
    std::optional<std::string> resultsPath; // the club night's results, as CSV
    // Record the bout into this file; empty (--record alone) in a club night: each bout into
    // a file of its own beside the results.
    std::optional<std::string> recordPath;
    std::string replayPath; // play this recording back; empty: none
    bool check;             // replay without a window, as fast as the clocks allow
    std::string expectPath; // the console text the replay must print; empty: none
};

struct CommandLine {
    GameOptions options;
    // Empty when the line was understood; otherwise the one line to print on standard error
    // (naming the option and pointing to --help), and the game exits with USAGE_ERROR_STATUS.
    std::string refusal;
};

inline constexpr int USAGE_ERROR_STATUS = 2;

// Reads argv[1..argc-1]. --host, --join, --computer and --tournament go with none of the
// others; --results goes with --tournament alone, --no-router with --host alone, --meet with --host
// or --join (whose value is then a room code, kept in upper case). --record=FILE goes with any way
// of playing; --record alone with --tournament and --results. --replay goes with none of those,
// --check with --replay alone and --expect with --check.
// The game's own options are taken out of argv, and argc lowered to match, so that argv keeps
// argv[0] and, in their order, the arguments for the window toolkit: its own options (-display,
// -geometry, -iconic, -direct, -indirect, -gldebug, -sync) and the value after -display or
// -geometry, whatever that looks like. An option the table does not have, any other word, a value
// given to an option that takes none, an empty value after "=", or a value the option refuses ends
// the reading with a refusal.
CommandLine readCommandLine(int& argc, char** argv);

// The usage text for --help: the options, both players' keys and game pads, where the pictures
// are read from.
void printUsage(std::FILE* out);

// One line: the game's name and its version.
void printVersion(std::FILE* out);
