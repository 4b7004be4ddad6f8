#!/usr/bin/env python3
"""Keys as a keyboard really sends them, in the real game's window.

Held down: a key held for two seconds (the X server's own auto-repeat) and three hundred
presses of one key in about a second walk a fencer off its end or across the other fencer;
the halt takes the touch and every key after it is ignored until the halt is over. Three
hundred lunges in a row load the lunge picture three hundred times and the last of them
runs its course. Every other key on the keyboard (letters, digits, punctuation, Latin-1
letters, control characters, function and keypad keys, modifiers) does nothing at all: not
on the console, not in the window; then the ten command keys, in both cases, all act. The
console transcript is compared byte for byte throughout, the game answers after each
burst, and nothing is written to standard error."""

import time

from lamevoHarness import HALT_SECONDS, HarnessError, Session, startOfNextSecond, untilClock
from sceneModel import Scene, expectScene

COMMAND_KEYS = "aAsSdDfFwW;:lLkKjJoO"


def answersAgain(game, bout, haltSecond):
    """Once the halt begun in haltSecond is over, a recover is answered at once."""
    untilClock(haltSecond + HALT_SECONDS + 0.1)
    for _ in range(4):
        game.keys("o")
        try:
            game.expect(bout.alreadyEnGarde("right"), timeout=1.0)
            return
        except HarnessError:
            if game.unread():
                raise
    raise HarnessError("the game did not answer a key after the halt")


def commandTranscript(bout, keys, lunging):
    """What the commands print, typed at a gap of 5 or more within one second; lunging holds
    the sides whose lunge is in flight."""
    text = ""
    for key in keys:
        command = key.lower()
        side = "left" if command in "asdfw" else "right"
        if command in "a;:":
            text += bout.retreat(side)
        elif command in "dk":
            text += bout.advance(side)
        elif command in "fj":
            text += bout.lunge(side)
            lunging.add(side)
        elif command in "sl":
            assert bout.gap >= 5
            text += (bout.parryTooFar(side) if bout.other(side) in lunging
                     else bout.parryNoAttack(side))
        elif side in lunging:
            text += bout.recoverFromLunge(side)
            lunging.discard(side)
        else:
            text += bout.alreadyEnGarde(side)
    return text


def checkStandardError(game):
    if game.errors:
        raise HarnessError(f"the game wrote to standard error: {bytes(game.errors)!r}")


def keysHeldDown(run):
    game, bout = run.startBout("Ann", "Bo", boutType="2", touchLimit=15)
    window = str(game.window())

    # Three hundred lunges: each starts the lunge again from where the fencer stands (a step
    # may fall between them when the clock's second changes); the last runs three cells and
    # falls short, far from the right fencer.
    startOfNextSecond()
    game.pressNamed(["f"], delay=1, repeat=300)
    lunges = 0
    while lunges < 300:
        bout.leftCell += 1
        step = bout.scoreboard()
        bout.leftCell -= 1
        if game.expectOneOf([bout.lunge("left"), step], timeout=5) == 0:
            lunges += 1
        else:
            bout.leftCell += 1
    game.expect(bout.keys("ddd") + bout.fallsShort("left"), timeout=6)
    assert bout.gap >= 5

    # Three hundred "a" in about a second: the left fencer steps back to cell 0, the next step
    # leaves the strip and the touch goes to the right fencer; the halt swallows the rest.
    second = startOfNextSecond()
    begun = time.monotonic()
    game.pressNamed(["a"], delay=1, repeat=300)
    took = time.monotonic() - begun
    arrived = game.expect(bout.keys("a" * bout.leftCell) + bout.retreatOffStrip("left"))
    # The halt begun in that second runs until the third after it: presses sent by 2.5 s
    # leave the game half a second to take them in.
    if int(arrived) != second or took > HALT_SECONDS - 0.5:
        raise HarnessError(f"300 presses took {took:.2f} s: the halt cannot have covered them")
    answersAgain(game, bout, int(arrived))
    print(f"300 presses of a in {took:.2f} s", flush=True)

    # "k" held down for two seconds: the X server repeats it; the eleventh advance crosses
    # the left fencer, and the repeats that follow fall into the crossing's halt.
    startOfNextSecond()
    game.screen.run("xdotool", "windowfocus", "--sync", window, "keydown", "k", "sleep", "2",
                    "keyup", "k")
    arrived = game.expect(bout.keys("k" * 10) + bout.advanceCrossing("right"))
    assert (bout.leftCell, bout.rightCell) == (11, 18)
    answersAgain(game, bout, int(arrived))

    game.keys("o")
    game.expect(bout.alreadyEnGarde("right"))
    game.expectNothingMore()
    checkStandardError(game)


def everyOtherKeyDoesNothing(run):
    game, bout = run.startBout("Ann", "Bo")
    model = run.model()
    start = Scene("Ann", "Bo")

    # Printable characters that are no command, some Latin-1 letters and a sign outside it.
    printable = "".join(chr(c) for c in range(32, 127) if chr(c) not in COMMAND_KEYS)
    # Each burst ends in a recover, whose answer shows that every key before it has arrived.
    game.typeText(printable + "éÿ£äßÆ€" + "o", delay=5)
    game.expect(bout.alreadyEnGarde("right"))
    # Control characters: ctrl with a letter gives 1 to 26, ctrl with space or 2 to 8 and
    # with brackets, backslash and slash gives 0 and 27 to 31 and 127.
    controls = [f"ctrl+{c}" for c in "abcdefghijklmnopqrstuvwxyz"]
    controls += ["ctrl+space"] + [f"ctrl+{d}" for d in "2345678"]
    controls += ["ctrl+bracketleft", "ctrl+backslash", "ctrl+bracketright", "ctrl+slash"]
    named = ["Return", "Tab", "BackSpace", "Escape", "Delete", "Insert", "Home", "End",
             "Prior", "Next", "Left", "Right", "Up", "Down", "Pause", "Scroll_Lock", "Menu"]
    named += [f"F{n}" for n in range(1, 13) if n != 11]  # F11 switches to full screen
    named += ["KP_Enter", "KP_Add", "KP_Subtract", "KP_Multiply", "KP_Divide", "KP_Decimal",
              "KP_0", "KP_5", "KP_9", "Num_Lock", "KP_0", "KP_5", "KP_9", "Num_Lock"]
    named += ["Shift_L", "Shift_R", "Control_L", "Control_R", "Alt_L", "Super_L",
              "Caps_Lock", "Caps_Lock", "alt+x", "alt+Return", "ctrl+shift+Tab"]
    game.pressNamed(controls + named + ["o"], delay=5)
    game.expect(bout.alreadyEnGarde("right"))
    game.expectNothingMore(settle=0.5)
    if not game.running():
        raise HarnessError("the game ended while other keys were typed")
    expectScene(game, model, start, "nothing-changed")

    # The ten commands, capitals first, each group within one second of the clock so that
    # no lunge steps between its keys.
    lunging = set()
    for group in (":;ADFJKLOSW", "adfjklosw"):
        startOfNextSecond()
        game.typeText(group, delay=10)
        game.expect(commandTranscript(bout, group, lunging))
    assert (bout.leftCell, bout.rightCell) == (15, 25) and not lunging
    expectScene(game, model, start, "commands-acted")
    game.expectNothingMore()
    checkStandardError(game)

    game.closeWindow()
    status, _ = game.waitExit()
    assert status == 0, f"closing the window ended the game with status {status}"


if __name__ == "__main__":
    Session().run([keysHeldDown, everyOtherKeyDoesNothing])
