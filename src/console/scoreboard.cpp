#include "console.h"

namespace {

constexpr int STRIP_CELL_COUNT = STRIP_LAST_CELL - STRIP_FIRST_CELL + 1;

// The strip row of the picture: one character per cell, "@" where a fencer stands.
void fillStripRow(const Fencer& leftFencer, const Fencer& rightFencer,
                  char (&row)[STRIP_CELL_COUNT + 1]) {
    for (std::int32_t cell = STRIP_FIRST_CELL; cell <= STRIP_LAST_CELL; ++cell) {
        const bool occupied = cell == leftFencer.position || cell == rightFencer.position;
        row[cell - STRIP_FIRST_CELL] = occupied ? '@' : ' ';
    }
    row[STRIP_CELL_COUNT] = '\0';
}

} // namespace

void printScoreboard(const Fencer& leftFencer, const Fencer& rightFencer, std::int32_t touchLimit) {
    char stripRow[STRIP_CELL_COUNT + 1];
    fillStripRow(leftFencer, rightFencer, stripRow);

    announce("\nThis is a %d touch bout", touchLimit);
    announce("\nScore is: %s %d VS. %d %s", leftFencer.name, leftFencer.touches,
             rightFencer.touches, rightFencer.name);
    // The marks of the window's strip, drawn in text: the crosses over each end stretch and
    // the bars, one column per cell between two border columns.
    announce("\n _________________________________________ \n"
             "|\\    /|         |       |         |\\    /|\n"
             "| \\  / |         |       |         | \\  / |\n"
             "|%s"
             "|\n| /  \\ |         |       |         | /  \\ |\n"
             "|/    \\|         |       |         |/    \\|\n"
             " ----------------------------------------- \n",
             stripRow);
}
