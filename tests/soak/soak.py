#!/usr/bin/env python3
"""Soak run of The Lamevo: the real game on a virtual screen of its own, fenced for minutes
by random keys, watched for what a long bout could bring out.

Both players press only their five command keys, in bursts of random length and speed with
random pauses, now and then one key held down. The run checks that:
  - the game stays up (a bout won ends the process ten seconds later with status 0; then a
    new game is started and the run goes on);
  - everything on the console is the game's own: each piece is one of its messages, and
    every scoreboard is well formed (41 cells between the bars, one or two "@", the touch
    limit of the bout, scores that never go down and never pass the limit, and that match
    the touches the halts awarded);
  - no "Error" box ever shows and nothing is written to standard error;
  - resident memory (VmRSS, sampled every 5 s) does not grow: after the first minute of a
    game it never rises 1 MiB or more above the largest figure of that minute. Each game
    begins with one halt of every kind, so that the drawing's first-use set-up falls in the
    first minute; samples stop once a bout is won.
The bout is a direct-elimination bout, and the keys keep the fencers apart when they come
close (lunges are rare inside a gap of 6, retreats common), so touches are few and a game
usually lasts the whole run, which makes the memory figures those of one long bout.

    tests/soak/soak.py --game build/default/src/display/lamevo [--minutes 5] [--seed 1]

Prints the figures (memory at one minute and at the end of each game, keys pressed,
scoreboards read, touches, halts, bouts) and exits 0 if every check held, 1 otherwise."""

import argparse
import os
import random
import re
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "tests", "window"))

from lamevoHarness import Game, HarnessError, Run, VirtualScreen, log, pollUntil  # noqa: E402

LEFT, RIGHT = b"Lefty", b"Righty"
BOUT_TYPES = {"de": ("2", 15), "pool": ("1", 5)}
SAMPLE_SECONDS = 5
SETTLED_AFTER = 60  # seconds of a game's life before its memory must hold still
GROWTH_LIMIT_KIB = 1024
LONGEST_PIECE = 700  # bytes: no piece of console text is longer (a scoreboard is ~330)

KEYS = {  # side: command -> key
    "left": {"retreat": "a", "parry": "s", "advance": "d", "lunge": "f", "recover": "w"},
    "right": {"retreat": ";", "parry": "l", "advance": "k", "lunge": "j", "recover": "o"},
}
KEY_NAMES = {";": "semicolon"}

NAME = rb"(Lefty|Righty)"
PICTURE_TOP = (rb"\n _________________________________________ \n"
               rb"\|\\    /\|         \|       \|         \|\\    /\|\n"
               rb"\| \\  / \|         \|       \|         \| \\  / \|\n")
PICTURE_BOTTOM = (rb"\|\n\| /  \\ \|         \|       \|         \| /  \\ \|\n"
                  rb"\|/    \\\|         \|       \|         \|/    \\\|\n"
                  rb" ----------------------------------------- \n")
PIECES = [
    ("scoreboard", re.compile(rb"\nThis is a (-?\d+) touch bout\nScore is: (.*?) (-?\d+) VS\. "
                              rb"(-?\d+) (.*?)" + PICTURE_TOP + rb"\|([^|\n]*)" + PICTURE_BOTTOM)),
    ("lunge", re.compile(rb"\n" + NAME + rb" attacks with a lunge!!\n")),
    ("too far", re.compile(rb"\n" + NAME + rb", you are too far away to parry\.\n")),
    ("parried", re.compile(NAME + rb" has parried " + NAME + rb"\n")),
    ("no attack", re.compile(rb"\n" + NAME + rb", no one is attacking for you to parry\.\n")),
    ("aborts", re.compile(NAME + rb" aborts the lunge and recovers\n")),
    ("en garde", re.compile(NAME + rb", you are already en garde\n")),
    ("falls short", re.compile(NAME + rb", your lunge was out of distance, so you recover and "
                               rb"continue\.\n")),
    ("off strip", re.compile(rb"--\*\*HALT!\*\*-- " + NAME + rb" is off the end of the strip\. "
                             rb"Touch to " + NAME + rb"\.")),
    ("crossing", re.compile(rb"--\*\*HALT!\*\*-- Nothing done, center is here\.")),
    ("touch", re.compile(rb"--\*\*HALT!\*\*-- Attack is good from my (left|right)\. Touch to "
                         + NAME + rb"\.")),
    ("won", re.compile(rb"\n\n\tCongratulations, " + NAME + rb"!  You've Won the Bout!"
                       rb"\n\nGoodluck in your future matches, " + NAME + rb"\.  Goodbye\.\n\n")),
    ("restart", re.compile(rb"\n\nEn garde! Ready\? Fence!\n")),
]
KEY_ANSWERS = {"lunge", "too far", "parried", "no attack", "aborts", "en garde"}


class Fault(Exception):
    pass


class Transcript:
    """Reads one game's console piece by piece and holds it to the game's own texts."""

    def __init__(self, game, touchLimit):
        self.game = game
        self.touchLimit = touchLimit
        self.cursor = game.cursor
        self.counts = {name: 0 for name, _ in PIECES}
        self.scores = {LEFT: 0, RIGHT: 0}  # as the halts awarded them
        self.shown = (0, 0)  # as the last scoreboard showed them
        self.cells = (15, 25)
        self.winner = None

    def read(self, final=False):
        with self.game.changed:
            data = bytes(self.game.output[self.cursor:])
        at = 0
        while at < len(data):
            for name, pattern in PIECES:
                match = pattern.match(data, at)
                if match:
                    self.take(name, match)
                    at = match.end()
                    break
            else:
                rest = data[at:]
                if final or len(rest) > LONGEST_PIECE:
                    raise Fault(f"console text that is not the game's: {rest[:300]!r}")
                break
        self.cursor += at

    def take(self, name, match):
        self.counts[name] += 1
        if name == "scoreboard":
            self.checkScoreboard(*match.groups())
        elif name in ("off strip", "touch"):
            if name == "touch" and match.group(2) != {b"left": LEFT, b"right": RIGHT}[
                    match.group(1)]:
                raise Fault(f"a touch from the wrong side: {match.group(0)!r}")
            self.scores[match.group(2)] += 1
        elif name == "won":
            winner, farewell = match.groups()
            if winner != farewell or self.scores[winner] != self.touchLimit:
                raise Fault(f"congratulations to {winner!r} at {self.scores}")
            self.winner = winner
        if name in KEY_ANSWERS and self.winner:
            raise Fault(f"a key was answered after the bout was won: {match.group(0)!r}")

    def checkScoreboard(self, limit, left, leftScore, rightScore, right, row):
        board = (f"scoreboard {self.counts['scoreboard']}: limit {limit}, {left!r} {leftScore}"
                 f" - {rightScore} {right!r}, strip {row!r}")
        if int(limit) != self.touchLimit or (left, right) != (LEFT, RIGHT):
            raise Fault("wrong heading: " + board)
        if len(row) != 41 or row.strip(b" @") or row.count(b"@") not in (1, 2):
            raise Fault("strip row not 41 cells with one or two @: " + board)
        shown = (int(leftScore), int(rightScore))
        if shown[0] < self.shown[0] or shown[1] < self.shown[1]:
            raise Fault(f"a score went down from {self.shown}: " + board)
        if max(shown) > self.touchLimit:
            raise Fault("a score beyond the touch limit: " + board)
        if shown != (self.scores[LEFT], self.scores[RIGHT]):
            raise Fault(f"the halts awarded {self.scores}: " + board)
        self.shown = shown
        cells = [i for i, c in enumerate(row) if c == ord("@")]
        if len(cells) == 2:
            self.cells = tuple(cells)


class KeyChooser:
    """Random fencing keys that keep the fencers apart once they are close."""

    def __init__(self, rng):
        self.rng = rng

    def weights(self, side, cells):
        left, right = cells
        gap = right - left
        own = left if side == "left" else right
        nearOwnEnd = own <= 2 if side == "left" else own >= 38
        close = gap <= 6
        return {"advance": 1.5 if close else 3, "retreat": 0.3 if nearOwnEnd else
                (2.5 if close else 1.5), "lunge": 0.3 if close else 1.5, "parry": 1.5,
                "recover": 0.5}

    def burst(self, cells):
        rng = self.rng
        chance = rng.random()
        if chance < 0.02:
            # one fencer backs away down the strip, now and then off its end
            side = rng.choice(["left", "right"])
            return [KEYS[side]["retreat"]] * rng.randint(6, 20), 15
        if chance < 0.03:
            # both close in at once, now and then crossing
            return [KEYS["left"]["advance"], KEYS["right"]["advance"]] * rng.randint(3, 8), 15
        if chance < 0.07:
            # a key held down: many presses of one key that cannot score at once
            side = rng.choice(["left", "right"])
            command = rng.choice(["parry", "recover"] + (["lunge"] if cells[1] - cells[0] > 8
                                                            else []))
            return [KEYS[side][command]] * rng.randint(10, 40), 1
        keys = []
        for _ in range(rng.randint(1, 6)):
            side = rng.choice(["left", "right"])
            weights = self.weights(side, cells)
            command = rng.choices(list(weights), weights=list(weights.values()))[0]
            keys.append(KEYS[side][command])
        return keys, rng.choice([5, 15, 30, 60, 120])


# Every kind of halt and pose once, at the start of each game, so that whatever the window's
# drawing sets up on first use (lamps, banners, poses) is done within the first minute.
WARM_UP = ["sl", "dddddddd" + "f", "kkkkkkkk" + "j", "a" * 16, ";" * 16, "dkdkdkdkdk" + "d"]
HALT_WAIT = 3.5


def residentKib(pid):
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    raise Fault("no VmRSS")


def soakOneGame(screen, args, rng, deadline, totals, shotFolder):
    """Fences one game until the deadline or until it ends after a win. Returns its figures."""
    spawned = time.monotonic()
    game = Game(screen, args.game, args.pictures, shotFolder, f"soak{totals['games']}")
    totals["games"] += 1
    figures = {"pid": game.process.pid, "samples": []}
    try:
        answer, touchLimit = BOUT_TYPES[args.bout]
        Run.holdDialogue(game, LEFT.decode(), RIGHT.decode(), boutType=answer,
                         touchLimit=touchLimit)
        transcript = Transcript(game, touchLimit)
        chooser = KeyChooser(rng)
        window = str(game.window())
        for keys in WARM_UP:
            screen.run("xdotool", "windowfocus", "--sync", window, "key", "--window", window,
                       "--delay", "15", *[KEY_NAMES.get(k, k) for k in keys])
            totals["keys"] += len(keys)
            time.sleep(HALT_WAIT)
            transcript.read()
        nextSample = time.monotonic()
        while time.monotonic() < deadline:
            now = time.monotonic()
            if now >= nextSample:
                # Once the bout is won the game only waits to end: its memory is not judged.
                if game.running() and transcript.winner is None:
                    figures["samples"].append((now - spawned, residentKib(game.process.pid)))
                if any(name == "Error" for _, name in screen.topLevelWindows()):
                    raise Fault('an "Error" box showed')
                nextSample += SAMPLE_SECONDS
            if not game.running():
                break
            keys, delay = chooser.burst(transcript.cells)
            names = [KEY_NAMES.get(k, k) for k in keys]
            screen.run("xdotool", "windowfocus", "--sync", window, "key", "--window", window,
                       "--delay", str(delay), *names, check=False)
            totals["keys"] += len(keys)
            time.sleep(rng.choice([0, 0, 0.05, 0.1, 0.2, 0.4]))
            wonBefore = transcript.winner is not None
            transcript.read()
            if transcript.winner is not None and not wonBefore and figures["samples"]:
                # The win may have come before the last sample, and the congratulations
                # banner's first drawing with it: that sample is not judged either.
                figures["samples"].pop()
        closedByUs = game.running()
        if closedByUs:
            game.closeWindow()
        status, _ = game.waitExit(15)
        pollUntil(game.readersDone, 5, 0.05, "the game's output to close")
        transcript.read(final=True)
        if status != 0:
            raise Fault(f"the game ended with status {status}")
        if not closedByUs and transcript.winner is None:
            raise Fault("the game ended by itself without a win")
        if game.errors:
            raise Fault(f"standard error: {bytes(game.errors)[:300]!r}")
        figures["transcript"] = transcript
        figures["won"] = transcript.winner
        return figures
    finally:
        game.stop()


def memoryVerdict(samples):
    """(largest RSS in the first minute, RSS at the end, largest growth beyond the first
    minute's largest) in KiB, or None when the game was not fenced for over a minute. The
    largest figure of the first minute is the base because RSS moves up and down by some
    hundred KiB from sample to sample as the allocators take and give back memory."""
    first = [kib for t, kib in samples if t < SETTLED_AFTER]
    later = [kib for t, kib in samples if t >= SETTLED_AFTER]
    if not first or len(later) < 2:
        return None
    base = max(first)
    return base, later[-1], max(later) - base


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--game", default=os.path.join(ROOT, "build", "default", "src",
                                                       "display", "lamevo"))
    parser.add_argument("--pictures", default=os.path.join(ROOT, "assets"))
    parser.add_argument("--minutes", type=float, default=5)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--bout", choices=sorted(BOUT_TYPES), default="de",
                        help="de (to 15, the default) or pool (to 5: bouts end often)")
    args = parser.parse_args()
    args.game = os.path.abspath(args.game)
    if not os.access(args.game, os.X_OK):
        parser.error(f"no game at {args.game}: build it first (cmake --build --preset default)")

    rng = random.Random(args.seed)
    totals = {"games": 0, "keys": 0}
    results = []
    faults = []
    started = time.monotonic()
    deadline = started + args.minutes * 60
    screen = VirtualScreen()
    try:
        with tempfile.TemporaryDirectory(prefix="lamevo-soak-") as shots:
            while time.monotonic() < deadline - 5:
                try:
                    results.append(soakOneGame(screen, args, rng, deadline, totals, shots))
                except (Fault, HarnessError) as fault:
                    faults.append(str(fault))
                    log(f"FAULT in game {totals['games']}: {fault}")
                    break
    finally:
        screen.stop()

    elapsed = time.monotonic() - started
    print(f"\nsoak of {elapsed / 60:.1f} minutes, seed {args.seed}: {totals['games']} game(s), "
          f"{totals['keys']} keys pressed")
    scoreboards = touches = halts = wins = 0
    for number, figures in enumerate(results, 1):
        transcript = figures["transcript"]
        counts = transcript.counts
        scoreboards += counts["scoreboard"]
        touches += counts["off strip"] + counts["touch"]
        halts += counts["off strip"] + counts["touch"] + counts["crossing"]
        wins += figures["won"] is not None
        verdict = memoryVerdict(figures["samples"])
        life = figures["samples"][-1][0] if figures["samples"] else 0
        line = (f"game {number} (pid {figures['pid']}, {life:.0f} s): "
                f"{counts['scoreboard']} scoreboards, score {transcript.shown[0]}-"
                f"{transcript.shown[1]}, {counts['lunge']} lunges, "
                f"{counts['touch']} lunge touches, {counts['off strip']} off the strip, "
                f"{counts['crossing']} crossings, {counts['parried']} parries that held, "
                f"{counts['falls short']} lunges short"
                + (f", won by {figures['won'].decode()}" if figures["won"] else ""))
        print(line)
        if verdict is None:
            print("    memory: the game lived less than a minute past its first sample; "
                  "not judged")
            continue
        base, end, growth = verdict
        print(f"    memory: VmRSS {figures['samples'][0][1]} KiB at the first sample, at most "
              f"{base} KiB in the first minute, {end} KiB at the end; largest growth after the "
              f"first minute {growth} KiB ({len(figures['samples'])} samples)")
        if growth >= GROWTH_LIMIT_KIB:
            faults.append(f"game {number}: memory grew by {growth} KiB after its first minute")
    print(f"in all: {scoreboards} scoreboards, {touches} touches, {halts} halts, "
          f"{wins} bout(s) won")
    if not any(memoryVerdict(f["samples"]) for f in results):
        faults.append("no game lived long enough to judge its memory")
    for fault in faults:
        print("FAULT: " + fault)
    print("soak " + ("FAILED" if faults else "passed"))
    sys.exit(1 if faults else 0)


if __name__ == "__main__":
    main()
