#!/usr/bin/env python3
"""Console input that no player would type, given to the real game: input that ends right
after the first name or right after the bout type, 64 KiB of random bytes (NULs and 0xFF
included), the same without a digit, a name of a megabyte and a megabyte word at the bout-type
question. The set-up dialogue is read here as the game reads it (a word up to the next
blank, a name kept to 999 characters and up to its first NUL, a number with its sign, one
reminder per word that is no number), so the console is compared byte for byte. The game
either starts the bout, printing the first scoreboard and nothing on standard error, or
ends with status 1 and its one line on standard error; it never ends by a signal and never
waits for ever."""

import random

from lamevoHarness import HarnessError, Session, pollUntil
from sceneModel import Scene, expectScene

TIME_LIMIT = 30
BLANKS = b" \t\n\v\f\r"
DIGITS = b"0123456789"
INT_MAX = 2**31 - 1
INPUT_ENDED = b"The Lamevo: the input ended before the bout could be set up.\n"
GREETING = b"\n\tWelcome to The Lamevo!\n\n\tPlease enter the name of the first player: "
MENU = b"\nPool Bout (1)\nDE Bout (2)\nSelect either 1 or 2: "
PLEASE_SELECT = b"\nPlease select either 1 or 2: "


class InputEnded(Exception):
    pass


class ConsoleReader:
    """The dialogue's two reads over a byte string, as the game makes them."""

    def __init__(self, data):
        self.data, self.at = data, 0

    def skipBlanks(self):
        while self.at < len(self.data) and self.data[self.at] in BLANKS:
            self.at += 1

    def word(self, capacity):
        """A word, of which capacity - 1 bytes are kept; None at the end of input."""
        self.skipBlanks()
        if self.at == len(self.data):
            return None
        start = self.at
        while self.at < len(self.data) and self.data[self.at] not in BLANKS:
            self.at += 1
        return self.data[start:self.at][:capacity - 1]

    def number(self):
        """An int, "no number" (nothing taken but a sign), or None at the end of input."""
        self.skipBlanks()
        if self.at == len(self.data):
            return None
        negative = self.data[self.at] == ord("-")
        if self.data[self.at] in b"+-":
            self.at += 1
        if self.at == len(self.data) or self.data[self.at] not in DIGITS:
            return "no number"
        magnitude = 0
        while self.at < len(self.data) and self.data[self.at] in DIGITS:
            magnitude = min(magnitude * 10 + self.data[self.at] - ord("0"), INT_MAX + 1)
            self.at += 1
        return max(-INT_MAX - 1, min(INT_MAX, -magnitude if negative else magnitude))


def dialogue(data):
    """(what the console shows, touch limit or None when the input ends too soon, names)."""
    reader = ConsoleReader(data)
    shown = bytearray(GREETING)

    def name():
        word = reader.word(1000)
        if word is None:
            raise InputEnded
        return word.split(b"\0")[0]
    try:
        first = name()
        shown += b"\n\nThank you, " + first + b".\n\tNow please enter the second Player's name: "
        second = name()
        shown += (b"\n\nThank you, " + second + b".\n"
                  b"\nWould you like to fence a pool bout or a direct elimination bout?")
        limit = 0
        while limit not in (5, 15):
            shown += MENU
            read = reader.number()
            while read == "no number":
                shown += PLEASE_SELECT
                reader.word(100)
                read = reader.number()
            if read is None:
                raise InputEnded
            limit = {1: 5, 2: 15}.get(read, read)
    except InputEnded:
        return bytes(shown), None, None
    shown += (b"\n\tHere are the Controls to Play:\n"
              b"\n\t" + first + b":\t'a' or 'A' == Rereat.\n\t\t's' or 'S' == Parry.\n"
              b"\t\t'd' or 'D' == Advance.\n\t\t'f' or 'F' == Lunge.\n"
              b"\t\t'w' or 'W' == Recover.\n"
              b"\n\t" + second + b":\t';' or ':' == Rereat.\n\t\t'l' or 'L' == Parry.\n"
              b"\t\t'k' or 'K' == Advance.\n\t\t'j' or 'J' == Lunge.\n"
              b"\t\t'o' or 'O' == Recover.\n"
              b"\n\tClick on the window that pops up to enter commands.\n"
              b"\n\n\t\tHit Any Key then Enter to Start the Bout!")
    reader.number()
    shown += (b"\nThis is a %d touch bout\nScore is: %s 0 VS. 0 %s" % (limit, first, second)
              + b"\n _________________________________________ \n"
              b"|\\    /|         |       |         |\\    /|\n"
              b"| \\  / |         |       |         | \\  / |\n"
              b"|               @         @               |\n"
              b"| /  \\ |         |       |         | /  \\ |\n"
              b"|/    \\|         |       |         |/    \\|\n"
              b" ----------------------------------------- \n")
    return bytes(shown), limit, (first, second)


def feedConsole(run, data, what):
    """Gives data to a fresh game's console, closes it, and checks what the game makes of it.
    Returns the game (still running if the bout started) and the expected outcome."""
    shown, limit, names = dialogue(data)
    game = run.start()
    game.feed(data)
    game.expect(shown, timeout=TIME_LIMIT)
    if limit is None:
        status, _ = game.waitExit(TIME_LIMIT)
        if status != 1:
            raise HarnessError(f"{what}: the game ended with status {status}, not 1")
        pollUntil(game.readersDone, interval=0.05, what="the game's output to close")
        if bytes(game.errors) != INPUT_ENDED:
            raise HarnessError(f"{what}: standard error holds {bytes(game.errors)[:300]!r}")
    else:
        game.expectNothingMore()
        if not game.running():
            raise HarnessError(f"{what}: the game ended ({game.process.returncode}) after "
                               "starting the bout")
        if game.errors:
            raise HarnessError(f"{what}: standard error holds {bytes(game.errors)[:300]!r}")
    game.expectNothingMore(settle=0)
    print(f"{what}: {len(data)} bytes, "
          + ("input ended too soon" if limit is None else f"a {limit} touch bout between "
             f"names of {len(names[0])} and {len(names[1])} characters"), flush=True)
    return game, limit, names


def closeAndCheck(game, what):
    game.closeWindow()
    status, _ = game.waitExit()
    if status != 0:
        raise HarnessError(f"{what}: closing the window ended the game with status {status}")


def inputEndsEarly(run):
    game, limit, _ = feedConsole(run, b"Ann\n", "closed after the first name")
    assert limit is None
    game, limit, _ = feedConsole(run, b"Ann\nBo\n2\n", "closed after the bout type")
    assert limit == 15
    closeAndCheck(game, "closed after the bout type")


def binaryJunk(run):
    junk = random.Random(7).randbytes(64 * 1024)
    assert b"\0" in junk and b"\xff" in junk
    game, limit, _ = feedConsole(run, junk, "64 KiB of random bytes")
    if limit is not None:
        closeAndCheck(game, "random bytes")
    # Without a digit no answer to the bout-type question can be had: one reminder for each
    # word, then the end of the input.
    noDigits = bytes(b for b in random.Random(8).randbytes(64 * 1024) if b not in DIGITS)
    game, limit, _ = feedConsole(run, noDigits, "64 KiB of random bytes without a digit")
    assert limit is None


def megabyteLines(run):
    megabyte = 1024 * 1024
    game, limit, names = feedConsole(run, b"N" * megabyte + b"\nBo\n1\ngo\n",
                                     "a name of a megabyte")
    assert limit == 5 and names[0] == b"N" * 999
    # The window writes the name cut as the console does, out past the edge of its board.
    expectScene(game, run.model(), Scene("N" * 999, "Bo"), "name-of-999-characters")
    closeAndCheck(game, "a name of a megabyte")
    game, limit, _ = feedConsole(run, b"Ann\nBo\n" + b"x" * megabyte + b"\n2\ngo\n",
                                 "a word of a megabyte at the bout type")
    assert limit == 15
    closeAndCheck(game, "a word of a megabyte at the bout type")


if __name__ == "__main__":
    Session().run([inputEndsEarly, binaryJunk, megabyteLines])
