#!/usr/bin/python3
"""CPU cost of lintara's record() against a C++ host doing the same work.

Records all 32 inputs of the simulated module at 500 kS/s in total (15625
kadrs/s) with build/bin/record_host (the driver created by its ProgID,
drained every 20 ms with GetData into one array, nothing else) and with
lintara.Driver.record(), each for a long and a short time; the difference of
the two costs is the cost of the long recording's extra seconds with
start-up, detection and the stop left out. Both costs hold the driver's own
worker, so what lintara adds on top of the driver is the difference between
the two lines, in percent of one core. Run it with Debian's interpreter,
which the package was built for:

    PYTHONPATH=build/python /usr/bin/python3 bench/python_record_bench.py [--build build] [--seconds 10]

It runs in a private registry store and never opens a window.
"""

import argparse
import math
import os
import resource
import subprocess
import sys
import tempfile
import time
from pathlib import Path

SHORT = 0.5


def child_cpu(command, env):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    subprocess.run(command, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, check=True)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)


def host_cost(build, seconds, env):
    def run(t):
        return child_cpu([str(build / "bin" / "record_host"), str(t)], env)
    return run(seconds + SHORT) - run(SHORT)


def lintara_cost(seconds):
    import lintara

    lintara.store_inputs(single_ended=True)
    with lintara.Driver() as e16:
        if not e16.test("127.0.0.1"):
            sys.exit(f"no module: {e16.last_error}")
        e16.channels = range(32)
        e16.rate = 15625

        def run(t):
            began = time.process_time()
            codes = e16.record(duration=t)
            assert codes.shape == (math.floor(t * 15625 + 0.5), 32)  # half up, as record() takes it
            return time.process_time() - began
        return run(seconds + SHORT) - run(SHORT)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", type=Path, default=Path("build"), help="the build folder (default: build)")
    parser.add_argument("--seconds", type=float, default=10.0, help="recording time measured (default: 10)")
    args = parser.parse_args()
    with tempfile.TemporaryDirectory(prefix="lintara-bench-") as store:
        os.environ["XDG_CONFIG_HOME"] = store
        for name in ("DISPLAY", "WAYLAND_DISPLAY"):
            os.environ.pop(name, None)
        cpp = host_cost(args.build, args.seconds, dict(os.environ))
        python = lintara_cost(args.seconds)
    share = 100.0 / args.seconds
    print(f"{args.seconds:g} s of 32 channels at 15625 kadrs/s, CPU time with the driver's worker:")
    print(f"  C++ host (GetData) {cpp:7.3f} s  ({cpp * share:5.2f} % of one core)")
    print(f"  lintara record()   {python:7.3f} s  ({python * share:5.2f} % of one core)")
    print(f"  lintara on top of the C++ host: {(python - cpp) * share:+.2f} % of one core")


if __name__ == "__main__":
    main()
