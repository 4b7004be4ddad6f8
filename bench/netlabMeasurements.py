#!/usr/bin/env python3
"""Measured runs across home routers in the network lab (figures to report, not a test; as
root): a press's way to the other console punched through and relayed by lamevo-meet (median
of 30 presses each way, less what xdotool and the pipes cost, as bench/networkMeasurements.py
measures it), and the time each way takes to connect.

    bench/netlabMeasurements.py --game $PWD/build/default/src/display/lamevo \\
        --pictures $PWD/assets --shots /tmp/lamevo-shots
"""

import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "tests", "window"))

import testNetlab  # noqa: E402
from lamevoHarness import Run, Session  # noqa: E402
from networkMeasurements import milliseconds, pressTimes  # noqa: E402

PRESSES = 30


def measure(session):
    for labOptions, way in ((["--no-upnp-b"], "punched through both routers"),
                            (["--symmetric-b", "--no-upnp-b"], "relayed by the meet server")):
        run = Run(session, "measure-netlab")
        try:
            def presses(run, host, joiner, bout):
                alone, aloneBout = run.holdDialogue(run.start(screen=run.otherScreen()), "Cy",
                                                    "Di")
                _, hostFar = pressTimes(host, joiner, bout, "da", alone, aloneBout, PRESSES)
                _, joinerFar = pressTimes(joiner, host, bout, "k;", alone, aloneBout, PRESSES)
                print(f"{way}, host's press to the joiner's console: {milliseconds(hostFar)}")
                print(f"{way}, joiner's press to the host's console: {milliseconds(joinerFar)}")
            testNetlab.byRoomCode(run, labOptions, way, then=presses)
        finally:
            run.finish()


if __name__ == "__main__":
    session = Session()
    testNetlab.netlab = testNetlab.netlabScript()
    testNetlab.meetProgram = os.path.join(os.path.dirname(session.args.game), "..", "meet",
                                          "lamevo-meet")
    # The lab's namespaces have fixed names: one lab at a time, as the tests take it.
    with testNetlab.labLock():
        measure(session)
