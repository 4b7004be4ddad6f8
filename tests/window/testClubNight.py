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


if __name__ == "__main__":
    Session().run([aPersonFencesOneBoutOfAClubNight])
