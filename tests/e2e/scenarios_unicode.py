"""Scenarios of users whose folders are not ASCII: a package in a folder named in Cyrillic, CJK and
an emoji, %TEMP% under such a folder (also one so long that the log's mutex name must be
shortened), an installer whose stored name needs the ANSI code page, and arguments in any
characters, which reach the installer unchanged."""

import os

from e2e_common import INSTALLER_EXIT
from e2e_packages import chain_bytes, installer_entries
from e2e_run import Checks, Run, log_texts
from e2e_wine import win_path

PACKAGE_FOLDER = "\u041f\u0430\u043f\u043a\u0430 \u6587\u4ef6 \U0001f4e6"  # "Папка 文件 📦"
USER_FOLDER = "\u041f\u043e\u043b\u044c\u0437\u043e\u0432\u0430\u0442\u0435\u043b\u044c"  # "Пользователь"
ARGS = "/x \u041f\u0440\u0438\u0432\u0435\u0442 \u6587\u4ef6 \U0001f4e6"


def _run_in(s, checks, name, temp_parts, installer_name):
    """Runs a package from PACKAGE_FOLDER with TEMP = the run's folder + `temp_parts` and ARGS;
    checks that the installer `installer_name` ran from a working folder there with ARGS, and that
    the run left its temporary folder clean and logged its end there."""
    run = Run(s, name)
    run.temp = os.path.join(run.folder, *temp_parts)
    os.makedirs(run.temp)
    run.temp_win = run.temp_arg = win_path(run.temp)
    entries = [("file", b"installer32", installer_name.encode("cp1252"), e[3]) if e[1] == b"installer32" else e
               for e in installer_entries(s.fake_installer(), "exit=%d\n" % INSTALLER_EXIT)]
    folder = os.path.join(run.folder, PACKAGE_FOLDER)
    os.makedirs(folder)
    package = os.path.join(folder, "Setup.exe")
    with open(package, "wb") as f:
        f.write(chain_bytes(s.stub_image(), entries))
    exit_code, boxes = run.execute(package, ARGS)
    checks.equal(name + " exit code", exit_code, INSTALLER_EXIT)
    checks.equal(name + " message boxes", boxes, [])
    report = run.installer_report() or {}
    module = report.get("module", "")
    checks.true("%s: the installer ran as %r, not from a working folder in %r" % (name, module, run.temp_win),
                module.lower().startswith(run.temp_win.lower() + "\\qvt") and module.endswith("\\" + installer_name))
    checks.true("%s: the installer's command line %r lacks %r" % (name, report.get("commandline"), ARGS),
                ARGS in report.get("commandline", ""))
    checks.equal(name + " working folders left", run.working_folders_left(), [])
    texts = log_texts(checks, name, os.path.join(run.temp, "Tailrun.log.txt")) or []
    checks.true("%s: the log lacks the installer's path %r in %r" % (name, module, texts), "File: " + module in texts)
    checks.equal(name + " last log line", texts[-1:], ["Exit code: %d" % INSTALLER_EXIT])


def scenario_unicode_paths(s):
    """A package in a folder of any characters, %TEMP% under a Cyrillic user folder, an installer
    named in the ANSI code page, and arguments in any characters."""
    checks = Checks()
    _run_in(s, checks, "unicode_paths", [USER_FOLDER, "Temp"], "Instalaci\u00f3n.exe")
    # %TEMP% of 235 characters: the log's mutex name passes what the system takes, the working
    # folder and the installer's path still fit MAX_PATH.
    left = 234 - len(win_path(os.path.join(s.work, "unicode_long_temp"))) - 1
    parts = []
    while left > 0:
        parts.append("\u0414" * min(100, left))
        left -= len(parts[-1]) + 1
    _run_in(s, checks, "unicode_long_temp", parts, "a.exe")
    checks.raise_if_any()
