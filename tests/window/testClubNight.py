#!/usr/bin/env python3
"""A club night of three in the real game: a person fences one pool bout against a computer
in the window while the computers' own bout is decided at once; and a night that waits at the
console for a go-ahead keeps its window: uncovered it redraws, keys typed into it do nothing,
closed it ends the night with the results kept."""

import os

import consoleText
from lamevoHarness import Session, log, pollUntil
from sceneModel import Scene, expectScene


def aPersonFencesOneBoutOfAClubNight(run):
    results = os.path.join(run.pictureFolderCopy(), "club.csv")
    game = run.start(arguments=["--tournament", "--seed=5", f"--results={results}"])
    steps, seated = consoleText.clubNightSteps(["Ann", "easy", "hard"], ["Riposte", "Remise"])
    game.expect(steps[0])
    game.answer("two 9")  # a count comes alone: the reason; out of range, the question again
    game.expect('\n"two 9" is not a whole number on its own. Please enter a number from 3 to 8: ')
    game.answer("9")
    game.expect("\n\tHow many fencers tonight (3 to 8)? ")
    game.answer("3")
    for step, answer in zip(steps[1:], ("Ann", "easy", "hard")):
        game.expect(step)
        game.answer(answer)
    game.expect(seated)
    # The computers' bout 2-3 is decided at once; Ann meets the hard one on the left.
    for opponent, boutNumber in (("Remise(hard)", 2), ("Riposte(easy)", 3)):
        game.waitFor(f"\nNext: Ann against {opponent}\n", timeout=60)
        game.waitFor(f"Pool bout {boutNumber} of 3: Ann against {opponent}, 5 touches.\n"
                     + consoleText.clubNightControls("Ann", None), timeout=60)
        game.keys("dddf")  # keys typed while no bout runs do nothing, then or later
        game.expectNothingMore(settle=0.5)  # the bout waits for its go-ahead
        game.answer("")  # an empty line starts it
        bout = consoleText.Bout("Ann", opponent, 5)
        bout.moreBoutsToCome = True
        game.expect(bout.scoreboard())
        expectScene(game, run.model(), Scene("Ann", opponent), f"bout-{boutNumber}-en-garde")
        if boutNumber == 2:
            game.keys("x")  # on guard, and still: the computer wins 5-0
            bout.rightTouches = 4
            game.waitFor(bout.touchHalt("right"), timeout=120)
            game.waitFor(f" 1  {'Ann':12}" + " " * 6 + " D0    0  0.000    0    5    -5\n")
            pollUntil(lambda: "pool,1,Ann,Remise(hard),0,5,right\r\n"
                      in open(results, newline="").read(),
                      what="the bout in the results")
    game.closeWindow()
    status, _ = game.waitExit()
    assert status == 0, f"closing the window ended the club night with status {status}"
    csv = open(results, newline="").read()
    assert csv.count("\r\npool,1,") == 2 and "\r\n\r\nplace," in csv, csv


def aNightWaitingAtTheConsoleKeepsItsWindow(run):
    results = os.path.join(run.pictureFolderCopy(), "waiting.csv")
    run.useScreen("1800x480x24", backingStore=False)  # small: the screen is read back whole
    game = run.start(arguments=["--tournament", "--seed=5", f"--results={results}"])
    steps, seated = consoleText.clubNightSteps(["Ann", "Bo", "easy"], ["Riposte"])
    game.expect(steps[0])
    game.answer("3")
    for step, answer in zip(steps[1:], ("Ann", "Bo", "easy")):
        game.expect(step)
        game.answer(answer)
    game.expect(seated)
    game.waitFor("Pool bout 1 of 3: Bo against Riposte(easy), 5 touches.\n")
    game.waitFor("Hit Any Key then Enter to Start the Bout!")
    # No bout is decided yet: the results file is not written before the first one is.
    assert not os.path.exists(results), "the results file was written before any bout was decided"
    redrawn = game.coverAndUncover()
    log(f"uncovered while the night waits at the console: drawn again {redrawn * 1000:.1f} ms "
        "later")
    before = game.steadyShot()
    game.keys("dfjkls")
    game.expectNothingMore(settle=0.5)
    assert game.steadyShot().rgb == before.rgb, "keys typed while no bout runs changed the window"
    game.closeWindow()
    status, _ = game.waitExit()
    assert status == 0, f"closing the window at a go-ahead ended the night with status {status}"
    assert not os.path.exists(results), "closing the window before any bout wrote the results"


def lastNightsResultsOutliveANightEndedEarly(run):
    """Each way a night can end before its first bout is decided leaves the earlier night's
    results as they were: the input ending at the names or at a go-ahead, the window closed."""
    folder = run.pictureFolderCopy()
    results = os.path.join(folder, "lastNight.csv")
    lastNight = "stage,round,left,right,left_touches,right_touches,winner\r\npool,1,A,B,5,0,left\r\n"
    for ending in ("names", "go-ahead", "window"):
        with open(results, "w", newline="") as file:
            file.write(lastNight)
        game = run.start(arguments=["--tournament", "--seed=1", f"--results={results}"])
        game.answer("3")
        for name in ("Ann", "Bo", "Cy")[:1 if ending == "names" else 3]:
            game.answer(name)
        if ending != "names":
            game.waitFor("Pool bout 1 of 3: Bo against Cy, 5 touches.\n"
                         + consoleText.clubNightControls("Bo", "Cy"))
        if ending == "window":
            game.answer("")
            game.waitFor(consoleText.Bout("Bo", "Cy", 5).scoreboard())
            game.closeWindow()
        else:
            game.closeInput()
        status, _ = game.waitExit()
        assert status == (0 if ending == "window" else 1), f"{ending}: status {status}"
        if ending == "go-ahead":
            assert game.errors == (b"The Lamevo: the console's input has ended; the club night "
                                   b"ends here, its results kept.\n"), game.errors
        kept = open(results, newline="").read()
        assert kept == lastNight, f"{ending}: the results became {kept!r}"


if __name__ == "__main__":
    Session().run([aPersonFencesOneBoutOfAClubNight, aNightWaitingAtTheConsoleKeepsItsWindow,
                   lastNightsResultsOutliveANightEndedEarly])
