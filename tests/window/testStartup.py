#!/usr/bin/env python3
"""Start-up in a real window: the window is there, at its size and with its title, while
the console dialogue still waits; the dialogue and the first scoreboard come out byte for
byte; closing the window in the middle of a bout ends the game at once with status 0. On a
small screen the window shrinks to fit; full screen (--fullscreen, F11) the scene keeps its
shape; an untouched bout sleeps."""

import os
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


def shownAs(game, width, height):
    """Waits for the window to be width x height and returns where it is."""
    return pollUntil(lambda: (lambda i: i if (i["width"], i["height"]) == (width, height)
                              else None)(game.windowInfo()), what=f"a {width}x{height} window",
                     seen=game.windowInfo)


def drawnShot(game, x, y, name):
    """A screenshot, saved, once the backdrop at (x, y) is drawn (a new window is black)."""
    shot = pollUntil(lambda: (lambda s: s if s.pixel(x, y) != (0, 0, 0) else None)(
        game.screenshot()), what="the scene drawn")
    game.saveShot(shot, name)
    return shot


def checkFullScreen(game, screenWidth, screenHeight, name):
    """The window covers the screen; the scene keeps its 5:1 shape across the whole width,
    centred, above and below it one plain colour."""
    assert shownAs(game, screenWidth, screenHeight)["x"] == 0
    top = (screenHeight - screenWidth // 5) // 2

    def bandsOf(shot):
        return {shot.pixel(x, y) for x in range(0, screenWidth, 7)
                for y in (*range(0, top, 9), *range(screenHeight - top, screenHeight, 9))}

    def letterboxed():
        # The window takes the whole screen before its first frame there is drawn: until then
        # the screen may still show the last frame, stretched.
        shot = game.screenshot()
        bands = bandsOf(shot)
        return shot if len(bands) == 1 and shot.pixel(screenWidth // 2, top + 4) not in bands \
            else None

    shot = pollUntil(letterboxed, what="the scene drawn across the screen, one colour above "
                     "and below it", seen=lambda: bandsOf(game.screenshot()))
    game.saveShot(shot, name)


def theWindowFitsTheScreenAndFillsItOnDemand(run):
    run.useScreen("1366x768x24")
    game, bout = run.holdDialogue(run.start(), "Ann", "Bo")
    small = shownAs(game, 1265, 253)  # the largest 5:1 window with 50 pixels all round
    assert (small["x"], small["y"]) == (50, 257), small
    drawnShot(game, 5, 5, "window-1366x768")
    game.pressNamed(["F11"])
    checkFullScreen(game, 1366, 768, "full-screen-1366x768")
    game.pressNamed(["F11"])
    assert shownAs(game, 1265, 253) == small
    game.keys("d")
    game.expect(bout.advance("left"))
    game.stop()
    game, bout = run.holdDialogue(run.start(arguments=["-geometry", "500x100+20+30"]), "Ann", "Bo")
    assert (shownAs(game, 500, 100)["x"], game.windowInfo()["y"]) == (20, 30), game.windowInfo()
    game.stop()

    run.useScreen("1920x1080x24")
    game, bout = run.holdDialogue(run.start(arguments=["--fullscreen"]), "Ann", "Bo")
    checkFullScreen(game, 1920, 1080, "full-screen-1920x1080")
    # Left alone, the bout sleeps: a game that spun would take most of a core.
    ticks = os.sysconf("SC_CLK_TCK")
    cpu = lambda: sum(map(int, open(f"/proc/{game.process.pid}/stat").read().rsplit(
        ")", 1)[1].split()[11:13])) / ticks
    before, started = cpu(), time.monotonic()
    time.sleep(3)
    share = (cpu() - before) / (time.monotonic() - started)
    print(f"an untouched bout took {100 * share:.1f}% of a core", flush=True)
    assert share < 0.2, f"an untouched bout took {100 * share:.0f}% of a core"


def theComputerBeatsAPlayerWhoNeverMoves(run):
    game, bout = run.holdDialogue(run.start(arguments=["--computer", "--seed=14"]), "Ann", "Hal")
    game.expectNothingMore(settle=1)  # the computer waits for Ann's first key in the window
    game.keys("x" + ";" * 30 + "KJ:")  # Hal's keys leave the computer's fencer alone
    bout.rightTouches = 4
    game.waitFor(bout.touchHalt("right"), timeout=120)  # 5-0: it never stepped off its end
    status, _ = game.waitExit(15)
    assert status == 0, f"the game ended with status {status} after the computer's win"
    game.expectNothingMore(settle=0)


if __name__ == "__main__":
    Session().run([windowOpensBeforeTheDialogue, theWindowFitsTheScreenAndFillsItOnDemand,
                   theComputerBeatsAPlayerWhoNeverMoves])
