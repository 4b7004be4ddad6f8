#!/usr/bin/env python3
"""Measured runs of the sleeping event loop (figures to report, not a test): CPU over 10 s of an
untouched bout (alone, against the computer, with two virtual game pads preloaded into the game
from twoVirtualPads.cpp, and both), CPU while both players fence steadily, a key's way to the
console, a lunge step's lateness after its second begins. Give one or more games to compare as
label=path, then what to measure:

    bench/loopMeasurements.py after=build/default/src/display/lamevo [cpu] [steady] [keys] [lunge]
"""
import os
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(TOP, "tests", "window"))
from lamevoHarness import Session, Run, log  # noqa: E402

WORK = tempfile.mkdtemp(prefix="lamevo-loop-")
SHIM = os.path.join(WORK, "twoVirtualPads.so")
TICKS = os.sysconf("SC_CLK_TCK")

def cpuSeconds(pid):
    fields = open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICKS

def schedWanted(pid):
    run, wait, _ = open(f"/proc/{pid}/schedstat").read().split()
    return (int(run) + int(wait)) / 1e9

def cpuShare(game, seconds=10.0):
    start, t0 = cpuSeconds(game.process.pid), time.monotonic()
    wanted0 = schedWanted(game.process.pid)
    time.sleep(seconds)
    used, span = cpuSeconds(game.process.pid) - start, time.monotonic() - t0
    wanted = schedWanted(game.process.pid) - wanted0
    log(f"   main thread on a core or waiting for one: {100.0 * wanted / span:.1f}% of the time")
    return 100.0 * used / span

def cpuRuns(run, label):
    results = {}
    for name, arguments, env, firstKey in (
            ("plain", [], None, None),
            ("computer", ["--computer", "--seed=14"], None, "x"),
            ("two pads", [], {"LD_PRELOAD": SHIM}, None),
            ("computer + two pads", ["--computer", "--seed=14"], {"LD_PRELOAD": SHIM}, "x")):
        game, bout = run.holdDialogue(run.start(arguments=arguments, environment=env), "Ann", "Bo")
        game.window()
        if firstKey:
            game.keys(firstKey)
        time.sleep(0.5)
        share = cpuShare(game)
        pads = game.errors.decode(errors="replace").count("open")
        results[name] = share
        log(f"{label} CPU {name}: {share:.1f}% of a core over 10 s (pads open: {pads})")
        game.stop()
    return results

def steadyFencing(run, label, seconds=10.0):
    """CPU while both players fence steadily: each presses a step forward and back, five keys a
    second, every key awaited on the console."""
    game, bout = run.holdDialogue(run.start(), "Ann", "Bo")
    game.window()
    start, began = cpuSeconds(game.process.pid), time.monotonic()
    presses = 0
    while time.monotonic() - began < seconds:
        cycle = time.monotonic()
        text = bout.keys("dak;")
        game.keys("dak;")
        game.expect(text)
        presses += 4
        time.sleep(max(0, cycle + 0.4 - time.monotonic()))
    span = time.monotonic() - began
    share = 100.0 * (cpuSeconds(game.process.pid) - start) / span
    log(f"{label} CPU steady fencing ({presses / span:.1f} presses a second): {share:.1f}% of a core")
    game.stop()
    return share

def keyLatency(run, label, presses=40):
    game, bout = run.holdDialogue(run.start(), "Ann", "Bo")
    game.window()
    delays = []
    for i in range(presses):
        key = "d" if i % 2 == 0 else "a"
        text = bout.advance("left") if key == "d" else bout.retreat("left")
        sent = time.time()
        game.keys(key)
        arrived = game.expect(text)
        delays.append(1000 * (arrived - sent))
        time.sleep(0.05)
    log(f"{label} key to console over {presses} presses: median {statistics.median(delays):.1f} ms,"
        f" min {min(delays):.1f}, max {max(delays):.1f}")
    game.stop()
    return statistics.median(delays)

def lungeLateness(run, label, lunges=8):
    game, bout = run.holdDialogue(run.start(), "Ann", "Bo")
    game.window()
    late = []
    for _ in range(lunges):
        now = time.time()
        time.sleep(int(now) + 1.3 - now)
        game.keys("f")
        pressedAt = game.expect(bout.lunge("left"))
        time.sleep(4.2)
        with game.changed:
            arrivals = [t for t, _ in game.arrivals if t > pressedAt]
            game.cursor = len(game.output)
        for t in arrivals:
            late.append(1000 * (t - int(t)))
    log("lateness " + " ".join(f"{x:.0f}" for x in late))
    log(f"{label} lunge steps after their second began ({len(late)} steps): "
        f"median {statistics.median(late):.1f} ms, max {max(late):.1f} ms")
    game.stop()
    return late

if __name__ == "__main__":
    # label=path ... then what to measure
    games = [(label, os.path.abspath(path)) for label, path in
             (a.split("=", 1) for a in sys.argv[1:] if "=" in a)]
    what = [a for a in sys.argv[1:] if "=" not in a] or ["cpu", "keys", "lunge"]
    sdl = subprocess.run(["sdl2-config", "--cflags", "--libs"], capture_output=True, text=True,
                         check=True).stdout.split()
    subprocess.run(["c++", "-std=c++20", "-shared", "-fPIC", "-o", SHIM,
                    os.path.join(HERE, "twoVirtualPads.cpp"), *sdl, "-ldl"], check=True)
    session = Session(["--game", games[0][1], "--pictures", os.path.join(TOP, "assets"),
                       "--shots", os.path.join(WORK, "shots")])
    run = Run(session, "measure")
    try:
        for label, game in games:
            run.args.game = game
            if "cpu" in what: cpuRuns(run, label)
            if "keys" in what: keyLatency(run, label)
            if "steady" in what: steadyFencing(run, label)
            if "lunge" in what: lungeLateness(run, label)
    finally:
        run.finish()
