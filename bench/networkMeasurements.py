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
"""

import os
import statistics
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "tests", "window"))

from lamevoHarness import Run, Session  # noqa: E402
from testOnline import Relay, startPair  # noqa: E402

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
            run, lambda port: relays.append(Relay(port, delay=0, dropEvery=0)) or relays[-1])
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
        host, joiner, bout, _ = startPair(run, lambda port: Relay(port, delay=0.050, dropEvery=0))
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


if __name__ == "__main__":
    measure(Session())
