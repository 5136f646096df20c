"""Scenarios of the working folder and the launch: folders and files prepared under the next
names, a package without "executable32"."""

import contextlib
import os
import time

from e2e_common import INSTALLER_EXIT
from e2e_packages import chain_bytes, file_entry, value_entry
from e2e_run import Checks, Run, check_installer_ran

def stub_time_number(seconds):
    """The working folder number the stub starts from at `seconds`: the low 32 bits, signed."""
    low = int(seconds) & 0xFFFFFFFF
    return low - (1 << 32) if low >= 1 << 31 else low


def prepare_next_names(run, make, seconds_ahead=40):
    """Makes an entry QVT<n> (through `make`) for each second from a little before now to
    `seconds_ahead` later; returns the names."""
    now = stub_time_number(time.time())
    names = ["QVT%d" % n for n in range(now - 2, now + seconds_ahead)]
    for name in names:
        make(os.path.join(run.temp, name))
    return names


def scenario_prepared_folders(s):
    """Folders QVT<n> prepared for the next seconds, each holding a planted version.dll, are
    never used: the installer runs in a folder of the run's own, beside only its own files, the
    prepared folders stay as they were and the run's own folder is gone; plain files QVT<n> for
    the next seconds do not stop the run either. The installer's exit code passes through."""
    checks = Checks()

    def planted_folder(path):
        os.mkdir(path)
        with open(os.path.join(path, "version.dll"), "wb") as f:
            f.write(b"planted " + os.path.basename(path).encode())

    def plain_file(path):
        with open(path, "wb") as f:
            f.write(b"not a folder")

    for variant, make in (("folders", planted_folder), ("files", plain_file)):
        run = Run(s, "prepared_" + variant)
        package = s.standard_package(run)
        prepared = prepare_next_names(run, make)
        exit_code, boxes = run.execute(package, "/x1")
        check_installer_ran(checks, run, "/x1", exit_code, INSTALLER_EXIT, boxes, left=prepared)
        parts = (run.installer_report() or {}).get("module", "").split("\\")
        own = parts[-2] if len(parts) >= 2 else ""
        checks.true("%s: the installer ran in the prepared %s" % (run.name, own), own not in prepared)
        for name in prepared:
            path = os.path.join(run.temp, name)
            if variant == "files":
                checks.true("%s: %s is no longer the plain file" % (run.name, name),
                            os.path.isfile(path))
                continue
            planted = os.path.join(path, "version.dll")
            checks.equal("%s: %s content" % (run.name, name),
                         sorted(os.listdir(path)) if os.path.isdir(path) else "removed", ["version.dll"])
            if os.path.isfile(planted):
                with open(planted, "rb") as f:
                    checks.equal("%s: %s\\version.dll" % (run.name, name), f.read(),
                                 b"planted " + name.encode())
    checks.raise_if_any()


SPAWN_FAILED = ("ShellExecuteEx failed", "Unable to spawn process")


def processes_naming(text):
    """Linux processes (Wine's included) whose command line contains `text`, ignoring case."""
    found = []
    for pid in os.listdir("/proc"):
        if not pid.isdigit() or int(pid) == os.getpid():
            continue
        with contextlib.suppress(OSError):
            with open("/proc/%s/cmdline" % pid, "rb") as f:
                args = f.read().replace(b"\0", b" ").decode("latin-1")
            if text.lower() in args.lower():
                found.append("%s: %s" % (pid, args.strip()))
    return found


def scenario_no_executable(s):
    """An accepted package whose "executable32" is missing, empty or names a folder launches
    nothing: "ShellExecuteEx failed" (none when silent), exit 1 within seconds, no process left
    that names the run's folder (the shell's file browser), the working folder removed."""
    checks = Checks()
    installer = s.fake_installer()
    for name, executable, args, wanted in (("missing", None, "/x1", [SPAWN_FAILED]),
                                           ("empty", "", "/s", []),
                                           ("folder", ".", "/x1", [SPAWN_FAILED])):
        run = Run(s, "no_executable_" + name)
        entries = [file_entry("installer32", "fake_installer.exe", installer),
                   file_entry("", "fake_installer.cfg", b"exit=0\n"),
                   value_entry("parameters", "/qb")]
        if executable is not None:
            entries.append(value_entry("executable32", executable))
        package = s.write(run, "package.exe", chain_bytes(s.stub_image(), entries))
        started = time.monotonic()
        exit_code, boxes = run.execute(package, args)
        elapsed = time.monotonic() - started
        checks.equal(run.name + " exit code", exit_code, 1)
        checks.equal(run.name + " boxes", boxes, wanted)
        checks.true("%s took %.1f s" % (run.name, elapsed), elapsed < 30)
        checks.equal(run.name + " installer report", run.installer_report(), None)
        checks.equal(run.name + " working folders left", run.working_folders_left(), [])
        checks.equal(run.name + " processes left", processes_naming(run.temp_win), [])
    checks.raise_if_any()
