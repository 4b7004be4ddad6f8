#!/usr/bin/env python3
"""Two games on two virtual screens fence one bout over the loopback: the host types the left
fencer's keys in its window, the joiner the right fencer's in its own. Both consoles must
print, from the key list on, exactly what one keyboard prints, and both windows draw the same
halt. Once straight, with hostile strangers at the door; through a relay that delays every
datagram 40 ms and loses one in ten each way, and through one that loses 30% each way; then
both games end after the win, or the one that is left says that the other went away. Hostile
hosts cannot reach the joiner's terminal, nor keep it waiting."""

import ctypes
import ctypes.util
import heapq
import os
import random
import re
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time

import consoleText
from lamevoHarness import Session, log, pollUntil, startOfNextSecond


def freePort():
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class Relay:
    """A bad link: every datagram between the joiner and the host is held `delay` seconds,
    and lost with the chance `loss`, each way; it stops by itself after `lifetime` seconds."""

    def __init__(self, hostPort, delay=0.040, loss=0.1, lifetime=120):
        self.outside = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.outside.bind(("127.0.0.1", 0))
        self.inside = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.inside.connect(("127.0.0.1", hostPort))
        self.port, self.delay, self.loss = self.outside.getsockname()[1], delay, loss
        self.joiner, self.queue, self.chance = None, [], random.Random(22)
        self.carried = {True: 0, False: 0}  # bytes to the host, to the joiner
        self.stopAt = time.monotonic() + lifetime
        threading.Thread(target=self._run, daemon=True).start()

    def _run(self):
        import select
        while time.monotonic() < self.stopAt:
            wait = max(0, min([0.05] + [due - time.monotonic() for due, *_ in self.queue[:1]]))
            for ready in select.select([self.outside, self.inside], [], [], wait)[0]:
                try:
                    data, sender = ready.recvfrom(65536)
                except OSError:  # the host has gone
                    continue
                if ready is self.outside:
                    self.joiner = sender
                if self.chance.random() >= self.loss:
                    self.carried[ready is self.outside] += len(data)
                    heapq.heappush(self.queue, (time.monotonic() + self.delay, ready is self.outside,
                                                data))
            while self.queue and self.queue[0][0] <= time.monotonic():
                _, toHost, data = heapq.heappop(self.queue)
                if toHost:
                    self.inside.send(data)
                elif self.joiner:
                    self.outside.sendto(data, self.joiner)


def loopbackAddress(number):
    """Addresses of the loopback other than 127.0.0.1, for strangers from other machines."""
    return f"127.0.{number // 250}.{number % 250 + 2}"


class EnetPeer:
    """A small ENet program of the test's own, by way of the ENet library the game uses: a
    stranger bound to an address of the loopback that connects and says what `answer` tells
    it, or a host that answers a joiner so. answer(send, message) gets each message (None on
    connecting) and may send bytes back. ENet runs on a thread of its own for `lifetime` s."""

    library = None

    class Address(ctypes.Structure):
        _fields_ = [("host", ctypes.c_uint32), ("port", ctypes.c_uint16)]

    class Packet(ctypes.Structure):
        _fields_ = [("referenceCount", ctypes.c_size_t), ("flags", ctypes.c_uint32),
                    ("data", ctypes.POINTER(ctypes.c_uint8)), ("dataLength", ctypes.c_size_t)]

    class Event(ctypes.Structure):
        _fields_ = [("type", ctypes.c_int), ("peer", ctypes.c_void_p),
                    ("channelID", ctypes.c_uint8), ("data", ctypes.c_uint32),
                    ("packet", ctypes.c_void_p)]

    def __init__(self, answer, address="127.0.0.1", port=0, connectTo=None, lifetime=60):
        enet = EnetPeer.enet()
        bound = EnetPeer.Address(int.from_bytes(socket.inet_aton(address), sys.byteorder),
                                 port)
        self.host = enet.enet_host_create(ctypes.byref(bound), 4, 1, 0, 0)
        assert self.host, f"ENet could not listen on {address}:{port}"
        enet.enet_host_compress_with_range_coder(self.host)
        self.answer, self.port, self.received = answer, port, []
        self.refusal = None  # the data of the other side's disconnect, once it came
        if connectTo is not None:
            to = EnetPeer.Address(int.from_bytes(socket.inet_aton("127.0.0.1"), sys.byteorder),
                                  connectTo)
            assert enet.enet_host_connect(self.host, ctypes.byref(to), 1, 0)
        self.stopAt = time.monotonic() + lifetime
        self.thread = threading.Thread(target=self._run, daemon=True)
        self.thread.start()

    @staticmethod
    def enet():
        if EnetPeer.library is None:
            enet = ctypes.CDLL(ctypes.util.find_library("enet") or "libenet.so.7")
            enet.enet_host_create.restype = ctypes.c_void_p
            enet.enet_host_create.argtypes = [ctypes.c_void_p, ctypes.c_size_t, ctypes.c_size_t,
                                              ctypes.c_uint32, ctypes.c_uint32]
            enet.enet_host_connect.restype = ctypes.c_void_p
            enet.enet_host_connect.argtypes = [ctypes.c_void_p, ctypes.c_void_p,
                                               ctypes.c_size_t, ctypes.c_uint32]
            enet.enet_host_service.argtypes = [ctypes.c_void_p, ctypes.c_void_p,
                                               ctypes.c_uint32]
            enet.enet_host_compress_with_range_coder.argtypes = [ctypes.c_void_p]
            enet.enet_packet_create.restype = ctypes.c_void_p
            enet.enet_packet_create.argtypes = [ctypes.c_char_p, ctypes.c_size_t,
                                                ctypes.c_uint32]
            enet.enet_packet_destroy.argtypes = [ctypes.c_void_p]
            enet.enet_peer_send.argtypes = [ctypes.c_void_p, ctypes.c_uint8, ctypes.c_void_p]
            enet.enet_host_flush.argtypes = [ctypes.c_void_p]
            enet.enet_host_destroy.argtypes = [ctypes.c_void_p]
            assert enet.enet_initialize() == 0
            EnetPeer.library = enet
        return EnetPeer.library

    def _run(self):
        enet, event = EnetPeer.enet(), EnetPeer.Event()
        while time.monotonic() < self.stopAt:
            if enet.enet_host_service(self.host, ctypes.byref(event), 20) <= 0:
                continue
            peer = event.peer

            def send(data, peer=peer):
                packet = enet.enet_packet_create(data, len(data), 1)  # reliable
                enet.enet_peer_send(peer, 0, packet)
                enet.enet_host_flush(self.host)
            if event.type == 1:  # connect
                self.answer(send, None)
            elif event.type == 2:  # disconnect
                self.refusal = event.data
            elif event.type == 3:  # receive
                packet = ctypes.cast(event.packet, ctypes.POINTER(EnetPeer.Packet)).contents
                message = ctypes.string_at(packet.data, packet.dataLength)
                enet.enet_packet_destroy(event.packet)
                self.received.append(message)
                self.answer(send, message)
        enet.enet_host_destroy(self.host)


HELLO = b"\x01The Lamevo" + struct.pack("<H", 2)


def silent(send, message):
    pass


def helloOnly(send, message):
    """A stranger's hello as soon as it is connected, and not a word more."""
    if message is None:
        send(HELLO)


def helloBack(send, message):
    """A host's hello to the joiner's, and not a word more."""
    if message == HELLO:
        send(HELLO)


def forgedConnect(address, port):
    """One ENet CONNECT datagram from address, whose sender never answers the host again."""
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as forger:
        forger.bind((address, 0))
        connect = struct.pack(">HHBBHHBB10I", 0x8FFF, 0, 0x82, 0xFF, 1, 0, 0, 0, 1400, 32768,
                              1, 0, 0, 5000, 2, 2, random.getrandbits(32), 0)
        forger.sendto(connect, ("127.0.0.1", port))


def strangersAtTheDoor(port):
    """Four connections that keep quiet (two with ENet's handshake and nothing more, two with
    the hello and nothing more) and two half-open ones that never finish the handshake, from
    addresses of their own; then a burst of junk and of CONNECTs from one address."""
    strangers = [EnetPeer(answer, loopbackAddress(number), connectTo=port)
                 for number, answer in enumerate((silent, silent, helloOnly, helloOnly))]
    for number in (4, 5):
        forgedConnect(loopbackAddress(number), port)
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as junk:
        junk.bind((loopbackAddress(6), 0))
        for _ in range(200):
            junk.sendto(random.randbytes(40), ("127.0.0.1", port))
    for _ in range(5):
        forgedConnect(loopbackAddress(7), port)
    return strangers


def startHost(run, port, arguments=()):
    """Ann's game hosting on port, once it has said how to join it."""
    # On the loopback there is no router to ask, and none outside it may be asked.
    host = run.start(arguments=[f"--host={port}", "--no-router", *arguments])
    host.expect(consoleText.dialogueSteps("Ann", "Bo")[0])
    host.answer("Ann")
    host.expect(f"\n\tWaiting for an opponent on UDP port {port}. They join with\n"
                f"\t\tlamevo --join=ADDRESS:{port}\n"
                "\twhere ADDRESS is this machine's name or one of its addresses: ")
    host.waitFor("127.0.0.1")
    host.waitFor(".\n")
    return host


def startPair(run, relay=None, strangers=None, recordings=((), ())):
    """Host and joiner through the dialogue up to the first scoreboard on both consoles;
    relay(hostPort) makes the link between them; strangers(hostPort) come to the host
    before the joiner does; recordings: more arguments for each."""
    port = freePort()
    joinPort = relay(port).port if relay else port
    joiner = None if strangers else run.start(
        arguments=[f"--join=127.0.0.1:{joinPort}", *recordings[1]], screen=run.otherScreen())
    host = startHost(run, port, recordings[0])
    steps = consoleText.dialogueSteps("Ann", "Bo")
    if strangers:
        strangers(port)
        joiner = run.start(arguments=[f"--join=127.0.0.1:{joinPort}", *recordings[1]],
                           screen=run.otherScreen())
    joiner.expect("\n\tWelcome to The Lamevo!\n"
                  f"\n\tJoining the bout hosted at 127.0.0.1, UDP port {joinPort}.\n" + steps[1])
    joiner.answer("Bo")
    bout, _ = poolBoutUnderWay(host, joiner)
    return host, joiner, bout, port


def poolBoutUnderWay(host, joiner):
    """Once Bo has joined Ann's game: the host chooses a pool bout and both players go ahead.
    Returns the console's Bout once the first scoreboard is on both consoles, and when the
    players had given their last answers."""
    steps = consoleText.dialogueSteps("Ann", "Bo")
    host.expect(steps[2])
    host.answer("1")
    for game in (host, joiner):
        game.expect(steps[3])
    host.answer("go")
    joiner.answer("go")
    answered = time.monotonic()
    bout = consoleText.Bout("Ann", "Bo", 5)
    for game in (host, joiner):
        game.expect(bout.scoreboard())
    return bout, answered


def fenceTouchAndParry(host, joiner, bout):
    """Each machine presses its own fencer's keys (and the other's, which do nothing)."""
    def both(text):
        for game in (host, joiner):
            game.expect(text)
    host.keys("dddk")
    both(bout.keys("ddd"))
    joiner.keys("kkkd")
    both(bout.keys("kkk"))
    startOfNextSecond()  # the parry must come before the lunge's first step
    joiner.keys("j")
    both(bout.lunge("right"))
    host.keys("s")
    both(bout.parried("left"))
    host.keys("ddf")
    both(bout.keys("dd") + bout.lunge("left") + bout.touchHalt("left"))
    shots = pollUntil(lambda: (lambda a, b: a.rgb == b.rgb and (a, b))(
        host.screenshot(), joiner.screenshot()), 2.5, 0.05, "the same halt on both windows")
    host.saveShot(shots[0], "halt-host")
    joiner.saveShot(shots[1], "halt-joiner")
    return shots[0]


def expectLost(game, name):
    """The game that is left says the other went away, and ends with status 3."""
    started = time.monotonic()
    status, _ = game.waitExit()
    log(f"the game left said so {time.monotonic() - started:.1f} s after the other one ended")
    line = f"\nThe connection to {name} was lost: the bout cannot go on.\n".encode()
    assert status == 3 and game.errors.endswith(line), f"{status}, {game.errors!r}"


def strangerLines(game):
    return [line for line in game.errors.decode(errors="replace").splitlines()
            if line.startswith(("Refused", "Let "))]


def replaysAsPrinted(run, game, recording):
    """The recording replays without a window to what the game's console printed."""
    output = bytes(game.output)
    transcript = recording + ".transcript"
    with open(transcript, "wb") as file:
        file.write(output[output.index(b"\nThis is a "):])
    checked = subprocess.run([run.args.game, f"--replay={recording}", "--check",
                              f"--expect={transcript}"], capture_output=True, timeout=60)
    assert checked.returncode == 0, checked.stderr


def boutOverLoopback(run):
    # Silent, half-open and forged connections and junk keep neither the seat nor the slots:
    # the genuine joiner joins, and the host's lines about them come at most once a second.
    # Both machines record the bout: the two recordings are one.
    began = time.monotonic()
    folder = tempfile.mkdtemp(prefix="lamevo-online-")
    recordings = [os.path.join(folder, name + ".lamevo") for name in ("host", "joiner")]
    host, joiner, bout, port = startPair(run, strangers=strangersAtTheDoor,
                                         recordings=([f"--record={recordings[0]}"],
                                                     [f"--record={recordings[1]}"]))
    pollUntil(lambda: any(line.startswith("Refused or lost ") for line in strangerLines(host)),
              what="the count of the strangers refused", seen=host.describeUnread)
    lines = strangerLines(host)
    assert len(lines) <= time.monotonic() - began + 2, lines
    # A stranger's datagram and a second joiner are refused, and the bout goes on.
    seen = len(host.errors)
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as stranger:
        stranger.sendto(b"hello", ("127.0.0.1", port))
    third = run.start(arguments=[f"--join=127.0.0.1:{port}"], screen=joiner.screen)
    assert third.waitExit()[0] == 3 and third.errors.endswith(
        f"The game at 127.0.0.1:{port} is busy: it already has an opponent.\n".encode())
    # Told at once, or counted in the next line about strangers.
    pollUntil(lambda: b"Bo is already the opponent" in host.errors[seen:]
              or b"Refused or lost " in host.errors[seen:], what="the refusals",
              seen=host.describeUnread)
    halt = fenceTouchAndParry(host, joiner, bout)
    # Four more touches from the left win the bout; both games end by themselves.
    def banner(shot):  # the window's top rows, where the halt's banner is
        return shot.rgb[:3 * shot.width * 40]
    for _ in range(4):
        pollUntil(lambda: banner(host.screenshot()) != banner(halt), what="the halt's end")
        host.keys("d" * 8 + "f")
        touch = bout.keys("d" * 8) + bout.lunge("left") + bout.touchHalt("left")
        for game in (host, joiner):
            game.expect(touch)
        halt = host.screenshot()
    for game in (host, joiner):
        status, ended = game.waitExit()
        log(f"a game ended with status {status} at {ended:.2f}")
        assert status == 0 and not game.unread(), game.describeUnread()
    kept = [open(path).read() for path in recordings]
    assert kept[0] == kept[1] and kept[0].endswith(" 5 0\n"), kept
    replaysAsPrinted(run, host, recordings[0])
    replaysAsPrinted(run, joiner, recordings[1])


def boutThroughBadLink(run):
    nobody = run.start(arguments=[f"--join=127.0.0.1:{freePort()}"], screen=run.otherScreen())
    host, joiner, bout, _ = startPair(run, Relay)
    fenceTouchAndParry(host, joiner, bout)
    joiner.process.kill()
    expectLost(host, "Bo")
    assert nobody.waitExit()[0] == 3 and b"Nobody answered" in nobody.errors, nobody.errors


def boutThroughLossyLink(run):
    """30% of the datagrams lost each way at 100 ms round trip: slow, but whole."""
    host, joiner, bout, _ = startPair(run, lambda port: Relay(port, delay=0.050, loss=0.3))
    for presser, keys, text in ((host, "ddd", bout.keys("ddd")), (joiner, "kkk", bout.keys("kkk")),
                                (host, "ddf", bout.keys("dd") + bout.lunge("left")
                                 + bout.touchHalt("left"))):
        presser.keys(keys)
        for game in (host, joiner):
            game.expect(text)
    host.process.kill()
    expectLost(joiner, "Ann")


def hostileHosts(run):
    """A host whose name and console text would drive the joiner's terminal, and one that says
    hello and never who hosts."""
    def mallory(send, message):
        if message == HELLO:
            send(HELLO)
            send(b"\x02Mal\x1b]0;pwned\x07lory\xc2\xa0")
        elif message == b"\x02Bo":
            send(b"\x05\x1b[2J\x1b[H\x1b]0;pwned\x07Password: ")
    ports = [freePort(), freePort()]
    hosts = [EnetPeer(mallory, port=ports[0]), EnetPeer(helloBack, port=ports[1])]
    joiners = [run.start(arguments=[f"--join=127.0.0.1:{port}"], screen=screen)
               for port, screen in zip(ports, (run.screen, run.otherScreen()))]
    joiners[0].expect("\n\tWelcome to The Lamevo!\n"
                      f"\n\tJoining the bout hosted at 127.0.0.1, UDP port {ports[0]}.\n"
                      + consoleText.dialogueSteps("Mal?]0;pwned?lory?", "")[1])
    joiners[0].answer("Bo")
    status, _ = joiners[0].waitExit()
    assert status == 3 and joiners[0].errors == (
        f"The game at 127.0.0.1:{ports[0]} sent console text with a control character in it: "
        "the bout cannot go on.\n").encode(), joiners[0].describeUnread()
    assert b"\x1b" not in joiners[0].output and b"\x07" not in joiners[0].output
    status, _ = joiners[1].waitExit()
    assert status == 3 and joiners[1].errors == (
        f"The game at 127.0.0.1:{ports[1]} answered but gave no player's name within 10 "
        "seconds: is it The Lamevo?\n").encode(), joiners[1].describeUnread()
    assert hosts[0].received == [HELLO, b"\x02Bo"], hosts[0].received


# Why the host closes a stranger's connection, in the data of ENet's disconnect.
OPPONENT_ALREADY_THERE, NOT_THIS_GAME, BAD_MESSAGE, NO_HELLO_IN_TIME, HOST_BUSY = 1, 2, 3, 4, 6


def saying(*messages):
    """A stranger that says these messages, one on connecting and each next one on hearing
    anything from the host."""
    said = iter(messages)

    def answer(send, message):
        following = next(said, None)
        if following is not None:
            send(following)
    return answer


def strangersBeforeTheBout(run):
    """Before a bout, at the host: each kind of stranger is told why it is refused, in a line
    of its own when a second has passed since the last line; a full house lets the connection
    that waited longest go to make room (a joiner whose player has not given a name is told
    to try again), and the silent ones are refused after six seconds; the first to give a name
    is the opponent (a name the host would refuse made neutral first), a stranger that had said
    hello is told the seat is taken, and the host is told when the opponent goes away.
    Meanwhile joiners find hostile hosts, and nobody, and say so; one cannot write its
    recording and says that."""
    hostile = []
    hostileChecks = threading.Thread(target=lambda: hostile.append(catching(hostileHosts, run)))
    hostileChecks.start()
    nobody = run.start(arguments=[f"--join=127.0.0.1:{freePort()}"], screen=run.otherScreen())
    unwritable = "/nonexistent/bout.lamevo"
    unrecorded = run.start(arguments=[f"--join=127.0.0.1:{freePort()}", f"--record={unwritable}"],
                           screen=run.otherScreen())
    port = freePort()
    host = startHost(run, port)
    lineSeen = time.monotonic()

    def refusalLine(stranger, address, what, refusal):
        nonlocal lineSeen
        # A line about a stranger comes when a second has passed since the last one.
        time.sleep(max(0.0, lineSeen + 1.05 - time.monotonic()))
        line = re.compile(rf"Refused {re.escape(address)}:\d+: {re.escape(what)}\.\n".encode())
        pollUntil(lambda: line.search(host.errors), what=f"the line {what!r}",
                  seen=lambda: host.errors.decode(errors="replace"))
        lineSeen = time.monotonic()
        pollUntil(lambda: stranger.refusal is not None, what="the refusal's reason")
        assert stranger.refusal == refusal, (what, stranger.refusal)

    hello = b"\x01The Lamevo" + struct.pack("<H", 2)
    REFUSED = [
        (saying(b"\x04"), "it sent a first message that is not The Lamevo's", NOT_THIS_GAME),
        (saying(b"\x01The Lamevo" + struct.pack("<H", 1)),
         "it sent version 1 of the game's messages, and this game speaks version 2",
         NOT_THIS_GAME),
        (saying(hello, b"\x04"), "it sent a message out of turn", BAD_MESSAGE),
        (saying(hello, b"\x02Eve\x1b[2J"), "it sent a name with a blank or a control character "
         "in it", BAD_MESSAGE),
        (saying(b"\x63junk"), "it sent a message of a kind it may not send", BAD_MESSAGE),
    ]
    for number, (answer, what, refusal) in enumerate(REFUSED):
        address = loopbackAddress(20 + number)
        refusalLine(EnetPeer(answer, address, connectTo=port), address, what, refusal)
    # A burst of junk: one line, and a count of the rest a second later.
    time.sleep(max(0.0, lineSeen + 1.05 - time.monotonic()))
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as junk:
        junk.bind((loopbackAddress(30), 0))
        for _ in range(50):
            junk.sendto(b"\x00\x10" * 20, ("127.0.0.1", port))  # for slot 16 of 8
    pollUntil(lambda: b"Refused or lost 49 more strangers since the last line.\n" in host.errors,
              what="the count of the junk", seen=lambda: host.errors.decode(errors="replace"))
    lineSeen = time.monotonic()
    assert host.errors.count(b"Refused a datagram from ") == 1 and (
        f"Refused a datagram from {loopbackAddress(30)}:".encode() in host.errors), host.errors
    # A joiner whose player is slow to give a name, then enough silent strangers to fill
    # every slot: the joiner, which waited longest, makes room.
    time.sleep(max(0.0, lineSeen + 1.05 - time.monotonic()))
    slow = run.start(arguments=[f"--join=127.0.0.1:{port}"], screen=run.otherScreen())
    slow.expect("\n\tWelcome to The Lamevo!\n"
                f"\n\tJoining the bout hosted at 127.0.0.1, UDP port {port}.\n"
                + consoleText.dialogueSteps("Ann", "Bo")[1])
    silent = [EnetPeer(saying(), loopbackAddress(40 + number), connectTo=port)
              for number in range(7)]
    status, _ = slow.waitExit()
    assert status == 3 and slow.errors.endswith(
        f"The game at 127.0.0.1:{port} is busy with other connections: try again in a "
        "moment.\n".encode()), slow.errors
    assert re.search(rb"Let 127\.0\.0\.1:\d+ go to make room: it had given no name\.\n",
                     host.errors), host.errors
    # Six seconds on, the silent ones are refused: one line, and a count of the rest.
    pollUntil(lambda: all(stranger.refusal is not None for stranger in silent),
              what="the silent strangers' refusals")
    assert [stranger.refusal for stranger in silent] == [NO_HELLO_IN_TIME] * 7
    pollUntil(lambda: re.search(rb"Refused 127\.0\.0\.\d+:\d+: it said no hello within 6 "
                                rb"seconds\.\n(.|\n)*Refused or lost \d+ more strangers since the "
                                rb"last line\.\n", host.errors),
              what="the silent strangers' lines", seen=lambda: host.errors.decode())
    lineSeen = time.monotonic()
    # A stranger that said hello waits; the first to give a name is the opponent.
    greeted = EnetPeer(saying(hello), loopbackAddress(60), connectTo=port)
    pollUntil(lambda: b"\x02Ann" in greeted.received, what="the host's name to the stranger")
    time.sleep(max(0.0, lineSeen + 1.05 - time.monotonic()))
    joiner = run.start(arguments=[f"--join=127.0.0.1:{port}"], screen=run.otherScreen())
    joiner.expect("\n\tWelcome to The Lamevo!\n"
                  f"\n\tJoining the bout hosted at 127.0.0.1, UDP port {port}.\n"
                  + consoleText.dialogueSteps("Ann", "Bo")[1])
    # A name the host would refuse is made one it takes, on both machines.
    joiner.answer("Bo\x1b")
    steps = consoleText.dialogueSteps("Ann", "Bo?")
    host.expect(steps[2])
    refusalLine(greeted, loopbackAddress(60), "Bo? is already the opponent",
                OPPONENT_ALREADY_THERE)
    # The joiner's player goes ahead and closes the window at once: the host, still at its
    # go-ahead, is told that the joiner went away.
    host.answer("1")
    for game in (host, joiner):
        game.waitFor(steps[3])
    joiner.answer("go")
    joiner.closeWindow()
    status, _ = host.waitExit()
    assert status == 3 and host.errors.endswith(
        b"\nThe connection to Bo? was lost: the bout cannot go on.\n"), host.errors
    status, _ = nobody.waitExit()
    assert status == 3 and nobody.errors.startswith(b"Nobody answered at 127.0.0.1"), \
        nobody.errors
    # A joiner whose recording cannot be written says so before it looks for the host.
    status, _ = unrecorded.waitExit()
    assert status == 1 and unrecorded.errors == (
        f"The Lamevo cannot write the recording {unwritable}: No such file or directory.\n"
        .encode()), unrecorded.errors
    hostileChecks.join()
    if hostile[0] is not None:
        raise hostile[0]


def catching(scenario, run):
    """What the scenario raised, or None."""
    try:
        scenario(run)
    except Exception as fault:
        return fault
    return None


if __name__ == "__main__":
    Session().run([boutOverLoopback, boutThroughBadLink, boutThroughLossyLink,
                   strangersBeforeTheBout])
