#!/usr/bin/env python3
"""End-to-end scenarios: real packages run under Wine, as a user would run them.

Packages are written here (the record format is small) and, in one scenario, by tailpack. Each run
goes through e2e_runner.exe, which gives the package its own temporary folder and reports the full
32-bit exit code; the payload is fake_installer.exe, which records its command line, current
directory, module path and temporary folder and returns the exit code it is told by the
fake_installer.cfg packed beside it; the MSI scenarios pack a real Windows Installer package
and its setup program instead (scenarios_msi.py). Message boxes are real: an Xvfb display is started and
box_watcher.exe records every box (caption and text) and presses OK.

Wine runs in a prefix of its own (not the one the unit tests share), so the single-instance mutex,
the registry and the desktop of the scenarios are nobody else's; one run at a time holds its lock.
Every Wine process is bounded by a time-out, and every wait polls a condition against a deadline.

Exit status: 0 when every scenario ran and passed, 1 when one failed, 77 when the stub is not built
(its scenarios are skipped; the harness checks still run).
"""

import argparse
import os
import shutil
import signal
import subprocess
import sys
import time

from e2e_common import Failure, SKIPPED, Skip
from e2e_run import Session
from e2e_wine import BoxWatcher, Wine, Xvfb, prefix_lock
from scenarios_differential import COUNT as DIFFERENTIAL_COUNT, scenario_differential
from scenarios_field import (scenario_appended_after_signature, scenario_huge_length_field, scenario_length_bit_flipped,
                             scenario_silent_failure_logged)
from scenarios_brand import scenario_branded_language
from scenarios_leftovers import scenario_foreign_folders_stay, scenario_killed_run_is_cleaned
from scenarios_environment import (scenario_already_running, scenario_log_cannot_open,
                                   scenario_no_product_name, scenario_no_temporary_folder,
                                   scenario_temp_at_drive_root)
from scenarios_folder import scenario_no_executable, scenario_prepared_folders
from scenarios_language import scenario_installer_language
from scenarios_progress import scenario_progress_window
from scenarios_msi import scenario_msi_install, scenario_msi_language, scenario_msi_launch_condition
from scenarios_run import (scenario_big_installer, scenario_command_line, scenario_corrupted_installer,
                           scenario_full_disk, scenario_harness, scenario_installer_runs, scenario_no_chain,
                           scenario_signed)
from scenarios_trust import (scenario_links_removed_as_links, scenario_logs_of_another_owner,
                             scenario_verified_files_held)
from scenarios_unicode import scenario_unicode_paths
from scenarios_tailpack import (scenario_tailpack_agrees, scenario_tailpack_codepage,
                                scenario_tailpack_package_runs)


def run_scenarios(s, only):
    results = []

    def attempt(name, function, *args):
        if only and not any(word in name for word in only):
            return None
        started = time.monotonic()
        try:
            value = function(s, *args)
            results.append(("PASS", name, ""))
            print("PASS %s (%.1f s)" % (name, time.monotonic() - started), flush=True)
            return value if value is not None else True
        except Skip as why:
            results.append(("SKIP", name, str(why)))
            print("SKIP %s: %s" % (name, why), flush=True)
            return None
        except (Failure, subprocess.SubprocessError, OSError) as failure:
            results.append(("FAIL", name, str(failure)))
            print("FAIL %s (%.1f s)\n    %s" % (name, time.monotonic() - started, failure),
                  flush=True)
            return None

    def skip(name, why):
        if not only or any(word in name for word in only):
            results.append(("SKIP", name, why))
            print("SKIP %s: %s" % (name, why), flush=True)

    attempt("harness", scenario_harness)
    made = None
    if s.tailpack:
        made = attempt("tailpack_agrees", scenario_tailpack_agrees)
    else:
        skip("tailpack_agrees", "no tailpack built (give --tailpack PATH)")
    stub_scenarios = [("installer_runs", scenario_installer_runs),
                      ("command_line", scenario_command_line),
                      ("corrupted_installer", scenario_corrupted_installer),
                      ("no_chain", scenario_no_chain),
                      ("signed", scenario_signed),
                      ("already_running", scenario_already_running),
                      ("log_cannot_open", scenario_log_cannot_open),
                      ("temp_at_drive_root", scenario_temp_at_drive_root),
                      ("no_temporary_folder", scenario_no_temporary_folder),
                      ("no_product_name", scenario_no_product_name),
                      ("installer_language", scenario_installer_language),
                      ("big_installer", scenario_big_installer),
                      ("progress_window", scenario_progress_window),
                      ("full_disk", scenario_full_disk),
                      ("prepared_folders", scenario_prepared_folders),
                      ("no_executable", scenario_no_executable),
                      ("msi_install", scenario_msi_install),
                      ("msi_launch_condition", scenario_msi_launch_condition),
                      ("msi_language", scenario_msi_language),
                      ("silent_failure_logged", scenario_silent_failure_logged),
                      ("huge_length_field", scenario_huge_length_field),
                      ("length_bit_flipped", scenario_length_bit_flipped),
                      ("appended_after_signature", scenario_appended_after_signature),
                      ("killed_run_is_cleaned", scenario_killed_run_is_cleaned),
                      ("foreign_folders_stay", scenario_foreign_folders_stay),
                      ("unicode_paths", scenario_unicode_paths),
                      ("verified_files_held", scenario_verified_files_held),
                      ("links_removed_as_links", scenario_links_removed_as_links),
                      ("logs_of_another_owner", scenario_logs_of_another_owner)]
    if s.tailpack:
        stub_scenarios.append(("branded_language", scenario_branded_language))
    if s.tailpack:
        stub_scenarios.append(("differential", scenario_differential))
    if not os.path.exists(s.stub):
        for name, _ in stub_scenarios + [("tailpack_package", None), ("tailpack_codepage", None)]:
            skip(name, "the stub is not built yet (%s)" % s.stub)
        return results, True
    for name, function in stub_scenarios:
        attempt(name, function)
    if isinstance(made, str):
        attempt("tailpack_package", scenario_tailpack_package_runs, made)
    else:
        skip("tailpack_package", "no package from tailpack")
    if s.tailpack:
        attempt("tailpack_codepage", scenario_tailpack_codepage)
    else:
        skip("tailpack_codepage", "no tailpack built (give --tailpack PATH)")
    return results, False


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build-dir", required=True, help="the Windows build tree")
    parser.add_argument("--tools-dir", help="where e2e_runner.exe, box_watcher.exe and "
                        "fake_installer.exe are (default: BUILD/tests/e2e)")
    parser.add_argument("--stub", help="the stub (default: BUILD/driver/Tailrun.exe)")
    parser.add_argument("--tailpack", help="tailpack to use: a native program, or a .exe run "
                        "under Wine (default: BUILD/tools/tailpack/tailpack[.exe])")
    parser.add_argument("--work-dir", help="scratch folder (default: BUILD/tests/e2e/work)")
    parser.add_argument("--wineprefix", default=os.environ.get("TAILRUN_E2E_WINEPREFIX") or
                        os.path.join(os.environ.get("XDG_CACHE_HOME") or
                                     os.path.expanduser("~/.cache"), "tailrun", "wine-prefix-e2e"),
                        help="the scenarios' own Wine prefix (made on first use)")
    parser.add_argument("--run-timeout", type=int, default=60,
                        help="seconds one package run may take before it is killed")
    parser.add_argument("--only", action="append", help="run scenarios whose name contains this")
    opts = parser.parse_args()
    # A killed run (CTest's time-out) still stops its Xvfb and box watcher on the way out.
    for number in (signal.SIGTERM, signal.SIGHUP):
        signal.signal(number, lambda signum, _: sys.exit(128 + signum))

    s = Session(opts)
    missing = [path for path in s.tools.values() if not os.path.exists(path)]
    if missing:
        print("FAIL: the end-to-end tools are not built: " + ", ".join(missing))
        return 1
    if not shutil.which("Xvfb"):
        print("FAIL: Xvfb is not installed (scripts/setup installs it)")
        return 1
    shutil.rmtree(s.work, ignore_errors=True)
    logs = os.path.join(s.work, "logs")
    os.makedirs(logs)
    s.wine = Wine(s.prefix, logs)
    try:
        with prefix_lock(s.prefix, 600):
            xvfb = Xvfb(os.path.join(logs, "xvfb.log"))
            try:
                # Every Wine process gets the display, the first one too: Wine's desktop
                # process, started by the first program that needs it and kept a few seconds
                # after the last, serves later programs only with the display it started with.
                s.wine.env["DISPLAY"] = xvfb.display
                # A new prefix takes about a minute to make.
                code, output = s.wine.run(["cmd.exe", "/c", "exit"], 600, "prefix")
                if code != 0:
                    raise Failure("the Wine prefix %s does not start: %s" % (s.prefix, output))
                # Long enough for every scenario, the differential check's packages included.
                s.watcher = BoxWatcher(s.wine, s.tools["box_watcher"], s.work, 900 + 4 * DIFFERENTIAL_COUNT)
                try:
                    results, stub_missing = run_scenarios(s, opts.only)
                finally:
                    s.watcher.stop()
            finally:
                xvfb.stop()
    except Failure as failure:
        print("FAIL: " + str(failure))
        return 1
    failed = [r for r in results if r[0] == "FAIL"]
    print("%d passed, %d failed, %d skipped"
          % (sum(r[0] == "PASS" for r in results), len(failed),
             sum(r[0] == "SKIP" for r in results)))
    if failed:
        return 1
    return SKIPPED if stub_missing else 0


if __name__ == "__main__":
    sys.exit(main())
