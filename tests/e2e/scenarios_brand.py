"""A vendor's brand: a package branded by tailpack create reads its language from the branded
product's uninstall key, not from the stub's own product's."""

import os

from e2e_common import Failure, INSTALLER_EXIT
from e2e_run import Checks, Run, check_installer_ran
from e2e_wine import win_path

BRAND = "Acme Widgets"
UNINSTALL = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"


def _set_language(s, run, product, language):
    lines = ["Windows Registry Editor Version 5.00", "", "[-%s%s]" % (UNINSTALL, product), ""]
    if language:
        lines += ["[%s%s]" % (UNINSTALL, product), '"InstallerLanguage"="%s"' % language, ""]
    path = s.write(run, "registry-%d.reg" % len(os.listdir(run.folder)), "\r\n".join(lines).encode("latin-1"))
    code, output = s.wine.run(["reg", "import", win_path(path)], 60, run.name + "-registry")
    if code != 0:
        raise Failure("reg import failed (%d): %s" % (code, output))


def scenario_branded_language(s):
    """tailpack create --product: the stub reads "InstallerLanguage" under the branded name (1036
    sent) and ignores the stub's own product's entry (1031)."""
    run = Run(s, "branded_language")
    config = s.write(run, "fake_installer.cfg", b"exit=%d\n" % INSTALLER_EXIT)
    package = os.path.join(run.folder, "package.exe")
    path = s.tailpack_path
    code, output = s.run_tailpack(
        ["create", "--stub", path(s.stub), "--output", path(package), "--product", BRAND, "--family", "Acme",
         "--file", "installer32=" + path(s.tools["fake_installer"]), "--file", "=" + path(config),
         "--value", "executable32=%installer32%", "--value", "parameters=/qb src=%source%"], "brand-create")
    if code != 0:
        raise Failure("tailpack create --product failed (%d): %s" % (code, output))
    _set_language(s, run, "Quorvane", "1031")
    _set_language(s, run, BRAND, "1036")
    try:
        exit_code, boxes = run.execute(package, "/x1")
    finally:
        _set_language(s, run, "Quorvane", None)
        _set_language(s, run, BRAND, None)
    checks = Checks()
    check_installer_ran(checks, run, "/x1", exit_code, INSTALLER_EXIT, boxes, log=False, language_option="/L1036 ")
    checks.raise_if_any()
