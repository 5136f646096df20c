"""Seeded packages for the differential check: well-formed ones and hostile ones, each made from
the fake installer with a few changes drawn at random. The same seed gives the same packages."""

import random

from e2e_common import TAIL_MARKER
from e2e_packages import file_entry, record, value_entry

# Changes a package may get; each is one of the ways packages meet users (or attackers).
CHANGES = ["zero_installer", "non_program", "long_name", "dot_target", "trailing_dot", "empty_target",
           "outside_target", "missing_target", "duplicate_key", "duplicate_name", "bad_name", "sub_folder",
           "placeholders", "empty_texts", "zero_file", "other_kind", "second_marker", "corrupt",
           "truncate", "prepend", "append", "command_line"]


def _entries_bytes(entries):
    out = []
    for entry in entries:
        if entry[0] == "value":
            out += [record(entry[2]), record(entry[1]), record(b"value")]
        elif entry[0] == "file":
            out += [record(entry[3]), record(entry[2]), record(entry[1]), record(b"file")]
        else:  # ("raw", bytes)
            out.append(entry[1])
    return b"".join(out)


def make_package(rng, stub, installer, config):
    """One package: (bytes, command line, the changes made, whether the launch goes outside)."""
    changes = rng.sample(CHANGES, rng.randint(0, 3))
    name = "fake_installer.exe"
    data = installer
    target = "%installer32%"
    params = "/qb src=%source%"
    command_line = "/s"
    entries_after = []   # nearer the tail marker than the installer
    entries_before = []  # nearer the stub
    for change in changes:
        if change == "zero_installer":
            data = b""
        elif change == "non_program":
            data = b"MZ" + bytes(rng.randrange(256) for _ in range(rng.randint(0, 300)))
        elif change == "long_name":
            name = "l" * rng.randint(150, 230) + ".exe"
        elif change == "dot_target":
            target = ".\\%installer32%"
        elif change == "trailing_dot":
            target = "%installer32%."
        elif change == "empty_target":
            target = rng.choice(["", ".", ".\\"])
        elif change == "outside_target":
            target = "..\\fake_installer.exe"
        elif change == "missing_target":
            target = rng.choice(["other.exe", "FAKE_INSTALLER.EXE", "sub\\fake_installer.exe", "fake_installer"])
        elif change == "duplicate_key":
            entries_before.append(value_entry("executable32", "nothing.exe"))
            entries_after.append(value_entry("parameters", "/dup %commandline%"))
        elif change == "duplicate_name":
            entries_before.append(file_entry("", name.upper(), b"MZ replaced"))
        elif change == "bad_name":
            entries_after.append(file_entry("", rng.choice(["..\\x.exe", "a:b", "con.txt", "a|b", ""]), b"x"))
        elif change == "sub_folder":
            entries_before.append(file_entry("k", "sub\\x.txt", b"x"))
        elif change == "placeholders":
            params = rng.choice(["%missing% %%x", "100%", "%source%\\%installer32%", "%%%source%%%"])
        elif change == "empty_texts":
            entries_after.append(value_entry("", ""))
            entries_after.append(value_entry("empty", ""))
        elif change == "zero_file":
            entries_before.append(file_entry("zero", "zero.bin", b""))
        elif change == "other_kind":
            entries_after.append(("raw", record(b"v") + record(b"k") + record(b"xyz")))
        elif change == "second_marker":
            entries_after.append(("raw", record(TAIL_MARKER)))
        elif change == "command_line":
            command_line = rng.choice(["/s /x1", "/s /V\"A=1\"", "/silent /VB=2 /qn"])
    entries = entries_before + [
        value_entry("source", "Z:\\forged"),
        file_entry("installer32", name, data),
        file_entry("", "fake_installer.cfg", config),
        value_entry("executable32", target),
        value_entry("parameters", params),
    ] + entries_after
    package = (record(stub) + record(b"Tailrun.exe") + record(b"stub") + record(b"stub") +
               _entries_bytes(entries) + record(TAIL_MARKER))
    if "corrupt" in changes:
        at = rng.randrange(len(stub) + 60, len(package))
        package = package[:at] + bytes([package[at] ^ 0x20]) + package[at + 1:]
    if "truncate" in changes:
        package = package[:len(package) - rng.randint(1, 200)]
    if "prepend" in changes:
        package = b"\0" + package
    if "append" in changes:
        package += bytes(rng.randrange(256) for _ in range(rng.randint(1, 64)))
    return package, command_line, changes, target.startswith("..")
