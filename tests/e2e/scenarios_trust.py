"""What a process of the same user, or another user of a shared temporary folder, can do to a run:
the verified installer and its files stay held while the installer runs, links planted in the
temporary folder are removed as links (their targets untouched), logs of another owner are not
used, and a logged text never makes a line of its own."""

import os
import subprocess

from e2e_common import Failure, INSTALLER_EXIT, LOG_NAME, Skip
from e2e_packages import chain_bytes, installer_entries, value_entry
from e2e_run import Checks, Run, installer_command_parameters, log_texts, parse_exit
from e2e_wine import poll_until

MARKER = "~QVT.run"
MSI_LOG = "QVNEX_msi.log.txt"
SHARING_VIOLATION = "32"
PRECIOUS = b"precious"


def _fnv1a(data):
    value = 0xcbf29ce484222325
    for byte in data:
        value = ((value ^ byte) * 0x100000001b3) & 0xFFFFFFFFFFFFFFFF
    return "%016x" % value


def _package(s, run, config, parameters=None, msilog=False):
    entries = installer_entries(s.fake_installer(), config)
    if parameters is not None:
        entries = [e for e in entries if e[1] != b"parameters"] + [value_entry("parameters", parameters)]
    if msilog:
        entries.append(value_entry("msilog", "ON"))
    return s.write(run, "package.exe", chain_bytes(s.stub_image(), entries))


def _precious_file(folder, name):
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(folder, name)
    with open(path, "wb") as f:
        f.write(PRECIOUS)
    return path


def _read(path):
    with open(path, "rb") as f:
        return f.read()


def scenario_verified_files_held(s):
    """While the installer runs, another process of the same user cannot open the installer or the
    file beside it for writing, rename them or delete them (sharing violations), and the installer
    that runs is byte for byte the verified one. A parameter holding CR/LF stays on one log line."""
    run = Run(s, "verified_files_held")
    package = _package(s, run, "exit=%d\ntamper=1\n" % INSTALLER_EXIT, parameters="/qb\r\nExit code: 0\n")
    exit_code, boxes = run.execute(package, "/x1")
    checks = Checks()
    checks.equal(run.name + " exit code", exit_code, INSTALLER_EXIT)
    checks.equal(run.name + " boxes", boxes, [])
    report = run.installer_report() or {}
    for label in ("self", "settings"):
        for what in ("write", "rename", "delete"):
            field = "tamper_%s_%s" % (label, what)
            checks.equal(run.name + " " + field, report.get(field), SHARING_VIOLATION)
    checks.equal(run.name + " the installer's own bytes", report.get("self_fnv"), _fnv1a(s.fake_installer()))
    checks.equal(run.name + " working folders left", run.working_folders_left(), [])
    texts = log_texts(checks, run.name, os.path.join(run.temp, LOG_NAME)) or []
    checks.equal(run.name + " parameters lines", [t for t in texts if t.startswith("Parameters: ")],
                 ["Parameters: /x1 /qb  Exit code: 0 /V\"\""])
    checks.equal(run.name + " exit code lines", [t for t in texts if t.startswith("Exit code: ")],
                 ["Exit code: %d" % INSTALLER_EXIT])
    checks.raise_if_any()


def scenario_links_removed_as_links(s):
    """File links (Unix symbolic links, which Wine shows as plain files) in a leftover folder, in
    the live working folder, at the log's and at the installer log's path: the folders still go,
    the installer log becomes the run's own, and no link's target outside %TEMP% is touched."""
    run = Run(s, "links_removed_as_links")
    outside = os.path.join(run.folder, "outside")
    targets = {name: _precious_file(outside, name + ".txt") for name in ("leftover", "live", "log", "msilog")}
    leftover = os.path.join(run.temp, "QVT13")
    os.makedirs(leftover)
    _precious_file(leftover, MARKER)
    os.symlink(targets["leftover"], os.path.join(leftover, "setup.exe"))
    os.symlink(targets["log"], os.path.join(run.temp, LOG_NAME))
    os.symlink(targets["msilog"], os.path.join(run.temp, MSI_LOG))
    event = "TailrunE2E.Links.%d" % os.getpid()
    package = _package(s, run, "exit=%d\nwait_event=%s\nwait_ms=30000\n" % (INSTALLER_EXIT, event), msilog=True)
    process, output = run.start(package, "/s")
    checks = Checks()
    try:
        poll_until(lambda: run.installer_report() is not None or process.poll() is not None, s.run_timeout,
                   "the installer to start")
        module = (run.installer_report() or {}).get("module", "")
        if "\\" not in module:
            raise Failure("the installer did not report its path: %r" % module)
        os.symlink(targets["live"], os.path.join(run.temp, module.split("\\")[-2], "planted.dll"))
    finally:
        s.wine.run([s.tools["e2e_runner"], "--set-event", event], 60, "release")
        try:
            process.wait(timeout=s.run_timeout + 60)
        except subprocess.TimeoutExpired:
            process.kill()
            raise Failure("the run did not end after its installer was released")
    with open(output, encoding="latin-1") as f:
        checks.equal(run.name + " exit code", parse_exit(f.read(), run.name), INSTALLER_EXIT)
    for name, path in sorted(targets.items()):
        checks.true("%s: the %s link's target was changed or removed" % (run.name, name),
                    os.path.isfile(path) and _read(path) == PRECIOUS)
    checks.equal(run.name + " working folders left", run.working_folders_left(), [])
    msi_log = os.path.join(run.temp, MSI_LOG)
    checks.true(run.name + ": the installer log is not a file of the run's own",
                os.path.isfile(msi_log) and not os.path.islink(msi_log))
    parameters = installer_command_parameters((run.installer_report() or {}).get("commandline", ""))
    checks.true("%s: no installer log option in %r" % (run.name, parameters), "/l*v " in parameters)
    checks.true(run.name + ": the log link went", os.path.islink(os.path.join(run.temp, LOG_NAME)))
    checks.raise_if_any()


def scenario_logs_of_another_owner(s):
    """In a shared temporary folder another user made Tailrun.log.txt and QVNEX_msi.log.txt first:
    the log is not appended to (the run goes on without it), and the installer log is replaced by
    an empty file of the run's own before the installer is told to write there."""
    if os.getuid() != 0:
        raise Skip("files of another owner need root to make")
    run = Run(s, "logs_of_another_owner")
    planted = {name: _precious_file(run.temp, name) for name in (LOG_NAME, MSI_LOG)}
    for path in planted.values():
        os.chown(path, 65534, 65534)
    exit_code, boxes = run.execute(_package(s, run, "exit=%d\n" % INSTALLER_EXIT, msilog=True), "/s")
    checks = Checks()
    checks.equal(run.name + " exit code", exit_code, INSTALLER_EXIT)
    checks.equal(run.name + " the other user's log", _read(planted[LOG_NAME]), PRECIOUS)
    checks.equal(run.name + " the installer log's owner and content",
                 (os.stat(planted[MSI_LOG]).st_uid, _read(planted[MSI_LOG])), (os.getuid(), b""))
    parameters = installer_command_parameters((run.installer_report() or {}).get("commandline", ""))
    checks.true("%s: no installer log option in %r" % (run.name, parameters), "/l*v " in parameters)
    checks.equal(run.name + " working folders left", run.working_folders_left(), [])
    checks.raise_if_any()
