#!/usr/bin/env python3
"""Faults as figures: the stub under Wine, run again and again in one shared %TEMP% with faults
between its runs, in rounds of four kinds:
  kill   a run of a small package (its installer holds on for 1.5 s) or of a 256 MiB one, killed
         (SIGKILL to its Wine process) at a random moment, during the extraction or the installer;
  burst  8 simultaneous starts of the small package;
  disk   a run of a 16 MiB package in a %TEMP% on a 24 MiB tmpfs that holds a random amount
         already, so that the disk fills at a random offset (needs root; left out otherwise).
After every round one clean run must launch its installer (exit 3010), and %TEMP% must hold only
the log. At the end every log line must be whole, after one byte order mark. Reported: runs,
kills, collisions ("Already Running"), full disks, leftovers, torn lines, overlapping installers
and exit codes that disagree with the outcome. A figure, never a test: it exits 0."""

import argparse
import glob
import os
import random
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from e2e_common import LOG_LINE, LOG_NAME  # noqa: E402
from e2e_packages import chain_bytes, installer_entries, write_padded_package  # noqa: E402
from e2e_run import parse_exit  # noqa: E402
from e2e_wine import Wine, win_path  # noqa: E402

EXIT = 3010
BURST = 8
RUN_SECONDS = 120


class Soak:
    def __init__(self, opts):
        self.work = opts.work
        tools = os.path.join(opts.build_dir, "tests", "e2e")
        self.runner = os.path.join(tools, "e2e_runner.exe")
        with open(os.path.join(opts.build_dir, "driver", "Tailrun.exe"), "rb") as f:
            stub = f.read()
        with open(os.path.join(tools, "fake_installer.exe"), "rb") as f:
            installer = f.read()
        self.temp = self.folder("temp")
        self.reports = self.folder("reports")
        self.wine = Wine(opts.wineprefix, self.folder("logs"))
        self.holding = self.write("holding.exe", chain_bytes(stub, installer_entries(
            installer, "exit=%d\nexclusive=1\nwait_event=TailrunSoak.Never\nwait_ms=1500\n" % EXIT)))
        self.quick = self.write("quick.exe", chain_bytes(stub, installer_entries(installer, "exit=%d\n" % EXIT)))
        self.big = write_padded_package(os.path.join(self.work, "big.exe"), stub, installer, 256 << 20, EXIT)
        self.medium = write_padded_package(os.path.join(self.work, "medium.exe"), stub, installer, 16 << 20, EXIT)
        self.figures = dict.fromkeys(("runs", "kills during extraction", "kills during the installer",
                                      "kills after the run", "bursts", "collisions", "full disks",
                                      "leftovers", "torn lines", "overlaps", "wrong exit codes"), 0)
        self.count = 0

    def folder(self, name):
        path = os.path.join(self.work, name)
        os.makedirs(path, exist_ok=True)
        return path

    def write(self, name, data):
        path = os.path.join(self.work, name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def start(self, package, temp):
        """Starts one silent run; returns (process, output file, report file)."""
        self.count += 1
        self.figures["runs"] += 1
        args = os.path.join(self.reports, "args-%d.txt" % self.count)
        report = os.path.join(self.reports, "report-%d.txt" % self.count)
        with open(args, "w") as f:
            f.write("/s")
        process, output = self.wine.start([self.runner, "--temp", win_path(temp), "--set",
                                           "TAILRUN_E2E_REPORT=" + win_path(report), "--timeout-ms",
                                           str(RUN_SECONDS * 1000), "--args-file", win_path(args),
                                           win_path(package)], "run")
        return process, output, report

    def finish(self, started):
        """The run's exit code, or None when it did not end with one (killed)."""
        process, output, _ = started
        try:
            process.wait(timeout=RUN_SECONDS + 60)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait(timeout=30)
            return None
        try:
            with open(output, encoding="latin-1") as f:
                return parse_exit(f.read(), "run")
        except Exception:
            return None

    def log_texts(self, temp):
        path = os.path.join(temp, LOG_NAME)
        if not os.path.exists(path):
            return []
        with open(path, "rb") as f:
            body = f.read()[3:].decode("utf-8", "replace")
        return [line for line in body.split("\r\n")[:-1]]

    def expect(self, code, wanted):
        if code not in wanted:
            self.figures["wrong exit codes"] += 1
            print("  unexpected exit code %r (expected one of %r)" % (code, sorted(wanted)), flush=True)

    def clean_run(self):
        """One run that must launch, then %TEMP% must hold the log alone."""
        self.expect(self.finish(self.start(self.quick, self.temp)), {EXIT})
        left = sorted(set(os.listdir(self.temp)) - {LOG_NAME})
        if left:
            self.figures["leftovers"] += len(left)
            print("  left in %%TEMP%%: %r" % left, flush=True)

    def kill_round(self, package):
        started = self.start(package, self.temp)
        time.sleep(random.uniform(0.3, 3.0))  # the moment of the fault, not a synchronisation
        report = started[2]
        during_installer = os.path.exists(report)
        found = subprocess.run(["pgrep", "-f", win_path(package).replace("\\", "\\\\")], capture_output=True,
                               text=True).stdout.split()
        for pid in found:
            try:
                os.kill(int(pid), signal.SIGKILL)
            except ProcessLookupError:
                pass
        kind = "kills after the run" if not found else (
            "kills during the installer" if during_installer else "kills during extraction")
        self.figures[kind] += 1
        self.finish(started)
        # A killed run's installer goes on alone; the next installer waits for it to end (bounded).
        deadline = time.monotonic() + 10
        while os.path.exists(report) and "wait\t" not in open(report, encoding="latin-1").read():
            if time.monotonic() > deadline:
                break
            time.sleep(0.05)
        self.clean_run()

    def burst_round(self):
        before = sum("Message: Already Running" in t for t in self.log_texts(self.temp))
        runs = [self.start(self.holding, self.temp) for _ in range(BURST)]
        codes = [self.finish(run) for run in runs]
        for code in codes:
            self.expect(code, {EXIT, 1})
        for _, _, report in runs:
            if os.path.exists(report) and "overlap\tyes" in open(report, encoding="latin-1").read():
                self.figures["overlaps"] += 1
        refused = sum("Message: Already Running" in t for t in self.log_texts(self.temp)) - before
        self.figures["bursts"] += 1
        self.figures["collisions"] += refused
        if refused != codes.count(1):
            self.figures["wrong exit codes"] += abs(codes.count(1) - refused)
            print("  %d runs ended 1, %d were refused as already running" % (codes.count(1), refused), flush=True)
        self.clean_run()

    def disk_round(self, small):
        filler = os.path.join(small, "filler.bin")
        with open(filler, "wb") as f:
            f.write(b"\0" * random.randrange(0, 20 << 20))
        before = len(self.log_texts(small))
        code = self.finish(self.start(self.medium, small))
        self.expect(code, {EXIT, 1})
        if code == 1:
            self.figures["full disks"] += 1
            new = self.log_texts(small)[before:]
            if not any("Invalid Archive!" in t or "Failed to extract file!" in t for t in new):
                self.figures["wrong exit codes"] += 1
                print("  exit 1 on a full disk without its message: %r" % new[-4:], flush=True)
        os.remove(filler)
        left = sorted(set(os.listdir(small)) - {LOG_NAME})
        self.figures["leftovers"] += len(left)
        if left:
            print("  left on the small disk: %r" % left, flush=True)
        self.clean_run()

    def check_log(self, temp):
        path = os.path.join(temp, LOG_NAME)
        if not os.path.exists(path):
            return
        with open(path, "rb") as f:
            data = f.read()
        if not data.startswith(b"\xEF\xBB\xBF") or data.count(b"\xEF\xBB\xBF") != 1:
            self.figures["torn lines"] += 1
            print("  %s: %d byte order marks" % (path, data.count(b"\xEF\xBB\xBF")), flush=True)
        for line in data[3:].decode("utf-8", "replace").split("\r\n")[:-1]:
            if not LOG_LINE.fullmatch(line):
                self.figures["torn lines"] += 1


def mount_small(folder):
    if os.geteuid() != 0:
        return False
    return subprocess.run(["mount", "-t", "tmpfs", "-o", "size=24m", "tmpfs", folder], stdin=subprocess.DEVNULL,
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30).returncode == 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build-dir", required=True, help="the Windows build tree")
    parser.add_argument("--work", required=True, help="scratch folder (about 0.6 GiB)")
    parser.add_argument("--wineprefix", required=True)
    parser.add_argument("--runs", type=int, default=500)
    parser.add_argument("--seed", type=int, default=20261208)
    opts = parser.parse_args()
    random.seed(opts.seed)
    soak = Soak(opts)
    small = soak.folder("small")
    with_disk = mount_small(small)
    started = time.monotonic()
    try:
        soak.wine.run(["cmd.exe", "/c", "exit"], 600, "prefix")
        while soak.figures["runs"] < opts.runs:
            soak.kill_round(soak.holding)
            soak.kill_round(soak.big)
            soak.burst_round()
            if with_disk:
                soak.disk_round(small)
            print("after %d runs: %s" % (soak.figures["runs"], soak.figures), flush=True)
        soak.check_log(soak.temp)
        if with_disk:
            soak.check_log(small)
    finally:
        if with_disk:
            subprocess.run(["umount", small], stdin=subprocess.DEVNULL, timeout=60)
        for path in glob.glob(os.path.join(soak.work, "*.exe")):
            os.remove(path)
    print("soak (seed %d, %.0f s): %s%s" % (opts.seed, time.monotonic() - started,
                                            ", ".join("%s %d" % item for item in soak.figures.items()),
                                            "" if with_disk else "; full disks left out (a tmpfs needs root)"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
