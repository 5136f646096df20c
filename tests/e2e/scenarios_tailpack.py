"""Scenarios where tailpack writes the package: its view agrees with the stub, its packages run,
and --codepage stores names the stub writes correctly."""

import os
import shutil

from e2e_common import Failure, INSTALLER_EXIT
from e2e_packages import chain_bytes, installer_entries, record
from e2e_run import Checks, Run, check_installer_ran

def scenario_tailpack_agrees(s):
    """tailpack writes the same bytes as this harness for the same entries, accepts them, and
    rejects them with one byte changed in the installer."""
    run = Run(s, "tailpack_agrees")
    stub = s.stub if os.path.exists(s.stub) else s.tools["fake_installer"]
    config = s.write(run, "fake_installer.cfg", b"exit=%d\n" % INSTALLER_EXIT)
    made = os.path.join(run.folder, "tailpack-package.exe")
    path = s.tailpack_path
    code, output = s.run_tailpack(
        ["create", "--stub", path(stub), "--output", path(made),
         "--value", "source=Z:\\forged\\source", "--value", "commandline=/forged-commandline",
         "--file", "installer32=" + path(s.tools["fake_installer"]), "--file", "=" + path(config),
         "--value", "executable32=%installer32%", "--value", "parameters=/qb src=%source%"],
        "tailpack-create")
    if code != 0:
        raise Failure("tailpack create failed (%d): %s" % (code, output))
    with open(stub, "rb") as f:
        expected = chain_bytes(f.read(), installer_entries(s.fake_installer(),
                                                           "exit=%d\n" % INSTALLER_EXIT),
                               os.path.basename(stub).encode())
    with open(made, "rb") as f:
        actual = f.read()
    checks = Checks()
    checks.true("tailpack's package differs from the harness's (%d vs %d bytes)"
                % (len(actual), len(expected)), actual == expected)
    code, output = s.run_tailpack(["verify", path(made)], "tailpack-verify")
    checks.equal("tailpack verify of a sound package (output %r)" % output, code, 0)
    corrupt = bytearray(expected)
    with open(stub, "rb") as f:
        stub_size = len(f.read())
    corrupt[expected.find(s.fake_installer(), stub_size + 20) + 4096] ^= 0x01
    bad = s.write(run, "corrupt.exe", bytes(corrupt))
    code, output = s.run_tailpack(["verify", path(bad)], "tailpack-verify-corrupt")
    checks.equal("tailpack verify of a corrupted package (output %r)" % output, code, 1)
    checks.raise_if_any()
    return made


def scenario_tailpack_package_runs(s, package):
    """A package made by tailpack runs like one made here."""
    run = Run(s, "tailpack_package")
    copy = os.path.join(run.folder, "package.exe")
    shutil.copy(package, copy)
    exit_code, boxes = run.execute(copy, "/x1")
    checks = Checks()
    check_installer_ran(checks, run, "/x1", exit_code, INSTALLER_EXIT, boxes)
    checks.raise_if_any()


def scenario_tailpack_codepage(s):
    """tailpack create --codepage 1252, given a non-ASCII stored name on its command line, stores
    that name in code page 1252, and the stub (in a prefix whose ANSI code page is 1252) writes
    the installer under it and launches it."""
    run = Run(s, "tailpack_codepage")
    name = "F\u00e4k\u00e9 \u00cfnstall\u00e9r.exe"
    config = s.write(run, "fake_installer.cfg", b"exit=%d\n" % INSTALLER_EXIT)
    made = os.path.join(run.folder, "package.exe")
    path = s.tailpack_path
    code, output = s.run_tailpack(
        ["create", "--stub", path(s.stub), "--output", path(made), "--codepage", "1252",
         "--file", "installer32:%s=%s" % (name, path(s.tools["fake_installer"])),
         "--file", "=" + path(config), "--value", "executable32=%installer32%"],
        "tailpack-create-codepage")
    if code != 0:
        raise Failure("tailpack create --codepage 1252 failed (%d): %s" % (code, output))
    with open(made, "rb") as f:
        package = f.read()
    checks = Checks()
    checks.true("the package does not hold the stored name in code page 1252",
                record(name.encode("cp1252")) in package)
    exit_code, boxes = run.execute(made, "/x1")
    checks.equal("exit code", exit_code, INSTALLER_EXIT)
    checks.equal("message boxes", boxes, [])
    report = run.installer_report() or {}
    # The report holds the installer's ANSI path, read here one character per byte.
    module = report.get("module", "").encode("latin-1").decode("cp1252")
    checks.true("the installer ran as %r, not as ...\\%s" % (module, name),
                module.endswith("\\" + name))
    checks.equal("working folders left", run.working_folders_left(), [])
    checks.raise_if_any()
