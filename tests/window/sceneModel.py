"""What the game's window must show, pixel by pixel, for a given moment of a bout.

A Scene names what the bout shows (where the sprites stand and in which pose, the cords,
the lamps, the scores, the names and the banner). expectedFrame() draws it the way the game's
OpenGL drawing must come out in the 1600 x 320 window: every quad of the scene in its exact
colour, covering the pixels whose centres lie inside it; the pose pictures read from the
game's own folder and filtered linearly onto their 50 x 50 unit squares with white
transparent; the text in the toolkit's Times Roman 24 bitmap font, read from the very
library the game uses. compare() then checks a screenshot against it: quads and text
exactly, the filtered sprites within a few colour levels, and pixels whose centre lies on a
slanted edge are left out.
"""

import ctypes
import math
import os
import re
import subprocess
import time
from dataclasses import dataclass, field, replace

from lamevoHarness import HarnessError, startOfNextSecond, writePng

WIDTH, HEIGHT = 1600, 320
SCENE_WIDTH, SCENE_HEIGHT = 500, 100
PIXELS_PER_UNIT = WIDTH / SCENE_WIDTH  # 3.2 in both directions
UNITS_PER_CELL = 10

# How the drawing's colour components come out in the window's 8-bit channels, read from
# screenshots of the real game on this machine's software OpenGL. 0.5 and 0.7 lie halfway
# between two levels (127.5 and 178.5) and come out as either, depending on where on the
# window and in which frame a quad is drawn; those colours are allowed one level either way.
CHANNEL = {0.0: 0, 0.5: 128, 0.7: 178, 0.8: 204, 1.0: 255}
HALFWAY = {0.5, 0.7}

# How strictly a pixel is checked: exactly, one level either way, within the sprites'
# tolerance, or not at all.
EXACT, NEAR, CLOSE, ANY = 0, 1, 2, 3
SPRITE_TOLERANCE = 2  # levels a linearly filtered texel may differ by (1 seen on llvmpipe)
TOLERANCE = {EXACT: 0, NEAR: 1, CLOSE: SPRITE_TOLERANCE}
EDGE_MARGIN = 0.02  # pixels: a centre this near a slanted edge may fall either way
HALFWAY_COLOURS = set()


def colour(r, g, b):
    rgb = bytes((CHANNEL[r], CHANNEL[g], CHANNEL[b]))
    if HALFWAY & {r, g, b}:
        HALFWAY_COLOURS.add(rgb)
    return rgb


BLACK, WHITE, BLUE = colour(0, 0, 0), colour(1, 1, 1), colour(0, 0, 1)
RED, GREEN = colour(1, 0, 0), colour(0, 1, 0)
BACKDROP = colour(0.8, 0.8, 0.8)

# The scene's fixed parts, back to front, as (name, colour, vertices in scene units).
STRIP = [
    ("strip band", colour(1.0, 0.7, 0.0), [(50, 9), (50, 12), (450, 12), (450, 9)]),
    ("strip mark 211", BLUE, [(211, 9), (211, 12), (212, 12), (212, 9)]),
    ("strip mark 288", BLUE, [(288, 9), (288, 12), (289, 12), (289, 9)]),
    ("strip mark 101", BLUE, [(101, 9), (101, 12), (102, 12), (102, 9)]),
    ("strip mark 398", BLUE, [(398, 9), (398, 12), (399, 12), (399, 9)]),
    ("left cross, first band", BLUE, [(50, 12), (102, 10), (102, 9), (50, 11)]),
    ("left cross, second band", BLUE, [(50, 10), (102, 12), (102, 11), (50, 9)]),
    ("right cross, first band", BLUE, [(398, 10), (450, 12), (450, 11), (398, 9)]),
    ("right cross, second band", BLUE, [(450, 9), (398, 11), (398, 12), (450, 10)]),
]
BOX_BEFORE_LAMPS = [
    ("scoring box foot", BLACK, [(240, 20), (240, 24), (260, 24), (260, 20)]),
    ("scoring box post", BLACK, [(248, 24), (248, 50), (252, 50), (252, 24)]),
    ("scoring box", BLACK, [(210, 50), (210, 80), (290, 80), (290, 50)]),
]
RED_LAMP = [(212, 52), (212, 64), (224, 64), (224, 52)]
GREEN_LAMP = [(276, 52), (276, 64), (288, 64), (288, 52)]
GREY_LAMP_LEFT = ("grey lamp, left", colour(0.5, 0.5, 0.5),
                  [(226, 52), (226, 64), (238, 64), (238, 52)])
GREY_LAMP_RIGHT = ("grey lamp, right", colour(0.5, 0.5, 0.5),
                   [(262, 52), (262, 64), (274, 64), (274, 52)])
SCORE_WINDOWS = [
    ("left score window", WHITE, [(212, 66), (212, 78), (238, 78), (238, 66)]),
    ("right score window", WHITE, [(262, 66), (262, 78), (288, 78), (288, 66)]),
]
NAME_BOARDS = [
    ("left board foot", BLACK, [(100, 16), (100, 20), (120, 20), (120, 16)]),
    ("left board post", BLACK, [(108, 20), (108, 40), (112, 40), (112, 20)]),
    ("left board frame", BLACK, [(80, 40), (80, 55), (140, 55), (140, 40)]),
    ("left board face", WHITE, [(82, 42), (82, 53), (138, 53), (138, 42)]),
    ("right board foot", BLACK, [(380, 16), (380, 20), (400, 20), (400, 16)]),
    ("right board post", BLACK, [(388, 20), (388, 40), (392, 40), (392, 20)]),
    ("right board frame", BLACK, [(360, 40), (360, 55), (420, 55), (420, 40)]),
    ("right board face", WHITE, [(362, 42), (362, 53), (418, 53), (418, 42)]),
]
CORD_BLOCKS = [
    ("left cord block", BLACK, [(10, 9), (10, 12), (20, 12), (20, 9)]),
    ("left cord cap", BLACK, [(11, 12), (11, 13), (19, 13), (19, 12)]),
    ("right cord block", BLACK, [(480, 9), (480, 12), (490, 12), (490, 9)]),
    ("right cord cap", BLACK, [(481, 12), (481, 13), (489, 13), (489, 12)]),
]
# Where a cord meets its fencer: (distance in from the sprite's outer edge, height).
CORD_END = {"parry": (21, 24), "lunge": (17, 21), "enGarde": (12, 24)}

POSE_FILE_WORD = {"enGarde": "Engarde", "lunge": "Lunge", "parry": "Parry"}
SPRITE_SIZE = 50
SPRITE_BOTTOM = 10
LEFT_QUAD_X, RIGHT_QUAD_X = 180, 270  # left edges of the sprites on the en-garde lines


@dataclass(frozen=True)
class Scene:
    """One moment of the bout as the window shows it."""
    leftName: str
    rightName: str
    leftScore: int = 0
    rightScore: int = 0
    leftX: float = LEFT_QUAD_X  # left edge of each sprite's square, in scene units
    rightX: float = RIGHT_QUAD_X
    leftPose: str = "enGarde"  # enGarde, lunge or parry: picture and cord together
    rightPose: str = "enGarde"
    redLamp: bool = False
    greenLamp: bool = False
    banner: tuple = ()  # ("touch", side), ("offStrip", side), ("crossing",), ("fence",),
    #                     ("win", side) or () for none
    unknownSprites: frozenset = field(default_factory=frozenset)  # sides drawn as anything

    def but(self, **changes):
        return replace(self, **changes)

    def cells(self, left, right):
        """The scene with both sprites moved to stand for fencers on these cells."""
        return replace(self, leftX=LEFT_QUAD_X + UNITS_PER_CELL * (left - 15),
                       rightX=RIGHT_QUAD_X + UNITS_PER_CELL * (right - 25))

    def describe(self):
        parts = [f"{self.leftName} {self.leftScore:02d}-{self.rightScore:02d} "
                 f"{self.rightName}", f"sprites at x={self.leftX:g}/{self.rightX:g}",
                 f"poses {self.leftPose}/{self.rightPose}"]
        if self.redLamp:
            parts.append("red lamp lit")
        if self.greenLamp:
            parts.append("green lamp lit")
        if self.banner:
            parts.append("banner " + " ".join(self.banner))
        return ", ".join(parts)


# --- the pose pictures and the font ---------------------------------------------------------

def readPosePicture(path):
    """A 24-bit BMP as texels: (width, height, list of (r, g, b, a)), bottom row first, with
    pure white transparent as the game makes it."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:2] != b"BM":
        raise ValueError(f"{path} is not a BMP file")
    offset = int.from_bytes(data[10:14], "little")
    headerSize = int.from_bytes(data[14:18], "little")
    if headerSize < 40:
        raise ValueError(f"{path}: the window test reads 40-byte headers only")
    width = int.from_bytes(data[18:22], "little", signed=True)
    height = int.from_bytes(data[22:26], "little", signed=True)
    bits = int.from_bytes(data[28:30], "little")
    compression = int.from_bytes(data[30:34], "little")
    if bits != 24 or compression != 0:
        raise ValueError(f"{path}: {bits} bits a pixel, compression {compression}")
    stride = (3 * width + 3) // 4 * 4
    rows = [data[offset + r * stride: offset + r * stride + 3 * width] for r in range(abs(height))]
    if height < 0:
        rows.reverse()
    texels = []
    for row in rows:
        for x in range(width):
            b, g, r = row[3 * x:3 * x + 3]
            texels.append((255, 255, 255, 0) if (r, g, b) == (255, 255, 255) else (r, g, b, 255))
    return width, abs(height), texels


class _Font(ctypes.Structure):
    _fields_ = [("name", ctypes.c_char_p), ("quantity", ctypes.c_int),
                ("height", ctypes.c_int),
                ("characters", ctypes.POINTER(ctypes.POINTER(ctypes.c_ubyte))),
                ("xorig", ctypes.c_float), ("yorig", ctypes.c_float)]


class BitmapFont:
    """Times Roman 24 as the toolkit draws it: for each character its advance and its rows of
    bits, bottom row first, read from the toolkit library that the game is linked with."""

    def __init__(self, gameExecutable):
        libraries = subprocess.run(["ldd", gameExecutable], capture_output=True,
                                   text=True).stdout
        match = re.search(r"(libglut\S*) => (\S+)", libraries)
        if not match:
            raise RuntimeError(f"{gameExecutable} is not linked with the toolkit (libglut)")
        font = _Font.in_dll(ctypes.CDLL(match.group(2)), "fgFontTimesRoman24")
        if b"times-medium-r-normal--24" not in font.name:
            raise RuntimeError(f"unexpected font {font.name!r}")
        self.height, self.xorig, self.yorig = font.height, font.xorig, font.yorig
        self.glyphs = {}
        for code in [*range(32, 127), *range(160, 256)]:  # ASCII and the Latin-1 letters
            face = font.characters[code]
            width = face[0]
            rowBytes = (width + 7) // 8
            bits = bytes(face[1:1 + rowBytes * self.height])
            self.glyphs[chr(code)] = (width, [
                [x for x in range(width) if bits[r * rowBytes + x // 8] & (0x80 >> (x % 8))]
                for r in range(self.height)])

    def width(self, text):
        return sum(self.glyphs[ch][0] for ch in text)


# --- drawing the expected frame -------------------------------------------------------------

class Frame:
    """The expected window: a colour, a strictness (EXACT, NEAR, CLOSE, ANY) and the name of what
    was drawn last for every pixel. Rows are stored top row first, as screenshots are."""

    def __init__(self):
        self.rgb = bytearray(BACKDROP * (WIDTH * HEIGHT))
        self.strictness = bytearray(WIDTH * HEIGHT)
        self.names = ["backdrop"]
        self.owner = bytearray(WIDTH * HEIGHT)  # index into names

    def _name(self, name):
        if name not in self.names:
            self.names.append(name)
        return self.names.index(name)

    def put(self, x, windowY, rgb, strictness, owner):
        if 0 <= x < WIDTH and 0 <= windowY < HEIGHT:
            i = (HEIGHT - 1 - windowY) * WIDTH + x
            self.rgb[3 * i:3 * i + 3] = rgb
            self.strictness[i] = strictness
            self.owner[i] = owner

    def fillQuad(self, name, rgb, vertices):
        """Fills the pixels whose centres lie inside the convex quad (scene units)."""
        owner = self._name(name)
        strictness = NEAR if rgb in HALFWAY_COLOURS else EXACT
        points = [(x * PIXELS_PER_UNIT, y * PIXELS_PER_UNIT) for x, y in vertices]
        xs = sorted({p[0] for p in points})
        ys = sorted({p[1] for p in points})
        if len(xs) == 2 and len(ys) == 2:
            # Upright rectangle: its edges lie on multiples of 0.2 pixel, never on a centre.
            first, last = math.ceil(xs[0] - 0.5), math.ceil(xs[1] - 0.5)
            for windowY in range(math.ceil(ys[0] - 0.5), math.ceil(ys[1] - 0.5)):
                i = (HEIGHT - 1 - windowY) * WIDTH
                self.rgb[3 * (i + first):3 * (i + last)] = rgb * (last - first)
                self.strictness[i + first:i + last] = bytes([strictness]) * (last - first)
                self.owner[i + first:i + last] = bytes([owner]) * (last - first)
            return
        # twice the signed area: positive when the corners run anticlockwise
        area = sum(points[k - 1][0] * points[k][1] - points[k][0] * points[k - 1][1]
                   for k in range(len(points)))
        sign = 1 if area > 0 else -1
        edges = []
        for k in range(len(points)):
            (ax, ay), (bx, by) = points[k - 1], points[k]
            length = math.hypot(bx - ax, by - ay)
            edges.append((ax, ay, sign * (bx - ax) / length, sign * (by - ay) / length))
        for windowY in range(math.floor(min(ys)), math.ceil(max(ys)) + 1):
            cy = windowY + 0.5
            for x in range(math.floor(min(xs)), math.ceil(max(xs)) + 1):
                cx = x + 0.5
                # how far the centre lies inside the nearest edge (negative: outside)
                nearest = min(dx * (cy - ay) - dy * (cx - ax) for ax, ay, dx, dy in edges)
                if nearest > EDGE_MARGIN:
                    self.put(x, windowY, rgb, strictness, owner)
                elif nearest > -EDGE_MARGIN:
                    self.put(x, windowY, rgb, ANY, owner)

    def drawSprite(self, name, picture, left, bottom):
        """A pose picture filtered linearly (repeating at its edges, as a texture does by
        default) onto a 50 x 50 unit square; texels that are transparent are not drawn."""
        owner = self._name(name)
        width, height, texels = picture
        x0, y0 = left * PIXELS_PER_UNIT, bottom * PIXELS_PER_UNIT
        size = SPRITE_SIZE * PIXELS_PER_UNIT

        def taps(first, count, texelCount, origin):
            result = []
            for p in range(first, first + count):
                s = (p + 0.5 - origin) / size * texelCount - 0.5
                i = math.floor(s)
                f = s - i
                result.append((p, i % texelCount, (i + 1) % texelCount, f))
            return result

        columns = taps(math.ceil(x0 - 0.5), round(size), width, x0)
        rows = taps(math.ceil(y0 - 0.5), round(size), height, y0)
        for windowY, t0, t1, fy in rows:
            for x, s0, s1, fx in columns:
                r = g = b = a = 0.0
                for t, wy in ((t0, 1 - fy), (t1, fy)):
                    for s, wx in ((s0, 1 - fx), (s1, fx)):
                        w = wx * wy
                        tr, tg, tb, ta = texels[t * width + s]
                        r += w * tr
                        g += w * tg
                        b += w * tb
                        a += w * ta
                if a == 0:
                    continue
                if a < 4:  # a faint fringe that rounding may let through or not
                    self.put(x, windowY, b"\0\0\0", ANY, owner)
                else:
                    self.put(x, windowY, bytes((round(r), round(g), round(b))), CLOSE, owner)

    def markAnything(self, name, left, bottom, size):
        """Allows anything on a square (scene units); the colours beneath stay recorded."""
        owner = self._name(name)
        x0, y0 = left * PIXELS_PER_UNIT, bottom * PIXELS_PER_UNIT
        for windowY in range(math.ceil(y0 - 0.5), math.ceil(y0 + size * PIXELS_PER_UNIT - 0.5)):
            for x in range(math.ceil(x0 - 0.5), math.ceil(x0 + size * PIXELS_PER_UNIT - 0.5)):
                i = (HEIGHT - 1 - windowY) * WIDTH + x
                self.strictness[i] = ANY
                self.owner[i] = owner

    def drawText(self, font, text, rgb, position, name):
        """Bitmap characters from the raster position (scene units), each moving it on by its
        own width; a pixel is set where the glyph has a bit."""
        owner = self._name(name)
        rasterX = position[0] * PIXELS_PER_UNIT
        rasterY = position[1] * PIXELS_PER_UNIT
        for ch in text:
            width, rows = font.glyphs[ch]
            left = math.floor(rasterX + 1e-4 - font.xorig)
            bottom = math.floor(rasterY + 1e-4 - font.yorig)
            for r, bits in enumerate(rows):
                for x in bits:
                    self.put(left + x, bottom + r, rgb, EXACT, owner)
            rasterX += width


class SceneModel:
    """Draws expected frames for one game: its pose pictures and its font."""

    def __init__(self, gameExecutable, pictureFolder):
        self.font = BitmapFont(gameExecutable)
        self.folder = pictureFolder
        self.pictures = {}
        self.cache = {}

    def picture(self, side, pose):
        name = side + POSE_FILE_WORD[pose] + ".bmp"
        if name not in self.pictures:
            self.pictures[name] = readPosePicture(os.path.join(self.folder, name))
        return self.pictures[name]

    def frame(self, scene):
        if scene in self.cache:
            return self.cache[scene]
        frame = Frame()
        for name, rgb, vertices in STRIP + BOX_BEFORE_LAMPS:
            frame.fillQuad(name, rgb, vertices)
        frame.fillQuad("red lamp " + ("lit" if scene.redLamp else "dim"),
                       RED if scene.redLamp else colour(0.5, 0, 0), RED_LAMP)
        frame.fillQuad(*GREY_LAMP_LEFT)
        frame.fillQuad("green lamp " + ("lit" if scene.greenLamp else "dim"),
                       GREEN if scene.greenLamp else colour(0, 0.5, 0), GREEN_LAMP)
        frame.fillQuad(*GREY_LAMP_RIGHT)
        for quad in SCORE_WINDOWS + NAME_BOARDS:
            frame.fillQuad(*quad)
        for side, x, pose in (("left", scene.leftX, scene.leftPose),
                              ("right", scene.rightX, scene.rightPose)):
            if side in scene.unknownSprites:
                frame.markAnything(f"{side} sprite", x, SPRITE_BOTTOM, SPRITE_SIZE)
            else:
                frame.drawSprite(f"{side} sprite ({pose})", self.picture(side, pose), x,
                                 SPRITE_BOTTOM)
        leftIn, leftY = CORD_END[scene.leftPose]
        rightIn, rightY = CORD_END[scene.rightPose]
        xL = scene.leftX + leftIn
        xR = scene.rightX + SPRITE_SIZE - rightIn
        cords = [CORD_BLOCKS[0], CORD_BLOCKS[1],
                 ("left cord", BLACK, [(20, 10), (20, 11), (xL, leftY + 1), (xL, leftY)]),
                 CORD_BLOCKS[2], CORD_BLOCKS[3],
                 ("right cord", BLACK, [(xR, rightY), (xR, rightY + 1), (480, 11), (480, 10)])]
        for quad in cords:
            frame.fillQuad(*quad)
        for text, rgb, position in self.texts(scene):
            frame.drawText(self.font, text, rgb, position, f"text {text!r}")
        self.cache[scene] = frame
        return frame

    @staticmethod
    def texts(scene):
        """Every text of the window, in the order it is drawn: the banner, then the scores
        and the names."""
        texts = []
        kind = scene.banner[0] if scene.banner else None
        side = scene.banner[1] if len(scene.banner) > 1 else None
        if kind in ("touch", "offStrip", "crossing"):
            texts.append(("--**HALT!**--", BLACK, (211, 89)))
            if kind == "crossing":
                texts.append(("Center is here", BLACK, (211, 81)))
            else:
                scoresLeft = (kind, side) in (("touch", "left"), ("offStrip", "right"))
                texts.append(("Touch Left!", RED, (81, 57)) if scoresLeft
                             else ("Touch Right!", GREEN, (361, 57)))
                if kind == "offStrip":
                    texts.append(("Off The Strip!", BLACK, (211, 81)))
                else:
                    name = scene.leftName if side == "left" else scene.rightName
                    texts.append((name + " Scores!", BLACK, (211, 81)))
        elif kind == "win":
            name = scene.leftName if side == "left" else scene.rightName
            texts.append(("Congratulations, " + name + "!  You've Won The Bout!", BLACK,
                          (150, 89)))
            texts.append(("Goodluck in Your Future Bouts and Goodbye!", BLACK, (150, 81)))
        elif kind == "fence":
            texts.append(("--**FENCE!**--", BLACK, (211, 89)))
        texts.append((f"{scene.rightScore:02d}", BLUE, (269, 70)))
        texts.append((f"{scene.leftScore:02d}", BLUE, (219, 70)))
        texts.append((scene.leftName, BLUE, (83, 45)))
        texts.append((scene.rightName, BLUE, (363, 45)))
        return texts


# --- comparing a screenshot with the expected frame -----------------------------------------

class Difference:
    """Where a screenshot differs from the expected frame, by what was drawn there."""

    def __init__(self):
        self.byOwner = {}
        self.total = 0

    def add(self, owner, x, row, expected, got):
        self.total += 1
        entry = self.byOwner.setdefault(owner, [0, []])
        entry[0] += 1
        if len(entry[1]) < 3:
            entry[1].append((x, row, expected, got))

    def __bool__(self):
        return self.total > 0

    def describe(self):
        lines = [f"{self.total} pixels differ:"]
        for owner, (count, samples) in sorted(self.byOwner.items(), key=lambda e: -e[1][0]):
            shown = "; ".join(f"({x},{row}) expected {tuple(e)} got {tuple(g)}"
                              for x, row, e, g in samples)
            lines.append(f"  {owner}: {count} pixels, e.g. {shown}")
        return "\n".join(lines)


def allowed(strictness, got, wanted):
    if strictness == ANY:
        return True
    tolerance = TOLERANCE[strictness]
    return all(abs(a - b) <= tolerance for a, b in zip(got, wanted))


def compare(frame, shot, limit=None):
    """The pixels of shot that the expected frame does not allow."""
    if (shot.width, shot.height) != (WIDTH, HEIGHT):
        difference = Difference()
        difference.add(f"window size {shot.width}x{shot.height}", 0, 0, b"", b"")
        return difference
    difference = Difference()
    stride = 3 * WIDTH
    chunk = 32
    for row in range(HEIGHT):
        got = shot.rgb[row * stride:(row + 1) * stride]
        want = frame.rgb[row * stride:(row + 1) * stride]
        if got == want:
            continue
        for start in range(0, WIDTH, chunk):
            if got[3 * start:3 * (start + chunk)] == want[3 * start:3 * (start + chunk)]:
                continue
            for x in range(start, min(start + chunk, WIDTH)):
                g = got[3 * x:3 * x + 3]
                w = want[3 * x:3 * x + 3]
                if g == w:
                    continue
                i = row * WIDTH + x
                if allowed(frame.strictness[i], g, w):
                    continue
                difference.add(frame.names[frame.owner[i]], x, row, w, g)
                if limit and difference.total >= limit:
                    return difference
    return difference


def differencePicture(frame, shot, difference=None):
    """The screenshot with every pixel that is not allowed painted magenta, for a person."""
    rgb = bytearray(shot.rgb)
    stride = 3 * WIDTH
    for row in range(HEIGHT):
        for x in range(WIDTH):
            i = row * WIDTH + x
            g = shot.rgb[3 * i:3 * i + 3]
            w = frame.rgb[3 * i:3 * i + 3]
            if g == w or allowed(frame.strictness[i], g, w):
                continue
            rgb[row * stride + 3 * x:row * stride + 3 * x + 3] = b"\xff\x00\xff"
    return rgb


# --- probing the live window ----------------------------------------------------------------

class MissedMoment(AssertionError):
    """A short-lived picture (a parry, the fence banner) was gone before it was seen."""


def expectScene(game, model, scenes, name, timeout=6.0, until=None):
    """Takes screenshots of the game's window until one shows one of scenes (a Scene or a
    list of them) and saves it under name; returns the scene seen. until is a clock time
    after which the picture cannot show any more: passing it raises MissedMoment."""
    scenes = [scenes] if isinstance(scenes, Scene) else list(scenes)
    frames = [model.frame(scene) for scene in scenes]
    deadline = time.monotonic() + timeout
    while True:
        tooLate = until is not None and time.time() > until
        shot = game.screenshot()
        for scene, frame in zip(scenes, frames):
            if not compare(frame, shot, limit=1):
                game.saveShot(shot, name)
                return scene
        if tooLate or time.monotonic() > deadline:
            break
    difference = compare(frames[0], shot)
    path = game.saveShot(shot, name + "-NOT-AS-EXPECTED")
    marked = path[:-4] + "-differences.png"
    writePng(marked, WIDTH, HEIGHT, differencePicture(frames[0], shot))
    message = (f"the window did not show {name}: {scenes[0].describe()}"
               + (f" (or {len(scenes) - 1} other candidates)" if len(scenes) > 1 else "")
               + f"\n{difference.describe()}\nscreenshot: {path}\ndifferences in magenta: "
               f"{marked}")
    raise (MissedMoment if tooLate else HarnessError)(message)


def shortLived(game, model, scene, name, action, attempts=3):
    """Shows a picture that lasts only until the clock's second changes: the action (keys and
    the console text they print) is run just after a whole second, and the picture must be
    seen within that second. A machine too busy to catch it gets another try."""
    model.frame(scene)  # drawn ahead, the moment is short
    for attempt in range(attempts):
        second = startOfNextSecond()
        action()
        try:
            return expectScene(game, model, scene, name, until=second + 0.95)
        except MissedMoment:
            if attempt == attempts - 1:
                raise


def playGoesOn(game, model, scene, name):
    """After a halt: the fence banner, then the plain scene; keys work again from the fence
    banner on. A busy machine may miss the banner, which lasts less than a second; returns
    whether it was seen."""
    fence = scene.but(banner=("fence",))
    seen = expectScene(game, model, [fence, scene], name + "-fence-banner-or-after")
    expectScene(game, model, scene, name + "-play-on")
    return seen is fence
