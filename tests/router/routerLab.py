#!/usr/bin/env python3
"""The router asked for real, in the network lab (as root; skipped with a line otherwise): by
UPnP, by NAT-PMP alone and where no router answers; each forwarding shows on router A while
the asker runs and is gone once it ends, at exit or by a signal.
Usage: routerLab.py ROUTER-PROBE"""

import os
import signal
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "window"))

import testNetlab  # noqa: E402


def probe(lab, namespace, port, ways):
    asker = subprocess.Popen([*lab.prefix(namespace), sys.argv[1], str(port), ways],
                             stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    return asker, asker.stdout.readline().rstrip("\n")


def main():
    failures = []

    def check(what, condition):
        print(("ok " if condition else "FAIL ") + what, flush=True)
        if not condition:
            failures.append(what)

    with testNetlab.Lab(testNetlab.netlabScript()) as lab:
        asker, said = probe(lab, "nl-a", 41000, "both")
        check(f"UPnP first: {said!r}", said == "upnp 81.0.0.1 41000 ")
        check("the forwarding is on the router",
              lab.mappings() == ["udp 81.0.0.1:41000 -> 10.1.0.2:41000"])
        asker.stdin.close()
        check("ends with status 0", asker.wait(20) == 0)
        check("the forwarding went with it", lab.mappings() == [])

        asker, said = probe(lab, "nl-a", 41001, "natpmp")
        check(f"NAT-PMP alone: {said!r}", said == "natPmp 81.0.0.1 41001 ")
        check("its forwarding is on the router",
              lab.mappings() == ["udp 81.0.0.1:41001 -> 10.1.0.2:41001"])
        asker.send_signal(signal.SIGTERM)
        check("ends by the signal", asker.wait(20) == -signal.SIGTERM)
        check("its forwarding went too", lab.mappings() == [])

        # The lab's internet has no router in front of it, nor a way out.
        asker, said = probe(lab, "nl-wan", 41002, "both")
        check(f"no router: {said!r}",
              said == "none - 0 no UPnP router answered; this machine has no default gateway "
                      "to ask by NAT-PMP")
        asker.stdin.close()
        check("ends with status 0 having nothing to take away", asker.wait(20) == 0)
    return 1 if failures else 0


if __name__ == "__main__":
    if os.geteuid() != 0:
        testNetlab.skip("they build network namespaces, which needs root")
    if testNetlab.netlabScript() is None:
        testNetlab.skip("no netlab script (set LAMEVO_NETLAB to it)")
    with testNetlab.labLock():
        sys.exit(main())
