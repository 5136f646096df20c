"""Scenarios of packages as they fail in the field: a silent run says why in the log, a length field
of a corrupted download's size, bytes appended after a signature."""

import os
import struct

from e2e_common import INVALID_ARCHIVE, LOG_NAME
from e2e_packages import chain_bytes, installer_entries, record
from e2e_run import Checks, Run, log_texts
from scenarios_run import make_signing_pair, sign


def _refused_silently(s, run, package, checks, *, why):
    """Runs `package` with "/s": exit 1, no box, no working folder left, no installer, and the log
    holds the refusal's message line and the exit code."""
    exit_code, boxes = run.execute(package, "/s")
    checks.equal(run.name + " exit code", exit_code, 1)
    checks.equal(run.name + " message boxes", boxes, [])
    checks.equal(run.name + " working folders left", run.working_folders_left(), [])
    checks.true(run.name + ": the installer ran", run.installer_report() is None)
    texts = log_texts(checks, run.name, os.path.join(run.temp, LOG_NAME)) or []
    invalid = "Message: %s: %s" % (INVALID_ARCHIVE[0], INVALID_ARCHIVE[1].replace("\r\n", "  "))
    checks.true("%s: the log lacks %r in %r" % (run.name, invalid, texts), invalid in texts)
    checks.true("%s: the log lacks why (%s) in %r" % (run.name, why, texts), any(why in t for t in texts))
    checks.equal(run.name + " last log line", texts[-1:], ["Exit code: 1"])


def scenario_silent_failure_logged(s):
    """A corrupted installer with "/s": nothing shown, and the log says what failed."""
    run = Run(s, "silent_failure_logged")
    image, installer = s.stub_image(), s.fake_installer()
    package = bytearray(chain_bytes(image, installer_entries(installer, "exit=0\n")))
    package[package.find(installer, len(image)) + len(installer) // 2] ^= 0x20
    checks = Checks()
    _refused_silently(s, run, s.write(run, "package.exe", bytes(package)), checks, why="Invalid Archive!")
    truncated = Run(s, "truncated_logged")
    _refused_silently(s, truncated, s.write(truncated, "package.exe", bytes(package[:len(image) + 1000])), checks,
                      why="Failed to initialize archive!: File: ")
    checks.raise_if_any()


def scenario_length_bit_flipped(s):
    """Bit 30 of the length of the "parameters" entry's kind record: that record now reaches before
    the start of the file. The walk cannot reach the stub entry: refused, nothing launched."""
    run = Run(s, "length_bit_flipped")
    package = bytearray(chain_bytes(s.stub_image(), installer_entries(s.fake_installer(), "exit=0\n")))
    key = package.rfind(b"parameters" + struct.pack("<I", len(b"parameters")))
    kind_length = key + len(b"parameters") + 20 + len(b"value")
    package[kind_length + 3] ^= 0x40
    checks = Checks()
    _refused_silently(s, run, s.write(run, "package.exe", bytes(package)), checks, why="Invalid Archive!")
    checks.raise_if_any()


def scenario_huge_length_field(s):
    """A value record whose length field claims 1.8 GiB, in a sparse package of that size: a bad
    record ("Invalid Archive!"), not an allocation failure, and no working folder left."""
    run = Run(s, "huge_length_field")
    path = os.path.join(run.folder, "package.exe")
    claimed = 1800 * 1024 * 1024
    head = record(s.stub_image()) + record(b"Tailrun.exe") + record(b"stub") + record(b"stub")
    with open(path, "wb") as f:
        f.write(head)
        f.truncate(len(head) + claimed)  # sparse: no disk, no time
        f.seek(len(head) + claimed)
        f.write(struct.pack("<I", claimed) + b"\0" * 16 + record(b"key") + record(b"value") +
                record(b"chunked-installer-tail"))
    checks = Checks()
    _refused_silently(s, run, path, checks, why="Invalid Archive!")
    checks.raise_if_any()


def scenario_appended_after_signature(s):
    """Bytes appended after a signed package's certificate table: refused, though the chain inside
    the signed region is sound."""
    run = Run(s, "appended_after_signature")
    key, cert = make_signing_pair(run.folder)
    unsigned = s.standard_package(run, 0, "unsigned.exe")
    signed = os.path.join(run.folder, "signed.exe")
    sign(unsigned, signed, key, cert)
    with open(signed, "rb") as f:
        appended = f.read() + chain_bytes(b"MZ", installer_entries(s.fake_installer(), "exit=0\n"))
    checks = Checks()
    _refused_silently(s, run, s.write(run, "package.exe", appended), checks, why="Invalid Archive!")
    checks.raise_if_any()
