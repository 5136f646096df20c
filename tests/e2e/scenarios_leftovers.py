"""Leftovers of runs that did not end well: a run killed while it extracts leaves nothing that the
next run does not remove, and folders that are not proven leftovers of this stub stay untouched."""

import glob
import os
import signal
import subprocess
import time

from e2e_common import Failure, INSTALLER_EXIT, LOG_NAME
from e2e_packages import write_padded_package
from e2e_run import Checks, Run, check_installer_ran, log_texts
from e2e_wine import win_path

MARKER = "~QVT.run"


def _wait_for(condition, seconds, what):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if condition():
            return
        time.sleep(0.05)
    raise Failure("timed out after %d s waiting for %s" % (seconds, what))


def _kill_program(path):
    """SIGKILL to every process whose command line names `path` (the stub under Wine)."""
    found = subprocess.run(["pgrep", "-f", win_path(path).replace("\\", "\\\\")], capture_output=True, text=True)
    for pid in found.stdout.split():
        os.kill(int(pid), signal.SIGKILL)
    return bool(found.stdout.split())


def scenario_killed_run_is_cleaned(s):
    """A run killed while it extracts a large file leaves its folder (the partial file goes with the
    process); the next run in that temporary folder removes it and logs so, and %TEMP% is clean."""
    run = Run(s, "killed_run")
    package = write_padded_package(os.path.join(run.folder, "big.exe"), s.stub_image(), s.fake_installer(),
                                   400 << 20, INSTALLER_EXIT)
    process, _ = run.start(package, "/s")
    try:
        _wait_for(lambda: glob.glob(os.path.join(run.temp, "QVT*", "~extract*.tmp")), 120, "the extraction to start")
        if not _kill_program(package):
            raise Failure("no process of the package to kill")
        process.wait(timeout=60)
    finally:
        if process.poll() is None:
            process.kill()
    # The system deletes the delete-pending partial file once it has noticed the process's end.
    partial = lambda: glob.glob(os.path.join(run.temp, "QVT*", "~extract*.tmp"))
    _wait_for(lambda: not partial(), 30, "the partial file of the killed run to go")
    checks = Checks()
    left = run.working_folders_left()
    checks.equal("folders the killed run left", len(left), 1)
    files = sorted(os.listdir(os.path.join(run.temp, left[0]))) if left else []
    checks.true("the killed run's folder lacks its marker or keeps a partial file: %r" % files,
                MARKER in files and not any(name.startswith("~extract") for name in files))
    exit_code, boxes = run.execute(s.standard_package(run), "/x1")
    check_installer_ran(checks, run, "/x1", exit_code, INSTALLER_EXIT, boxes, log=False)
    texts = log_texts(checks, "killed_run", os.path.join(run.temp, LOG_NAME)) or []
    checks.true("the second run did not log the removal: %r" % texts,
                any(t.startswith("Removed the folder of an ended run: ") for t in texts))
    checks.raise_if_any()


def scenario_foreign_folders_stay(s):
    """QVT folders that are not proven leftovers stay: one without a marker, and a link to a folder
    that holds a marker (its target untouched); a proven leftover beside them goes."""
    run = Run(s, "foreign_folders")
    plain = os.path.join(run.temp, "QVT11")
    os.makedirs(plain)
    with open(os.path.join(plain, "keep.txt"), "w") as f:
        f.write("keep")
    target = os.path.join(run.folder, "outside")
    os.makedirs(target)
    for name in (MARKER, "keep.txt"):
        with open(os.path.join(target, name), "w") as f:
            f.write("keep")
    os.symlink(target, os.path.join(run.temp, "QVT12"))
    ended = os.path.join(run.temp, "QVT13")
    os.makedirs(ended)
    for name in (MARKER, "setup.exe"):
        with open(os.path.join(ended, name), "w") as f:
            f.write("x")
    exit_code, boxes = run.execute(s.standard_package(run), "/x1")
    checks = Checks()
    check_installer_ran(checks, run, "/x1", exit_code, INSTALLER_EXIT, boxes, log=False, left=("QVT11", "QVT12"))
    checks.true("the plain folder's file went", os.path.exists(os.path.join(plain, "keep.txt")))
    checks.equal("the link's target", sorted(os.listdir(target)), sorted([MARKER, "keep.txt"]))
    checks.raise_if_any()
