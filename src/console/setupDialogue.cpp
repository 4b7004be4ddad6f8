#include "console.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

// A name holds at most 999 bytes; a word that is not a number at the bout-type question is
// thrown away, so 99 characters of it are plenty.
constexpr std::size_t LONGEST_NAME = 999;
constexpr std::size_t DISCARD_BUFFER_SIZE = 100;

// The lead byte of a UTF-8 sequence says how long it is; the least code point that needs that
// length tells an overlong form.
struct Utf8Lead {
    unsigned char mask;
    unsigned char pattern;
    std::size_t length;
    char32_t least;
};
constexpr Utf8Lead UTF8_LEADS[] = {
    {0x80, 0x00, 1, 0x0}, {0xE0, 0xC0, 2, 0x80}, {0xF0, 0xE0, 3, 0x800}, {0xF8, 0xF0, 4, 0x10000}};
constexpr std::size_t LONGEST_UTF8_CHARACTER = 4;

bool isBlank(int c) {
    return std::isspace(c) != 0;
}

int skipBlanks(std::FILE* input) {
    int c = std::getc(input);
    while (c != EOF && isBlank(c)) {
        c = std::getc(input);
    }
    return c;
}

} // namespace

// Reads one word the way "%s" does: blanks and line ends before it are skipped, the blank
// after it is left unread. The whole word is consumed, but only as much as fits in the
// buffer is kept. Returns false if input ends before a word begins.
bool readWord(std::FILE* input, char* buffer, std::size_t capacity) {
    int c = skipBlanks(input);
    if (c == EOF) {
        return false;
    }
    std::size_t length = 0;
    while (c != EOF && !isBlank(c)) {
        if (length + 1 < capacity) {
            buffer[length++] = static_cast<char>(c);
        }
        c = std::getc(input);
    }
    if (c != EOF) {
        std::ungetc(c, input);
    }
    buffer[length] = '\0';
    return true;
}

// Reads a decimal number the way "%d" does: blanks skipped, an optional sign, then digits up
// to the first character that cannot continue the number, which is left unread. A word that
// does not begin with a number converts nothing and stays unread (a lone sign before it is
// consumed, as the C library does). Numbers beyond the 32-bit range are held at its ends.
NumberRead readNumber(std::FILE* input, std::int32_t& value) {
    int c = skipBlanks(input);
    if (c == EOF) {
        return NumberRead::endOfInput;
    }
    bool negative = false;
    if (c == '+' || c == '-') {
        negative = c == '-';
        c = std::getc(input);
    }
    if (c == EOF || !std::isdigit(c)) {
        if (c != EOF) {
            std::ungetc(c, input);
        }
        return NumberRead::notANumber;
    }
    std::int64_t magnitude = 0;
    while (c != EOF && std::isdigit(c)) {
        magnitude = std::min<std::int64_t>(magnitude * 10 + (c - '0'), std::int64_t{INT_MAX} + 1);
        c = std::getc(input);
    }
    if (c != EOF) {
        std::ungetc(c, input);
    }
    const std::int64_t signedValue = negative ? -magnitude : magnitude;
    value = static_cast<std::int32_t>(std::clamp<std::int64_t>(signedValue, INT_MIN, INT_MAX));
    return NumberRead::converted;
}

bool skipWord(std::FILE* input) {
    char discarded[DISCARD_BUFFER_SIZE];
    return readWord(input, discarded, sizeof discarded);
}

namespace {

[[noreturn]] void inputEndedTooSoon() {
    std::fputs("The Lamevo: the input ended before the bout could be set up.\n", stderr);
    std::exit(1);
}

// A longer name is cut at its 999th byte, or before a UTF-8 character that would be split
// there; enough bytes past the cut are read to tell.
std::size_t nameLength(std::string_view word) {
    if (word.size() <= LONGEST_NAME) {
        return word.size();
    }
    for (std::size_t start = LONGEST_NAME + 1 - LONGEST_UTF8_CHARACTER; start < LONGEST_NAME;
         ++start) {
        if (start + firstUtf8Character(word.substr(start)).length > LONGEST_NAME) {
            return start;
        }
    }
    return LONGEST_NAME;
}

} // namespace

char* readName(std::FILE* input) {
    char nameBuffer[LONGEST_NAME + LONGEST_UTF8_CHARACTER];
    if (!readWord(input, nameBuffer, sizeof nameBuffer)) {
        return nullptr;
    }
    const std::size_t length = nameLength(nameBuffer);
    auto* name = static_cast<char*>(std::malloc(length + 1));
    if (name == nullptr) {
        std::fputs("The Lamevo ran out of memory while storing a player's name.\n", stderr);
        std::exit(1);
    }
    std::memcpy(name, nameBuffer, length);
    name[length] = '\0';
    return name;
}

namespace {

// The bout-type question: 1 means a pool bout, 2 a direct-elimination bout; 5 and 15 typed
// as they are also count. Each word that is not a number costs one reminder.
std::int32_t askForBoutType(std::FILE* input, std::int32_t touchLimit) {
    while (touchLimit != POOL_TOUCH_LIMIT && touchLimit != DIRECT_ELIMINATION_TOUCH_LIMIT) {
        announce("\nPool Bout (1)\nDE Bout (2)\nSelect either 1 or 2: ");
        NumberRead read = readNumber(input, touchLimit);
        while (read == NumberRead::notANumber) {
            announce("\nPlease select either 1 or 2: ");
            skipWord(input);
            read = readNumber(input, touchLimit);
        }
        if (read == NumberRead::endOfInput) {
            inputEndedTooSoon();
        }
        if (touchLimit == 1) {
            touchLimit = POOL_TOUCH_LIMIT;
        } else if (touchLimit == 2) {
            touchLimit = DIRECT_ELIMINATION_TOUCH_LIMIT;
        }
    }
    return touchLimit;
}

} // namespace

void printControls(const char* firstName, const char* secondName) {
    announce("\n\tHere are the Controls to Play:\n");
    if (firstName != nullptr) {
        announce("\n\t%s:", firstName);
        announce("\t'a' or 'A' == Rereat.\n\t\t's' or 'S' == Parry.\n");
        announce("\t\t'd' or 'D' == Advance.\n\t\t'f' or 'F' == Lunge.\n");
        announce("\t\t'w' or 'W' == Recover.\n");
    }
    if (secondName != nullptr) {
        announce("\n\t%s:", secondName);
        announce("\t';' or ':' == Rereat.\n\t\t'l' or 'L' == Parry.\n");
        announce("\t\t'k' or 'K' == Advance.\n\t\t'j' or 'J' == Lunge.\n");
        announce("\t\t'o' or 'O' == Recover.\n");
    }
}

Utf8Character firstUtf8Character(std::string_view text) {
    if (text.empty()) {
        return {0, 0};
    }
    const auto lead = static_cast<unsigned char>(text[0]);
    for (const Utf8Lead& form : UTF8_LEADS) {
        if ((lead & form.mask) != form.pattern) {
            continue;
        }
        if (text.size() < form.length) {
            return {0, 0};
        }
        char32_t codePoint = lead & static_cast<unsigned char>(~form.mask);
        for (std::size_t i = 1; i < form.length; ++i) {
            const auto follower = static_cast<unsigned char>(text[i]);
            if ((follower & 0xC0) != 0x80) {
                return {0, 0};
            }
            codePoint = codePoint << 6 | (follower & 0x3F);
        }
        const bool surrogate = codePoint >= 0xD800 && codePoint <= 0xDFFF;
        if (codePoint < form.least || codePoint > 0x10FFFF || surrogate) {
            return {0, 0};
        }
        return {codePoint, form.length};
    }
    return {0, 0};
}

namespace {

char* readNameOrEnd(std::FILE* input) {
    char* name = readName(input);
    if (name == nullptr) {
        inputEndedTooSoon();
    }
    return name;
}

} // namespace

void greetPlayers() {
    announce("\n\tWelcome to The Lamevo!\n");
}

char* askFirstName(std::FILE* input) {
    announce("\n\tPlease enter the name of the first player: ");
    return readNameOrEnd(input);
}

char* askSecondName(std::FILE* input, const char* firstName) {
    announce("\n\nThank you, %s.\n\tNow please enter the second Player's name: ", firstName);
    return readNameOrEnd(input);
}

std::int32_t askBoutKind(std::FILE* input, const char* secondName, std::int32_t touchLimit) {
    announce("\n\nThank you, %s.\n", secondName);
    announce("\nWould you like to fence a pool bout or a direct elimination bout?");
    return askForBoutType(input, touchLimit);
}

void listControls(const char* firstName, const char* secondName) {
    printControls(firstName, secondName);
    announce("\n\tClick on the window that pops up to enter commands.\n");
    announce("\n\n\t\tHit Any Key then Enter to Start the Bout!");
}

void readGoAhead(std::FILE* input) {
    // Whatever the go-ahead is, a number, a word or the end of input, the bout starts.
    std::int32_t goAhead = 0;
    readNumber(input, goAhead);
}

std::int32_t runSetupDialogue(std::FILE* input, char** firstName, char** secondName,
                              std::int32_t touchLimit) {
    greetPlayers();
    *firstName = askFirstName(input);
    *secondName = askSecondName(input, *firstName);
    touchLimit = askBoutKind(input, *secondName, touchLimit);
    listControls(*firstName, *secondName);
    readGoAhead(input);
    return touchLimit;
}
