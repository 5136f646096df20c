"""Scenarios of the run's surroundings: the log that cannot open, temporary folders at a drive
root or missing, a stub without its product name, a second run while one is running."""

import os
import re
import subprocess

from e2e_common import ALREADY_RUNNING, Failure, GET_TEMP_PATH_FAILED, HELD_EXIT, INSTALLER_EXIT, LOG_NAME
from e2e_packages import chain_bytes, installer_entries
from e2e_run import Checks, Run, check_installer_ran, check_log, installer_command_parameters, log_texts, parse_exit
from e2e_wine import poll_until

def scenario_log_cannot_open(s):
    """A folder named Tailrun.log.txt in the temporary folder: the run goes on without a log and
    the folder is left as it was."""
    checks = Checks()
    run = Run(s, "log_cannot_open")
    folder = os.path.join(run.temp, LOG_NAME)
    os.makedirs(folder)
    exit_code, boxes = run.execute(s.standard_package(run), "/x1")
    check_installer_ran(checks, run, "/x1", exit_code, INSTALLER_EXIT, boxes, log=False)
    checks.true("log_cannot_open: the folder %s is gone or not empty" % folder,
                os.path.isdir(folder) and os.listdir(folder) == [])
    checks.raise_if_any()


def free_drive_letter(prefix):
    for letter in "tuvwxy":
        if not os.path.lexists(os.path.join(prefix, "dosdevices", letter + ":")):
            return letter
    raise Failure("no free drive letter in %s/dosdevices" % prefix)


def scenario_temp_at_drive_root(s):
    """With the temporary folder at the root of a drive ("T:\\"), the log is T:\\Tailrun.log.txt
    and holds the launch of T:\\QVT<n>\\fake_installer.exe."""
    checks = Checks()
    run = Run(s, "temp_at_drive_root")
    letter = free_drive_letter(s.prefix)
    drive = os.path.join(s.prefix, "dosdevices", letter + ":")
    os.symlink(run.temp, drive)
    try:
        run.temp_arg = letter.upper() + ":\\"
        exit_code, boxes = run.execute(s.standard_package(run), "/x1")
    finally:
        os.remove(drive)
    checks.equal(run.name + " exit code", exit_code, INSTALLER_EXIT)
    checks.equal(run.name + " message boxes", boxes, [])
    report = run.installer_report() or {}
    module = report.get("module", "")
    checks.true("%s: installer module %r is not at the drive's root" % (run.name, module),
                re.fullmatch(letter + r":\\QVT-?\d+\\fake_installer\.exe", module, re.I))
    checks.equal(run.name + " working folders left", run.working_folders_left(), [])
    check_log(checks, run.name, os.path.join(run.temp, LOG_NAME), module,
              installer_command_parameters(report.get("commandline", "")))
    checks.raise_if_any()


def scenario_no_temporary_folder(s):
    """When GetTempPathA fails (TMP longer than a path may be), the log is Tailrun.log.txt in the
    current folder, and the run goes on under C:\\Temp\\ after the "GetTempPath failed" box."""
    checks = Checks()
    run = Run(s, "no_temporary_folder")
    run.temp_arg = "C:\\" + "t" * 300
    run.cwd = os.path.join(run.folder, "cwd")
    os.makedirs(run.cwd)
    exit_code, boxes = run.execute(s.standard_package(run), "/x1")
    checks.equal(run.name + " exit code", exit_code, INSTALLER_EXIT)
    checks.equal(run.name + " message boxes", boxes, [GET_TEMP_PATH_FAILED])
    report = run.installer_report() or {}
    module = report.get("module", "")
    checks.true("%s: installer module %r is not under C:\\Temp" % (run.name, module),
                re.fullmatch(r"C:\\Temp\\QVT-?\d+\\fake_installer\.exe", module, re.I))
    check_log(checks, run.name, os.path.join(run.cwd, LOG_NAME), module,
              installer_command_parameters(report.get("commandline", "")))
    checks.raise_if_any()


def scenario_no_product_name(s):
    """A stub whose string table lacks the product name (2002) ends through the outer guard: exit
    1, caption "[resource string 2002 is not found]" (no box when silent), before any working
    folder exists; its log holds the failure, shown or not, and the exit code."""
    checks = Checks()
    with open(s.tools["stub_without_product"], "rb") as f:
        image = f.read()
    entries = installer_entries(s.fake_installer(), "exit=0\n")
    for variant, args, wanted in (("shown", "/x1", [("[resource string 2002 is not found]",
                                                     "Unhandled Exception")]),
                                  ("silent", "/s", [])):
        run = Run(s, "no_product_name_" + variant)
        exit_code, boxes = run.execute(s.write(run, "package.exe", chain_bytes(image, entries)), args)
        checks.equal(run.name + " exit code", exit_code, 1)
        checks.equal(run.name + " message boxes", boxes, wanted)
        checks.equal(run.name + " installer report", run.installer_report(), None)
        checks.equal(run.name + " working folders", run.working_folders_left(), [])
        checks.equal(run.name + " log lines", log_texts(checks, run.name, os.path.join(run.temp, LOG_NAME)),
                     ["Message: [resource string 2002 is not found]: Unhandled Exception", "Exit code: 1"])
    checks.raise_if_any()


def scenario_already_running(s):
    """While a run waits for its installer, a second start shows "Already Running" (exact text)
    and exits 1 without a working folder; silently with "/s". The first run then ends normally."""
    event = "TailrunE2E.Release.%d" % os.getpid()
    holder = Run(s, "already_running_holder")
    config = "exit=%d\nwait_event=%s\nwait_ms=%d\n" % (HELD_EXIT, event, 30000)
    package = s.write(holder, "package.exe", chain_bytes(
        s.stub_image(), installer_entries(s.fake_installer(), config)))
    first, first_log = holder.start(package, "/first")
    checks = Checks()
    try:
        poll_until(lambda: holder.installer_report() is not None or first.poll() is not None,
                   s.run_timeout, "the first run's installer to start")
        if first.poll() is not None:
            raise Failure("the first run ended before its installer reported")
        for variant, args, wanted in (("shown", "/x2", [ALREADY_RUNNING]),
                                      ("s", "/s", [])):
            run = Run(s, "already_running_" + variant)
            exit_code, boxes = run.execute(package, args)
            checks.equal(run.name + " exit code", exit_code, 1)
            checks.equal(run.name + " boxes", boxes, wanted)
            checks.equal(run.name + " working folders", run.working_folders_left(), [])
            checks.equal(run.name + " installer report", run.installer_report(), None)
    finally:
        code, output = s.wine.run([s.tools["e2e_runner"], "--set-event", event], 60, "release")
        try:
            first.wait(timeout=s.run_timeout + 60)
        except subprocess.TimeoutExpired:
            first.kill()
            raise Failure("the first run did not end after its installer was released")
    checks.equal("release of the first run's installer (%r)" % output, code, 0)
    with open(first_log, encoding="latin-1") as f:
        exit_code = parse_exit(f.read(), holder.name)
    check_installer_ran(checks, holder, "/first", exit_code, HELD_EXIT, s.watcher.boxes())
    checks.equal("the first run's installer wait", (holder.installer_report() or {}).get("wait"),
                 "signalled")
    checks.raise_if_any()
