#!/usr/bin/env python3
"""A direct-elimination bout fenced to 15 in the real game, as fast as its halts allow: every
touch goes to the left fencer, by a lunge from a gap of 2 or by the right fencer stepping
off its end, and play is taken up again the moment each halt is over. The console is
compared byte for byte at every step ("This is a 15 touch bout", the score line counting up
to 15 and the congratulations), and the window is checked while the halts of the tenth and
the fifteenth touches run: the score window reads "10" and then "15", two digits, beside
the other fencer's "00"; then the congratulations."""

import time

from lamevoHarness import HALT_SECONDS, HarnessError, Session, untilClock
from sceneModel import Scene, expectScene

TOUCH_LIMIT = 15


def takeUpPlay(game, bout, haltSecond):
    """Waits for the halt begun in haltSecond to end, then shows that keys work again with a
    recover, which changes nothing and is answered at once. A key pressed while the halt
    still runs is ignored, so a machine slow to end the halt only costs another try."""
    untilClock(haltSecond + HALT_SECONDS + 0.1)
    for _ in range(4):
        game.keys("w")
        try:
            game.expect(bout.alreadyEnGarde("left"), timeout=1.0)
            return
        except HarnessError:
            if game.unread():
                raise
    raise HarnessError("the keys did not work again after the halt")


def directEliminationToFifteen(run):
    game = run.start()
    game, bout = run.holdDialogue(game, "Athos", "Aramis", boutType="2", touchLimit=TOUCH_LIMIT)
    model = run.model()
    for touches in (10, 15):  # drawn ahead: the halts are short
        model.frame(Scene("Athos", "Aramis", leftScore=touches, redLamp=touches % 2 == 1,
                          banner=("touch", "left") if touches % 2 else ("offStrip", "right")))

    started = time.monotonic()
    arrived = None
    for touches in range(1, TOUCH_LIMIT + 1):
        if arrived is not None:
            takeUpPlay(game, bout, int(arrived))
        if touches % 2 == 1:
            # Advance to a gap of 2 and lunge: the touch is scored on the next idle turn.
            game.keys("d" * 8 + "f")
            arrived = game.expect(bout.keys("d" * 8) + bout.lunge("left")
                                  + bout.touchHalt("left"))
            halt = ("touch", "left")
        else:
            game.keys(";" * 16)
            arrived = game.expect(bout.keys(";" * 15) + bout.retreatOffStrip("right"))
            halt = ("offStrip", "right")
        assert (bout.leftTouches, bout.rightTouches) == (touches, 0)
        if touches in (10, TOUCH_LIMIT):
            expectScene(game, model, Scene("Athos", "Aramis", leftScore=touches,
                                           redLamp=halt[0] == "touch", banner=halt),
                        f"halt-touch-{touches}", timeout=2.5)
    fenced = time.monotonic() - started
    assert bout.winner() == "left"

    # The last halt ends in the congratulations; no key acts any more.
    won = Scene("Athos", "Aramis", leftScore=TOUCH_LIMIT, banner=("win", "left"))
    expectScene(game, model, won, "congratulations", timeout=5)
    game.keys("dj")
    expectScene(game, model, won, "congratulations-keys-ignored")
    game.expectNothingMore()
    print(f"fifteen touches fenced in {fenced:.1f} s", flush=True)

    game.closeWindow()
    status, _ = game.waitExit()
    assert status == 0, f"closing the window after the win ended the game with status {status}"


if __name__ == "__main__":
    Session().run([directEliminationToFifteen])
