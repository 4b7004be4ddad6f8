#!/usr/bin/env python3
"""Records the corpus of bouts under tests/replay/corpus: real bouts fenced in the real game's
window with keys that a seeded generator picks, each kept as its recording (NAME.lamevo) and
the console text the game printed from the first scoreboard on (NAME.transcript). The tests
replay every recording with --check --expect and so compare each change of the game against
these bouts. Not part of the tests: run it by hand after a change that alters bouts on purpose.

    tests/replay/makeCorpus.py --game build/default/src/display/lamevo --pictures assets \\
        --shots /tmp/lamevo-shots [scenario ...]
"""

import os
import random
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "window"))

from lamevoHarness import Session, log  # noqa: E402

CORPUS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")
SCOREBOARD_START = b"\nThis is a "

# Each side's keys with how often a player presses them: mostly forward and lunges.
LEFT_KEYS = "dddddffffsssaaw"
RIGHT_KEYS = "kkkkkjjjjllll;;o"


def keep(name, game, recording):
    """Writes the transcript beside the recording, from the first scoreboard on."""
    output = bytes(game.output)
    transcript = output[output.index(SCOREBOARD_START):]
    with open(os.path.join(CORPUS, name + ".transcript"), "wb") as file:
        file.write(transcript)
    presses = sum(1 for line in open(recording) if line[:1].isdigit())
    log(f"{name}: {presses} presses, {os.path.getsize(recording)} bytes, "
        f"{len(transcript)} bytes of console text")


def fenceAtRandom(game, seed, keys, seconds):
    """Presses keys picked by a seeded generator, a few at a time at uneven moments, until the
    game ends by itself or the time is up. Returns whether it ended by itself."""
    chooser = random.Random(seed)
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if not game.running():
            return True
        try:
            game.keys("".join(chooser.choice(keys) for _ in range(chooser.randint(1, 3))),
                      delay=chooser.randint(20, 200))
        except Exception:
            return not game.running()
        time.sleep(chooser.uniform(0.05, 0.7))
    return not game.running()


def recordBout(run, name, arguments, first, second, boutType, seed, keys, seconds,
               touchLimit=5):
    recording = os.path.join(CORPUS, name + ".lamevo")
    game = run.start(arguments=[f"--record={recording}", "--mute", *arguments])
    game, _ = run.holdDialogue(game, first, second, boutType, touchLimit)
    won = lambda: open(recording).read().split("\n")[-2].startswith("end ")
    if not fenceAtRandom(game, seed, keys, seconds) and not won():
        game.closeWindow()  # the window of a game ending by itself may be gone already
    game.waitExit(timeout=30)
    keep(name, game, recording)


def keyboardPoolBout(run):
    recordBout(run, "keyboardPool", [], "Aramis", "Porthos", "1", 1, LEFT_KEYS + RIGHT_KEYS,
               240)


def keyboardBoutCutShort(run):
    recordBout(run, "keyboardCutShort", [], "Athos", "Planchet", "2", 2,
               LEFT_KEYS + RIGHT_KEYS, 12, touchLimit=15)


def hardComputerPoolBout(run):
    recordBout(run, "computerHardPool", ["--computer=hard", "--seed=11"], "Ann", "Riposte",
               "1", 3, LEFT_KEYS, 240)


def easyComputerEliminationBout(run):
    recordBout(run, "computerEasyElimination", ["--computer=easy", "--seed=7"], "Bea",
               "Remise", "2", 4, LEFT_KEYS, 420, touchLimit=15)


def onlineBout(run):
    """A bout over the loopback, each machine pressing its own fencer's keys, recorded on both
    machines: the two recordings are one, each kept with its own console's text."""
    from testOnline import startPair
    names = ("onlineHost", "onlineJoiner")
    paths = [os.path.join(CORPUS, name + ".lamevo") for name in names]
    host, joiner, _, _ = startPair(run, recordings=([f"--record={paths[0]}", "--mute"],
                                                    [f"--record={paths[1]}", "--mute"]))
    chooser = random.Random(5)
    deadline = time.monotonic() + 240
    while host.running() and joiner.running() and time.monotonic() < deadline:
        game, keys = chooser.choice(((host, LEFT_KEYS), (joiner, RIGHT_KEYS)))
        try:
            game.keys("".join(chooser.choice(keys) for _ in range(chooser.randint(1, 3))),
                      delay=chooser.randint(20, 200))
        except Exception:
            break
        time.sleep(chooser.uniform(0.05, 0.7))
    for game in (host, joiner):
        game.waitExit(timeout=30)
    assert open(paths[0]).read() == open(paths[1]).read(), "the two recordings differ"
    for name, game, path in zip(names, (host, joiner), paths):
        keep(name, game, path)


def computersClubNight(run):
    """A club night of four computers: every bout decided at once on simulated clocks, each
    kept beside the results (their console text is not heard, so they have no transcript)."""
    results = os.path.join(CORPUS, "club.csv")
    game = run.start(arguments=["--tournament", "--seed=31", f"--results={results}", "--record"])
    game.feed(b"4\nhard\nnormal\neasy\nhard\n")
    status, _ = game.waitExit(timeout=120)
    assert status == 0, game.describeUnread()
    os.remove(results)
    for name in sorted(os.listdir(CORPUS)):
        if name.startswith("club-"):
            log(f"{name}: {os.path.getsize(os.path.join(CORPUS, name))} bytes")


if __name__ == "__main__":
    os.makedirs(CORPUS, exist_ok=True)
    Session().run([computersClubNight, onlineBout, keyboardPoolBout, keyboardBoutCutShort,
                   hardComputerPoolBout, easyComputerEliminationBout])
