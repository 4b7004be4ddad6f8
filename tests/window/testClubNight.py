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
    game.answer("two 9")  # a word costs a reminder, a number out of range the question again
    game.expect("\nPlease enter a number from 3 to 8: \n\tHow many fencers tonight (3 to 8)? ")
    game.answer("3")
    for step, answer in zip(steps[1:], ("Ann", "easy", "hard")):
        game.expect(step)
        game.answer(answer)
    game.expect(seated)
    # The computers' bout 2-3 is decided at once; Ann meets the hard one on the left.
    for opponent, boutNumber in (("Remise(hard)", 2), ("Riposte(easy)", 3)):
        game.waitFor(f"Pool bout {boutNumber} of 3: Ann against {opponent}, 5 touches.\n",
                     timeout=60)
        game.waitFor("Hit Any Key then Enter to Start the Bout!")
        game.keys("dddf")  # keys typed while no bout runs do nothing, then or later
        game.expectNothingMore(settle=0.5)  # the bout waits for its go-ahead
        game.answer("go")
        bout = consoleText.Bout("Ann", opponent, 5)
        game.expect(bout.scoreboard())
        expectScene(game, run.model(), Scene("Ann", opponent), f"bout-{boutNumber}-en-garde")
        if boutNumber == 2:
            game.keys("x")  # on guard, and still: the computer wins 5-0
            bout.rightTouches = 4
            game.waitFor(bout.touchHalt("right"), timeout=120)
            game.waitFor(f" 1  {'Ann':13}" + " " * 8 + "  D0    0  0.000    0    5    -5\n")
            pollUntil(lambda: "pool,1,Ann,Remise(hard),0,5\r\n" in open(results, newline="").read(),
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
    written = open(results, newline="").read()
    redrawn = game.coverAndUncover()
    log(f"uncovered while the night waits at the console: drawn again {redrawn * 1000:.0f} ms "
        "later, the looks at the screen included")
    before = game.steadyShot()
    game.keys("dfjkls")
    game.expectNothingMore(settle=0.5)
    assert game.steadyShot().rgb == before.rgb, "keys typed while no bout runs changed the window"
    game.closeWindow()
    status, _ = game.waitExit()
    assert status == 0, f"closing the window at a go-ahead ended the night with status {status}"
    assert written and open(results, newline="").read() == written, "the results file was not kept"


if __name__ == "__main__":
    Session().run([aPersonFencesOneBoutOfAClubNight, aNightWaitingAtTheConsoleKeepsItsWindow])
