#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

#include "captureStdout.h"
#include "console.h"

namespace {

// The dialogue's fixed texts, put together from the pieces the players see; the plain case
// below spells the whole conversation out once, so these pieces are checked byte for byte too.
const std::string GREETING =
    "\n\tWelcome to The Lamevo!\n\n\tPlease enter the name of the first player: ";
const std::string MENU = "\nPool Bout (1)\nDE Bout (2)\nSelect either 1 or 2: ";
const std::string PLEASE_SELECT = "\nPlease select either 1 or 2: ";
const std::string GO_AHEAD = "\n\tClick on the window that pops up to enter commands.\n"
                             "\n\n\t\tHit Any Key then Enter to Start the Bout!";

std::string afterFirstName(const std::string& first) {
    return GREETING + "\n\nThank you, " + first +
           ".\n\tNow please enter the second Player's name: ";
}

std::string afterSecondName(const std::string& first, const std::string& second) {
    return afterFirstName(first) + "\n\nThank you, " + second + ".\n" +
           "\nWould you like to fence a pool bout or a direct elimination bout?";
}

std::string controls(const std::string& first, const std::string& second) {
    return "\n\tHere are the Controls to Play:\n"
           "\n\t" +
           first +
           ":\t'a' or 'A' == Rereat.\n\t\t's' or 'S' == Parry.\n"
           "\t\t'd' or 'D' == Advance.\n\t\t'f' or 'F' == Lunge.\n"
           "\t\t'w' or 'W' == Recover.\n"
           "\n\t" +
           second +
           ":\t';' or ':' == Rereat.\n\t\t'l' or 'L' == Parry.\n"
           "\t\t'k' or 'K' == Advance.\n\t\t'j' or 'J' == Lunge.\n"
           "\t\t'o' or 'O' == Recover.\n";
}

// The whole conversation, given what was said between the bout-type question and the keys.
std::string conversation(const std::string& first, const std::string& second,
                         const std::string& boutTypeExchange) {
    return afterSecondName(first, second) + boutTypeExchange + controls(first, second) + GO_AHEAD;
}

std::FILE* streamOf(const std::string& typed) {
    std::FILE* stream = std::tmpfile();
    if (stream == nullptr) {
        std::abort();
    }
    std::fwrite(typed.data(), 1, typed.size(), stream);
    std::rewind(stream);
    return stream;
}

struct DialogueResult {
    std::string printed;
    std::string firstName;
    std::string secondName;
    std::int32_t touchLimit;
    int nextUnread; // the character the dialogue left in the input, or EOF
};

DialogueResult runDialogue(const std::string& typed) {
    std::FILE* input = streamOf(typed);
    char* first = nullptr;
    char* second = nullptr;
    std::int32_t touchLimit = 0;
    const std::string printed =
        captureStdout([&] { touchLimit = runSetupDialogue(input, &first, &second, 0); });
    DialogueResult result{printed, first, second, touchLimit, std::getc(input)};
    std::free(first);
    std::free(second);
    std::fclose(input);
    return result;
}

TEST(SetupDialogue, PlainPoolBoutByteForByte) {
    const DialogueResult result = runDialogue("Ann Bob 1 x\n");
    EXPECT_EQ(result.printed, "\n\tWelcome to The Lamevo!\n"
                              "\n\tPlease enter the name of the first player: "
                              "\n\nThank you, Ann.\n\tNow please enter the second Player's name: "
                              "\n\nThank you, Bob.\n"
                              "\nWould you like to fence a pool bout or a direct elimination bout?"
                              "\nPool Bout (1)\nDE Bout (2)\nSelect either 1 or 2: "
                              "\n\tHere are the Controls to Play:\n"
                              "\n\tAnn:\t'a' or 'A' == Rereat.\n\t\t's' or 'S' == Parry.\n"
                              "\t\t'd' or 'D' == Advance.\n\t\t'f' or 'F' == Lunge.\n"
                              "\t\t'w' or 'W' == Recover.\n"
                              "\n\tBob:\t';' or ':' == Rereat.\n\t\t'l' or 'L' == Parry.\n"
                              "\t\t'k' or 'K' == Advance.\n\t\t'j' or 'J' == Lunge.\n"
                              "\t\t'o' or 'O' == Recover.\n"
                              "\n\tClick on the window that pops up to enter commands.\n"
                              "\n\n\t\tHit Any Key then Enter to Start the Bout!");
    EXPECT_EQ(result.printed, conversation("Ann", "Bob", MENU));
    EXPECT_EQ(result.firstName, "Ann");
    EXPECT_EQ(result.secondName, "Bob");
    EXPECT_EQ(result.touchLimit, 5);
    EXPECT_EQ(result.nextUnread, 'x'); // a word at the go-ahead is looked at, not taken
}

struct DialogueCase {
    const char* what;
    std::string typed;
    std::string firstName;
    std::string secondName;
    std::string boutTypeExchange;
    std::int32_t touchLimit;
    int nextUnread;
};

void expectDialogue(const DialogueCase& c) {
    SCOPED_TRACE(c.what);
    const DialogueResult result = runDialogue(c.typed);
    EXPECT_EQ(result.printed, conversation(c.firstName, c.secondName, c.boutTypeExchange));
    EXPECT_EQ(result.firstName, c.firstName);
    EXPECT_EQ(result.secondName, c.secondName);
    EXPECT_EQ(result.touchLimit, c.touchLimit);
    EXPECT_EQ(result.nextUnread, c.nextUnread);
}

TEST(SetupDialogue, NamesAreWordsWhereverTheyAreTyped) {
    const DialogueCase cases[] = {
        {"one answer a line", "Ann\nBob\n1\nx\n", "Ann", "Bob", MENU, 5, 'x'},
        {"both names typed ahead on one line", "Ann Bob\n2\nx\n", "Ann", "Bob", MENU, 15, 'x'},
        {"empty and blank lines at the name prompts", "\n\n \t \nAnn\n\n\n\tBob\n1\nx\n", "Ann",
         "Bob", MENU, 5, 'x'},
        {"digits, punctuation and equal names", "R2-D2 R2-D2 1 x", "R2-D2", "R2-D2", MENU, 5, 'x'},
        {"names that look like formats", "100% %s%n 1 x", "100%", "%s%n", MENU, 5, 'x'},
    };
    for (const DialogueCase& c : cases) {
        expectDialogue(c);
    }
}

TEST(SetupDialogue, BoutTypeAnswers) {
    const std::string junk5000(5000, 'j');
    const DialogueCase cases[] = {
        {"1 is a pool bout", "Ann Bob 1 x", "Ann", "Bob", MENU, 5, 'x'},
        {"2 is a direct-elimination bout", "Ann Bob 2 x", "Ann", "Bob", MENU, 15, 'x'},
        {"5 typed directly", "Ann Bob 5 x", "Ann", "Bob", MENU, 5, 'x'},
        {"15 typed directly", "Ann Bob 15 x", "Ann", "Bob", MENU, 15, 'x'},
        {"+2 with its sign", "Ann Bob +2 x", "Ann", "Bob", MENU, 15, 'x'},
        {"3, 0 and -1 bring the menu back", "Ann Bob 3\n0\n-1\n1 x", "Ann", "Bob",
         MENU + MENU + MENU + MENU, 5, 'x'},
        {"numbers beyond 32 bits bring the menu back", "Ann Bob 99999999999 -99999999999 2 x",
         "Ann", "Bob", MENU + MENU + MENU, 15, 'x'},
        {"one junk word, one reminder", "Ann Bob y 1 x", "Ann", "Bob", MENU + PLEASE_SELECT, 5,
         'x'},
        {"two junk words on one line, two reminders", "Ann Bob y z\n2 x", "Ann", "Bob",
         MENU + PLEASE_SELECT + PLEASE_SELECT, 15, 'x'},
        {"a 5000-character junk word costs one reminder", "Ann Bob " + junk5000 + " 1 x", "Ann",
         "Bob", MENU + PLEASE_SELECT, 5, 'x'},
        {"a junk word with digits inside is one word", "Ann Bob y12345 1 x", "Ann", "Bob",
         MENU + PLEASE_SELECT, 5, 'x'},
        {"junk, then a wrong number, then a right one", "Ann Bob y 7 2 x", "Ann", "Bob",
         MENU + PLEASE_SELECT + MENU, 15, 'x'},
    };
    for (const DialogueCase& c : cases) {
        expectDialogue(c);
    }
}

TEST(SetupDialogue, GoAheadIsOneNumberReadAndNothingMore) {
    const DialogueCase cases[] = {
        {"2x selects 15 and its x answers the go-ahead", "Ann Bob 2x\nrest", "Ann", "Bob", MENU, 15,
         'x'},
        {"a number at the go-ahead is taken, the line end after it is not", "Ann Bob 1 7\nrest",
         "Ann", "Bob", MENU, 5, '\n'},
        {"empty lines before the go-ahead", "Ann Bob 1\n\n\n  go\n", "Ann", "Bob", MENU, 5, 'g'},
        {"input ends at the go-ahead: the bout starts all the same", "Ann Bob 1", "Ann", "Bob",
         MENU, 5, EOF},
        {"only blanks before the end at the go-ahead", "Ann Bob 2\n\n", "Ann", "Bob", MENU, 15,
         EOF},
    };
    for (const DialogueCase& c : cases) {
        expectDialogue(c);
    }
}

TEST(SetupDialogue, LongNamesKeepTheirFirst999BytesAndWholeCharacters) {
    const std::string name999(999, 'a');
    const std::string name5000 = std::string(999, 'b') + std::string(4001, 'c');
    const std::string a997(997, 'a');
    const DialogueCase cases[] = {
        {"999 characters kept whole", name999 + " Bob 1 x", name999, "Bob", MENU, 5, 'x'},
        {"a 5000-character first name is cut and the rest dropped", name5000 + " Bob 1 x",
         std::string(999, 'b'), "Bob", MENU, 5, 'x'},
        {"a 5000-character second name is cut and the rest dropped", "Ann " + name5000 + "\n1 x",
         "Ann", std::string(999, 'b'), MENU, 5, 'x'},
        {"a UTF-8 letter ending at the limit is kept", a997 + "\xC3\xA9 Bob 1 x", a997 + "\xC3\xA9",
         "Bob", MENU, 5, 'x'},
        {"a UTF-8 letter the limit would split is dropped", a997 + "a\xC3\xA9z Bob 1 x", a997 + "a",
         "Bob", MENU, 5, 'x'},
        {"so is a fencer of four bytes", a997 + "\xF0\x9F\xA4\xBA Bob 1 x", a997, "Bob", MENU, 5,
         'x'},
        {"Latin-1 is cut at the limit", a997 + "\xE9\xE9\xE9 Bob 1 x", a997 + "\xE9\xE9", "Bob",
         MENU, 5, 'x'},
    };
    for (const DialogueCase& c : cases) {
        expectDialogue(c);
    }
}

TEST(SetupDialogue, TouchLimitAlreadySetSkipsTheMenu) {
    std::FILE* input = streamOf("Ann Bob x");
    char* first = nullptr;
    char* second = nullptr;
    std::int32_t touchLimit = 0;
    const std::string printed =
        captureStdout([&] { touchLimit = runSetupDialogue(input, &first, &second, 15); });
    EXPECT_EQ(printed, conversation("Ann", "Bob", ""));
    EXPECT_EQ(touchLimit, 15);
    EXPECT_EQ(std::getc(input), 'x');
    std::free(first);
    std::free(second);
    std::fclose(input);
}

// End of input before the bout is set up ends the process with one line on standard error;
// what was printed before it is checked too, so that no extra prompt slips out.
constexpr const char* INPUT_ENDED =
    "^The Lamevo: the input ended before the bout could be set up\\.\n$";

struct EarlyEnd {
    const char* what;
    std::string typed;
    std::string printedBeforeExit;
};

TEST(SetupDialogueDeathTest, InputEndingBeforeTheBoutIsSetUpExitsWithStatusOne) {
    const EarlyEnd cases[] = {
        {"at the first name", "", GREETING},
        {"at the first name after blank lines", "\n \n\t\n", GREETING},
        {"at the second name", "Ann", afterFirstName("Ann")},
        {"at the second name after blank lines", "Ann\n\n", afterFirstName("Ann")},
        {"at the bout type", "Ann Bob", afterSecondName("Ann", "Bob") + MENU},
        {"at the bout type after junk", "Ann Bob y\n",
         afterSecondName("Ann", "Bob") + MENU + PLEASE_SELECT},
        {"at the bout type after a lone sign, which the number read takes", "Ann Bob -",
         afterSecondName("Ann", "Bob") + MENU + PLEASE_SELECT},
        {"at the bout type after a wrong number", "Ann Bob 3\n",
         afterSecondName("Ann", "Bob") + MENU + MENU},
    };
    for (const EarlyEnd& c : cases) {
        SCOPED_TRACE(c.what);
        std::FILE* input = streamOf(c.typed);
        std::FILE* sink = openOutputSink();
        EXPECT_EXIT(
            {
                sendStdoutTo(sink);
                char* first = nullptr;
                char* second = nullptr;
                runSetupDialogue(input, &first, &second, 0);
            },
            ::testing::ExitedWithCode(1), INPUT_ENDED);
        EXPECT_EQ(readAndCloseSink(sink), c.printedBeforeExit);
        std::fclose(input);
    }
}

// Leaves the process no memory to give: its address space is capped at what it uses now and
// every block malloc can still hand out, large to small, is taken.
[[maybe_unused]] void useUpAllMemory() {
    long pages = 0;
    if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld", &pages) != 1) {
            pages = 0;
        }
        std::fclose(statm);
    }
    const rlim_t inUse = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE));
    const rlimit cap{inUse, inUse};
    if (pages == 0 || setrlimit(RLIMIT_AS, &cap) != 0) {
        std::abort();
    }
    // The blocks are chained and the chain kept, or the compiler may drop allocations it
    // sees unused, and the loops with them.
    static void* volatile taken = nullptr;
    for (std::size_t size = std::size_t{1} << 20; size >= sizeof(void*); size /= 2) {
        while (void* block = std::malloc(size)) {
            *static_cast<void**>(block) = taken;
            taken = block;
        }
    }
}

TEST(SetupDialogueDeathTest, NameThatCannotBeStoredExitsWithStatusOne) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer needs more address space than it could be capped at";
#else
    std::FILE* input = streamOf("Ann Bob 1 x\n");
    std::FILE* sink = openOutputSink();
    // The input gets its buffer now, as stdio would take it from malloc at the first read;
    // standard output has had its own since the test runner's first line.
    static char inputBuffer[BUFSIZ];
    std::setvbuf(input, inputBuffer, _IOFBF, sizeof inputBuffer);
    EXPECT_EXIT(
        {
            sendStdoutTo(sink);
            useUpAllMemory();
            char* first = nullptr;
            char* second = nullptr;
            runSetupDialogue(input, &first, &second, 0);
        },
        ::testing::ExitedWithCode(1),
        "^The Lamevo ran out of memory while storing a player's name\\.\n$");
    EXPECT_EQ(readAndCloseSink(sink), GREETING);
    std::fclose(input);
#endif
}

} // namespace
