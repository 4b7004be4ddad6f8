#!/usr/bin/env python3
"""A short bout typed into the real game's window, its console transcript compared byte for
byte: commands with nothing to act on, a lunge that falls short after three steps of one
whole second each, parries too far and in time, a recovered lunge, and both fencers lunging
at once, where the left lunge scores and the right one travels on through the halt, then
falls short. Then the sounds of a bout, as SDL's disk audio output writes them."""

import os
import tempfile

from lamevoHarness import HarnessError, Session, log, pollUntil, startOfNextSecond


def arrivesIn(arrival, second, what):
    """The game acts on the first idle turn of a whole second: its text comes in that second
    (how early in it depends on how busy the machine is)."""
    if not second <= arrival < second + 1:
        raise HarnessError(f"{what} came {arrival - second:+.2f} s from the start of the "
                           "second it was due in")


def shortBoutTranscript(run):
    game, bout = run.startBout("Ann", "Bo")

    # Parry with no attack, recover when already en garde, in either case; "x" is no command.
    game.keys("sWoxL")
    game.expect(bout.parryNoAttack("left") + bout.alreadyEnGarde("left")
                + bout.alreadyEnGarde("right") + bout.parryNoAttack("right"))

    # A lunge from a gap of 10: a parry is too far away; three steps, one each whole second,
    # and the lunge falls short on cell 18.
    second = startOfNextSecond()
    game.keys("fl")
    game.expect(bout.lunge("left") + bout.parryTooFar("right"))
    for step in (1, 2, 3):
        arrivesIn(game.expect(bout.advance("left"), timeout=3), second + step,
                  f"lunge step {step}")
    arrivesIn(game.expect(bout.fallsShort("left")), second + 3, "falling short")
    assert (bout.leftCell, bout.rightCell) == (18, 25)

    # At a gap of 4 the parry ends the right fencer's lunge at once.
    game.keys("kkk")
    game.expect(bout.keys("kkk"))
    startOfNextSecond()
    game.keys("js")
    game.expect(bout.lunge("right") + bout.parried("left"))

    # Recover aborts one's own lunge; a second recover finds the fencer en garde.
    startOfNextSecond()
    game.keys("jOo")
    game.expect(bout.lunge("right") + bout.recoverFromLunge("right")
                + bout.alreadyEnGarde("right"))

    # Both lunge at a gap of 4 and the left fencer steps in to a gap of 2: the left lunge,
    # resolved first, scores. The right lunge goes on from cell 25 through the halt, one
    # cell each whole second, and falls short two cells beyond its old start cell. A key
    # during the halt does nothing.
    game.keys(";;;ddd")
    game.expect(bout.keys(";;;ddd"))
    assert (bout.leftCell, bout.rightCell) == (21, 25)
    second = startOfNextSecond()
    game.keys("fjdd")
    arrivesIn(game.expect(bout.lunge("left") + bout.lunge("right") + bout.keys("dd")
                          + bout.touchHalt("left")), second, "left touch")
    game.keys("d")
    for step in (1, 2, 3):
        arrivesIn(game.expect(bout.advance("right"), timeout=3), second + step,
                  f"right lunge step {step}")
    arrivesIn(game.expect(bout.fallsShort("right")), second + 3, "right falling short")
    game.expectNothingMore()

    game.closeWindow()
    status, _ = game.waitExit()
    assert status == 0, f"closing the window ended the game with status {status}"


# The game's samples: 32-bit floats, one channel, 44100 a second; silence is zero bytes.
SECOND_OF_AUDIO = 4 * 44100


def played(path):
    return open(path, "rb").read() if os.path.exists(path) else b""


def expectSound(game, path, keys, text, what, shortest, longest):
    """Presses keys, then waits for the sound they make to play out in the disk output; it
    must begin within a second of the game saying what happened."""
    mark = len(played(path))
    game.keys(keys)
    game.expect(text)
    said = len(played(path))
    def playedOut():
        after = played(path)[mark:]
        silent = not any(after[-SECOND_OF_AUDIO // 4:])
        return any(after) and silent and (len(after) - len(after.lstrip(b"\0")),
                                          len(after.rstrip(b"\0")))
    start, end = (mark + bytes for bytes in pollUntil(playedOut, 10, 0.05, what))
    began, lasted = (start - said) / SECOND_OF_AUDIO, (end - start) / SECOND_OF_AUDIO
    log(f"{what} began {began:+.2f} s from the console's words and lasted {lasted:.2f} s")
    assert began < 1 and shortest < lasted < longest, f"{what} began or lasted wrongly"


def boutSounds(run):
    with tempfile.TemporaryDirectory() as folder:
        heard, muted = os.path.join(folder, "heard.raw"), os.path.join(folder, "muted.raw")
        game, bout = run.holdDialogue(run.start(environment={
            "SDL_AUDIODRIVER": "disk", "SDL_DISKAUDIOFILE": heard}), "Ann", "Bo")
        assert not any(pollUntil(lambda: len(played(heard)) >= SECOND_OF_AUDIO // 2
                                 and played(heard), 10, 0.05, "output")), "a sound too early"
        expectSound(game, heard, "dddkkkjs", bout.keys("dddkkk") + bout.lunge("right")
                    + bout.parried("left"), "the clash", 0.1, 0.5)
        expectSound(game, heard, "ddf", bout.keys("dd") + bout.lunge("left")
                    + bout.touchHalt("left"), "the buzzer", 0.8, 1.2)

        # Muted, the game never opens the output (before its first question), so not even
        # silence is written.
        game, bout = run.holdDialogue(run.start(arguments=["--mute"], environment={
            "SDL_AUDIODRIVER": "disk", "SDL_DISKAUDIOFILE": muted}), "Ann", "Bo")
        assert not os.path.exists(muted) and not game.errors, "the muted game opened its output"


if __name__ == "__main__":
    Session().run([shortBoutTranscript, boutSounds])
