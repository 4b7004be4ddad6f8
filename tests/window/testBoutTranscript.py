#!/usr/bin/env python3
"""A short bout typed into the real game's window, its console transcript compared byte for
byte: commands with nothing to act on, a lunge that falls short after three steps of one
whole second each, parries too far and in time, a recovered lunge, and both fencers lunging
at once, where the left lunge scores and the right one travels on through the halt, then
falls short."""


from lamevoHarness import HarnessError, Session, startOfNextSecond


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


if __name__ == "__main__":
    Session().run([shortBoutTranscript])
