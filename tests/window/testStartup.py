#!/usr/bin/env python3
"""Start-up in a real window: the window is there, at its size and with its title, while
the console dialogue still waits; the dialogue and the first scoreboard come out byte for
byte; closing the window in the middle of a bout ends the game at once with status 0."""

import time

from lamevoHarness import HarnessError, Session, pollUntil


def windowOpensBeforeTheDialogue(run):
    game = run.start()
    # The window is created before the first prompt and stays empty until the bout begins.
    info = pollUntil(lambda: (lambda i: i if i["state"] == "IsViewable" else None)(
        game.windowInfo()), interval=0.05, what="the window to be shown",
        seen=game.windowInfo)
    assert info["title"] == "Tavrin's Lamevo", info
    assert (info["width"], info["height"]) == (1600, 320), info
    assert (info["x"], info["y"]) == (100, 100), info

    game, bout = run.holdDialogue(game, "Ann", "Bo")
    game.expectNothingMore()

    # Mid-bout, with a lunge in flight, the player closes the window.
    game.keys("d")
    game.expect(bout.advance("left"))
    game.keys("f")
    game.expect(bout.lunge("left"))
    closed = time.time()
    game.closeWindow()
    status, ended = game.waitExit()
    assert status == 0, f"closing the window ended the game with status {status}"
    # At once: the lunge in flight never comes to fall short, three seconds on. How long the
    # end took on the clock depends on how busy the machine is, so it is only reported.
    if bout.fallsShort("left") in game.unread().decode(errors="replace"):
        raise HarnessError("the game went on after the window was closed: "
                           + game.describeUnread())
    print(f"the game ended {ended - closed:.2f} s after the window was closed", flush=True)


def theComputerBeatsAPlayerWhoNeverMoves(run):
    game, bout = run.holdDialogue(run.start(arguments=["--computer", "--seed=14"]), "Ann", "Hal")
    game.expectNothingMore(settle=1)  # the computer waits for Ann's first key in the window
    game.keys("x")
    bout.rightTouches = 4
    game.waitFor(bout.touchHalt("right"), timeout=120)  # 5-0: it never stepped off its end
    status, _ = game.waitExit(15)
    assert status == 0, f"the game ended with status {status} after the computer's win"
    game.expectNothingMore(settle=0)


if __name__ == "__main__":
    Session().run([windowOpensBeforeTheDialogue, theComputerBeatsAPlayerWhoNeverMoves])
