"""Scenarios of a plain run: the harness itself, the installer's exit code, file, folder and
command line, damaged and oversized packages, a full disk, signed packages."""

import contextlib
import os
import re
import shutil
import subprocess

from e2e_common import FORGED_EXIT, Failure, INSTALLER_EXIT, INVALID_ARCHIVE, SIGNED_EXIT, Skip, TAIL_MARKER
from e2e_packages import certificate_table, chain_bytes, escape_field, file_entry, forge_certificate_table, installer_entries, value_entry, write_padded_package
from e2e_run import Checks, Run, check_init_failure_box, check_installer_ran, installer_command_parameters
from e2e_wine import win_path

def scenario_harness(s):
    """The runner passes all 32 bits of an exit code and the environment it is given; the
    watcher reads a box's caption and text (line breaks, tab, backslash) and presses OK."""
    run = Run(s, "harness")
    shutil.copy(s.tools["fake_installer"], run.folder)
    caption, text = "Harness check", "line one\r\nline two\\with\ttab"
    with open(os.path.join(run.folder, "fake_installer.cfg"), "w") as f:
        f.write("exit=0xC0000005\nbox_caption=%s\nbox_text=%s\n"
                % (escape_field(caption), escape_field(text)))
    program = os.path.join(run.folder, "fake_installer.exe")
    exit_code, boxes = run.execute(program, 'alpha "beta gamma"')
    checks = Checks()
    checks.equal("exit code", exit_code, 0xC0000005)
    checks.equal("boxes", boxes, [(caption, text)])
    report = run.installer_report() or {}
    checks.equal("command line", report.get("commandline"),
                 '"%s" alpha "beta gamma"' % win_path(program))
    checks.equal("temporary folder", report.get("temp"), run.temp_win + "\\")
    checks.equal("box result", report.get("box"), "1")
    checks.raise_if_any()


def scenario_installer_runs(s):
    """Exit code 3010 passes through; the installer runs as working folder + expanded
    "executable32" with the base folder as its current directory; its parameters are the
    stub's command line, a space and the package's parameters (the package's "source" and
    "commandline" do not replace the stub's); "/s" and "/silent" change nothing here."""
    checks = Checks()
    for name, args in (("plain", "/x1 /y2=3"), ("empty", ""), ("silent", "/silent"),
                       ("s", "/s /x1")):
        run = Run(s, "installer_runs_" + name)
        package = s.standard_package(run)
        exit_code, boxes = run.execute(package, args)
        check_installer_ran(checks, run, args, exit_code, INSTALLER_EXIT, boxes)
    checks.raise_if_any()


def scenario_command_line(s):
    """The installer receives the composed command line: the stub's own command line without its
    "/V" option, a space, the package's parameters with the "/V" text merged in, and the MSI log
    switch (a log in the base folder) when the package's "msilog" is exactly "ON"."""
    checks = Checks()
    installer = s.fake_installer()
    cases = (
        ("empty", "", '/V"A=1"', None, lambda base: ' /V" A=1"'),
        ("quoted_lower", '/s /v"B=2"', '/V"A=1" /qb', None, lambda base: '/s  /V"B=2 A=1" /qb'),
        ("bare_msilog", "/VB=2 /qn", "/qb", "ON",
         lambda base: ' /qn /qb/V"/l*v \\"%s\\QVNEX_msi.log.txt\\" B=2"' % base),
        ("lower_in_package", "/x", '/v"low"', "On", lambda base: '/x /v"low"/V""'),
    )
    for name, args, parameters, msilog, expected in cases:
        run = Run(s, "command_line_" + name)
        entries = [file_entry("installer32", "fake_installer.exe", installer),
                   file_entry("", "fake_installer.cfg", b"exit=0\n"),
                   value_entry("executable32", "%installer32%"),
                   value_entry("parameters", parameters)]
        if msilog is not None:
            entries.append(value_entry("msilog", msilog))
        package = s.write(run, "package.exe", chain_bytes(s.stub_image(), entries))
        exit_code, boxes = run.execute(package, args)
        checks.equal(run.name + " exit code", exit_code, 0)
        checks.equal(run.name + " message boxes", boxes, [])
        report = run.installer_report() or {}
        checks.equal(run.name + " installer parameters",
                     installer_command_parameters(report.get("commandline", "")), expected(run.temp_win))
        checks.equal(run.name + " working folders left", run.working_folders_left(), [])
    checks.raise_if_any()


def scenario_corrupted_installer(s):
    """One changed byte in the installer's record: "Invalid Archive!" (exact text), exit 1, the
    installer never runs and the working folder is removed; no box with "/s" or "/silent"."""
    image, installer = s.stub_image(), s.fake_installer()
    package = bytearray(chain_bytes(image, installer_entries(installer, "exit=0\n")))
    package[package.find(installer, len(image)) + len(installer) // 2] ^= 0x20
    check_failure_table(s, "corrupted", bytes(package), [INVALID_ARCHIVE])


def scenario_no_chain(s):
    """A copy of the bare stub has no chain: "Failed to initialize archive!" (when the stub's own
    bytes do not hold the marker text) then "Invalid Archive!", exit 1; silent with "/s"."""
    image = s.stub_image()
    if TAIL_MARKER in image:
        # The backward search meets the marker text inside the image, and the record it would
        # end fails its digest: no "no chain" message, only the run's own.
        print("  note: the stub image holds the marker text, so a bare copy is a broken chain")
        expected = [INVALID_ARCHIVE]
    else:
        expected = [None, INVALID_ARCHIVE]
    check_failure_table(s, "no_chain", image, expected)


def check_failure_table(s, name, package_bytes, expected_boxes):
    """Runs a package that must be refused, shown boxes and silent; `None` in the boxes stands for
    the "Failed to initialize archive!" box."""
    checks = Checks()
    for variant, args in (("shown", "/x1"), ("s", "/s"), ("silent", "/silent /x1")):
        run = Run(s, "%s_%s" % (name, variant))
        package = s.write(run, "package.exe", package_bytes)
        exit_code, boxes = run.execute(package, args)
        checks.equal(run.name + " exit code", exit_code, 1)
        checks.equal(run.name + " installer report", run.installer_report(), None)
        checks.equal(run.name + " working folders left", run.working_folders_left(), [])
        wanted = expected_boxes if variant == "shown" else []
        checks.equal(run.name + " number of boxes (%r)" % (boxes,), len(boxes), len(wanted))
        for index, (box, want) in enumerate(zip(boxes, wanted)):
            what = "%s box %d" % (run.name, index + 1)
            if want is None:
                check_init_failure_box(checks, what, box, package)
            else:
                checks.equal(what, box, want)
    checks.raise_if_any()


def scenario_big_installer(s):
    """An installer of several hundred MiB is extracted and runs; its exit code passes through."""
    run = Run(s, "big_installer")
    package = write_padded_package(os.path.join(run.folder, "package.exe"), s.stub_image(),
                                   s.fake_installer(), 384 << 20, INSTALLER_EXIT)
    try:
        exit_code, boxes = run.execute(package, "/x1")
    finally:
        os.remove(package)
    checks = Checks()
    check_installer_ran(checks, run, "/x1", exit_code, INSTALLER_EXIT, boxes)
    checks.raise_if_any()


@contextlib.contextmanager
def small_disk(folder, size):
    """`folder` on a tmpfs of `size` for the duration; Skip where mounting is not allowed."""
    if os.geteuid() != 0 or not shutil.which("mount"):
        raise Skip("mounting a tmpfs needs root")
    done = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=%s" % size, "tmpfs", folder],
                          stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT, timeout=30)
    if done.returncode != 0:
        raise Skip("cannot mount a tmpfs here: " + done.stdout.decode("latin-1").strip())
    try:
        yield
    finally:
        subprocess.run(["umount", folder], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=60)


def scenario_full_disk(s):
    """The installer does not fit on the disk of the temporary folder (a small tmpfs):
    "Failed to extract file!" with the output path and the system's text for the write's error,
    then "Invalid Archive!", exit 1, nothing launched, the working folder removed."""
    run = Run(s, "full_disk")
    package = write_padded_package(os.path.join(run.folder, "package.exe"), s.stub_image(),
                                   s.fake_installer(), 16 << 20, INSTALLER_EXIT)
    checks = Checks()
    with small_disk(run.temp, "4m"):
        exit_code, boxes = run.execute(package, "/x1")
        checks.equal(run.name + " exit code", exit_code, 1)
        checks.equal(run.name + " installer report", run.installer_report(), None)
        checks.equal(run.name + " working folders left", run.working_folders_left(), [])
    checks.equal(run.name + " number of boxes (%r)" % (boxes,), len(boxes), 2)
    if len(boxes) == 2:
        caption, text = boxes[0]
        checks.equal(run.name + " first caption", caption, "Failed to extract file!")
        pattern = re.escape("File: " + run.temp_win) + r"\\QVT-?\d+\\fake_installer\.exe\rError: .+"
        checks.true("%s: first text %r is not %r" % (run.name, text, pattern),
                    re.fullmatch(pattern, text, re.I | re.S))
        checks.equal(run.name + " second box", boxes[1], INVALID_ARCHIVE)
    checks.raise_if_any()


def make_signing_pair(folder):
    key, cert = os.path.join(folder, "key.pem"), os.path.join(folder, "cert.pem")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key,
                    "-out", cert, "-days", "2", "-subj", "/CN=Tailrun end-to-end test",
                    "-addext", "keyUsage=critical,digitalSignature",
                    "-addext", "extendedKeyUsage=codeSigning"],
                   check=True, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=120)
    return key, cert


def sign(unsigned, signed, key, cert):
    done = subprocess.run(["osslsigncode", "sign", "-certs", cert, "-key", key, "-h", "sha256",
                           "-in", unsigned, "-out", signed], stdin=subprocess.DEVNULL,
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=120)
    if done.returncode != 0:
        raise Failure("osslsigncode sign failed: " + done.stdout.decode("latin-1"))


def verifies(path, cert):
    return subprocess.run(["osslsigncode", "verify", "-CAfile", cert, "-in", path],
                          stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL, timeout=120).returncode == 0


def scenario_signed(s):
    """A package signed with osslsigncode (self-signed code-signing certificate) runs; with a
    complete forged chain inside its certificate table it still runs the signed chain."""
    for tool in ("openssl", "osslsigncode"):
        if not shutil.which(tool):
            raise Failure(tool + " is not installed (scripts/setup installs it)")
    run = Run(s, "signed")
    key, cert = make_signing_pair(run.folder)
    unsigned = s.standard_package(run, SIGNED_EXIT, "unsigned.exe")
    signed = os.path.join(run.folder, "package.exe")
    sign(unsigned, signed, key, cert)
    checks = Checks()
    checks.true("osslsigncode does not verify the signed package", verifies(signed, cert))
    exit_code, boxes = run.execute(signed)
    check_installer_ran(checks, run, "", exit_code, SIGNED_EXIT, boxes)

    forged_run = Run(s, "signed_forged")
    forged_chain = chain_bytes(b"MZ forged stub", installer_entries(
        s.fake_installer(), "exit=%d\n" % FORGED_EXIT))
    with open(signed, "rb") as f:
        forged = forge_certificate_table(f.read(), forged_chain)
    offset, size = certificate_table(forged)
    checks.true("the forged table does not end the file", offset + size == len(forged))
    forged_path = s.write(forged_run, "package.exe", forged)
    print("  note: osslsigncode %s the forged package"
          % ("still verifies" if verifies(forged_path, cert) else "rejects"))
    exit_code, boxes = forged_run.execute(forged_path)
    check_installer_ran(checks, forged_run, "", exit_code, SIGNED_EXIT, boxes)
    checks.raise_if_any()
