#!/usr/bin/env python3
"""A whole pool bout fenced by keys in the real game, through every kind of touch and halt:
a lunge that falls short, a parry that stops a lunge, lunges that score from either side,
each fencer stepping off its end, a crossing in the middle and a crossing at the left end
that pushes the left fencer off the strip. The console is compared byte for byte at every
step, the window is checked in every halt and after the win, and the game ends by itself
with status 0 ten whole seconds after the winning halt began, not a second sooner."""

import time

from lamevoHarness import HarnessError, Session, startOfNextSecond, untilClock
from sceneModel import Scene, expectScene, playGoesOn, shortLived


def poolBoutToTheEnd(run):
    game = run.start()
    # "5" picks the pool bout directly, as "1" does.
    game, bout = run.holdDialogue(game, "Aramis", "Porthos", boutType="5")
    model = run.model()
    score = Scene("Aramis", "Porthos")
    expectScene(game, model, score, "en-garde")
    # Every halt drawn ahead: on a busy machine drawing a scene takes longer than a halt lasts.
    for left, right, cells, banner in ((0, 1, None, ("touch", "right")),
                                       (1, 1, None, ("touch", "left")),
                                       (2, 1, None, ("offStrip", "right")),
                                       (2, 2, None, ("offStrip", "left")),
                                       (2, 2, (17, 24), ("crossing",)),
                                       (2, 3, None, ("crossing",)),
                                       (2, 4, None, ("touch", "right")),
                                       (2, 5, None, ("touch", "right"))):
        halt = score.but(leftScore=left, rightScore=right, redLamp=banner == ("touch", "left"),
                         greenLamp=banner == ("touch", "right"), banner=banner)
        model.frame(halt.cells(*cells) if cells else halt)

    # A lunge from a gap of 10 travels three cells in lunge pose and falls short.
    lunging = [score.cells(cell, 25).but(leftPose="lunge") for cell in (15, 16, 17, 18)]
    for scene in lunging:
        model.frame(scene)
    startOfNextSecond()
    game.keys("f")
    game.expect(bout.lunge("left"))
    expectScene(game, model, lunging, "left-lunges")
    game.expect(bout.keys("ddd"), timeout=5)
    game.expect(bout.fallsShort("left"))
    expectScene(game, model, score.cells(18, 25), "lunge-fell-short")

    # At a gap of 4 the right fencer's parry stops the left lunge at once: the left fencer
    # is en garde again, the right one shows its parry until the clock's second changes.
    game.keys("kkk")
    game.expect(bout.keys("kkk"))

    def lungeAndParry():
        game.keys("fl")
        game.expect(bout.lunge("left") + bout.parried("right"))
    shortLived(game, model, score.cells(18, 22).but(rightPose="parry"), "parry-stops-lunge",
               lungeAndParry)
    expectScene(game, model, score.cells(18, 22), "parry-over")

    # The right lunge from a gap of 4: two steps, then the touch.
    game.keys("j")
    game.expect(bout.lunge("right") + bout.keys("kk"), timeout=4)
    game.expect(bout.touchHalt("right"), timeout=2)
    score = score.but(rightScore=1)
    expectScene(game, model, score.but(greenLamp=True, banner=("touch", "right")),
                "halt-right-touch")
    playGoesOn(game, model, score, "after-right-touch")

    # The left lunge from a gap of 2 scores at once.
    game.keys("dkdkdkdk")
    game.expect(bout.keys("dkdkdkdk"))
    game.keys("f")
    game.expect(bout.lunge("left") + bout.touchHalt("left"))
    score = score.but(leftScore=1)
    expectScene(game, model, score.but(redLamp=True, banner=("touch", "left")),
                "halt-left-touch")
    playGoesOn(game, model, score, "after-left-touch")

    # Each fencer steps off its own end; the touch goes to the other.
    game.keys(";" * 16)
    game.expect(bout.keys(";" * 15) + bout.retreatOffStrip("right"))
    score = score.but(leftScore=2)
    expectScene(game, model, score.but(banner=("offStrip", "right")), "halt-right-off-strip")
    playGoesOn(game, model, score, "after-right-off-strip")
    game.keys("a" * 16)
    game.expect(bout.keys("a" * 15) + bout.retreatOffStrip("left"))
    score = score.but(rightScore=2)
    expectScene(game, model, score.but(banner=("offStrip", "left")), "halt-left-off-strip")
    playGoesOn(game, model, score, "after-left-off-strip")

    # A crossing in the middle: no touch, both sent four cells back.
    game.keys("dkdkdkdkdk" + "d")
    game.expect(bout.keys("dkdkdkdkdk") + bout.advanceCrossing("left"))
    expectScene(game, model, score.cells(17, 24).but(banner=("crossing",)), "halt-crossing")
    playGoesOn(game, model, score.cells(17, 24), "after-crossing")

    # A crossing on cell 2 sends the left fencer to cell -1: the idle step's off-strip halt
    # gives the touch to the right fencer within the crossing's halt, which keeps its banner.
    game.keys("a" * 15 + "k" * 22 + "d")
    game.expect(bout.keys("a" * 15 + "k" * 22) + bout.advanceCrossing("left")
                + bout.offStripHalt("left"))
    score = score.but(rightScore=3)
    expectScene(game, model, score.but(banner=("crossing",)), "halt-crossing-off-strip")
    playGoesOn(game, model, score, "after-crossing-off-strip")

    # Two right lunges from a gap of 2; the second wins the bout.
    for touches in (4, 5):
        game.keys("dkdkdkdk")
        game.expect(bout.keys("dkdkdkdk"))
        pressed = startOfNextSecond() if touches == 5 else None
        game.keys("j")
        arrived = game.expect(bout.lunge("right") + bout.touchHalt("right"))
        score = score.but(rightScore=touches)
        halt = score.but(greenLamp=True, banner=("touch", "right"))
        expectScene(game, model, halt, f"halt-right-touch-{touches}")
        if touches == 4:
            playGoesOn(game, model, score, "after-right-touch-4")
    assert bout.winner() == "right"
    if int(arrived) != pressed:
        raise HarnessError(f"the winning touch came {arrived - pressed:.2f} s after its key")

    # No key works any more: not during the winning halt, not after it.
    game.keys("dj")
    won = score.but(banner=("win", "right"))
    # A busy machine may take the three seconds of the halt to press them.
    expectScene(game, model, [halt, won], "winning-halt-keys-ignored")
    expectScene(game, model, won, "congratulations", timeout=5)
    game.keys("fkl")
    expectScene(game, model, won, "congratulations-keys-ignored")

    # The game ends by itself ten whole seconds after the winning halt began.
    untilClock(pressed + 9.8)
    if not game.running():
        raise HarnessError(f"the game ended {time.time() - pressed:.2f} s after the winning "
                           "halt began, before ten whole seconds")
    status, ended = game.waitExit(3)
    assert status == 0, f"the game ended with status {status} after the win"
    if not pressed + 10 <= ended < pressed + 10.5:
        raise HarnessError(f"the game ended {ended - pressed:.2f} s after the winning halt "
                           "began instead of at ten whole seconds")
    game.expectNothingMore(settle=0)


if __name__ == "__main__":
    Session().run([poolBoutToTheEnd])
