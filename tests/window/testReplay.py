#!/usr/bin/env python3
"""A recorded bout played back in the real window: the console prints what the bout printed,
at the recording's pace; + and - change the speed and space pauses (the window's title says
which), the fencers' keys move nobody, and the right arrow skips ahead to the next halt, long
before it would come at the pace set. A recording cut short says so where it ends."""

import os
import tempfile

import consoleText
from lamevoHarness import Session, pollUntil

TITLE = "Tavrin's Lamevo: replay, "
# Ann steps in at once; only after a minute do both close in and Ann's lunge scores.
RECORDING = ("lamevo-recording 1\nleft Ann\nright Bob\ntouches 5\n300 left advance\n"
             + "".join(f"60000 {side} advance\n" for side in ("left",) * 3 + ("right",) * 4)
             + "60000 left lunge\n70000 left retreat\nstop 70000\n")


def titled(game, pace):
    """Waits until the window's title shows this pace; returns the window's id."""
    def find():
        ids = [wid for wid, name in game.screen.topLevelWindows() if name == TITLE + pace]
        return ids[0] if ids else None
    return pollUntil(find, 20, 0.05, f"the title {TITLE + pace!r}",
                     seen=lambda: f"windows {game.screen.topLevelWindows()}")


def aReplayPausesChangesSpeedAndSkipsToTheHalt(run):
    folder = tempfile.mkdtemp(prefix="lamevo-replay-")
    path = os.path.join(folder, "bout.lamevo")
    with open(path, "w") as file:
        file.write(RECORDING)
    game = run.start(arguments=[f"--replay={path}", "--mute"])
    bout = consoleText.Bout("Ann", "Bob", 5)
    game.expect(bout.scoreboard())
    game.windowId = titled(game, "1×")
    game.expect(bout.keys("d"))
    game.pressNamed(["plus"])
    titled(game, "2×")
    game.keys(" ")
    titled(game, "paused")
    game.keys("dkfj")  # the fencers' keys move nobody
    game.expectNothingMore(settle=0.5)
    game.pressNamed(["minus", "minus", "minus", "space"])  # down to the slowest, and on: the halt would come in two minutes
    titled(game, "½×")
    game.pressNamed(["Right"])
    game.expect(bout.keys("ddd") + bout.keys("kkkk") + bout.lunge("left") + bout.touchHalt("left"),
                timeout=20)
    game.pressNamed(["Right"])  # no halt follows: to the end, which says it was cut short
    game.expect(bout.keys("a")
                + "\nThe recording ends here: the bout was cut short before either fencer won.\n",
                timeout=20)
    game.closeWindow()
    status, _ = game.waitExit()
    assert status == 0, f"closing the replay's window ended it with status {status}"


if __name__ == "__main__":
    Session().run([aReplayPausesChangesSpeedAndSkipsToTheHalt])
