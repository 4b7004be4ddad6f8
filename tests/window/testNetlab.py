#!/usr/bin/env python3
"""Two games in two homes behind NAT routers (the network lab: network namespaces on this
machine, as root), each on a virtual screen of its own. The host's router forwards its port by
UPnP; the joiner, behind the other router, joins by the router's outside address. Both fence a
touch and print exactly what one keyboard prints; the host ended by a signal takes the
forwarding away again. Every datagram stays inside the lab: the lab has no link to this
machine's own network, and it comes up and goes down within the test.

Skipped (status 77, with a line saying why) when not run as root or without the lab's script
(LAMEVO_NETLAB, else ../shared/netlab/netlab beside the source tree)."""

import fcntl
import os
import signal
import subprocess
import sys
import tempfile
import time

import consoleText
from lamevoHarness import HarnessError, Session, log, pollUntil
from testOnline import fenceTouchAndParry

SKIPPED = 77
HOST_ROUTER_ADDRESS = "81.0.0.1"
HOST_HOME_ADDRESS = "10.1.0.2"
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


def startPair(run, lab, hostArguments, joinArguments, routerLines):
    """Host in home A, joiner in home B, through the dialogue up to the first scoreboard on
    both consoles; returns them, the console's Bout and the seconds from the joiner's last
    answer to the first scoreboard on both consoles."""
    port = hostArguments[0].split("=")[1]
    host = run.start(arguments=hostArguments, prefix=lab.prefix("nl-a"))
    steps = consoleText.dialogueSteps("Ann", "Bo")
    host.expect(steps[0])
    host.answer("Ann")
    host.expect(f"\n\tWaiting for an opponent on UDP port {port}. They join with\n"
                f"\t\tlamevo --join=ADDRESS:{port}\n"
                "\twhere ADDRESS is this machine's name or one of its addresses: ")
    host.waitFor(HOST_HOME_ADDRESS)
    host.waitFor(".\n")
    host.expect(routerLines)
    joiner = run.start(arguments=joinArguments, screen=run.otherScreen(),
                       prefix=lab.prefix("nl-b"))
    address, joinPort = joinArguments[0].split("=")[1].split(":")
    joiner.expect("\n\tWelcome to The Lamevo!\n"
                  f"\n\tJoining the bout hosted at {address}, UDP port {joinPort}.\n" + steps[1])
    joiner.answer("Bo")
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
    return host, joiner, bout, time.monotonic() - answered


def throughTheOpenedPort(run):
    """Router A forwards the host's port by UPnP; the joiner joins A's outside address."""
    port = 27400
    with Lab(netlab) as lab:
        routerLines = (f"\tThe router forwards its UDP port {port} to this game (UPnP): players\n"
                       f"\telsewhere join with\n\t\tlamevo --join={HOST_ROUTER_ADDRESS}:{port}\n")
        host, joiner, bout, seconds = startPair(
            run, lab, [f"--host={port}"], [f"--join={HOST_ROUTER_ADDRESS}:{port}"], routerLines)
        log(f"through the opened port: connected {seconds:.2f} s after the joiner's last answer")
        assert f"udp {HOST_ROUTER_ADDRESS}:{port} -> {HOST_HOME_ADDRESS}:{port}" in lab.mappings()
        fenceTouchAndParry(host, joiner, bout)
        # A host ended by a signal takes the forwarding away; the joiner is told it went.
        host.process.send_signal(signal.SIGTERM)
        assert host.waitExit()[0] == -signal.SIGTERM
        assert lab.mappings() == [], lab.mappings()
        status, _ = joiner.waitExit()
        assert status == 3 and joiner.errors.endswith(
            b"\nThe connection to Ann was lost: the bout cannot go on.\n"), joiner.errors


if __name__ == "__main__":
    if os.geteuid() != 0:
        skip("they build network namespaces, which needs root")
    netlab = netlabScript()
    if netlab is None:
        skip("no netlab script (set LAMEVO_NETLAB to it)")
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
        Session().run([throughTheOpenedPort])
