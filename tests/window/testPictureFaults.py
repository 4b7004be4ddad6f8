#!/usr/bin/env python3
"""Pose pictures deleted or damaged in the middle of a bout, in a copy of the pictures'
folder. Each pose change that meets a bad picture shows the loader's "Error" box with the
loader's own message (compared pixel for pixel with the box that message gives), the game
waits for it, and once it is dismissed the bout goes on: the console transcript continues
byte for byte and the fencer is still drawn with the last picture that loaded, moving with
its lunge. Bad pictures are met from the keyboard (lunge, parry) and from the idle step (the
end of a parry); once the pictures are put back, the next lunge shows its picture again.
Nothing is written to standard error, and closing the window ends the game with status 0."""

import os
import shutil

from lamevoHarness import HarnessError, Session
from messageBoxes import BoxWatch, referenceBoxes
from sceneModel import Scene, expectScene

MISSING_LUNGE = "Failed to open DIB file leftLunge.bmp.\n"
UNKNOWN_FORMAT = "Unknown DIB file format."
CONVERSION_ERROR = "Image file conversion error."


def damage(folder, name, how):
    path = os.path.join(folder, name)
    with open(path, "rb") as f:
        data = bytearray(f.read())
    if how == "cut to 30 bytes":  # the file header and the start of the bitmap header
        data = data[:30]
    elif how == "cut in its pixels":
        data = data[:20000]
    elif how == "header size 108":  # a later bitmap header version
        data[14:18] = (108).to_bytes(4, "little")
    with open(path, "wb") as f:
        f.write(data)


def picturesFailMidBout(run):
    boxes = referenceBoxes(run.screen, run.args.game,
                           [MISSING_LUNGE, UNKNOWN_FORMAT, CONVERSION_ERROR])
    folder = run.pictureFolderCopy()
    game, bout = run.startBout("Ann", "Bo", folder=folder)
    model = run.model()
    # How the window must look while a lunge picture cannot be had: the fencer keeps its
    # en-garde picture, the cord runs to where a lunge holds it.
    stale = run.pictureFolderCopy()
    for side in ("left", "right"):
        shutil.copy(os.path.join(stale, side + "Engarde.bmp"),
                    os.path.join(stale, side + "Lunge.bmp"))
    staleModel = run.model(stale)
    start = Scene("Ann", "Bo")
    watch = BoxWatch(game)
    # The scenes of each lunge, drawn ahead: a lunge moves on every second.
    leftStale = [start.cells(c, 25).but(leftPose="lunge") for c in (15, 16, 17, 18)]
    rightStale = [start.cells(18, c).but(rightPose="lunge") for c in (25, 24, 23, 22)]
    leftBack = [start.cells(c, 25).but(leftPose="lunge") for c in (18, 19, 20, 21)]
    for scenes, drawer in ((leftStale, staleModel), (rightStale, staleModel), (leftBack, model)):
        for scene in scenes:
            drawer.frame(scene)

    def boxThen(message, name, text=None):
        """The box of message, dismissed; then the console text the command goes on with."""
        watch.dismiss(watch.expect(boxes[message], name))
        if text is not None:
            watch.expectText(text)

    # The left lunge picture is deleted: the box shows before the lunge is announced and the
    # game waits for it; then the lunge travels three cells with the en-garde picture.
    os.remove(os.path.join(folder, "leftLunge.bmp"))
    game.keys("f")
    box = watch.expect(boxes[MISSING_LUNGE], "box-left-lunge-missing")
    game.expectNothingMore()
    if not game.running():
        raise HarnessError("the game ended at the missing picture")
    watch.dismiss(box)
    watch.expectText(bout.lunge("left"))
    expectScene(game, staleModel, leftStale, "left-lunges-as-it-stood")
    game.expect(bout.keys("ddd") + bout.fallsShort("left"), timeout=6)
    expectScene(game, model, start.cells(18, 25), "left-lunge-fell-short")

    # The right lunge picture is cut to 30 bytes: its box, then the same.
    damage(folder, "rightLunge.bmp", "cut to 30 bytes")
    game.keys("j")
    boxThen(UNKNOWN_FORMAT, "box-right-lunge-cut-short", bout.lunge("right"))
    expectScene(game, staleModel, rightStale, "right-lunges-as-it-stood")
    game.expect(bout.keys("kkk") + bout.fallsShort("right"), timeout=6)
    # The game reads the en-garde picture only after saying the lunge fell short: it must be
    # drawn before that picture is damaged, or its box comes first on a busy machine.
    expectScene(game, model, start.cells(18, 22), "right-lunge-fell-short")

    # Both right pictures it may need next are damaged: the parry meets its box from the
    # keyboard, the end of the parry hold meets the en-garde picture's box from the idle step.
    # The left parry picture, cut off in its pixels, gives the conversion message.
    damage(folder, "rightParry.bmp", "header size 108")
    damage(folder, "rightEngarde.bmp", "cut to 30 bytes")
    damage(folder, "leftParry.bmp", "cut in its pixels")
    game.keys("l")
    boxThen(UNKNOWN_FORMAT, "box-right-parry-header-108", bout.parryNoAttack("right"))
    boxThen(UNKNOWN_FORMAT, "box-right-engarde-from-idle")
    game.keys("s")
    boxThen(CONVERSION_ERROR, "box-left-parry-cut-in-pixels", bout.parryNoAttack("left"))
    expectScene(game, model, start.cells(18, 22), "both-as-they-stood")

    # The pictures are put back: the next lunge shows the lunge picture again.
    for name in ("leftLunge.bmp", "rightLunge.bmp", "rightParry.bmp", "rightEngarde.bmp",
                 "leftParry.bmp"):
        shutil.copy(os.path.join(run.args.pictures, name), folder)
    game.keys(";;;f")
    game.expect(bout.keys(";;;") + bout.lunge("left"))
    expectScene(game, model, leftBack, "left-lunge-picture-back")
    game.expect(bout.keys("ddd") + bout.fallsShort("left"), timeout=6)
    expectScene(game, model, start.cells(21, 25), "left-lunge-over")
    game.expectNothingMore()

    game.closeWindow()
    status, _ = game.waitExit()
    assert status == 0, f"closing the window ended the game with status {status}"
    if game.errors:
        raise HarnessError(f"the game wrote to standard error: {bytes(game.errors)!r}")


if __name__ == "__main__":
    Session().run([picturesFailMidBout])
