#!/usr/bin/env python3
"""A club night of three in the real game: a person fences one pool bout against a computer
in the window while the computers' own bout is decided at once."""

import os

import consoleText
from lamevoHarness import Session, pollUntil
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
    Session().run([aPersonFencesOneBoutOfAClubNight, lastNightsResultsOutliveANightEndedEarly])
