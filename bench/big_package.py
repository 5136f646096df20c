#!/usr/bin/env python3
"""Figures for big packages (bench/big_package.sh builds the programs and calls this).

Sections, all in one run:
  peer   a stub package and an NSIS package (SetCompress off) of the same two files, a 256 MiB data
         file and a small installer that returns 3010, run silently under Wine, alternating, RUNS
         runs each: median wall time, the ratio stub/peer, each one's peak resident memory.
  floor  (stub run - bare installer run) against md5sum + cp of the payload.
  flat   the stub's peak resident memory with a 16 MiB and a 1.5 GiB payload; a 2.5 GiB payload
         (past every signed 32-bit distance) runs and passes its exit code through.
  create tailpack create of a 1.5 GiB input against md5sum + cp of it, with its peak resident
         memory; tailpack verify of the package against md5sum of it.

Peak resident memory is the largest resident set of the process and the descendants it waited for
(wait4), so for a Wine run it is the Wine process of the program (under qemu where 32-bit programs
are emulated). Reports figures; never fails a test run. Exits 1 only when a run did not do what it
should (wrong exit code, a working folder left behind).
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import time

MIB = 1 << 20
EXIT = 3010
TIMEOUT = 900
failures = []


def run(command, **kwargs):
    """Runs `command` with no input and its output discarded, bounded by TIMEOUT; returns (wall
    seconds, exit status, peak resident MiB). Dirty pages of earlier steps are written out first,
    so a run does not pay for the write-back of the one before."""
    os.sync()
    started = time.monotonic()
    process = subprocess.Popen(["timeout", "--kill-after=30", str(TIMEOUT)] + command,
                               stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL, **kwargs)
    _, status, usage = os.wait4(process.pid, 0)
    process.returncode = os.waitstatus_to_exitcode(status)
    return time.monotonic() - started, process.returncode, usage.ru_maxrss / 1024.0


def wine(program, *args):
    return run(["wine", program] + list(args))


def expect(what, status, wanted):
    if status != wanted:
        failures.append("%s: exit status %d, expected %d" % (what, status, wanted))


def make_file(path, size):
    """`size` bytes that do not compress: one random MiB, repeated."""
    block = os.urandom(MIB)
    with open(path, "wb") as out:
        left = size
        while left:
            piece = block[:min(left, MIB)]
            out.write(piece)
            left -= len(piece)
    return path


class Bench:
    def __init__(self, opts):
        self.o = opts
        self.work = opts.work
        self.temp = opts.wine_temp
        self.before = set(self.working_folders())

    def path(self, name):
        return os.path.join(self.work, name)

    def working_folders(self):
        return [n for n in os.listdir(self.temp) if n.startswith("QVT")]

    def check_no_folder_left(self, what):
        left = set(self.working_folders()) - self.before
        if left:
            failures.append("%s left working folder(s): %s" % (what, " ".join(sorted(left))))
            for name in left:
                shutil.rmtree(os.path.join(self.temp, name), ignore_errors=True)

    def stub_package(self, data, output):
        status = run([self.o.tailpack, "create", "--stub", self.o.stub, "--output", output,
                      "--file", "data:" + os.path.basename(data) + "=" + data,
                      "--file", "installer32:tiny_installer.exe=" + self.o.tiny,
                      "--value", "executable32=%installer32%", "--value", "parameters=/qn"])[1]
        expect("tailpack create " + output, status, 0)
        return output

    def peer_package(self, data, output):
        script = self.path("peer.nsi")
        with open(script, "w") as f:
            f.write('SetCompress off\nSilentInstall silent\nRequestExecutionLevel user\n'
                    'OutFile "%s"\nSection\n  InitPluginsDir\n  SetOutPath $PLUGINSDIR\n'
                    '  File "%s"\n  File "%s"\n'
                    '  ExecWait \'"$PLUGINSDIR\\tiny_installer.exe"\' $0\n  SetErrorLevel $0\n'
                    'SectionEnd\n' % (output, data, self.o.tiny))
        status = run([self.o.makensis, "-V1", script])[1]
        expect("makensis", status, 0)
        return output

    def peer_and_floor(self):
        data = make_file(self.path("big.bin"), 256 * MIB)
        stub = self.stub_package(data, self.path("StubPackage.exe"))
        peer = self.peer_package(data, self.path("PeerPackage.exe"))
        wine(self.o.tiny)  # warm: the server and the prefix's files
        times = {"stub": [], "peer": [], "bare": [], "floor": []}
        peaks = {"stub": [], "peer": []}
        for i in range(self.o.runs):
            for name, command in (("stub", [stub, "/s"]), ("peer", [peer, "/S"])):
                seconds, status, peak = wine(*command)
                expect("%s run %d" % (name, i + 1), status, EXIT & 0xff)
                times[name].append(seconds)
                peaks[name].append(peak)
            self.check_no_folder_left("stub runs")
            seconds, status, _ = wine(self.o.tiny)
            expect("bare installer run %d" % (i + 1), status, EXIT & 0xff)
            times["bare"].append(seconds)
            copy = self.path("copy.bin")
            os.sync()
            started = time.monotonic()
            subprocess.run(["md5sum", data], stdout=subprocess.DEVNULL, check=True, timeout=TIMEOUT)
            shutil.copyfile(data, copy)
            times["floor"].append(time.monotonic() - started)
            os.remove(copy)
        m = {k: statistics.median(v) for k, v in times.items()}
        print("\n== the peer: 256 MiB data file + small installer, /s and /S under Wine, %d runs each"
              % self.o.runs)
        print("%-34s %10s %14s   %s" % ("", "median (s)", "peak RSS (MiB)", "all (s)"))
        for name, label in (("stub", "stub package"), ("peer", "NSIS package (SetCompress off)")):
            print("%-34s %10.3f %14.1f   %s" % (label, m[name], max(peaks[name]),
                                                " ".join("%.3f" % t for t in times[name])))
        print("ratio stub/peer (median): %.2f (goal at most 0.6); peak RSS stub %.1f MiB, peer %.1f MiB"
              % (m["stub"] / m["peer"], max(peaks["stub"]), max(peaks["peer"])))
        print("\n== the floor")
        print("bare installer run: median %.3f s; md5sum + cp of the 256 MiB file: median %.3f s"
              % (m["bare"], m["floor"]))
        print("(stub run - bare run) / (md5sum + cp): %.2f (goal at most 1.5)"
              % ((m["stub"] - m["bare"]) / m["floor"]))
        for name in (data, stub, peer):
            os.remove(name)

    def flat(self):
        print("\n== flat memory: one stub run per payload size")
        peaks = {}
        for label, size, keep in (("16 MiB", 16 * MIB, False), ("1.5 GiB", 3 * 512 * MIB, True),
                                  ("2.5 GiB", 5 * 512 * MIB, False)):
            data = make_file(self.path("payload.bin"), size)
            package = self.stub_package(data, self.path("Flat.exe"))
            if keep:
                self.create_and_verify(data, package)
            os.remove(data)
            seconds, status, peak = wine(package, "/s")
            expect("stub run, %s payload" % label, status, EXIT & 0xff)
            self.check_no_folder_left("stub run, %s payload" % label)
            peaks[label] = peak
            print("%-8s payload: %7.3f s, peak RSS %6.1f MiB, exit status %d (3010 & 0xff = %d)"
                  % (label, seconds, peak, status, EXIT & 0xff))
            os.remove(package)
        print("peak RSS 1.5 GiB - 16 MiB: %.1f MiB (goal under 4 MiB)" % (peaks["1.5 GiB"] - peaks["16 MiB"]))

    def create_and_verify(self, data, package):
        """tailpack create and verify of the 1.5 GiB input, against md5sum + cp and md5sum."""
        copy = self.path("copy.bin")
        started = time.monotonic()
        subprocess.run(["md5sum", data], stdout=subprocess.DEVNULL, check=True, timeout=TIMEOUT)
        shutil.copyfile(data, copy)
        floor = time.monotonic() - started
        os.remove(copy)
        again = self.path("again.exe")
        create, status, create_peak = run([self.o.tailpack, "create", "--stub", self.o.stub, "--output", again,
                                           "--file", "installer32:big.bin=" + data,
                                           "--value", "executable32=%installer32%"])
        expect("tailpack create", status, 0)
        if os.path.exists(again):
            os.remove(again)
        started = time.monotonic()
        subprocess.run(["md5sum", package], stdout=subprocess.DEVNULL, check=True, timeout=TIMEOUT)
        md5 = time.monotonic() - started
        verify, status, verify_peak = run([self.o.tailpack, "verify", package])
        expect("tailpack verify", status, 0)
        print("tailpack create, 1.5 GiB input: %.3f s, peak RSS %.1f MiB; md5sum + cp: %.3f s; ratio %.2f "
              "(goal at most 1.3, under 32 MiB)" % (create, create_peak, floor, create / floor))
        print("tailpack verify, 1.5 GiB package: %.3f s, peak RSS %.1f MiB; md5sum: %.3f s; ratio %.2f "
              "(goal at most 1.2)" % (verify, verify_peak, md5, verify / md5))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    for name in ("tailpack", "stub", "tiny", "makensis", "work", "wine-temp"):
        parser.add_argument("--" + name, required=name != "makensis")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--only", choices=("peer", "flat"), help="one section (peer includes floor; "
                        "flat includes create)")
    opts = parser.parse_args()
    bench = Bench(opts)
    if opts.only in (None, "peer"):
        if opts.makensis:
            bench.peer_and_floor()
        else:
            print("== the peer: skipped (no makensis)")
    if opts.only in (None, "flat"):
        bench.flat()
    for failure in failures:
        print("FAIL: " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
