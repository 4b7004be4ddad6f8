#!/usr/bin/env python3
"""Two games in two homes behind NAT routers (the network lab: network namespaces on this
machine, as root), each on a virtual screen of its own, in the four ways they find each other:
the host's router forwards its port by UPnP and the joiner joins its outside address; a room
code through lamevo-meet, punched through; the same, relayed by the server where router B's NAT
is symmetric; and both behind the same router. Each time both consoles say how they connected,
then both fence a touch and print exactly what one keyboard prints. The host ended by a signal
takes the router's forwarding away again. Every datagram stays inside the lab: the lab has no link to this
machine's own network, and it comes up and goes down within the test.

Skipped (status 77, with a line saying why) when not run as root or without the lab's script
(LAMEVO_NETLAB, else ../shared/netlab/netlab beside the source tree)."""

import contextlib
import fcntl
import os
import re
import signal
import subprocess
import sys
import tempfile
import time

import consoleText
from lamevoHarness import HarnessError, Session, endProcess, log, pollUntil
from testOnline import fenceTouchAndParry, poolBoutUnderWay

SKIPPED = 77
# Set by the command line below, or by a script that imports this one.
netlab = meetProgram = None
HOST_ROUTER_ADDRESS = "81.0.0.1"
HOST_HOME_ADDRESS = "10.1.0.2"
SERVER_ADDRESS = "81.0.0.100"
# The lab's namespaces have fixed names: one lab at a time on this machine.
LOCK_PATH = "/tmp/lamevo-netlab.lock"
LOCK_PATIENCE = 300
LAB_COMMAND_SECONDS = 30


def netlabScript():
    here = os.path.dirname(os.path.abspath(__file__))
    for candidate in (os.environ.get("LAMEVO_NETLAB"),
                      os.path.join(here, "..", "..", "..", "shared", "netlab", "netlab"),
                      "/work/shared/netlab/netlab"):
        if candidate and os.access(candidate, os.X_OK):
            return candidate
    return None


def skip(why):
    print(f"SKIPPED the network lab's tests: {why}", flush=True)
    sys.exit(SKIPPED)


@contextlib.contextmanager
def labLock():
    """Held while a lab of this test is up: the lab's namespaces have fixed names, so one
    lab at a time on this machine, whichever build or worktree runs it."""
    with open(LOCK_PATH, "w") as lock:
        deadline = time.monotonic() + LOCK_PATIENCE
        while True:
            try:
                fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
                break
            except BlockingIOError:
                if time.monotonic() > deadline:
                    skip("another network lab stayed up for five minutes")
                time.sleep(0.5)
        if os.path.exists("/var/run/netns/nl-wan"):
            skip("a network lab that this test did not start is up ('netlab down' ends it)")
        yield


class Lab:
    """The network lab, up for one scenario: `with Lab(script, "--symmetric-b"):`."""

    def __init__(self, script, *options):
        self.script, self.options = script, options
        self.run = tempfile.mkdtemp(prefix="lamevo-netlab-")
        self.env = dict(os.environ, NETLAB_RUN=self.run)

    def command(self, *words, check=True):
        done = subprocess.run([self.script, *words], env=self.env, capture_output=True,
                              timeout=LAB_COMMAND_SECONDS)
        if check and done.returncode != 0:
            raise HarnessError(f"netlab {' '.join(words)} failed: {done.stderr.decode()}")
        return done.stdout.decode()

    def prefix(self, namespace):
        return ["ip", "netns", "exec", namespace]

    def mappings(self):
        """The port forwardings router A has now, as netlab status lists them."""
        return [line.strip() for line in self.command("status").splitlines()
                if line.strip().startswith("udp ")]

    def __enter__(self):
        log(f"netlab up {' '.join(self.options)}")
        self.command("up", *self.options)
        return self

    def __exit__(self, *fault):
        self.command("down", "--force", check=False)
        log("netlab down")


class MeetServer:
    """lamevo-meet on the lab's internet, for one scenario."""

    def __init__(self, lab):
        self.process = subprocess.Popen(
            [*lab.prefix("nl-wan"), meetProgram, f"--listen={SERVER_ADDRESS}"],
            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        line = self.process.stderr.readline()
        assert line.startswith(b"lamevo-meet: rooms on UDP port"), line

    def __enter__(self):
        return self

    def __exit__(self, *fault):
        endProcess(self.process)


def connectedLine(who, way):
    return rf"\n\t{who}, {re.escape(way)}; round trip (\d+) ms\.\n"


def startPair(run, lab, port, hostOptions, hostLines, joinArguments, way,
              joinerNamespace="nl-b", joinerLines=None):
    """Host in home A, joiner in joinerNamespace, through the dialogue up to the first
    scoreboard on both consoles. hostLines: what the host prints after the waiting lines (a
    regular expression); joinArguments(match) the joiner's options; joinerLines(match) what it
    prints before the host's name comes. Returns host, joiner, the console's Bout and the
    seconds from the joiner's start to its connected line and from its last answer to the
    first scoreboard on both consoles."""
    host = run.start(arguments=[f"--host={port}", *hostOptions], prefix=lab.prefix("nl-a"))
    steps = consoleText.dialogueSteps("Ann", "Bo")
    host.expect(steps[0])
    host.answer("Ann")
    host.expect(f"\n\tWaiting for an opponent on UDP port {port}. They join with\n"
                f"\t\tlamevo --join=ADDRESS:{port}\n"
                "\twhere ADDRESS is this machine's name or one of its addresses: ")
    host.waitFor(HOST_HOME_ADDRESS)
    host.waitFor(".\n")
    announced = host.expectMatch(hostLines)
    started = time.monotonic()
    joiner = run.start(arguments=joinArguments(announced), screen=run.otherScreen(),
                       prefix=lab.prefix(joinerNamespace))
    joiner.expect("\n\tWelcome to The Lamevo!\n")
    joiner.expectMatch(joinerLines(announced))
    if way != "through the router's opened port":
        joiner.expectMatch(connectedLine("Connected to Ann's game", way))
    connected = time.monotonic() - started
    joiner.expect(steps[1])
    joiner.answer("Bo")
    roundTrip = host.expectMatch(connectedLine("Bo joined", way)).group(1).decode()
    log(f"{way}: the host's console says the round trip is {roundTrip} ms")
    bout, answered = poolBoutUnderWay(host, joiner)
    return host, joiner, bout, connected, time.monotonic() - answered


def fenceAndEnd(run, host, joiner, bout, what, connected, started):
    log(f"{what}: connected {connected:.2f} s after the joiner started; first scoreboard on "
        f"both consoles {started:.2f} s after the joiner's last answer")
    fenceTouchAndParry(host, joiner, bout)


def throughTheOpenedPort(run):
    """Router A forwards the host's port by UPnP; the joiner joins A's outside address."""
    port = 27400
    with Lab(netlab) as lab:
        routerLines = (rf"\tThe router forwards its UDP port {port} to this game \(UPnP\): "
                       rf"players\n\telsewhere join with\n\t\tlamevo --join="
                       rf"{re.escape(HOST_ROUTER_ADDRESS)}:{port}\n")
        host, joiner, bout, *times = startPair(
            run, lab, port, [], routerLines, lambda _: [f"--join={HOST_ROUTER_ADDRESS}:{port}"],
            "through the router's opened port",
            joinerLines=lambda _: rf"\n\tJoining the bout hosted at "
                                  rf"{re.escape(HOST_ROUTER_ADDRESS)}, UDP port {port}\.\n")
        assert f"udp {HOST_ROUTER_ADDRESS}:{port} -> {HOST_HOME_ADDRESS}:{port}" in lab.mappings()
        fenceAndEnd(run, host, joiner, bout, "through the opened port", *times)
        # A host ended by a signal takes the forwarding away; the joiner is told it went.
        host.process.send_signal(signal.SIGTERM)
        assert host.waitExit()[0] == -signal.SIGTERM
        assert lab.mappings() == [], lab.mappings()
        status, _ = joiner.waitExit()
        assert status == 3 and joiner.errors.endswith(
            b"\nThe connection to Ann was lost: the bout cannot go on.\n"), joiner.errors


def byRoomCode(run, labOptions, way, joinerNamespace="nl-b", then=None):
    """A bout by room code in the lab with labOptions; then(run, host, joiner, bout), while
    the lab is up, does what the bout is for (by default: a touch)."""
    port = 27401
    with Lab(netlab, *labOptions) as lab, MeetServer(lab):
        roomLines = (r"\tRoom ([ACEFHJKMNPRTUVWXY3479]{5}) on the meet server: the other player "
                     rf"joins with\n\t\tlamevo --join=\1 --meet={re.escape(SERVER_ADDRESS)}\n")
        host, joiner, bout, *times = startPair(
            run, lab, port, ["--no-router", f"--meet={SERVER_ADDRESS}"], roomLines,
            lambda room: [f"--join={room.group(1).decode().lower()}", f"--meet={SERVER_ADDRESS}"],
            way, joinerNamespace,
            lambda room: rf"\n\tJoining room {room.group(1).decode()} through the meet server "
                         rf"{re.escape(SERVER_ADDRESS)}\.\n")
        log(f"{way}: connected {times[0]:.2f} s after the joiner started; first scoreboard "
            f"on both consoles {times[1]:.2f} s after the joiner's last answer")
        (then or (lambda run, *pair: fenceTouchAndParry(*pair)))(run, host, joiner, bout)


def punchedThrough(run):
    """Neither router forwards a port: the meet server introduces the two, who punch through.
    A code the server has no room for is refused in one line first."""
    def wrongCodeFirst(run, host, joiner, bout):
        lost = run.start(arguments=["--join=ACEFH", f"--meet={SERVER_ADDRESS}"],
                         screen=joiner.screen, prefix=["ip", "netns", "exec", "nl-b"])
        status, _ = lost.waitExit()
        assert status == 3 and lost.errors == (
            f"The meet server {SERVER_ADDRESS} has no room of that code (the host's console "
            "shows it).\n").encode(), (status, lost.errors)
        fenceTouchAndParry(host, joiner, bout)
    byRoomCode(run, ["--no-upnp-b"], "punched through both routers", then=wrongCodeFirst)


def relayed(run):
    """Router B gives every flow a port of its own: punching fails, the meet server relays."""
    byRoomCode(run, ["--symmetric-b", "--no-upnp-b"], "relayed by the meet server")


def behindTheSameRouter(run):
    """Both players at home A: they connect over their own network."""
    byRoomCode(run, [], "over your own network (the same router)", joinerNamespace="nl-a")


if __name__ == "__main__":
    if os.geteuid() != 0:
        skip("they build network namespaces, which needs root")
    netlab = netlabScript()
    if netlab is None:
        skip("no netlab script (set LAMEVO_NETLAB to it)")
    meetProgram = os.environ.get("LAMEVO_MEET") or os.path.join(
        os.path.dirname(os.path.abspath(sys.argv[sys.argv.index("--game") + 1])), "..", "meet",
        "lamevo-meet")
    with labLock():
        Session().run([throughTheOpenedPort, punchedThrough, relayed, behindTheSameRouter])
