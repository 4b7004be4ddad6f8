// The recording's text: reading it, refusing what is not one, and writing it.
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

#include "recordingLines.h"

namespace {

// Longer lines are refused unread: a name is at most 999 bytes.
constexpr std::size_t LONGEST_LINE = 1100;

struct SideName {
    std::int32_t playerNumber;
    std::string_view name;
};
constexpr SideName SIDE_NAMES[] = {{LEFT_PLAYER, "left"}, {RIGHT_PLAYER, "right"}};

struct CommandName {
    FencerCommand command;
    std::string_view name;
};
constexpr CommandName COMMAND_NAMES[] = {
    {FencerCommand::advance, "advance"}, {FencerCommand::retreat, "retreat"},
    {FencerCommand::lunge, "lunge"},     {FencerCommand::parry, "parry"},
    {FencerCommand::recover, "recover"},
};

std::string_view sideName(std::int32_t playerNumber) {
    return playerNumber == LEFT_PLAYER ? "left" : "right";
}

std::string_view commandName(FencerCommand command) {
    for (const CommandName& row : COMMAND_NAMES) {
        if (row.command == command) {
            return row.name;
        }
    }
    return "";
}

std::string_view levelName(OpponentLevel level) {
    for (const OpponentLevelName& row : OPPONENT_LEVEL_NAMES) {
        if (row.level == level) {
            return row.name;
        }
    }
    return "";
}

// Digits alone, no sign, no blank; at most the largest value of T.
template <typename T> std::optional<T> decimal(std::string_view word) {
    T value = 0;
    const char* end = word.data() + word.size();
    const auto [stop, fault] = std::from_chars(word.data(), end, value);
    if (word.empty() || word.front() == '-' || fault != std::errc() || stop != end) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::int32_t> sideOf(std::string_view word) {
    for (const SideName& row : SIDE_NAMES) {
        if (row.name == word) {
            return row.playerNumber;
        }
    }
    return std::nullopt;
}

// The words of a line, one blank between each; none when a word is empty.
std::vector<std::string_view> wordsOf(std::string_view line) {
    std::vector<std::string_view> words;
    for (std::size_t start = 0;;) {
        const std::size_t blank = line.find(' ', start);
        const std::string_view word = line.substr(start, blank - start);
        if (word.empty()) {
            return {};
        }
        words.push_back(word);
        if (blank == std::string_view::npos) {
            return words;
        }
        start = blank + 1;
    }
}

// A name is a word as the console reads it: no blank, no control character.
bool isName(std::string_view word) {
    for (const char byte : word) {
        const auto code = static_cast<unsigned char>(byte);
        if (code <= ' ' || code == 0x7f) {
            return false;
        }
    }
    return !word.empty();
}

// What the lines say, one line at a time; a reason for the first line it cannot take.
struct Reading {
    Recording& recording;
    bool leftNamed = false;
    bool rightNamed = false;
    bool pressesBegun = false;
    bool ended = false;

    bool headerComplete() const { return leftNamed && rightNamed && recording.touchLimit != 0; }

    std::string take(const std::vector<std::string_view>& words) {
        if (ended) {
            return "a line after the end";
        }
        if (words.empty()) {
            return "an empty word or line";
        }
        const std::string_view key = words[0];
        if (!key.empty() && key[0] >= '0' && key[0] <= '9') {
            return takePress(words);
        }
        if (key == "end") {
            return takeEnd(words);
        }
        if (key == "stop") {
            return takeStop(words);
        }
        if (pressesBegun) {
            return "'" + std::string(key) + "' among the presses";
        }
        if (key == "left" || key == "right") {
            bool& named = key == "left" ? leftNamed : rightNamed;
            if (words.size() != 2 || !isName(words[1]) || named) {
                return "a bad or second " + std::string(key) + " name";
            }
            (key == "left" ? recording.leftName : recording.rightName) = words[1];
            named = true;
            return "";
        }
        if (key == "touches") {
            const auto limit = words.size() == 2 ? decimal<std::int32_t>(words[1]) : std::nullopt;
            if (!limit || (*limit != 5 && *limit != 15) || recording.touchLimit != 0) {
                return "a bad or second touch limit (5 or 15)";
            }
            recording.touchLimit = *limit;
            return "";
        }
        if (key == "computer") {
            return takeComputer(words);
        }
        if (key == "clock" && words.size() == 2 && words[1] == "simulated" &&
            !recording.simulatedClock) {
            recording.simulatedClock = true;
            return "";
        }
        return "an unknown line '" + std::string(key) + "'";
    }

    std::string takeComputer(const std::vector<std::string_view>& words) {
        if (words.size() != 4) {
            return "a computer line without side, level and seed";
        }
        const std::optional<std::int32_t> side = sideOf(words[1]);
        const OpponentLevelName* level = nullptr;
        for (const OpponentLevelName& row : OPPONENT_LEVEL_NAMES) {
            level = row.name == words[2] ? &row : level;
        }
        const std::optional<std::uint32_t> seed = decimal<std::uint32_t>(words[3]);
        if (!side || level == nullptr || !seed) {
            return "a bad computer side, level or seed";
        }
        for (const RecordedComputer& computer : recording.computers) {
            if (computer.playerNumber == *side) {
                return "a second computer on one side";
            }
        }
        recording.computers.push_back({*side, level->level, *seed});
        return "";
    }

    std::string takePress(const std::vector<std::string_view>& words) {
        if (!headerComplete()) {
            return "a press before both names and the touch limit";
        }
        pressesBegun = true;
        const auto at = decimal<Milliseconds>(words[0]);
        if (words.size() != 3 || !at || *at > LATEST_RECORDED_MILLISECOND) {
            return "a press without time, side and command";
        }
        if (!recording.presses.empty() && *at < recording.presses.back().at) {
            return "a press earlier than the one before";
        }
        const std::optional<std::int32_t> side = sideOf(words[1]);
        const CommandName* command = nullptr;
        for (const CommandName& row : COMMAND_NAMES) {
            command = row.name == words[2] ? &row : command;
        }
        if (!side || command == nullptr) {
            return "a press of an unknown side or command";
        }
        recording.presses.push_back({*at, *side, command->command});
        return "";
    }

    std::string takeStop(const std::vector<std::string_view>& words) {
        if (!headerComplete()) {
            return "a stop before both names and the touch limit";
        }
        const auto at = words.size() == 2 ? decimal<Milliseconds>(words[1]) : std::nullopt;
        if (!at || *at > LATEST_RECORDED_MILLISECOND ||
            (!recording.presses.empty() && *at < recording.presses.back().at)) {
            return "a stop without its time, or earlier than a press";
        }
        recording.stopped = true;
        recording.stoppedAt = *at;
        ended = true;
        return "";
    }

    std::string takeEnd(const std::vector<std::string_view>& words) {
        if (!headerComplete()) {
            return "the end before both names and the touch limit";
        }
        const auto at = words.size() == 4 ? decimal<Milliseconds>(words[1]) : std::nullopt;
        const auto left = words.size() == 4 ? decimal<std::int32_t>(words[2]) : std::nullopt;
        const auto right = words.size() == 4 ? decimal<std::int32_t>(words[3]) : std::nullopt;
        if (!at || !left || !right || *at > LATEST_RECORDED_MILLISECOND) {
            return "an end without time and score";
        }
        const std::int32_t limit = recording.touchLimit;
        const bool oneWon =
            (*left == limit && *right < limit) || (*right == limit && *left < limit);
        if (!oneWon || (!recording.presses.empty() && *at < recording.presses.back().at)) {
            return "an end that is no win, or earlier than a press";
        }
        recording.won = true;
        recording.wonAt = *at;
        recording.leftTouches = *left;
        recording.rightTouches = *right;
        ended = true;
        return "";
    }
};

} // namespace

std::string parseRecording(std::string_view text, Recording& recording) {
    recording = Recording{};
    const std::size_t firstEnd = text.find('\n');
    const std::string_view firstLine = text.substr(0, firstEnd);
    const std::vector<std::string_view> opening = wordsOf(firstLine.substr(0, LONGEST_LINE));
    if (opening.size() != 2 || opening[0] != RECORDING_FORMAT) {
        return "is not a recording of The Lamevo";
    }
    const std::optional<std::int32_t> version = decimal<std::int32_t>(opening[1]);
    if (!version || *version < 1) {
        return "is damaged: line 1 gives no version";
    }
    if (*version > RECORDING_VERSION) {
        return "is a recording of version " + std::to_string(*version) +
               ", newer than this game reads (version " + std::to_string(RECORDING_VERSION) +
               " and earlier)";
    }
    recording.version = *version;
    Reading reading{recording};
    std::size_t lineNumber = 1;
    // Only whole lines count: a last line without its line end was cut short as it was written.
    for (std::size_t start = firstEnd == std::string_view::npos ? text.size() : firstEnd + 1;
         start < text.size();) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            break;
        }
        ++lineNumber;
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (line.size() > LONGEST_LINE) {
            return "is damaged: line " + std::to_string(lineNumber) + " is too long";
        }
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        const std::string fault = reading.take(wordsOf(line));
        if (!fault.empty()) {
            return "is damaged: line " + std::to_string(lineNumber) + " has " + fault;
        }
    }
    if (!reading.headerComplete()) {
        return "is damaged: it ends before both names and the touch limit";
    }
    return "";
}

std::string readRecording(const char* path, Recording& recording) {
    const std::string named = "The recording " + std::string(path) + " ";
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        return "The Lamevo cannot open the recording " + std::string(path) + ": " +
               std::strerror(errno) + ".";
    }
    std::string text;
    std::string fault;
    struct stat status {};
    if (fstat(fileno(file), &status) != 0 || !S_ISREG(status.st_mode)) {
        fault = "is not a file the game can read";
    } else if (static_cast<std::uint64_t>(status.st_size) > LONGEST_RECORDING_BYTES) {
        fault = "is too large for a recording (more than " +
                std::to_string(LONGEST_RECORDING_BYTES >> 20) + " MiB)";
    } else {
        text.resize(static_cast<std::size_t>(status.st_size));
        text.resize(std::fread(text.data(), 1, text.size(), file));
        if (std::ferror(file) != 0) {
            fault = "could not be read";
        }
    }
    std::fclose(file);
    if (fault.empty()) {
        fault = parseRecording(text, recording);
    }
    return fault.empty() ? fault : named + fault + ".";
}

std::string headerText(const Recording& recording) {
    std::string text = std::string(RECORDING_FORMAT) + " " + std::to_string(RECORDING_VERSION) +
                       "\nleft " + recording.leftName + "\nright " + recording.rightName +
                       "\ntouches " + std::to_string(recording.touchLimit) + "\n";
    for (const RecordedComputer& computer : recording.computers) {
        text.append("computer ")
            .append(sideName(computer.playerNumber))
            .append(" ")
            .append(levelName(computer.level))
            .append(" ")
            .append(std::to_string(computer.seed))
            .append("\n");
    }
    if (recording.simulatedClock) {
        text.append("clock simulated\n");
    }
    return text;
}

std::string pressText(const RecordedPress& press) {
    return std::to_string(press.at) + " " + std::string(sideName(press.playerNumber)) + " " +
           std::string(commandName(press.command)) + "\n";
}

std::string endText(Milliseconds at, std::int32_t leftTouches, std::int32_t rightTouches) {
    return "end " + std::to_string(at) + " " + std::to_string(leftTouches) + " " +
           std::to_string(rightTouches) + "\n";
}

std::string stopText(Milliseconds at) {
    return "stop " + std::to_string(at) + "\n";
}

std::string formatRecording(const Recording& recording) {
    std::string text = headerText(recording);
    for (const RecordedPress& press : recording.presses) {
        text += pressText(press);
    }
    if (recording.won) {
        text += endText(recording.wonAt, recording.leftTouches, recording.rightTouches);
    } else if (recording.stopped) {
        text += stopText(recording.stoppedAt);
    }
    return text;
}
