#!/usr/bin/env python3
"""The replay's options on the real game's command line, without a display: a file that is
not a whole recording is refused in one line with status 1 before any window could open,
options that do not go together are refused with status 2, and --check --expect names the
first byte where the console text differs.

Usage: commandLineRefusals.py <path to lamevo>"""

import os
import subprocess
import sys
import tempfile

GAME = sys.argv[1]
HEADER = "lamevo-recording 1\nleft Ann\nright Bob\ntouches 5\n"
# Both close in to a gap of 2, Ann lunges and scores at once: the replay's text is known.
TOUCH = HEADER + "".join(f"0 {side} advance\n" for side in ("left",) * 4 + ("right",) * 4) + \
    "2500 left lunge\n"


def run(*arguments):
    environment = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
    done = subprocess.run([GAME, *arguments], capture_output=True, text=True, timeout=30,
                          env=environment)
    return done.returncode, done.stdout, done.stderr


def main():
    folder = tempfile.mkdtemp(prefix="lamevo-replay-")
    files = {}
    for name, text in (("junk", "GIF89a"), ("newer", "lamevo-recording 7\n"),
                       ("damaged", HEADER + "100 left feint\n"), ("touch", TOUCH)):
        files[name] = os.path.join(folder, name)
        with open(files[name], "w") as file:
            file.write(text)
    failures = []
    table = [
        (("--replay=" + files["junk"],), 1,
         f"The recording {files['junk']} is not a recording of The Lamevo.\n"),
        (("--replay=" + files["newer"], "--check"), 1,
         f"The recording {files['newer']} is a recording of version 7, newer than this game "
         "reads (version 1 and earlier).\n"),
        (("--replay=" + files["damaged"],), 1,
         f"The recording {files['damaged']} is damaged: line 5 has a press of an unknown side "
         "or command.\n"),
        (("--replay=" + folder + "/none",), 1,
         f"The Lamevo cannot open the recording {folder}/none: No such file or directory.\n"),
        (("--check",), 2, "lamevo: --check replays a recording; add --replay=FILE.\n"),
        (("--replay=" + files["touch"], "--expect=x"), 2,
         "lamevo: --expect compares a replay's console text; add --replay=FILE --check.\n"),
        (("--replay=" + files["touch"], "--computer"), 2,
         "lamevo: --replay plays a recorded bout back; it goes with none of --host, --join, "
         "--computer, --tournament and --record.\n"),
        (("--record",), 2,
         "lamevo: --record alone keeps a club night's bouts beside its results; add "
         "--tournament and --results, or give --record=FILE.\n"),
        (("--tournament", "--results=x.csv", "--record=y"), 2,
         "lamevo: a club night keeps each bout in a file of its own beside the results: give "
         "--record alone.\n"),
    ]
    for arguments, status, said in table:
        got = run(*arguments)
        if got[0] != status or got[2] != said or got[1] != "":
            failures.append(f"{arguments}: wanted {status} {said!r}, got {got}")

    status, printed, said = run("--replay=" + files["touch"], "--check")
    cut = "\nThe recording ends here: the bout was cut short before either fencer won.\n"
    if status != 0 or not printed.endswith(cut + "\nFinal score: Ann 1 VS. 0 Bob\n") or said:
        failures.append(f"--check of a touch: {status} {printed[-200:]!r} {said!r}")
    transcript = os.path.join(folder, "transcript")
    with open(transcript, "w") as file:
        file.write(printed[:printed.index(cut)].replace("Touch to Ann", "Touch to Bob"))
    status, _, said = run("--replay=" + files["touch"], "--check", "--expect=" + transcript)
    at = printed.index("Touch to Ann") + len("Touch to ")
    line = printed[:at].count("\n") + 1
    column = at - printed.rfind("\n", 0, at)
    wanted = (f"The console text differs from {transcript} first at byte {at} (line {line}, "
              f"column {column}): the transcript has 'B', the replay 'A'.\n")
    if status != 1 or said != wanted:
        failures.append(f"--expect of another text: {status} {said!r}, wanted {wanted!r}")
    for failure in failures:
        print("FAIL", failure)
    print(f"{len(table) + 2 - len(failures)} passed, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
