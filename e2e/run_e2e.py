#!/usr/bin/python3
"""Runs end-to-end journeys against the built program on a private desktop.

  run_e2e.py --program build/bin/tessaro --artifacts build/e2e-artifacts [JOURNEY ...]
  run_e2e.py --program build/bin/tessaro --artifacts DIR --dump   (prints the accessibility tree)

Exit code: 0 all passed, 1 a journey failed, 77 every chosen journey was skipped.
Screenshots, tree dumps and program logs of a failed journey stay in the
artifacts folder; those of a passed one are removed.
Run with Debian's /usr/bin/python3: the accessibility binding is a Debian package.
"""

import argparse
import os
import signal
import sys
import unittest

sys.dont_write_bytecode = True  # keep the source folder clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from desktop import Desktop  # noqa: E402

SKIPPED_EXIT_CODE = 77


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--artifacts", required=True)
    parser.add_argument("--fixtures", default=os.path.join(os.path.dirname(__file__), "..", "tests", "fixtures"))
    parser.add_argument("--dump", action="store_true", help="print the main window's accessibility tree")
    parser.add_argument("journeys", nargs="*", help="journey names (test methods without 'test_'); all if none")
    args = parser.parse_args()

    import importlib.util
    if importlib.util.find_spec("pyatspi") is None:
        print("the accessibility binding is missing: apt-get install python3-pyatspi, "
              "and run this with /usr/bin/python3", file=sys.stderr)
        return 1
    os.makedirs(args.artifacts, exist_ok=True)
    # A run stopped from outside (ctest's time-out) still ends the desktop and the program.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(128 + signal.SIGTERM))
    with Desktop() as desktop:
        # The accessibility library connects to the bus named here when first imported.
        os.environ.update({k: desktop.env[k] for k in ("DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR")})
        import journeys  # noqa: E402 - needs the environment above
        journeys.configure(desktop, os.path.abspath(args.program), os.path.abspath(args.artifacts),
                           os.path.abspath(args.fixtures))
        if args.dump:
            return journeys.dump_tree()
        return run_journeys(journeys, args.journeys)


def run_journeys(journeys, names):
    loader = unittest.TestLoader()
    if names:
        suite = unittest.TestSuite(loader.loadTestsFromName("Journeys.test_" + n, journeys) for n in names)
    else:
        suite = loader.loadTestsFromTestCase(journeys.Journeys)
    result = unittest.TextTestRunner(stream=sys.stdout, verbosity=2).run(suite)
    for test, reason in result.skipped:
        print("SKIPPED %s: %s" % (test.id().rsplit(".", 1)[-1], reason))
    if not result.wasSuccessful():
        return 1
    if result.testsRun and len(result.skipped) == result.testsRun:
        return SKIPPED_EXIT_CODE
    return 0


if __name__ == "__main__":
    sys.exit(main())
