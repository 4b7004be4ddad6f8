#include "bout.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <new>

BoutState bout{};
bool refereeHeard = true;

void announce(const char* format, ...) {
    if (!refereeHeard) {
        return;
    }
    std::va_list arguments;
    va_start(arguments, format);
    std::vprintf(format, arguments);
    va_end(arguments);
    std::fflush(stdout);
}

Fencer* createFencer(char* name, std::int32_t playerNumber) {
    auto* fencer = new (std::nothrow) Fencer{name, -1, 0, playerNumber};
    if (fencer == nullptr) {
        std::fputs("The Lamevo ran out of memory while creating the fencers.\n", stderr);
        std::exit(1);
    }
    return fencer;
}

void setPosition(Fencer& fencer, std::int32_t cell) {
    fencer.position = cell;
}

void addTouch(Fencer& fencer) {
    ++fencer.touches;
}

// +1 for a step towards the opponent, -1 for a step away; 0 for a player the strip does not know.
static std::int32_t forwardDirection(const Fencer& fencer) {
    if (fencer.playerNumber == LEFT_PLAYER) {
        return +1;
    }
    if (fencer.playerNumber == RIGHT_PLAYER) {
        return -1;
    }
    return 0;
}

void advanceFencer(Fencer& fencer) {
    const std::int32_t direction = forwardDirection(fencer);
    if (direction == 0) {
        announce("\nPlayer is neither #1 nor #2.  Can't Advance.  ERROR.\n");
        return;
    }
    setPosition(fencer, fencer.position + direction);
}

void retreatFencer(Fencer& fencer) {
    const std::int32_t direction = forwardDirection(fencer);
    if (direction == 0) {
        announce("\nPlayer is neither #1 nor #2.  Can't Retreat.  ERROR.\n");
        return;
    }
    setPosition(fencer, fencer.position - direction);
}

void resetToEnGarde(Fencer& first, Fencer& second) {
    if (first.playerNumber == LEFT_PLAYER) {
        setPosition(first, LEFT_EN_GARDE_CELL);
        setPosition(second, RIGHT_EN_GARDE_CELL);
    } else if (second.playerNumber == LEFT_PLAYER) {
        setPosition(second, LEFT_EN_GARDE_CELL);
        setPosition(first, RIGHT_EN_GARDE_CELL);
    }
}

void separateFencers(Fencer& left, Fencer& right) {
    setPosition(left, left.position - CROSSING_SEPARATION);
    setPosition(right, right.position + CROSSING_SEPARATION);
}

void congratulate(const Fencer& winner) {
    announce("\n\n\tCongratulations, %s!  You've Won the Bout!", winner.name);
    if (bout.moreBoutsToCome == 1) {
        announce("\n");
        return;
    }
    announce("\n\nGoodluck in your future matches, %s.  Goodbye.\n\n", winner.name);
}

static void congratulateIfWon(const Fencer& fencer, int& wonFlag) {
    if (fencer.touches != bout.touchLimit) {
        return;
    }
    congratulate(fencer);
    wonFlag = 1;
}

void checkForWinner() {
    congratulateIfWon(*bout.leftFencer, bout.leftWon);
    congratulateIfWon(*bout.rightFencer, bout.rightWon);
}

std::int32_t gap() {
    return bout.rightFencer->position - bout.leftFencer->position;
}

void moveQuad(FencerQuad& quad, float dx) {
    for (SceneVertex& corner : quad.vertex) {
        corner.x += dx;
    }
}
