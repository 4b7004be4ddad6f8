"""The console texts of The Lamevo, written out as the players must see them, so a window
test can compare the game's console byte for byte at every step of a bout."""

LEFT_LINE, RIGHT_LINE = 15, 25


def dialogueSteps(first, second):
    """What the set-up dialogue prints before each of its four reads: the first name, the
    second name, the bout type (answered with 1, 2, 5 or 15) and the go-ahead."""
    return [
        "\n\tWelcome to The Lamevo!\n"
        "\n\tPlease enter the name of the first player: ",
        f"\n\nThank you, {first}.\n\tNow please enter the second Player's name: ",
        f"\n\nThank you, {second}.\n"
        "\nWould you like to fence a pool bout or a direct elimination bout?"
        "\nPool Bout (1)\nDE Bout (2)\nSelect either 1 or 2: ",
        "\n\tHere are the Controls to Play:\n"
        f"\n\t{first}:"
        "\t'a' or 'A' == Rereat.\n\t\t's' or 'S' == Parry.\n"
        "\t\t'd' or 'D' == Advance.\n\t\t'f' or 'F' == Lunge.\n"
        "\t\t'w' or 'W' == Recover.\n"
        f"\n\t{second}:"
        "\t';' or ':' == Rereat.\n\t\t'l' or 'L' == Parry.\n"
        "\t\t'k' or 'K' == Advance.\n\t\t'j' or 'J' == Lunge.\n"
        "\t\t'o' or 'O' == Recover.\n"
        "\n\tClick on the window that pops up to enter commands.\n"
        "\n\n\t\tHit Any Key then Enter to Start the Bout!",
    ]


def clubNightSteps(names, computerNames):
    """What the club night's dialogue prints before each read of a name (the first after the
    number of fencers): a name is thanked, a level seats the next computer name."""
    steps, seated = ["\n\tWelcome to The Lamevo!\n\n\tHow many fencers tonight (3 to 8)? "], ""
    for number, name in enumerate(names, 1):
        steps.append(f"{seated}\n\tPlease enter the name of fencer {number} (easy, normal or "
                     "hard seats the computer): ")
        seated = (f"\n\nFencer {number} is the computer {computerNames.pop(0)}({name}).\n"
                  if name in ("easy", "normal", "hard") else f"\n\nThank you, {name}.\n")
    return steps, seated


def clubNightControls(leftName, rightName):
    """The key list before a club night's bout: only the people's sides (a computer's None)."""
    text = "\n\tHere are the Controls to Play:\n"
    if leftName is not None:
        text += (f"\n\t{leftName}:\t'a' or 'A' == Rereat.\n\t\t's' or 'S' == Parry.\n"
                 "\t\t'd' or 'D' == Advance.\n\t\t'f' or 'F' == Lunge.\n\t\t'w' or 'W' == Recover.\n")
    if rightName is not None:
        text += (f"\n\t{rightName}:\t';' or ':' == Rereat.\n\t\t'l' or 'L' == Parry.\n"
                 "\t\t'k' or 'K' == Advance.\n\t\t'j' or 'J' == Lunge.\n\t\t'o' or 'O' == Recover.\n")
    return text + "\n\n\t\tHit Any Key then Enter to Start the Bout!"


def strip(leftCell, rightCell):
    row = "".join("@" if cell in (leftCell, rightCell) else " " for cell in range(41))
    return ("\n _________________________________________ \n"
            "|\\    /|         |       |         |\\    /|\n"
            "| \\  / |         |       |         | \\  / |\n"
            f"|{row}|\n"
            "| /  \\ |         |       |         | /  \\ |\n"
            "|/    \\|         |       |         |/    \\|\n"
            " ----------------------------------------- \n")


class Bout:
    """What the console shows of one bout: the names, the touch limit, and the score and cells
    as the test has driven them. Each method returns the exact text of one event and keeps
    the score and cells up to date, so a test reads like the bout it fences."""

    def __init__(self, left, right, touchLimit):
        self.left, self.right, self.touchLimit = left, right, touchLimit
        self.leftTouches = self.rightTouches = 0
        # a club night's bout before its final: no goodbye, no "En garde" after the win
        self.moreBoutsToCome = False
        self.leftCell, self.rightCell = LEFT_LINE, RIGHT_LINE

    @property
    def gap(self):
        return self.rightCell - self.leftCell

    def scoreboard(self):
        return (f"\nThis is a {self.touchLimit} touch bout"
                f"\nScore is: {self.left} {self.leftTouches} VS. {self.rightTouches} "
                f"{self.right}" + strip(self.leftCell, self.rightCell))

    # moves: each prints the scoreboard
    def move(self, side, cells):
        if side == "left":
            self.leftCell += cells
        else:
            self.rightCell -= cells
        return self.scoreboard()

    def advance(self, side):
        return self.move(side, 1)

    def retreat(self, side):
        return self.move(side, -1)

    def name(self, side):
        return self.left if side == "left" else self.right

    def other(self, side):
        return "right" if side == "left" else "left"

    # commands' messages
    def lunge(self, side):
        return f"\n{self.name(side)} attacks with a lunge!!\n"

    def parryTooFar(self, side):
        return f"\n{self.name(side)}, you are too far away to parry.\n"

    def parried(self, side):
        return f"{self.name(side)} has parried {self.name(self.other(side))}\n"

    def parryNoAttack(self, side):
        return f"\n{self.name(side)}, no one is attacking for you to parry.\n"

    def recoverFromLunge(self, side):
        return f"{self.name(side)} aborts the lunge and recovers\n"

    def alreadyEnGarde(self, side):
        return f"{self.name(side)}, you are already en garde\n"

    def fallsShort(self, side):
        return (f"{self.name(side)}, your lunge was out of distance, so you recover and "
                "continue.\n")

    # halts
    def _award(self, side):
        if side == "left":
            self.leftTouches += 1
        else:
            self.rightTouches += 1
        text = ""
        for winner in ("left", "right"):
            touches = self.leftTouches if winner == "left" else self.rightTouches
            if touches == self.touchLimit:
                name = self.name(winner)
                text += f"\n\n\tCongratulations, {name}!  You've Won the Bout!"
                text += ("\n" if self.moreBoutsToCome else
                         f"\n\nGoodluck in your future matches, {name}.  Goodbye.\n\n")
        return text

    def enGarde(self):
        return "" if self.moreBoutsToCome and self.winner() else "\n\nEn garde! Ready? Fence!\n"

    def winner(self):
        if self.leftTouches == self.touchLimit:
            return "left"
        if self.rightTouches == self.touchLimit:
            return "right"
        return None

    def touchHalt(self, scorer):
        """A lunge arrives: the halt, the touch, the restart on the lines."""
        text = (f"--**HALT!**-- Attack is good from my {scorer}. Touch to "
                f"{self.name(scorer)}.")
        text += self._award(scorer)
        self.leftCell, self.rightCell = LEFT_LINE, RIGHT_LINE
        return text + self.scoreboard() + self.enGarde()

    def offStripHalt(self, offender):
        """A fencer steps off its end: the touch to the other, the restart on the lines
        (the scoreboard that the retreat prints afterwards is not part of the halt)."""
        text = (f"--**HALT!**-- {self.name(offender)} is off the end of the strip. Touch to "
                f"{self.name(self.other(offender))}.")
        text += self._award(self.other(offender))
        self.leftCell, self.rightCell = LEFT_LINE, RIGHT_LINE
        return text + self.enGarde()

    def crossingHalt(self):
        self.leftCell -= 4
        self.rightCell += 4
        return "--**HALT!**-- Nothing done, center is here.\n\nEn garde! Ready? Fence!\n"

    # the last step of a command that leads to a halt: the halt, then the command's scoreboard
    def retreatOffStrip(self, side):
        """The retreat that takes a fencer past its end of the strip."""
        return self.offStripHalt(side) + self.scoreboard()

    def advanceCrossing(self, side):
        """The advance that takes a fencer past the other: separated, then the scoreboard."""
        self.move(side, 1)
        return self.crossingHalt() + self.scoreboard()

    def keys(self, sequence):
        """The scoreboards that a run of advances and retreats prints, for keys d, a, k and
        ";" (none of which may cross or leave the strip)."""
        moves = {"d": ("left", 1), "a": ("left", -1), "k": ("right", 1), ";": ("right", -1)}
        return "".join(self.move(*moves[key]) for key in sequence)
