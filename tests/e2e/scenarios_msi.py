"""Scenarios with a real Windows Installer: packages that carry msi_setup.exe and probe.msi (built
by wixl from msi/probe.wxs) run under Wine's own msiexec. Each scenario starts and ends with the
product uninstalled (msiexec /x), so none depends on another."""

import os
import re

from e2e_common import Failure, Skip
from e2e_packages import chain_bytes, file_entry, value_entry
from e2e_run import Checks, Run

# From msi/probe.wxs.
PRODUCT_CODE = "{63BC8AAA-97F3-4D20-A300-B341DEC0209D}"
PROBE_KEY = "HKEY_LOCAL_MACHINE\\Software\\TailrunMsiProbe"
UNINSTALL_KEY = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quorvane"
PRODUCT_LANGUAGE = "1031"
# What the package's parameters give msiexec, and where INSTALLDIR puts the file.
INSTALL_DIR = "C:\\TailrunMsiAlt"
PARAMETERS = '/V"MYPROP=fromparams INSTALLDIR=%s"' % INSTALL_DIR
MSI_LOG_NAME = "QVNEX_msi.log.txt"
ERROR_INSTALL_FAILURE = 1603
# msiexec's exit codes as a Linux shell sees them (the low 8 bits).
UNINSTALLED, UNKNOWN_PRODUCT = 0, 1605 & 0xFF


def msi_tools(s):
    folder = os.path.dirname(s.tools["fake_installer"])
    paths = [os.path.join(folder, name) for name in ("msi_setup.exe", "probe.msi")]
    missing = [path for path in paths if not os.path.exists(path)]
    if missing:
        raise Skip("not built: %s (the MSI needs wixl, which scripts/setup installs)"
                   % ", ".join(missing))
    return paths


def msi_package(s, run):
    setup, msi = msi_tools(s)
    with open(setup, "rb") as f:
        setup_data = f.read()
    with open(msi, "rb") as f:
        msi_data = f.read()
    entries = [file_entry("installer32", "msi_setup.exe", setup_data),
               file_entry("", "probe.msi", msi_data),
               value_entry("executable32", "%installer32%"),
               value_entry("parameters", PARAMETERS),
               value_entry("msilog", "ON")]
    return s.write(run, "package.exe", chain_bytes(s.stub_image(), entries))


def uninstall(s, name):
    """msiexec /x of the product; the low 8 bits of its exit code."""
    code, _ = s.wine.run(["msiexec", "/x", PRODUCT_CODE, "/qn"], 120, name + "-uninstall")
    return code


def ensure_uninstalled(s, name):
    code = uninstall(s, name)
    if code not in (UNINSTALLED, UNKNOWN_PRODUCT):
        raise Failure("%s: msiexec /x of a leftover product failed (%d)" % (name, code))


def registry_values(s, key, name):
    """The string values of `key` as {name: data}; empty when the key is missing."""
    code, output = s.wine.run(["reg", "query", key], 60, name + "-query")
    if code != 0:
        return {}
    return dict(re.findall(r"^\s+(\S+)\s+REG_SZ[ \t]*(.*?)\s*$", output, re.M))


def run_package(s, checks, name, args, expected_exit):
    """One run of the MSI package; checks its exit code, that it showed no box and that it left
    no working folder. Returns the setup program's report."""
    run = Run(s, name)
    exit_code, boxes = run.execute(msi_package(s, run), args)
    checks.equal(name + " exit code", exit_code, expected_exit)
    checks.equal(name + " message boxes", boxes, [])
    checks.equal(name + " working folders left", run.working_folders_left(), [])
    report = run.installer_report()
    checks.true(name + ": the setup program wrote no report", report is not None)
    return run, report or {}


def check_uninstall(s, checks, name):
    checks.equal(name + " msiexec /x", uninstall(s, name), UNINSTALLED)


def scenario_msi_install(s):
    """Installed silently with the properties of the package's parameters (read back from the
    registry; the file lands in INSTALLDIR), and msilog=ON leaves msiexec's log beside the
    working folder, naming both properties."""
    ensure_uninstalled(s, "msi_install")
    checks = Checks()
    try:
        run, _ = run_package(s, checks, "msi_install", "/s", 0)
        checks.equal("registry values", registry_values(s, PROBE_KEY, run.name),
                     {"MYPROP": "fromparams", "INSTALLDIR": INSTALL_DIR + "\\"})
        installed = os.path.join(s.prefix, "drive_c", INSTALL_DIR[3:], "probe.txt")
        checks.true("no installed file " + installed, os.path.isfile(installed))
        log = os.path.join(run.temp, MSI_LOG_NAME)
        text = ""
        if os.path.isfile(log):
            with open(log, encoding="latin-1") as f:
                text = f.read()
        for line in ("Property(S): MYPROP = fromparams",
                     "Property(S): INSTALLDIR = %s\\" % INSTALL_DIR):
            checks.true("msiexec's log %s lacks %r" % (log, line), line in text)
    finally:
        check_uninstall(s, checks, "msi_install")
    checks.raise_if_any()


def scenario_msi_launch_condition(s):
    """FAILME=1 on the run's own command line, in its "/V" option or as a word of its own,
    reaches msiexec: the launch condition fails, the exit code is 1603 and nothing is
    installed."""
    ensure_uninstalled(s, "msi_launch_condition")
    checks = Checks()
    for name, args in (("v_option", '/s /V"FAILME=1"'), ("word", "/s FAILME=1")):
        name = "msi_launch_condition_" + name
        try:
            run_package(s, checks, name, args, ERROR_INSTALL_FAILURE)
        finally:
            code = uninstall(s, name)
        checks.equal(name + ": msiexec /x knows no product after the failed install", code,
                     UNKNOWN_PRODUCT)
    checks.raise_if_any()


def scenario_msi_language(s):
    """The installed product wrote its language as "InstallerLanguage" under the Uninstall key;
    the next package run passes "/L" + that language to the setup program."""
    ensure_uninstalled(s, "msi_language")
    checks = Checks()
    try:
        run, report = run_package(s, checks, "msi_language_first", "/s", 0)
        checks.equal("setup language of the first run", report.get("language"), "")
        language = registry_values(s, UNINSTALL_KEY, run.name).get("InstallerLanguage")
        if language != PRODUCT_LANGUAGE:
            raise Failure("the product wrote InstallerLanguage %r, expected %r"
                          % (language, PRODUCT_LANGUAGE))
        _, report = run_package(s, checks, "msi_language_second", "/s", 0)
        checks.equal("setup language of the second run", report.get("language"), PRODUCT_LANGUAGE)
    finally:
        check_uninstall(s, checks, "msi_language")
    checks.raise_if_any()
