#!/usr/bin/env python3
"""A pose picture missing at start-up: the loader's "Error" box shows before the first
prompt, the game waits for it, and after Return the dialogue and the bout go on with a
placeholder sprite for that fencer while everything else of the scene is drawn as usual."""

import os
import time

from lamevoHarness import HarnessError, Session, pollUntil
from sceneModel import HEIGHT, PIXELS_PER_UNIT, Scene, WIDTH, expectScene


def missingPictureShowsTheErrorBox(run):
    folder = run.pictureFolderCopy()
    os.remove(os.path.join(folder, "leftEngarde.bmp"))
    game = run.start(folder)

    def boxBeforeAnyPrompt():
        boxes = game.errorBoxes()
        if not boxes and game.unread():
            raise HarnessError("the game went on to the dialogue without an Error box: "
                               f"{game.unread()[:80]!r}; standard error: {bytes(game.errors)!r}")
        return boxes

    boxes = pollUntil(boxBeforeAnyPrompt, interval=0.05, what='the "Error" box')
    assert len(boxes) == 1, f"{len(boxes)} boxes titled Error"
    # The box is modal: while it shows, the game has not greeted anyone yet.
    time.sleep(0.3)
    early = game.unread()
    if early:
        raise HarnessError(f"the game printed {early!r} while the Error box was up")
    assert game.running(), "the game ended at the missing picture"

    game.dismissBox(boxes[0])
    pollUntil(lambda: not game.errorBoxes(), interval=0.05, what='the "Error" box to go',
              seen=lambda: f"boxes {game.errorBoxes()} up")
    game, bout = run.holdDialogue(game, "Ann", "Bo")

    # The left fencer is drawn as a placeholder; the rest of the scene is untouched.
    model = run.model(run.args.pictures)
    scene = Scene("Ann", "Bo", unknownSprites=frozenset({"left"}))
    expectScene(game, model, scene, "placeholder-for-left-fencer")
    frame = model.frame(scene)
    shot = game.screenshot()
    drawn = 0
    for row in range(HEIGHT - round(60 * PIXELS_PER_UNIT), HEIGHT - round(10 * PIXELS_PER_UNIT)):
        for x in range(round(180 * PIXELS_PER_UNIT), round(230 * PIXELS_PER_UNIT)):
            i = 3 * (row * WIDTH + x)
            drawn += shot.rgb[i:i + 3] != frame.rgb[i:i + 3]
    assert drawn > 1000, f"only {drawn} pixels of a placeholder sprite are drawn"

    game.closeWindow()
    status, _ = game.waitExit()
    assert status == 0, f"closing the window ended the game with status {status}"


if __name__ == "__main__":
    Session().run([missingPictureShowsTheErrorBox])
