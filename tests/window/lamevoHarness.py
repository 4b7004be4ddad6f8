"""Drives the real game of The Lamevo in a real window on a virtual screen of its own.

VirtualScreen starts Xvfb; Game starts lamevo in the pose pictures' folder, answers its
console, reads everything it prints, finds its window, presses keys in it, takes
screenshots (read back exactly from XWD), finds and dismisses the loader's "Error" box and
closes the window the way a window manager does. Only the Python standard library is used.
"""

import ctypes
import ctypes.util
import os
import re
import select
import shutil
import struct
import subprocess
import sys
import tempfile
import threading
import time
import traceback
import zlib

import consoleText

WINDOW_TITLE = "Tavrin's Lamevo"
SCREEN_GEOMETRY = "1920x1080x24"


class HarnessError(AssertionError):
    """A wait ran out or the game did something the test did not expect."""


def log(message):
    print(f"[{time.strftime('%H:%M:%S')}.{int(time.time() * 1000) % 1000:03d}] {message}",
          flush=True)


# --- waiting on real time -------------------------------------------------------------------

# How long a wait for an event (console text, a window mapped, a box up or gone, the end of
# the game) gives it: ample for a busy machine; a passing test never waits it out.
PATIENCE = 30.0
# A halt begun within the clock's second s is over on the first idle turn of s + 3; the fence
# banner then stays up until s + 4.
HALT_SECONDS = 3


def endProcess(process, patience=5):
    """Asks the process to end and waits patience seconds for it; then kills it."""
    process.terminate()
    try:
        process.wait(patience)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


def pollUntil(condition, timeout=PATIENCE, interval=0.02, what="a condition", seen=None):
    """Calls condition() until it returns something true; returns that, or raises saying
    what was awaited and, where seen is given, what seen() says was there instead."""
    deadline = time.monotonic() + timeout
    while True:
        result = condition()
        if result:
            return result
        if time.monotonic() >= deadline:
            raise HarnessError(f"gave up after {timeout:.1f} s waiting for {what}"
                               + (f"; seen instead: {seen()}" if seen else ""))
        time.sleep(interval)


def startOfNextSecond(margin=0.03):
    """Waits until just after the system clock's next whole second and returns that second.

    The game counts time in whole seconds of this same clock, so a key pressed here has
    nearly a whole second before the game's next tick."""
    now = time.time()
    second = int(now) + 1
    time.sleep(max(0.0, second + margin - now))
    return second


def untilClock(instant):
    """Waits until the system clock reaches instant (seconds since the epoch)."""
    delay = instant - time.time()
    if delay > 0:
        time.sleep(delay)


# --- the virtual screen ---------------------------------------------------------------------

class VirtualScreen:
    """An Xvfb of its own, 1920x1080 at 24 bits unless told; it picks a free display number itself. It
    never resets: by default an X server resets when its last client leaves, and a game
    started while it did (after the previous game closed its window) found no display."""

    def __init__(self, geometry=SCREEN_GEOMETRY, backingStore=True):
        readEnd, writeEnd = os.pipe()
        # Without backing store what a window shows once uncovered is whatever its program
        # draws again, as on a desktop without a compositor.
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(writeEnd), "-screen", "0", geometry,
             "-nolisten", "tcp", "-noreset"] + ([] if backingStore else ["-bs"]),
            pass_fds=[writeEnd], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(writeEnd)
        number = b""
        deadline = time.monotonic() + 20
        while not number.endswith(b"\n"):
            remaining = deadline - time.monotonic()
            if remaining <= 0 or not select.select([readEnd], [], [], remaining)[0]:
                self.stop()
                raise HarnessError("the virtual screen did not start")
            chunk = os.read(readEnd, 64)
            if not chunk:
                self.stop()
                raise HarnessError("the virtual screen ended at start-up")
            number += chunk
        os.close(readEnd)
        self.display = ":" + number.decode().strip()
        self.env = dict(os.environ, DISPLAY=self.display)
        log(f"virtual screen on {self.display}")

    def run(self, *command, timeout=20, check=True):
        """Runs an X tool on this screen and returns its standard output (bytes)."""
        done = subprocess.run(list(command), env=self.env, capture_output=True, timeout=timeout)
        if check and done.returncode != 0:
            raise HarnessError(f"{' '.join(command)} failed ({done.returncode}): "
                               f"{done.stderr.decode(errors='replace').strip()}")
        return done.stdout

    def topLevelWindows(self):
        """(id, name) of every window that xwininfo lists, names decoded from UTF-8."""
        tree = self.run("xwininfo", "-root", "-tree").decode("utf-8", errors="replace")
        found = []
        for match in re.finditer(r'^\s*(0x[0-9a-f]+) "((?:[^"\\]|\\.)*)"', tree, re.MULTILINE):
            found.append((int(match.group(1), 16), match.group(2)))
        return found

    def screenshot(self, window):
        """Reads the pixels of any window on this screen back (an "Error" box, say)."""
        return parseXwd(self.run("xwd", "-silent", "-id", str(window)))

    def stop(self):
        if self.process.poll() is None:
            endProcess(self.process)


# --- screenshots ----------------------------------------------------------------------------

class Shot:
    """A screenshot: width x height pixels, rgb holds 3 bytes a pixel, top row first."""

    def __init__(self, width, height, rgb):
        self.width, self.height, self.rgb = width, height, rgb

    def pixel(self, x, row):
        i = 3 * (row * self.width + x)
        return tuple(self.rgb[i:i + 3])

    def savePng(self, path):
        writePng(path, self.width, self.height, self.rgb)


def parseXwd(data):
    """Reads an XWD dump of a 24- or 32-bit TrueColor window into a Shot."""
    fields = struct.unpack(">25I", data[:100])
    (headerSize, version, pixmapFormat, depth, width, height, _xOffset, byteOrder, _unit,
     _bitOrder, _pad, bitsPerPixel, bytesPerLine, _visualClass, redMask, greenMask, blueMask,
     _bitsPerRgb, _mapEntries, colourCount) = fields[:20]
    if version != 7 or pixmapFormat != 2 or bitsPerPixel not in (24, 32):
        raise HarnessError(f"unexpected XWD layout: version {version}, format {pixmapFormat},"
                           f" depth {depth}, {bitsPerPixel} bits a pixel")
    start = headerSize + 12 * colourCount
    pixels = data[start:start + bytesPerLine * height]
    if len(pixels) < bytesPerLine * height:
        raise HarnessError("the XWD dump is cut short")
    step = bitsPerPixel // 8

    def bytePosition(mask):
        shift = (mask & -mask).bit_length() - 1
        if mask >> shift != 0xFF or shift % 8:
            raise HarnessError(f"colour mask {mask:#x} is not a whole byte")
        index = shift // 8
        return index if byteOrder == 0 else step - 1 - index

    red, green, blue = (bytePosition(m) for m in (redMask, greenMask, blueMask))
    rgb = bytearray(3 * width * height)
    for row in range(height):
        line = pixels[row * bytesPerLine:row * bytesPerLine + step * width]
        out = 3 * width * row
        rgb[out:out + 3 * width:3] = line[red::step]
        rgb[out + 1:out + 3 * width:3] = line[green::step]
        rgb[out + 2:out + 3 * width:3] = line[blue::step]
    return Shot(width, height, rgb)


def writePng(path, width, height, rgb):
    """Writes 8-bit RGB rows (top row first) as a PNG file."""
    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body
                + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

    stride = 3 * width
    raw = b"".join(b"\0" + bytes(rgb[r * stride:(r + 1) * stride]) for r in range(height))
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n")
        out.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        out.write(chunk(b"IDAT", zlib.compress(raw, 6)))
        out.write(chunk(b"IEND", b""))


# --- closing a window as a window manager does ----------------------------------------------

class _ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong),
                ("send_event", ctypes.c_int), ("display", ctypes.c_void_p),
                ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]


class _XEvent(ctypes.Union):
    _fields_ = [("xclient", _ClientMessage), ("pad", ctypes.c_long * 24)]


def sendDeleteWindow(display, window):
    """Sends the WM_PROTOCOLS / WM_DELETE_WINDOW client message a window manager sends when
    the user closes a window. Raises if the window does not take part in that protocol."""
    x11 = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XGetWMProtocols.argtypes = [ctypes.c_void_p, ctypes.c_ulong,
                                    ctypes.POINTER(ctypes.POINTER(ctypes.c_ulong)),
                                    ctypes.POINTER(ctypes.c_int)]
    x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                               ctypes.POINTER(_XEvent)]
    x11.XFree.argtypes = [ctypes.c_void_p]
    x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    connection = x11.XOpenDisplay(display.encode())
    if not connection:
        raise HarnessError(f"cannot open display {display}")
    try:
        protocols = x11.XInternAtom(connection, b"WM_PROTOCOLS", 0)
        deleteWindow = x11.XInternAtom(connection, b"WM_DELETE_WINDOW", 0)
        atoms = ctypes.POINTER(ctypes.c_ulong)()
        count = ctypes.c_int()
        supported = []
        if x11.XGetWMProtocols(connection, window, ctypes.byref(atoms), ctypes.byref(count)):
            supported = [atoms[i] for i in range(count.value)]
            x11.XFree(atoms)
        if deleteWindow not in supported:
            raise HarnessError("the window does not take WM_DELETE_WINDOW")
        event = _XEvent()
        event.xclient.type = 33  # ClientMessage
        event.xclient.window = window
        event.xclient.message_type = protocols
        event.xclient.format = 32
        event.xclient.data[0] = deleteWindow
        event.xclient.data[1] = 0  # CurrentTime
        x11.XSendEvent(connection, window, 0, 0, ctypes.byref(event))
        x11.XSync(connection, 0)
    finally:
        x11.XCloseDisplay(connection)


# --- covering a window as another window does -----------------------------------------------

def _xlib():
    x11 = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XDefaultRootWindow.restype = ctypes.c_ulong
    x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    x11.XCreateSimpleWindow.restype = ctypes.c_ulong
    x11.XCreateSimpleWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                        ctypes.c_uint, ctypes.c_uint, ctypes.c_uint,
                                        ctypes.c_ulong, ctypes.c_ulong]
    for name in ("XMapRaised", "XDestroyWindow"):
        getattr(x11, name).argtypes = [ctypes.c_void_p, ctypes.c_ulong]
    x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    x11.XGetImage.restype = ctypes.POINTER(_XImage)
    x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                              ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
    x11.XDestroyImage.argtypes = [ctypes.POINTER(_XImage)]
    return x11


class _XImage(ctypes.Structure):
    """The head of Xlib's XImage, as far as the pixels' bytes."""
    _fields_ = [(name, ctypes.c_int) for name in ("width", "height", "xoffset", "format")] + \
        [("data", ctypes.c_void_p)] + \
        [(name, ctypes.c_int) for name in ("byte_order", "bitmap_unit", "bitmap_bit_order",
                                           "bitmap_pad", "depth", "bytes_per_line",
                                           "bits_per_pixel")]


# A colour the game never draws, for what covers its window.
COVER_PIXEL = (255, 0, 255)


class Cover:
    """A plain window of COVER_PIXEL over the given area of the screen, until uncover()."""

    def __init__(self, display, x, y, width, height):
        self.x11 = _xlib()
        self.connection = self.x11.XOpenDisplay(display.encode())
        if not self.connection:
            raise HarnessError(f"cannot open display {display}")
        red, green, blue = COVER_PIXEL
        self.window = self.x11.XCreateSimpleWindow(
            self.connection, self.x11.XDefaultRootWindow(self.connection), x, y, width, height,
            0, 0, (red << 16) | (green << 8) | blue)
        self.x, self.y, self.width, self.height = x, y, width, height
        self.x11.XMapRaised(self.connection, self.window)
        self.x11.XSync(self.connection, 0)

    def uncover(self):
        """Takes the cover away: the window under it is exposed. Returns the seconds until
        nothing of the cover shows where it was, read straight from the screen (a look takes
        about a millisecond), or None if some of it still shows after PATIENCE seconds."""
        self.x11.XDestroyWindow(self.connection, self.window)
        self.x11.XSync(self.connection, 0)
        uncovered = time.monotonic()
        gone = None
        while gone is None and time.monotonic() - uncovered < PATIENCE:
            if not self.coverShows():
                gone = time.monotonic() - uncovered
            else:
                time.sleep(0.001)
        self.x11.XCloseDisplay(self.connection)
        return gone

    def coverShows(self):
        """Whether a pixel of COVER_PIXEL shows in the cover's area (32-bit pixels, as Xvfb's
        24-bit screens keep them)."""
        image = self.x11.XGetImage(self.connection, self.x11.XDefaultRootWindow(self.connection),
                                   self.x, self.y, self.width, self.height, 0xFFFFFFFF, 2)
        try:
            pixels = ctypes.string_at(image.contents.data,
                                      image.contents.bytes_per_line * image.contents.height)
        finally:
            self.x11.XDestroyImage(image)
        red, green, blue = COVER_PIXEL
        found = pixels.find(bytes((blue, green, red)))
        while found >= 0 and found % 4 != 0:
            found = pixels.find(bytes((blue, green, red)), found + 1)
        return found >= 0


# --- the game -------------------------------------------------------------------------------

KEY_NAMES = {";": "semicolon", ":": "colon", " ": "space", "\n": "Return", "\t": "Tab"}


class Game:
    """One run of the real lamevo on a virtual screen.

    The console: everything the game prints is collected by a reader thread; expect() checks
    the next bytes of it exactly, so a test reads the whole transcript step by step."""

    def __init__(self, screen, executable, folder, shotFolder, label, arguments=(),
                 environment=None, prefix=()):
        self.screen = screen
        self.shotFolder = shotFolder
        self.label = label
        self.shotCount = 0
        self.output = bytearray()
        self.errors = bytearray()
        self.cursor = 0
        self.arrivals = []  # (time, length of output after the chunk)
        self.changed = threading.Condition()
        self.windowId = None
        self.exitTime = None
        log(f"starting {executable} in {folder}")
        # In a build with the address sanitizer, the OpenGL driver and the desktop-bus
        # library (loaded by the toolkit and the message box) keep allocations to the end
        # and are unloaded before the leak report, which then cannot name them: leak
        # checking is left to the unit tests. Memory errors still end the game with a
        # status that is not 0.
        # Silent unless a test asks for sound: SDL's dummy output plays nothing anywhere.
        env = {**screen.env, "SDL_AUDIODRIVER": "dummy", **(environment or {})}
        env["ASAN_OPTIONS"] = ":".join(filter(None, [env.get("ASAN_OPTIONS"),
                                                     "detect_leaks=0"]))
        # prefix: a command the game runs under, such as "ip netns exec nl-a".
        self.process = subprocess.Popen([*prefix, executable, *arguments], cwd=folder, env=env,
                                        stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE)
        self.readers = [threading.Thread(target=self._read, args=(self.process.stdout, True),
                                         daemon=True),
                        threading.Thread(target=self._read, args=(self.process.stderr, False),
                                         daemon=True)]
        for reader in self.readers:
            reader.start()
        threading.Thread(target=self._watchExit, daemon=True).start()

    def _read(self, stream, isOutput):
        while True:
            chunk = os.read(stream.fileno(), 65536)
            with self.changed:
                if not chunk:
                    self.changed.notify_all()
                    return
                if isOutput:
                    self.output += chunk
                    self.arrivals.append((time.time(), len(self.output)))
                else:
                    self.errors += chunk
                self.changed.notify_all()

    def _watchExit(self):
        self.process.wait()
        with self.changed:
            self.exitTime = time.time()
            self.changed.notify_all()

    # console -----------------------------------------------------------------------------

    def answer(self, line):
        """Types a line of the set-up dialogue into the console (the pipe stays open)."""
        self.process.stdin.write(line.encode() + b"\n")
        self.process.stdin.flush()

    def feed(self, data, close=True):
        """Writes raw bytes to the console from a thread of its own (the game may stop reading
        half way, or end), then closes the console if asked; returns that thread."""
        def write():
            try:
                self.process.stdin.write(data)
                self.process.stdin.flush()
            except (BrokenPipeError, ValueError):
                pass
            if close:
                self.closeInput()
        writer = threading.Thread(target=write, daemon=True)
        writer.start()
        return writer

    def closeInput(self):
        try:
            self.process.stdin.close()
        except (BrokenPipeError, OSError):
            pass

    def unread(self):
        with self.changed:
            return bytes(self.output[self.cursor:])

    def expect(self, text, timeout=PATIENCE):
        """Waits for the next len(text) bytes of console output and checks them exactly.
        Returns the clock time at which the last of them arrived."""
        wanted = text.encode() if isinstance(text, str) else text
        end = self.cursor + len(wanted)
        deadline = time.monotonic() + timeout
        with self.changed:
            while len(self.output) < end and self.output[self.cursor:] == wanted[:len(
                    self.output) - self.cursor]:
                remaining = deadline - time.monotonic()
                if remaining <= 0 or (self.exitTime is not None and self.readersDone()):
                    break
                self.changed.wait(min(remaining, 0.1))
            got = bytes(self.output[self.cursor:end])
            if got != wanted:
                raise HarnessError(self._describeMismatch(wanted, got))
            self.cursor = end
            return next(t for t, length in self.arrivals if length >= end)

    def expectOneOf(self, texts, timeout=PATIENCE):
        """Waits until the unread output begins with one of texts; moves past it and returns
        its index. For steps whose order the clock decides."""
        wanted = [t.encode() for t in texts]

        def match():
            with self.changed:
                unread = bytes(self.output[self.cursor:])
            for index, text in enumerate(wanted):
                if unread.startswith(text):
                    return index + 1
            if not any(text.startswith(unread[:len(text)]) for text in wanted):
                raise HarnessError(f"unexpected console output: "
                                   f"{unread[:200].decode(errors='replace')!r}")
            return None
        index = pollUntil(match, timeout, 0.01, f"one of {texts!r} on the console",
                          seen=self.describeUnread) - 1
        with self.changed:
            self.cursor += len(wanted[index])
        return index

    def describeUnread(self):
        """What the game has printed beyond what the test read, and its standard error."""
        return (f"unread console output {self.unread()[-400:].decode(errors='replace')!r}"
                + (f", standard error {self.errors.decode(errors='replace')!r}"
                   if self.errors else "")
                + ("" if self.running() else f", the game ended ({self.process.returncode})"))

    def readersDone(self):
        return not any(reader.is_alive() for reader in self.readers)

    def expectNothingMore(self, settle=0.3):
        """Checks that nothing beyond what the test expected has been printed, after a short
        settling time for output that may still be on its way."""
        time.sleep(settle)
        extra = self.unread()
        if extra:
            raise HarnessError(f"unexpected console output: {extra.decode(errors='replace')!r}")

    def expectMatch(self, pattern, timeout=PATIENCE):
        """Waits until the unread output begins with a whole match of the regular expression
        pattern (a str); moves past it and returns the match. For text with a measured figure
        or a drawn code in it."""
        compiled = re.compile(pattern.encode())

        def match():
            with self.changed:
                found = compiled.match(bytes(self.output[self.cursor:]))
                if found:
                    self.cursor += found.end()
                return found
        return pollUntil(match, timeout, 0.01, f"{pattern!r} on the console",
                         seen=self.describeUnread)

    def waitFor(self, text, timeout=PATIENCE):
        """Waits until text appears in the unread output; moves the cursor past it."""
        wanted = text.encode()
        deadline = time.monotonic() + timeout
        with self.changed:
            while True:
                index = self.output.find(wanted, self.cursor)
                if index >= 0:
                    self.cursor = index + len(wanted)
                    return
                remaining = deadline - time.monotonic()
                if remaining <= 0:
                    raise HarnessError(f"no {text!r} on the console within {timeout} s; "
                                       + self.describeUnread())
                self.changed.wait(min(remaining, 0.1))

    def _describeMismatch(self, wanted, got):
        same = 0
        while same < min(len(wanted), len(got)) and wanted[same] == got[same]:
            same += 1
        status = ("still running" if self.process.poll() is None
                  else f"exited with status {self.process.returncode}")
        return ("console transcript differs at byte " + str(same) + " of this step (game "
                + status + f", {len(got)} of {len(wanted)} bytes out)\n  expected: "
                + repr(wanted[max(0, same - 60):same + 120].decode(errors="replace"))
                + "\n  printed:  " + repr(got[max(0, same - 60):same + 120].decode(
                    errors="replace"))
                + ("\n  standard error: " + self.errors.decode(errors="replace")
                   if self.errors else ""))

    # window ------------------------------------------------------------------------------

    def window(self, timeout=PATIENCE):
        """The id of the game's window, found by its title once it is mapped: keys sent to a
        window not yet on the screen would be lost."""
        if self.windowId is None:
            def find():
                found = self.screen.run("xdotool", "search", "--onlyvisible", "--name",
                                        "^" + re.escape(WINDOW_TITLE) + "$", check=False)
                ids = [int(word) for word in found.split()]
                return ids[0] if ids else None
            self.windowId = pollUntil(
                find, timeout, 0.05, f"the window {WINDOW_TITLE!r} mapped",
                seen=lambda: f"windows {self.screen.topLevelWindows()}; {self.describeUnread()}")
        return self.windowId

    def windowInfo(self):
        """xwininfo's view of the window: its title, size and position."""
        text = self.screen.run("xwininfo", "-id", str(self.window())).decode("utf-8", "replace")
        info = {"title": re.search(r'xwininfo: Window id: \S+ "(.*)"', text).group(1)}
        for key, pattern in (("x", r"Absolute upper-left X:\s+(-?\d+)"),
                             ("y", r"Absolute upper-left Y:\s+(-?\d+)"),
                             ("width", r"Width:\s+(\d+)"), ("height", r"Height:\s+(\d+)"),
                             ("state", r"Map State:\s+(\w+)")):
            value = re.search(pattern, text).group(1)
            info[key] = int(value) if value.lstrip("-").isdigit() else value
        return info

    def keys(self, sequence, delay=15):
        """Presses the keys of sequence (one character each) in the game's window, in order."""
        names = [KEY_NAMES.get(ch, ch) for ch in sequence]
        window = str(self.window())
        self.screen.run("xdotool", "windowfocus", "--sync", window,
                        "key", "--window", window, "--delay", str(delay), *names)

    def pressNamed(self, names, delay=15, repeat=1):
        """Presses keys given by their X names ("Return", "ctrl+a", "eacute"...) in the game's
        window, in order; with repeat, the whole list that many times."""
        window = str(self.window())
        self.screen.run("xdotool", "windowfocus", "--sync", window, "key", "--window", window,
                        "--delay", str(delay), "--repeat", str(repeat), *names, timeout=60)

    def typeText(self, text, delay=10):
        """Types text in the game's window as a keyboard would, shift and all."""
        window = str(self.window())
        self.screen.run("xdotool", "windowfocus", "--sync", window, "type", "--window", window,
                        "--delay", str(delay), "--", text, timeout=60)

    def screenshot(self, name=None):
        """Reads the window's pixels back; saves them as PNG when a name is given."""
        data = self.screen.run("xwd", "-silent", "-id", str(self.window()))
        shot = parseXwd(data)
        if name:
            self.saveShot(shot, name)
        return shot

    def saveShot(self, shot, name):
        self.shotCount += 1
        path = os.path.join(self.shotFolder, f"{self.label}-{self.shotCount:02d}-{name}.png")
        shot.savePng(path)
        return path

    def errorBoxes(self):
        """Ids of the windows titled "Error" (the loader's message box)."""
        return [wid for wid, name in self.screen.topLevelWindows() if name == "Error"]

    def dismissBox(self, box):
        self.screen.run("xdotool", "key", "--window", str(box), "Return")

    def onScreen(self):
        """What the screen shows where the window is (a window over it included), read back
        from the root window: a program's window may keep its own pixels while covered."""
        info = self.windowInfo()
        root = parseXwd(self.screen.run("xwd", "-silent", "-root"))
        rows = [root.rgb[3 * ((info["y"] + row) * root.width + info["x"]):
                         3 * ((info["y"] + row) * root.width + info["x"] + info["width"])]
                for row in range(info["height"])]
        return Shot(info["width"], info["height"], b"".join(rows))

    def steadyShot(self, take=None):
        """A screenshot (or take()) once two in a row are the same: the window at rest."""
        take = take or self.screenshot
        shots = [take()]

        def steady():
            shots.append(take())
            return shots[-1].rgb == shots[-2].rgb and shots[-1]
        return pollUntil(steady, what="the window at rest")

    def coverAndUncover(self):
        """Covers the whole window with another one, waits until the cover shows on the
        screen, takes the cover away and waits until the window is drawn again where it was,
        checking that it shows what it showed before. Returns the seconds from taking the cover
        away to the first look at the screen with nothing of the cover left."""
        before = self.steadyShot(self.onScreen)
        info = self.windowInfo()
        cover = Cover(self.screen.display, info["x"], info["y"], info["width"], info["height"])
        coverPixel = re.compile(b"(?s)^(?:...)*?" + re.escape(bytes(COVER_PIXEL)))
        try:
            pollUntil(lambda: self.onScreen().pixel(0, 0) == COVER_PIXEL,
                      what="the cover over the window")
        finally:
            redrawn = cover.uncover()
        assert redrawn is not None, "the window was not drawn again where the cover was"
        log(f"drawn again {redrawn * 1000:.1f} ms after the cover went")

        def drawnAgain():
            shot = self.onScreen()
            return not coverPixel.match(shot.rgb) and shot
        after = pollUntil(drawnAgain, what="the window drawn again", seen=self.describeUnread)
        # The software renderer may round a colour a step apart from one frame to the next.
        worst = max(abs(a - b) for a, b in zip(after.rgb, before.rgb))
        assert worst <= 2, f"the window drawn again differs from before by {worst} in a colour"
        return redrawn

    def closeWindow(self):
        """Closes the window the way a window manager does when the player closes it."""
        sendDeleteWindow(self.screen.display, self.window())

    # the process -------------------------------------------------------------------------

    def waitExit(self, timeout=PATIENCE):
        """Waits for the game to end; returns (status, clock time of the end)."""
        with self.changed:
            deadline = time.monotonic() + timeout
            while self.exitTime is None:
                remaining = deadline - time.monotonic()
                if remaining <= 0:
                    break
                self.changed.wait(min(remaining, 0.1))
            else:
                return self.process.returncode, self.exitTime
        raise HarnessError(f"the game was still running after {timeout} s; "
                           + self.describeUnread())

    def running(self):
        return self.process.poll() is None

    def stop(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        for stream in (self.process.stdin,):
            try:
                stream.close()
            except OSError:
                pass


# --- running a scenario ---------------------------------------------------------------------

class Run:
    """What a scenario works with: its own virtual screen, the games it starts there (all
    stopped afterwards), copies of the pictures' folder, and the expected scenes."""

    def __init__(self, session, name):
        self.session, self.name = session, name
        self.args = session.args
        for old in os.listdir(self.args.shots):
            if old.startswith(name + "-") and old.endswith(".png"):
                os.remove(os.path.join(self.args.shots, old))
        self.screen = VirtualScreen()
        self.otherScreens = []
        self.games = []

    def useScreen(self, geometry=SCREEN_GEOMETRY, backingStore=True):
        """Swaps the virtual screen for a new one of this size ("1366x768x24"), with or
        without backing store."""
        self.screen.stop()
        self.screen = VirtualScreen(geometry, backingStore)

    def otherScreen(self):
        """Another virtual screen, as another machine's would be."""
        self.otherScreens.append(VirtualScreen())
        return self.otherScreens[-1]

    def start(self, folder=None, arguments=(), environment=None, screen=None, prefix=()):
        game = Game(screen or self.screen, self.args.game, folder or self.args.pictures,
                    self.args.shots, self.name, arguments, environment, prefix)
        self.games.append(game)
        return game

    def startBout(self, first, second, boutType="1", touchLimit=5, folder=None):
        """Starts the game and holds the set-up dialogue; see holdDialogue."""
        return self.holdDialogue(self.start(folder), first, second, boutType, touchLimit)

    @staticmethod
    def holdDialogue(game, first, second, boutType="1", touchLimit=5):
        """Answers the set-up dialogue as players would, each answer only once its prompt is
        on the console; returns the game and the console's Bout once the first scoreboard
        is out."""
        for prompt, answer in zip(consoleText.dialogueSteps(first, second),
                                  (first, second, boutType, "go")):
            game.expect(prompt)
            game.answer(answer)
        bout = consoleText.Bout(first, second, touchLimit)
        game.expect(bout.scoreboard())
        return game, bout

    def pictureFolderCopy(self):
        return self.session.pictureFolderCopy()

    def model(self, folder=None):
        return self.session.model(folder or self.args.pictures)

    def finish(self):
        for game in self.games:
            game.stop()
        for screen in [self.screen, *self.otherScreens]:
            screen.stop()


class Session:
    """Command line of a window test (--game, --pictures, --shots, and optionally the names of
    the scenarios to run) and a runner that gives each scenario a Run, cleans up after it and
    reports every scenario, not just the first that fails."""

    def __init__(self, argv=None):
        import argparse
        parser = argparse.ArgumentParser()
        parser.add_argument("--game", required=True, help="the lamevo executable")
        parser.add_argument("--pictures", required=True, help="folder of the six pose pictures")
        parser.add_argument("--shots", required=True, help="where screenshots are saved")
        parser.add_argument("scenarios", nargs="*", help="run only these scenarios")
        self.args = parser.parse_args(argv)
        os.makedirs(self.args.shots, exist_ok=True)
        self.temporaryFolders = []
        self.models = {}

    def model(self, folder):
        if folder not in self.models:
            from sceneModel import SceneModel
            self.models[folder] = SceneModel(self.args.game, folder)
        return self.models[folder]

    def pictureFolderCopy(self):
        """A fresh copy of the pose pictures' folder that a scenario may change."""
        folder = tempfile.mkdtemp(prefix="lamevo-pictures-")
        self.temporaryFolders.append(folder)
        for name in os.listdir(self.args.pictures):
            if name.endswith(".bmp"):
                shutil.copy(os.path.join(self.args.pictures, name), folder)
        return folder

    def run(self, scenarios):
        print(f"screenshots go to {os.path.abspath(self.args.shots)}", flush=True)
        chosen = [s for s in scenarios if not self.args.scenarios
                  or s.__name__ in self.args.scenarios]
        failures = 0
        for scenario in chosen:
            started = time.monotonic()
            log(f"--- {scenario.__name__}")
            run = Run(self, scenario.__name__)
            try:
                scenario(run)
                log(f"PASS {scenario.__name__} ({time.monotonic() - started:.1f} s)")
            except Exception as fault:
                failures += 1
                traceback.print_exc()
                for game in run.games:
                    if game.windowId is not None and game.running():
                        try:
                            log("screenshot at failure: "
                                + game.saveShot(game.screenshot(), "at-failure"))
                        except Exception:
                            pass
                    if game.errors:
                        log("game's standard error: " + game.errors.decode(errors="replace"))
                log(f"FAIL {scenario.__name__} ({time.monotonic() - started:.1f} s): "
                    f"{str(fault).splitlines()[0] if str(fault) else type(fault).__name__}")
            finally:
                run.finish()
        for folder in self.temporaryFolders:
            shutil.rmtree(folder, ignore_errors=True)
        print(f"screenshots are in {os.path.abspath(self.args.shots)}", flush=True)
        sys.exit(1 if failures else 0)
