#!/usr/bin/env python3
"""Measured runs of a bout over the network (figures to report, not a test): two real games on
two virtual screens, on the loopback or through the window tests' relay.

  - press to console: a key sent with xdotool, to the last byte of its scoreboard on the
    pressing machine's console and on the other's (median of 50 presses each way); a press
    in a one-keyboard game just before each gives what xdotool and the pipes cost, which the
    figures subtract;
  - bytes each way through a relay that neither delays nor drops: 10 s with nobody pressing,
    10 s of steady fencing (five presses a second each), 10 s flat out;
  - CPU of each game (user and system time from /proc) over 10 s with nobody pressing;
  - the host's own presses on a link of 100 ms round trip: the equal-footing delay they get,
    beside the time the joiner's presses take to reach the host.

    bench/networkMeasurements.py --game build/default/src/display/lamevo --pictures assets \\
        --shots /tmp/lamevo-shots

Named runs instead (any of them, after the options):
  - junk: a bout with junk datagrams at full speed from one sender on the loopback for 60 s
    (the compressed flag set, unknown peer numbers): whether the bout goes on, the host's CPU;
  - lossy: 3 whole pool bouts through a relay that loses 30% each way, 50 ms each way:
    whether each ends with a win on both machines with both transcripts the same, and the
    press-to-console medians;
  - strangers: four silent or half-open connections (and four forged CONNECTs) at the host,
    then a genuine joiner: the time from its start to the host's name on its console.
"""

import os
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "tests", "window"))

from lamevoHarness import Run, Session  # noqa: E402
from lamevoHarness import log, pollUntil  # noqa: E402
from testOnline import (EnetPeer, Relay, forgedConnect, helloOnly, loopbackAddress,  # noqa: E402
                        silent, startPair)

PRESSES = 50
QUIET_SECONDS = 10


def milliseconds(values):
    return f"median {statistics.median(values) * 1000:6.1f} ms " \
           f"(least {min(values) * 1000:.1f}, most {max(values) * 1000:.1f})"


def pressTimes(presser, other, bout, keys, alone, aloneBout, presses=PRESSES):
    """For each press: seconds to the pressing machine's console and to the other one's, less
    what xdotool and the pipes cost, measured by a press in a one-keyboard game (alone) just
    before it, on the same busy machine."""
    own, far = [], []
    for index in range(presses):
        key = keys[index % 2]
        for game, gameBout, times in ((alone, aloneBout, None), (presser, bout, (own, far))):
            text = gameBout.keys(key)
            pressed = time.time()
            game.keys(key)
            arrived = game.expect(text) - pressed
            if times is None:
                cost = arrived
                continue
            own.append(arrived - cost)
            far.append(other.expect(text) - pressed - cost)
    return own, far


def cpuSeconds(game):
    fields = open(f"/proc/{game.process.pid}/stat").read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def measure(session):
    run = Run(session, "measure-loopback")
    try:
        alone, aloneBout = run.holdDialogue(run.start(screen=run.otherScreen()), "Cy", "Di")
        host, joiner, bout, _ = startPair(run)
        hostOwn, hostFar = pressTimes(host, joiner, bout, "da", alone, aloneBout)
        joinerOwn, joinerFar = pressTimes(joiner, host, bout, "k;", alone, aloneBout)
        print(f"loopback, host's press to the joiner's console: {milliseconds(hostFar)}")
        print(f"loopback, joiner's press to the host's console: {milliseconds(joinerFar)}")
        print(f"loopback, joiner's press back on its own console: {milliseconds(joinerOwn)}")
        before = [cpuSeconds(g) for g in (host, joiner)]
        time.sleep(QUIET_SECONDS)
        for name, game, start in zip(("host", "joiner"), (host, joiner), before):
            print(f"CPU of the {name} with nobody pressing: "
                  f"{100 * (cpuSeconds(game) - start) / QUIET_SECONDS:.2f} % of a core")
    finally:
        run.finish()

    relays = []
    run = Run(session, "measure-traffic")
    try:
        host, joiner, bout, _ = startPair(
            run, lambda port: relays.append(Relay(port, delay=0, loss=0)) or relays[-1])
        relay = relays[-1]

        presses = [0]

        def rates(seconds, action):
            presses[0] = 0
            start, began = dict(relay.carried), time.monotonic()
            while time.monotonic() - began < seconds:
                action()
            spent = time.monotonic() - began
            return [(relay.carried[toHost] - start[toHost]) / spent
                    for toHost in (False, True)] + [presses[0] / spent]

        def fence(cycle):
            """Both players press two keys each, once every cycle seconds (or flat out)."""
            began = time.monotonic()
            for presser, keys in ((host, "da"), (joiner, "k;")):
                text = bout.keys(keys)
                presser.keys(keys)
                presses[0] += len(keys)
                host.expect(text)
                joiner.expect(text)
            time.sleep(max(0, began + cycle - time.monotonic()))
        # Steady fencing: each player presses five keys a second.
        for what, action in (("nobody pressing", lambda: time.sleep(0.5)),
                             ("steady fencing", lambda: fence(0.4)),
                             ("flat out", lambda: fence(0))):
            toJoiner, toHost, pressRate = rates(QUIET_SECONDS, action)
            print(f"bytes a second ({what}, {pressRate:.1f} presses a second in all): host to "
                  f"joiner {toJoiner:.0f} B/s, joiner to host {toHost:.0f} B/s (UDP payload)")
    finally:
        run.finish()

    run = Run(session, "measure-slow-link")
    try:
        alone, aloneBout = run.holdDialogue(run.start(screen=run.otherScreen()), "Cy", "Di")
        host, joiner, bout, _ = startPair(run, lambda port: Relay(port, delay=0.050, loss=0))
        time.sleep(2)  # ENet's round-trip figures settle over its first pings
        hostOwn, hostFar = pressTimes(host, joiner, bout, "da", alone, aloneBout, 20)
        joinerOwn, joinerFar = pressTimes(joiner, host, bout, "k;", alone, aloneBout, 20)
        print(f"100 ms round trip, host's press to its own console: {milliseconds(hostOwn)}")
        print(f"100 ms round trip, joiner's press to the host's console: "
              f"{milliseconds(joinerFar)}")
        print(f"100 ms round trip, host's press to the joiner's console: {milliseconds(hostFar)}")
        print(f"100 ms round trip, joiner's press to its own console: {milliseconds(joinerOwn)}")
    finally:
        run.finish()


JUNK_SECONDS = 60
# One sender on the loopback, as fast as it goes, bounded in time and in count.
JUNK_SENDER = """
import os, random, socket, sys, time
port, seconds = int(sys.argv[1]), float(sys.argv[2])
junk = []
for _ in range(256):
    header = (random.randrange(16, 0xFFF) | 0x4000).to_bytes(2, "big")
    junk.append(header + os.urandom(random.randrange(20, 200)))
sender = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
sender.bind(("127.0.0.250", 0))
sent, stop = 0, time.monotonic() + seconds
while sent < 20_000_000 and time.monotonic() < stop:
    for datagram in junk:
        sender.sendto(datagram, ("127.0.0.1", port))
    sent += len(junk)
print(sent)
"""


def keepFencing(host, joiner, bout):
    """One advance and one retreat of the left fencer, seen on both consoles: the bout goes on."""
    host.keys("da")
    text = bout.keys("da")
    for game in (host, joiner):
        game.expect(text)


def measureJunk(session):
    run = Run(session, "measure-junk")
    try:
        host, joiner, bout, port = startPair(run)
        keepFencing(host, joiner, bout)
        before, began = cpuSeconds(host), time.monotonic()
        sender = subprocess.Popen([sys.executable, "-c", JUNK_SENDER, str(port),
                                   str(JUNK_SECONDS)], stdout=subprocess.PIPE)
        wentOn = True
        try:
            while sender.poll() is None:
                time.sleep(5)
                keepFencing(host, joiner, bout)
        except Exception as fault:  # the bout ended under the junk
            wentOn = False
            log(f"the bout did not go on: {fault}")
        sent = int(sender.communicate(timeout=90)[0] or 0)
        spent = time.monotonic() - began
        cpu = 100 * (cpuSeconds(host) - before) / spent if host.running() else float("nan")
        if wentOn:
            keepFencing(host, joiner, bout)
        print(f"junk: {sent / JUNK_SECONDS:.0f} datagrams a second for {JUNK_SECONDS} s; the bout "
              f"{'went on' if wentOn else 'ended'}; host CPU {cpu:.1f} % of a core; host lines "
              f"on standard error: {len(host.errors.splitlines())}", flush=True)
    finally:
        run.finish()


def measureLossy(session, bouts=3):
    presses = {"host's press to the joiner's console": [],
               "joiner's press to the host's console": [],
               "host's press to its own console": [],
               "joiner's press to its own console": []}
    whole = 0
    for number in range(bouts):
        run = Run(session, f"measure-lossy-{number}")
        try:
            host, joiner, bout, _ = startPair(run, lambda port: Relay(port, delay=0.050, loss=0.3,
                                                                    lifetime=600))
            for presser, other, keys, own, far in (
                    (host, joiner, "da", "host's press to its own console",
                     "host's press to the joiner's console"),
                    (joiner, host, "k;", "joiner's press to its own console",
                     "joiner's press to the host's console")):
                for index in range(6):
                    key = keys[index % 2]
                    text = bout.keys(key)
                    pressed = time.time()
                    presser.keys(key)
                    presses[own].append(presser.expect(text, 60) - pressed)
                    presses[far].append(other.expect(text, 60) - pressed)
            halt = None
            for touch in range(5):
                if halt is not None:
                    pollUntil(lambda: host.screenshot().rgb[:3 * halt.width * 40]
                              != halt.rgb[:3 * halt.width * 40], 60, what="the halt's end")
                cells = bout.rightCell - bout.leftCell - 2
                host.keys("d" * cells + "f")
                text = bout.keys("d" * cells) + bout.lunge("left") + bout.touchHalt("left")
                for game in (host, joiner):
                    game.expect(text, 60)
                halt = host.screenshot()
            statuses = [game.waitExit(60)[0] for game in (host, joiner)]
            marker = b"\n\tHere are the Controls to Play:"
            same = (host.output[host.output.index(marker):]
                    == joiner.output[joiner.output.index(marker):])
            print(f"30% loss each way, bout {number + 1}: statuses {statuses}, transcripts from "
                  f"the key list on {'identical' if same else 'DIFFERENT'}", flush=True)
            whole += statuses == [0, 0] and same
        except Exception as fault:
            print(f"30% loss each way, bout {number + 1}: not whole: "
                  f"{str(fault).splitlines()[0]}", flush=True)
        finally:
            run.finish()
    print(f"30% loss each way, 50 ms each way: {whole} of {bouts} whole bouts")
    for what, times in presses.items():
        if times:
            print(f"30% loss, {what}: {milliseconds(times)} ({len(times)} presses)")


def measureStrangers(session):
    run = Run(session, "measure-strangers")
    try:
        started = {}

        def strangers(port):
            run.strangers = [EnetPeer(answer, loopbackAddress(number), connectTo=port)
                             for number, answer in enumerate((silent, silent, helloOnly,
                                                              helloOnly))]
            for number in range(4, 8):
                forgedConnect(loopbackAddress(number), port)
            time.sleep(1)  # all of them at the host before the genuine joiner
            started["joiner"] = time.time()
        host, joiner, bout, _ = startPair(run, strangers=strangers)
        prompt = b"Thank you, Ann."
        arrived = next(t for t, n in joiner.arrivals if prompt in joiner.output[:n])
        print(f"four silent and four half-open connections: the genuine joiner had the host's "
              f"name {arrived - started['joiner']:.2f} s after it started")
    except Exception as fault:
        print(f"four silent and four half-open connections: the genuine joiner did not join: "
              f"{str(fault).splitlines()[0]}")
    finally:
        run.finish()


if __name__ == "__main__":
    session = Session()
    named = {"junk": measureJunk, "lossy": measureLossy, "strangers": measureStrangers}
    if session.args.scenarios:
        for name in session.args.scenarios:
            named[name](session)
    else:
        measure(session)
