#!/usr/bin/env python3
"""Drives the real game through its console: types a whole set-up dialogue into lamevo's
standard input and compares every byte it prints on standard output.

Usage: driveLamevo.py <path to lamevo> <case>

The game opens its window before the dialogue and, once the first scoreboard is printed,
waits in its event loop for keys that never come; so as soon as the scoreboard is complete
(or the game has ended by itself) the game is stopped and its output compared. Run it with
DISPLAY pointing at a virtual screen (tests/withXvfb.sh) and in the folder of the pose pictures.
"""
import os
import select
import subprocess
import sys
import tempfile
import time

TIME_LIMIT_SECONDS = 20

GREETING = "\n\tWelcome to The Lamevo!\n\n\tPlease enter the name of the first player: "
MENU = "\nPool Bout (1)\nDE Bout (2)\nSelect either 1 or 2: "
PLEASE_SELECT = "\nPlease select either 1 or 2: "
INPUT_ENDED = "The Lamevo: the input ended before the bout could be set up.\n"


def after_first_name(first):
    return GREETING + f"\n\nThank you, {first}.\n\tNow please enter the second Player's name: "


def dialogue(first, second, bout_type_exchange):
    return (after_first_name(first)
            + f"\n\nThank you, {second}.\n"
            + "\nWould you like to fence a pool bout or a direct elimination bout?"
            + bout_type_exchange
            + "\n\tHere are the Controls to Play:\n"
            + f"\n\t{first}:\t'a' or 'A' == Rereat.\n\t\t's' or 'S' == Parry.\n"
            + "\t\t'd' or 'D' == Advance.\n\t\t'f' or 'F' == Lunge.\n"
            + "\t\t'w' or 'W' == Recover.\n"
            + f"\n\t{second}:\t';' or ':' == Rereat.\n\t\t'l' or 'L' == Parry.\n"
            + "\t\t'k' or 'K' == Advance.\n\t\t'j' or 'J' == Lunge.\n"
            + "\t\t'o' or 'O' == Recover.\n"
            + "\n\tClick on the window that pops up to enter commands.\n"
            + "\n\n\t\tHit Any Key then Enter to Start the Bout!")


def first_scoreboard(first, second, touch_limit):
    return (f"\nThis is a {touch_limit} touch bout"
            + f"\nScore is: {first} 0 VS. 0 {second}"
            + "\n _________________________________________ \n"
            + "|\\    /|         |       |         |\\    /|\n"
            + "| \\  / |         |       |         | \\  / |\n"
            + "|               @         @               |\n"
            + "| /  \\ |         |       |         | /  \\ |\n"
            + "|/    \\|         |       |         |/    \\|\n"
            + " ----------------------------------------- \n")


# The pool bout is spelled out whole, as a player sees it.
POOL_BOUT = (
    "\n\tWelcome to The Lamevo!\n"
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
    "\n\n\t\tHit Any Key then Enter to Start the Bout!"
    "\nThis is a 5 touch bout"
    "\nScore is: Ann 0 VS. 0 Bob"
    "\n _________________________________________ \n"
    "|\\    /|         |       |         |\\    /|\n"
    "| \\  / |         |       |         | \\  / |\n"
    "|               @         @               |\n"
    "| /  \\ |         |       |         | /  \\ |\n"
    "|/    \\|         |       |         |/    \\|\n"
    " ----------------------------------------- \n")

# name: (what is typed, what must be printed, whether the bout starts)
CASES = {
    "poolBout": (b"Ann Bob 1 x\n", POOL_BOUT, True),
    # Names on lines of their own with a blank line between, a junk word and a wrong number
    # before "2x", whose leftover x answers the go-ahead.
    "directEliminationBout": (
        b"Ann\n\nBob\ny 3\n2x\n",
        dialogue("Ann", "Bob", MENU + PLEASE_SELECT + MENU) + first_scoreboard("Ann", "Bob", 15),
        True),
    "inputEnds": (b"Ann", after_first_name("Ann"), False),
}


def first_difference(actual, expected):
    for index, (a, e) in enumerate(zip(actual, expected)):
        if a != e:
            return index
    return min(len(actual), len(expected))


def read_output(process, expected_length, deadline):
    """Reads standard output until expected_length bytes have come (if given), the game
    closes it, or the deadline passes. Returns the bytes and whether the deadline passed."""
    output = b""
    descriptor = process.stdout.fileno()
    while expected_length is None or len(output) < expected_length:
        remaining = deadline - time.monotonic()
        if remaining <= 0:
            return output, True
        ready, _, _ = select.select([descriptor], [], [], remaining)
        if not ready:
            return output, True
        chunk = os.read(descriptor, 65536)
        if not chunk:
            break
        output += chunk
    return output, False


def main():
    if len(sys.argv) != 3 or sys.argv[2] not in CASES:
        print(f"usage: {sys.argv[0]} <lamevo> <{'|'.join(CASES)}>", file=sys.stderr)
        return 2
    lamevo, case = sys.argv[1], sys.argv[2]
    typed, expected_text, bout_starts = CASES[case]
    expected = expected_text.encode()
    deadline = time.monotonic() + TIME_LIMIT_SECONDS

    with tempfile.TemporaryFile() as errors:
        process = subprocess.Popen([lamevo], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                   stderr=errors)
        try:
            process.stdin.write(typed)
            process.stdin.close()
        except BrokenPipeError:
            pass  # the game stopped reading early; what it printed tells why

        output, timed_out = read_output(process, len(expected) if bout_starts else None,
                                        deadline)
        stopped_by_us = False
        if process.poll() is None and (bout_starts or timed_out):
            # The bout waits for keys in its event loop: end it now that it has said its piece.
            process.kill()
            stopped_by_us = True
        rest, _ = read_output(process, None, time.monotonic() + TIME_LIMIT_SECONDS)
        output += rest
        status = process.wait()
        errors.seek(0)
        error_text = errors.read().decode(errors="replace")

    failures = []
    if timed_out:
        failures.append(f"no complete output within {TIME_LIMIT_SECONDS} s")
    if output != expected:
        at = first_difference(output, expected)
        failures.append(f"standard output differs at byte {at}:\n"
                        f"  expected: {expected[at:at + 80]!r}\n"
                        f"  printed:  {output[at:at + 80]!r}")
    if bout_starts:
        if not stopped_by_us and status != 0:
            failures.append(f"the game ended by itself with status {status}")
    else:
        if status != 1:
            failures.append(f"exit status {status}, expected 1")
        if error_text.count(INPUT_ENDED) != 1:
            failures.append("standard error does not hold the input-ended line exactly once")
    if failures:
        print(f"{case}: " + "\n".join(failures), file=sys.stderr)
        print(f"standard error was:\n{error_text}", file=sys.stderr)
        return 1
    print(f"{case}: {len(output)} bytes as expected"
          + (", game stopped after its first scoreboard" if stopped_by_us else ""))
    return 0


if __name__ == "__main__":
    sys.exit(main())
