// The console side of a bout: the set-up conversation that greets the players before it,
// and the running scoreboard with its picture of the strip.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string_view>

#include "bout.h"

// Greets the players, reads their names and the kind of bout word by word from input, lists
// their keys and waits for one more answer before the bout starts. Each name comes back in
// newly allocated storage, as typed (at most 999 bytes: the rest of a longer word is dropped,
// and a UTF-8 character that the 999th byte would split is dropped whole).
// Returns the touch limit, always 5 or 15; touchLimit is the limit so far (0 at start-up,
// so the menu is always shown). If input ends before the bout is set up, or a name cannot be
// stored, it says so on standard error and ends the process with status 1.
std::int32_t runSetupDialogue(std::FILE* input, char** firstName, char** secondName,
                              std::int32_t touchLimit);

// The same dialogue in its steps, for players at two machines: each machine runs the steps
// its own player answers. Run in this order, they print and read exactly what
// runSetupDialogue does, and end the process the same way when input ends.
void greetPlayers();
// The first player's prompt, then the name as runSetupDialogue reads it.
char* askFirstName(std::FILE* input);
// Thanks the first player by name, then asks and reads the second name.
char* askSecondName(std::FILE* input, const char* firstName);
// Thanks the second player by name, then asks for the kind of bout; returns 5 or 15.
std::int32_t askBoutKind(std::FILE* input, const char* secondName, std::int32_t touchLimit);
// Both players' keys and the prompt for the go-ahead.
void listControls(const char* firstName, const char* secondName);
// Reads the go-ahead: a number, a word or the end of input all count.
void readGoAhead(std::FILE* input);

// The console's reads, shared by the dialogues that set up a bout or a club night.
enum class NumberRead { converted, notANumber, endOfInput };
// One word the way "%s" reads it: blanks and line ends before it skipped, the blank after it
// left unread, the whole word consumed but only capacity - 1 bytes of it kept (capacity >= 1).
// Returns false if input ends before a word begins.
bool readWord(std::FILE* input, char* buffer, std::size_t capacity);
// Reads and forgets one word; false at end of input.
bool skipWord(std::FILE* input);
// A decimal number the way "%d" reads it: a word that does not begin with one stays unread
// (notANumber); numbers beyond the 32-bit range are held at its ends.
NumberRead readNumber(std::FILE* input, std::int32_t& value);
// One name in newly allocated storage (malloc), cut as the set-up dialogue cuts names; null if
// input ends before a word begins. If memory runs out it says so and ends with status 1.
char* readName(std::FILE* input);
// The key list of the set-up dialogue: the first name's keys fence on the left. A side whose
// name is null (a computer's) is left out.
void printControls(const char* firstName, const char* secondName);

// Prints the touch limit, the score with both names and the strip with an "@" on each
// fencer's cell to standard output, flushed. Fencers off the strip show no "@".
void printScoreboard(const Fencer& leftFencer, const Fencer& rightFencer, std::int32_t touchLimit);

// Names are kept as the terminal typed them; a UTF-8 terminal types a letter beyond ASCII as
// two to four bytes.
struct Utf8Character {
    char32_t codePoint;
    std::size_t length; // in bytes; 0 when the text does not begin with a character
};

// The UTF-8 character that text begins with. Its length is 0 when text is empty or begins
// with anything that is not well-formed UTF-8: a stray continuation byte, a sequence cut
// short, an overlong form, a surrogate or a code point beyond U+10FFFF.
Utf8Character firstUtf8Character(std::string_view text);
