#!/usr/bin/env python3
"""What the progress window costs a run: the same 1.5 GiB package (the stub, the payload and its
padding), run under Wine on an Xvfb display without /s (the window shows for most of the walk)
and with /s (no window), alternating, RUNS times each. Reports each case's median wall time and
their ratio; the goal is a ratio of at most 1.05. A figure, never a test."""

import argparse
import os
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from e2e_packages import write_padded_package  # noqa: E402
from e2e_run import parse_exit  # noqa: E402
from e2e_wine import Wine, Xvfb, win_path  # noqa: E402


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build-dir", required=True, help="the Windows build tree")
    parser.add_argument("--work", required=True, help="scratch folder (about 3.2 GiB at the peak)")
    parser.add_argument("--wineprefix", required=True)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--size-mib", type=int, default=1536)
    parser.add_argument("--stub", help="the stub to pack (default: BUILD/driver/Tailrun.exe)")
    opts = parser.parse_args()
    tools = os.path.join(opts.build_dir, "tests", "e2e")
    with open(opts.stub or os.path.join(opts.build_dir, "driver", "Tailrun.exe"), "rb") as f:
        stub = f.read()
    with open(os.path.join(tools, "fake_installer.exe"), "rb") as f:
        installer = f.read()
    package = write_padded_package(os.path.join(opts.work, "package.exe"), stub, installer,
                                   opts.size_mib << 20, 0)
    temp = os.path.join(opts.work, "temp")
    os.makedirs(temp, exist_ok=True)
    logs = os.path.join(opts.work, "logs")
    os.makedirs(logs, exist_ok=True)
    wine = Wine(opts.wineprefix, logs)
    xvfb = Xvfb(os.path.join(logs, "xvfb.log"))
    times = {"window": [], "silent": []}
    try:
        wine.env["DISPLAY"] = xvfb.display
        wine.run(["cmd.exe", "/c", "exit"], 600, "prefix")
        # The desktop stays up for the whole benchmark, as a Windows session's does: under Wine the
        # first program that needs it starts it (about a second) and it ends a few seconds after
        # the last, which would charge its start to every run that shows a window.
        stop = os.path.join(opts.work, "desktop.stop")
        holder, _ = wine.start([os.path.join(tools, "window_probe.exe"), "--title", "no such window",
                                "--ready-file", win_path(os.path.join(opts.work, "desktop.ready")),
                                "--found-file", win_path(os.path.join(opts.work, "desktop.found")),
                                "--stop-file", win_path(stop), "--max-seconds", "3600"], "desktop")
        deadline = time.monotonic() + 120
        while not os.path.exists(os.path.join(opts.work, "desktop.ready")) and time.monotonic() < deadline:
            time.sleep(0.1)
        # The first pair warms the caches and is not counted.
        for run in range(-1, opts.runs):
            for case, args in (("window", "/x"), ("silent", "/s")):
                args_file = os.path.join(opts.work, "args.txt")
                with open(args_file, "w") as f:
                    f.write(args)
                started = time.monotonic()
                _, output = wine.run([os.path.join(tools, "e2e_runner.exe"), "--temp", win_path(temp),
                                      "--set", "TAILRUN_E2E_REPORT=" + win_path(os.path.join(opts.work, "r.txt")),
                                      "--timeout-ms", "600000", "--args-file", win_path(args_file),
                                      win_path(package)], 700, case)
                elapsed = time.monotonic() - started
                code = parse_exit(output, case)
                if run >= 0:
                    times[case].append(elapsed)
                print("run %d %-6s %6.2f s  exit %d" % (run + 1, case, elapsed, code), flush=True)
        open(stop, "wb").close()
        holder.wait(timeout=30)
    finally:
        xvfb.stop()
        os.remove(package)
    window, silent = statistics.median(times["window"]), statistics.median(times["silent"])
    print("median: window %.2f s, silent %.2f s; ratio window/silent %.3f; the window's cost %.2f s"
          % (window, silent, window / silent, window - silent))


if __name__ == "__main__":
    main()
