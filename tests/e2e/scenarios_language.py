"""The installer language scenario: the registry of an installed product decides "/L"."""

import os
import re

from e2e_common import Failure, INSTALLER_EXIT, LOG_NAME
from e2e_run import Checks, Run, check_installer_ran, log_texts
from e2e_wine import win_path

# The registry entries of the installed product (product "Quorvane", family "Brightfold").
UNINSTALL_KEY = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quorvane"
FAMILY_KEY = "HKEY_CURRENT_USER\\Software\\Brightfold"
USER_SETTINGS_KEY = FAMILY_KEY + "\\Quorvane\\Settings"
UK_ENGLISH_LOG_LINE = 'Install Language set to "2057"'


def reg_data(kind, data):
    if kind == "REG_DWORD":
        return "dword:%08x" % data
    return '"%s"' % data.replace("\\", "\\\\").replace('"', '\\"')


def set_registry(s, run, uninstall_values, user_language):
    """Removes the product's keys, then writes `uninstall_values` ({name: (kind, data)}) into its
    uninstall key and, unless `user_language` is None, the user's settings key with "Language".
    One `reg import` (a Wine start each) for all of it."""
    lines = ["Windows Registry Editor Version 5.00", "", "[-%s]" % UNINSTALL_KEY, "",
             "[-%s]" % FAMILY_KEY, ""]
    if uninstall_values:
        lines.append("[%s]" % UNINSTALL_KEY)
        lines += ['"%s"=%s' % (name, reg_data(*value)) for name, value in uninstall_values.items()]
        lines.append("")
    if user_language is not None:
        lines += ["[%s]" % USER_SETTINGS_KEY, '"Language"=%s' % reg_data("REG_SZ", user_language), ""]
    path = s.write(run, "registry.reg", "\r\n".join(lines).encode("latin-1"))
    code, output = s.wine.run(["reg", "import", win_path(path)], 60, run.name + "-registry")
    if code != 0:
        raise Failure("reg import failed (%d): %s" % (code, output))


def user_language_value(s, run):
    """The user's "Language" value as (type, data), or None when it (or its key) is missing."""
    code, output = s.wine.run(["reg", "query", USER_SETTINGS_KEY, "/v", "Language"], 60,
                              run.name + "-query")
    match = re.search(r"^\s+Language\s+(REG_\w+)[ \t]*(.*?)\s*$", output, re.M)
    return (match.group(1), match.group(2)) if code == 0 and match else None


def scenario_installer_language(s):
    """The installed product's "InstallerLanguage" becomes a "/L" option in front of the
    parameters: US English (1033) without an "en_US_UK" record becomes UK English (2057, logged)
    unless the system language (LC_ALL of the Wine process) is US English, where 1033 stays and
    the user's "Language" setting is cleared when its key exists. A REG_DWORD value sends nothing;
    parameters that hold "/L" already get no second one. No case shows a message box."""
    uk, us = "en_GB.UTF-8", "en_US.UTF-8"
    sz = lambda text: ("REG_SZ", text)
    # name, LC_ALL, uninstall values, user's Language before (None: no key), stub arguments,
    # option expected, UK log line expected, user's Language after
    cases = (
        ("uk_system", uk, {"InstallerLanguage": sz("1033")}, "fr", "/x1", "/L2057 ", True, "fr"),
        ("us_system", us, {"InstallerLanguage": sz("1033")}, "fr", "/x1", "/L1033 ", False, ""),
        ("us_system_no_user_key", us, {"InstallerLanguage": sz("1033")}, None, "", "/L1033 ",
         False, None),
        ("us_uk_record", uk, {"InstallerLanguage": sz("1033"), "en_US_UK": sz("1")}, "fr", "",
         "/L1033 ", False, "fr"),
        ("german", uk, {"InstallerLanguage": sz("1031")}, None, "/x1", "/L1031 ", False, None),
        ("dword", uk, {"InstallerLanguage": ("REG_DWORD", 1033)}, None, "/x1", "", False, None),
        ("given_on_command_line", uk, {"InstallerLanguage": sz("1031")}, None, "/L1036", "",
         False, None),
    )
    checks = Checks()
    try:
        for name, system, values, user_before, args, option, logged, user_after in cases:
            run = Run(s, "language_" + name)
            set_registry(s, run, values, user_before)
            package = s.standard_package(run)
            exit_code, boxes = run.execute(package, args, {"LC_ALL": system})
            check_installer_ran(checks, run, args, exit_code, INSTALLER_EXIT, boxes,
                                language_option=option)
            texts = log_texts(checks, run.name, os.path.join(run.temp, LOG_NAME)) or []
            checks.equal(run.name + " UK English log line", UK_ENGLISH_LOG_LINE in texts, logged)
            if user_before is not None or user_after is not None:
                checks.equal(run.name + " user's Language value", user_language_value(s, run),
                             None if user_after is None else ("REG_SZ", user_after))
    finally:
        set_registry(s, Run(s, "language_clean_up"), {}, None)
    checks.raise_if_any()
