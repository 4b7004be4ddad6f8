#!/usr/bin/env python3
"""What the window shows through a pool bout fenced by keys, checked pixel by pixel against
the scene as it must be drawn: the backdrop, the strip with its marks and crosses, the
scoring box and its lamps, the name boards, the pose pictures upright with white clear, the
cords, the scores, the names and every banner (each halt, the fence banner, the
congratulations), names typed in UTF-8 or Latin-1 alike. The console is checked byte for
byte on the way, so every picture is matched to the step of the bout that led to it. After
the win, closing the window ends the game at once with status 0."""

import time

from consoleText import Bout, dialogueSteps
from lamevoHarness import HarnessError, Session, startOfNextSecond
from sceneModel import Scene, expectScene, playGoesOn, shortLived


def sceneThroughAPoolBout(run):
    # Names from a Latin-1 terminal: the console echoes their bytes, the boards their letters.
    names, model = ("José", "Zoë"), run.model()
    start = Scene(*names)
    latin1 = run.start()
    latin1.feed("José\nZoë\n1\ngo\n".encode("latin-1"))
    latin1.expect(("".join(dialogueSteps(*names)) + Bout(*names, 5).scoreboard()).encode("latin-1"))
    expectScene(latin1, model, start, "en-garde-latin-1")
    latin1.closeWindow()
    game, bout = run.startBout(*names)  # typed in UTF-8, as in every other test
    expectScene(game, model, start, "en-garde")
    # Every halt drawn ahead: on a busy machine drawing a scene takes longer than a halt lasts.
    for left, right, cells, banner in ((0, 1, None, ("touch", "right")),
                                       (1, 1, None, ("touch", "left")),
                                       (1, 2, None, ("offStrip", "left")),
                                       (2, 2, None, ("offStrip", "right")),
                                       (2, 2, (17, 24), ("crossing",)),
                                       (3, 2, None, ("touch", "left")),
                                       (4, 2, None, ("touch", "left")),
                                       (5, 2, None, ("touch", "left"))):
        halt = start.but(leftScore=left, rightScore=right, redLamp=banner == ("touch", "left"),
                         greenLamp=banner == ("touch", "right"), banner=banner)
        model.frame(halt.cells(*cells) if cells else halt)

    # Both parry with no attack: parry pictures and parry cords until the next whole second.
    def bothParry():
        game.keys("sl")
        game.expect(bout.parryNoAttack("left") + bout.parryNoAttack("right"))
    shortLived(game, model, start.but(leftPose="parry", rightPose="parry"), "both-parry",
               bothParry)
    expectScene(game, model, start, "parries-end")

    # The left fencer advances to a gap of 5; the right fencer's lunge travels three cells
    # and scores: the green lamp, "Touch Right!" and the scorer's name in the halt banner.
    game.keys("ddddd")
    game.expect(bout.keys("ddddd"))
    expectScene(game, model, start.cells(20, 25), "left-advanced-five-cells")
    lunging = [start.cells(20, cell).but(rightPose="lunge") for cell in (25, 24, 23, 22)]
    for scene in lunging:
        model.frame(scene)
    startOfNextSecond()
    game.keys("j")
    game.expect(bout.lunge("right"))
    expectScene(game, model, lunging, "right-lunges")
    game.expect(bout.keys("kkk"), timeout=6)
    game.expect(bout.touchHalt("right"))
    score = start.but(rightScore=1)
    expectScene(game, model, score.but(greenLamp=True, banner=("touch", "right")),
                "halt-right-touch")
    # The fence banner lasts less than a second: a busy machine may miss it after one halt,
    # but it must be seen after one of the seven.
    bannersSeen = playGoesOn(game, model, score, "after-right-touch")

    # A lunge from a gap of 2 scores at once: the red lamp and "Touch Left!"; the score 01.
    game.keys("dkdkdkdk")
    game.expect(bout.keys("dkdkdkdk"))
    game.keys("f")
    game.expect(bout.lunge("left") + bout.touchHalt("left"))
    score = score.but(leftScore=1)
    halt = score.but(redLamp=True, banner=("touch", "left"))
    expectScene(game, model, halt, "halt-left-touch")
    game.keys("d")  # ignored while the halt runs: the console shows nothing for it
    expectScene(game, model, halt, "halt-left-touch-key-ignored")
    bannersSeen += playGoesOn(game, model, score, "after-left-touch")

    # The left fencer retreats off its end: the touch to the right, no lamp.
    game.keys("a" * 16)
    game.expect(bout.keys("a" * 15) + bout.retreatOffStrip("left"))
    score = score.but(rightScore=2)
    expectScene(game, model, score.but(banner=("offStrip", "left")), "halt-left-off-strip")
    bannersSeen += playGoesOn(game, model, score, "after-left-off-strip")

    # The right fencer retreats off its end: the touch to the left.
    game.keys(";" * 16)
    game.expect(bout.keys(";" * 15) + bout.retreatOffStrip("right"))
    score = score.but(leftScore=2)
    expectScene(game, model, score.but(banner=("offStrip", "right")), "halt-right-off-strip")
    bannersSeen += playGoesOn(game, model, score, "after-right-off-strip")

    # The fencers cross: "Center is here", both sent four cells back, poses unchanged.
    game.keys("dkdkdkdkdk" + "d")
    game.expect(bout.keys("dkdkdkdkdk") + bout.advanceCrossing("left"))
    separated = score.cells(17, 24)
    expectScene(game, model, separated.but(banner=("crossing",)), "halt-crossing")
    bannersSeen += playGoesOn(game, model, separated, "after-crossing")

    # Three more touches from a gap of 2 and the left fencer has won.
    game.keys("ddddd")
    game.expect(bout.keys("ddddd"))
    for touches in (3, 4, 5):
        if touches > 3:
            game.keys("dkdkdkdk")
            game.expect(bout.keys("dkdkdkdk"))
        game.keys("f")
        game.expect(bout.lunge("left") + bout.touchHalt("left"))
        score = score.but(leftScore=touches)
        expectScene(game, model, score.but(redLamp=True, banner=("touch", "left")),
                    f"halt-left-touch-{touches}")
        if touches < 5:
            bannersSeen += playGoesOn(game, model, score, f"after-left-touch-{touches}")
    assert bout.winner() == "left"
    if not bannersSeen:
        raise HarnessError("the fence banner was not seen after any of the seven halts")

    # After the winning halt: the congratulations instead of the fence banner; keys are dead.
    won = score.but(banner=("win", "left"))
    expectScene(game, model, won, "congratulations")
    game.keys("dj")
    expectScene(game, model, won, "congratulations-keys-ignored")
    game.expectNothingMore()

    closed = time.time()
    game.closeWindow()
    status, ended = game.waitExit()
    assert status == 0, f"closing the window after the win ended the game with status {status}"
    if ended - closed > 1.0:
        raise HarnessError(f"the game took {ended - closed:.2f} s to end after the window "
                           "was closed")


if __name__ == "__main__":
    Session().run([sceneThroughAPoolBout])
