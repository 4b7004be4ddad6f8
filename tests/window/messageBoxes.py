"""The loader's "Error" box, read as pixels.

SDL draws the box's text itself, so the text cannot be read back from the window. Instead
the box that a message must give is shown on the same virtual screen by the same SDL
library that the game is linked with, and the game's box is compared with it pixel for
pixel: a wrong letter or a missing full stop changes the picture. (A line break at the end
of a message draws nothing, so the box cannot show whether it is there.)"""

import re
import subprocess
import sys
import time

from lamevoHarness import PATIENCE, HarnessError, log, pollUntil

# Shows one box with the caption "Error" and the message read from standard input, as the
# game's loader does (error icon, one OK button, no owner window); exits 3 if SDL failed.
_SHOW_BOX = r"""
import ctypes, sys
sdl = ctypes.CDLL(sys.argv[1])
sdl.SDL_SetHint(b"SDL_NO_SIGNAL_HANDLERS", b"1")
if sdl.SDL_InitSubSystem(0x20) != 0:
    sys.exit(2)
failed = sdl.SDL_ShowSimpleMessageBox(0x10, b"Error", sys.stdin.buffer.read(), None)
sdl.SDL_QuitSubSystem(0x20)
sys.exit(3 if failed else 0)
"""


def sdlLibrary(gameExecutable):
    libraries = subprocess.run(["ldd", gameExecutable], capture_output=True, text=True).stdout
    match = re.search(r"(libSDL2\S*) => (\S+)", libraries)
    if not match:
        raise HarnessError(f"{gameExecutable} is not linked with SDL2")
    return match.group(2)


def errorBoxes(screen):
    return [wid for wid, name in screen.topLevelWindows() if name == "Error"]


def settledPicture(screen, box, timeout=PATIENCE):
    """The box's pixels once it has been drawn: two readings in a row alike, not blank."""
    previous = None

    def settled():
        nonlocal previous
        shot = screen.screenshot(box)
        same = previous is not None and shot.rgb == previous.rgb
        previous = shot
        return shot if same and len(set(shot.rgb)) > 2 else None
    return pollUntil(settled, timeout, 0.1, "the Error box to be drawn")


def referenceBoxes(screen, gameExecutable, messages):
    """{message: picture of the box SDL shows for it}, each shown and dismissed in turn.
    No other "Error" box may be up meanwhile."""
    library = sdlLibrary(gameExecutable)
    pictures = {}
    for message in messages:
        for attempt in range(3):
            shower = subprocess.Popen([sys.executable, "-c", _SHOW_BOX, library],
                                      env=screen.env, stdin=subprocess.PIPE,
                                      stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
            shower.stdin.write(message.encode())
            shower.stdin.close()
            boxes = pollUntil(lambda: errorBoxes(screen) or shower.poll() is not None,
                              what="the reference box")
            if boxes is True:
                # SDL's box failed to come up; seen now and then on a loaded machine.
                log(f"reference box for {message!r} failed ({shower.returncode}): "
                    f"{shower.stderr.read().decode(errors='replace').strip()}")
                continue
            pictures[message] = settledPicture(screen, boxes[0])
            screen.run("xdotool", "key", "--window", str(boxes[0]), "Return")
            shower.wait(10)
            break
        else:
            raise HarnessError(f"SDL showed no box for {message!r}")
    return pictures


def samePicture(a, b):
    return (a.width, a.height, a.rgb) == (b.width, b.height, b.rgb)


class BoxWatch:
    """The game's "Error" boxes, one after another, each checked against the box its message
    gives and dismissed with Return as a player does. One failure is one box: a box up where
    the game should have gone on to print its text is a fault."""

    def __init__(self, game):
        self.game = game

    def expect(self, reference, name, timeout=PATIENCE):
        """Waits for the box with the reference picture; returns its id (the box stays up)."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            boxes = errorBoxes(self.game.screen)
            if len(boxes) > 1:
                raise HarnessError(f"{len(boxes)} boxes titled Error")
            if not boxes:
                time.sleep(0.05)
                continue
            try:
                shot = settledPicture(self.game.screen, boxes[0],
                                      timeout=max(0.1, deadline - time.monotonic()))
            except HarnessError:
                continue  # the box went while it was read, or is still being drawn
            if samePicture(shot, reference):
                self.game.saveShot(shot, name)
                return boxes[0]
            got = self.game.saveShot(shot, name + "-NOT-AS-EXPECTED")
            wanted = self.game.saveShot(reference, name + "-expected")
            raise HarnessError(f"the Error box is not the one the message gives: {shot.width}x"
                               f"{shot.height} against {reference.width}x{reference.height}; "
                               f"see {got} and {wanted}")
        raise HarnessError(f'no "Error" box for {name} within {timeout} s; '
                           + self.game.describeUnread())

    def dismiss(self, box, timeout=PATIENCE):
        """Return on the box; waits until it is gone, pressing again every 5 s it stays."""
        def gone():
            if box not in errorBoxes(self.game.screen):
                return True
            if time.monotonic() >= nextPress[0]:
                self.game.screen.run("xdotool", "key", "--window", str(box), "Return",
                                     check=False)
                nextPress[0] = time.monotonic() + 5
            return False
        nextPress = [time.monotonic() + 5]
        self.game.dismissBox(box)
        pollUntil(gone, timeout, 0.05, "the Error box to go on Return",
                  seen=lambda: f"boxes {errorBoxes(self.game.screen)} up; "
                  + self.game.describeUnread())

    def expectText(self, text, timeout=PATIENCE):
        """The console text that follows a dismissed box. The next box may already be up
        (the idle step can meet the next bad picture at once); a box that keeps the game
        from printing the text is a fault."""
        try:
            return self.game.expect(text, timeout=timeout)
        except HarnessError as missing:
            if errorBoxes(self.game.screen):
                raise HarnessError(f"an Error box came up before {text!r}") from missing
            raise
