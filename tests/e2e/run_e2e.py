#!/usr/bin/env python3
"""End-to-end scenarios: real packages run under Wine, as a user would run them.

Packages are written here (the record format is small) and, in one scenario, by tailpack. Each run
goes through e2e_runner.exe, which gives the package its own temporary folder and reports the full
32-bit exit code; the payload is fake_installer.exe, which records its command line, current
directory, module path and temporary folder and returns the exit code it is told by the
fake_installer.cfg packed beside it. Message boxes are real: an Xvfb display is started and
box_watcher.exe records every box (caption and text) and presses OK.

Wine runs in a prefix of its own (not the one the unit tests share), so the single-instance mutex,
the registry and the desktop of the scenarios are nobody else's; one run at a time holds its lock.
Every Wine process is bounded by a time-out, and every wait polls a condition against a deadline.

Exit status: 0 when every scenario ran and passed, 1 when one failed, 77 when the stub is not built
(its scenarios are skipped; the harness checks still run).
"""

import argparse
import contextlib
import fcntl
import hashlib
import os
import re
import select
import shutil
import signal
import struct
import subprocess
import sys
import time

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
WINE_RUN = os.path.join(REPO, "scripts", "wine-run")
SKIPPED = 77

TAIL_MARKER = b"chunked-installer-tail"
INVALID_ARCHIVE = (
    "Invalid Archive!",
    "We are sorry, but your installation / update did not complete due to unexpected download "
    "errors.\r\nPlease download full version of the program")
ALREADY_RUNNING = (
    "Already Running",
    "Another installation is already running or in the process of starting up.\nPlease wait until "
    "the other installation has completed before trying again.")
INIT_FAILED_CAPTION = "Failed to initialize archive!"
GET_TEMP_PATH_FAILED = ("GetTempPath failed", "Unable to get Temporary Directory")
PRODUCT_NAME = "Quorvane"
LOG_NAME = "Tailrun.log.txt"
# A log line: local date and time, a space, the level character (a space), two spaces, the text.
LOG_LINE = re.compile(r"(\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2})    (.*)", re.S)

# Exit codes the payload is told to return: the signed chain's and the forged one's differ.
INSTALLER_EXIT = 3010
SIGNED_EXIT = 42
FORGED_EXIT = 66
HELD_EXIT = 7


class Failure(Exception):
    pass


class Skip(Exception):
    """A scenario that cannot run on this machine; the message says why."""


# ---- packages ----------------------------------------------------------------------------------

def record(payload):
    """One record: payload, its length (32-bit little-endian), its MD5 digest."""
    return payload + struct.pack("<I", len(payload)) + hashlib.md5(payload).digest()


def value_entry(key, value):
    return ("value", key.encode(), value.encode())


def file_entry(key, name, data):
    return ("file", key.encode(), name.encode(), data)


def chain_bytes(stub_image, entries, stub_name=b"Tailrun.exe"):
    """A whole package: stub entry, the entries in order (the last is met first), tail marker."""
    out = [record(stub_image), record(stub_name), record(b"stub"), record(b"stub")]
    for entry in entries:
        if entry[0] == "value":
            out += [record(entry[2]), record(entry[1]), record(b"value")]
        else:
            out += [record(entry[3]), record(entry[2]), record(entry[1]), record(b"file")]
    out.append(record(TAIL_MARKER))
    return b"".join(out)


def write_padded_package(path, stub_image, installer, padding, exit_code):
    """The package of installer_entries, written to `path` piece by piece, with the installer's
    data followed by `padding` zero bytes (appended data leaves the program runnable), so that a
    package of hundreds of MiB is never held in memory."""
    block = b"\0" * (1 << 20)
    with open(path, "wb") as out:
        for payload in (stub_image, b"Tailrun.exe", b"stub", b"stub"):
            out.write(record(payload))
        for entry in installer_entries(installer, "exit=%d\n" % exit_code):
            if entry[0] == "value":
                out.write(record(entry[2]) + record(entry[1]) + record(b"value"))
                continue
            data = entry[3]
            extra = padding if entry[2] == b"fake_installer.exe" else 0
            digest = hashlib.md5(data)
            out.write(data)
            left = extra
            while left:
                piece = block[:min(left, len(block))]
                digest.update(piece)
                out.write(piece)
                left -= len(piece)
            out.write(struct.pack("<I", len(data) + extra) + digest.digest())
            out.write(record(entry[2]) + record(entry[1]) + record(b"file"))
        out.write(record(TAIL_MARKER))
    return path


def installer_entries(installer, config):
    """The payload and its configuration, with the settings that launch it. The package also
    carries "source" and "commandline", which must not replace the stub's own."""
    return [
        value_entry("source", "Z:\\forged\\source"),
        value_entry("commandline", "/forged-commandline"),
        file_entry("installer32", "fake_installer.exe", installer),
        file_entry("", "fake_installer.cfg", config.encode()),
        value_entry("executable32", "%installer32%"),
        value_entry("parameters", "/qb src=%source%"),
    ]


def package_parameters(working_folder):
    """The package's parameters as the stub expands them, with the empty "/V" text merged in."""
    return "/qb src=" + working_folder + '/V""'


def escape_field(text):
    return (text.replace("\\", "\\\\").replace("\t", "\\t").replace("\n", "\\n")
            .replace("\r", "\\r"))


def unescape_field(text):
    out, i = [], 0
    while i < len(text):
        if text[i] == "\\" and i + 1 < len(text):
            out.append({"t": "\t", "n": "\n", "r": "\r"}.get(text[i + 1], text[i + 1]))
            i += 2
        else:
            out.append(text[i])
            i += 1
    return "".join(out)


def read_fields(path):
    fields = {}
    with open(path, encoding="latin-1", newline="\n") as f:
        for line in f.read().split("\n"):
            if "\t" in line:
                name, value = line.split("\t", 1)
                fields[name] = unescape_field(value)
    return fields


# ---- PE certificate table ----------------------------------------------------------------------

def security_directory_offset(image):
    """File offset of the security data directory entry (offset, size) of a PE32 image."""
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    if image[pe:pe + 4] != b"PE\0\0":
        raise Failure("not a PE image")
    optional = pe + 24
    if struct.unpack_from("<H", image, optional)[0] != 0x10B:
        raise Failure("not a PE32 image")
    return optional + 96 + 4 * 8


def certificate_table(image):
    offset, size = struct.unpack_from("<II", image, security_directory_offset(image))
    return offset, size


def forge_certificate_table(signed, forged_chain):
    """Puts a complete second chain inside the certificate table (after the signature), with the
    table's and its first certificate's sizes grown so that the table still ends the file."""
    entry = security_directory_offset(signed)
    offset, size = struct.unpack_from("<II", signed, entry)
    if offset + size != len(signed):
        raise Failure("the certificate table does not end the signed file")
    padding = b"\0" * (-len(forged_chain) % 8)
    extra = forged_chain + padding
    forged = bytearray(signed + extra)
    struct.pack_into("<I", forged, entry + 4, size + len(extra))
    first_length = struct.unpack_from("<I", forged, offset)[0]
    struct.pack_into("<I", forged, offset, first_length + len(extra))
    return bytes(forged)


# ---- Wine, Xvfb, the tools ---------------------------------------------------------------------

def win_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def poll_until(condition, deadline_seconds, what, interval=0.05):
    deadline = time.monotonic() + deadline_seconds
    while not condition():
        if time.monotonic() > deadline:
            raise Failure("timed out waiting for " + what)
        time.sleep(interval)


class Xvfb:
    """An Xvfb server on a display that it picks itself (-displayfd), stopped on exit."""

    def __init__(self, log_path, start_timeout=30):
        read_end, write_end = os.pipe()
        with open(log_path, "wb") as log:
            self.process = subprocess.Popen(
                ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24",
                 "-nolisten", "tcp", "-noreset"],
                stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT,
                pass_fds=(write_end,))
        os.close(write_end)
        try:
            self.display = ":" + self._read_display(read_end, start_timeout)
        except BaseException:
            self.stop()
            raise
        finally:
            os.close(read_end)

    def _read_display(self, fd, timeout):
        deadline = time.monotonic() + timeout
        text = b""
        while not text.endswith(b"\n"):
            left = deadline - time.monotonic()
            if left <= 0 or self.process.poll() is not None:
                raise Failure("Xvfb did not start")
            ready, _, _ = select.select([fd], [], [], left)
            if ready:
                chunk = os.read(fd, 64)
                if not chunk:
                    raise Failure("Xvfb did not report its display")
                text += chunk
        return text.decode().strip()

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait(timeout=10)


class Wine:
    """Runs Windows programs through scripts/wine-run in the scenarios' prefix. Output goes to
    files, never to pipes: a Wine service started on the way would hold a pipe open forever."""

    def __init__(self, prefix, log_dir):
        self.env = dict(os.environ, TAILRUN_WINEPREFIX=prefix, WINEDEBUG="-all")
        for name in ("TAILRUN_E2E_REPORT", "DISPLAY"):
            self.env.pop(name, None)
        self.log_dir = log_dir
        self.count = 0

    def _log(self, name):
        self.count += 1
        return os.path.join(self.log_dir, "%03d-%s.out" % (self.count, name))

    def run(self, args, timeout, name, extra_env=None):
        """Runs to the end within `timeout` seconds; returns (low 8 bits of the code, output).
        `extra_env` adds Unix environment variables for this process (LC_ALL gives the system
        language of this Wine process and of the programs it starts)."""
        log = self._log(name)
        with open(log, "wb") as out:
            try:
                code = subprocess.run([WINE_RUN] + args, stdin=subprocess.DEVNULL, stdout=out,
                                      stderr=subprocess.STDOUT, env=dict(self.env, **(extra_env or {})),
                                      timeout=timeout).returncode
            except subprocess.TimeoutExpired:
                raise Failure("%s did not end within %d s" % (name, timeout))
        with open(log, encoding="latin-1") as f:
            return code, f.read()

    def start(self, args, name):
        """Starts without waiting (the caller bounds the wait); returns the process and the path
        of its output."""
        log = self._log(name)
        with open(log, "wb") as out:
            process = subprocess.Popen([WINE_RUN] + args, stdin=subprocess.DEVNULL, stdout=out,
                                       stderr=subprocess.STDOUT, env=self.env)
        return process, log


class BoxWatcher:
    """box_watcher.exe for the whole session; boxes() gives the boxes recorded since the last
    call. A box's line is written before its OK is pressed, so once the program that showed it
    has ended, the line is there."""

    def __init__(self, wine, tool, folder, lifetime):
        self.out = os.path.join(folder, "boxes.txt")
        self.stop_file = os.path.join(folder, "boxes.stop")
        ready = os.path.join(folder, "boxes.ready")
        for path in (self.out, self.stop_file, ready):
            with contextlib.suppress(FileNotFoundError):
                os.remove(path)
        open(self.out, "wb").close()
        self.offset = 0
        self.process, _ = wine.start([tool, "--out", win_path(self.out), "--stop-file",
                                   win_path(self.stop_file), "--ready-file", win_path(ready),
                                   "--max-seconds", str(lifetime)], "box_watcher")
        try:
            poll_until(lambda: os.path.exists(ready) or self.process.poll() is not None, 120,
                       "the box watcher to start")
            if self.process.poll() is not None:
                raise Failure("the box watcher ended at start")
        except BaseException:
            self.stop()
            raise

    def boxes(self):
        if self.process.poll() is not None:
            raise Failure("the box watcher has ended")
        with open(self.out, "rb") as f:
            f.seek(self.offset)
            data = f.read()
        complete = data[:data.rfind(b"\n") + 1]
        self.offset += len(complete)
        lines = complete.decode("latin-1").split("\n")[:-1]
        return [tuple(unescape_field(part) for part in line.split("\t", 1)) for line in lines]

    def stop(self):
        open(self.stop_file, "wb").close()
        try:
            self.process.wait(timeout=15)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait(timeout=10)


@contextlib.contextmanager
def prefix_lock(prefix, timeout):
    """Holds the scenarios' prefix for this run alone."""
    os.makedirs(os.path.dirname(prefix), exist_ok=True)
    with open(prefix + ".e2e.lock", "w") as lock:
        def taken():
            try:
                fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
                return True
            except BlockingIOError:
                return False
        poll_until(taken, timeout, "the Wine prefix lock (another end-to-end run?)", 0.5)
        yield


# ---- one run of a package ----------------------------------------------------------------------

class Run:
    """A package run: its own folder, temporary folder and report file."""

    def __init__(self, session, name):
        self.session = session
        self.name = name
        self.folder = os.path.join(session.work, name)
        shutil.rmtree(self.folder, ignore_errors=True)
        self.temp = os.path.join(self.folder, "temp")
        os.makedirs(self.temp)
        self.report = os.path.join(self.folder, "installer-report.txt")
        self.temp_win = win_path(self.temp)
        # What the runner gives as TEMP and TMP, and the current folder it starts the program in.
        self.temp_arg = self.temp_win
        self.cwd = None

    def runner_args(self, program, args):
        args_file = os.path.join(self.folder, "args.txt")
        with open(args_file, "wb") as f:
            f.write(args.encode("latin-1"))
        cwd = ["--cwd", win_path(self.cwd)] if self.cwd else []
        return [self.session.tools["e2e_runner"], "--temp", self.temp_arg] + cwd + [
                "--set", "TAILRUN_E2E_REPORT=" + win_path(self.report),
                "--timeout-ms", str(self.session.run_timeout * 1000),
                "--args-file", win_path(args_file), win_path(program)]

    def execute(self, program, args="", extra_env=None):
        """Runs `program` with the command-line text `args`; returns its exit code and boxes."""
        _, output = self.session.wine.run(self.runner_args(program, args),
                                          self.session.run_timeout + 60, self.name, extra_env)
        return parse_exit(output, self.name), self.session.watcher.boxes()

    def start(self, program, args=""):
        return self.session.wine.start(self.runner_args(program, args), self.name)

    def installer_report(self):
        return read_fields(self.report) if os.path.exists(self.report) else None

    def working_folders_left(self):
        return sorted(n for n in os.listdir(self.temp) if n.startswith("QVT"))


def parse_exit(output, name):
    match = re.search(r"^exit=(\d+)\s*$", output, re.M)
    if match:
        return int(match.group(1))
    if re.search(r"^timeout\s*$", output, re.M):
        raise Failure("%s: the program did not end in time and was killed" % name)
    raise Failure("%s: the runner reported no exit code: %r" % (name, output[-400:]))


def installer_command_parameters(command_line):
    """The parameters that the installer received: its command line after the program name and
    the one space that separates them."""
    if command_line.startswith('"'):
        end = command_line.find('"', 1)
        rest = command_line[end + 1:] if end >= 0 else ""
    else:
        space = command_line.find(" ")
        rest = command_line[space:] if space >= 0 else ""
    return rest[1:] if rest.startswith(" ") else rest


class Checks:
    """Collects every mismatch of a scenario, so one run reports all of them."""

    def __init__(self):
        self.problems = []

    def equal(self, what, actual, expected):
        if actual != expected:
            self.problems.append("%s: got %r, expected %r" % (what, actual, expected))

    def true(self, what, condition):
        if not condition:
            self.problems.append(what)

    def raise_if_any(self):
        if self.problems:
            raise Failure("\n    ".join(self.problems))


def same_path(a, b):
    return a.lower() == b.lower()


def check_installer_ran(checks, run, args, exit_code, expected_exit, boxes, log=True,
                        language_option="", left=()):
    """The payload ran from the working folder under the run's temporary folder, with that
    temporary folder as its current directory and the stub's command line first (after the
    language option, when one is expected), beside only the files of its package; afterwards
    only the entries `left` start with QVT."""
    checks.equal(run.name + " exit code", exit_code, expected_exit)
    checks.equal(run.name + " message boxes", boxes, [])
    report = run.installer_report()
    if report is None:
        checks.true(run.name + ": the installer did not run (no report)", False)
        return
    module = report.get("module", "")
    pattern = re.escape(run.temp_win) + r"\\QVT-?\d+\\fake_installer\.exe"
    checks.true("%s: installer module %r is not <temp>\\QVT<n>\\fake_installer.exe"
                % (run.name, module), re.fullmatch(pattern, module, re.I))
    checks.true("%s: installer current directory %r, expected the base folder %r"
                % (run.name, report.get("cwd"), run.temp_win),
                same_path(report.get("cwd", ""), run.temp_win))
    checks.true("%s: installer temporary folder %r, expected %r"
                % (run.name, report.get("temp"), run.temp_win + "\\"),
                same_path(report.get("temp", ""), run.temp_win + "\\"))
    working_folder = module.rsplit("\\", 1)[0]
    expected = language_option + args + " " + package_parameters(working_folder)
    checks.equal(run.name + " installer parameters",
                 installer_command_parameters(report.get("commandline", "")), expected)
    checks.equal(run.name + " files beside the installer", report.get("folder"),
                 "fake_installer.cfg/fake_installer.exe/")
    checks.equal(run.name + " working folders left", run.working_folders_left(), sorted(left))
    if log:
        check_log(checks, run.name, os.path.join(run.temp, LOG_NAME), module, expected)


def log_texts(checks, what, path):
    """The texts of the log's lines (without their headers), or None when there is no log. The
    log starts with the UTF-8 byte order mark and every line ends with CR LF."""
    if not os.path.isfile(path):
        checks.true("%s: no log file %s" % (what, path), False)
        return None
    with open(path, "rb") as f:
        data = f.read()
    checks.true("%s: the log does not start with the byte order mark" % what,
                data.startswith(b"\xEF\xBB\xBF"))
    body = data[3:].decode("utf-8", "replace")
    checks.true("%s: the log does not end with CR LF" % what, body == "" or body.endswith("\r\n"))
    texts = []
    for line in body.split("\r\n")[:-1]:
        match = LOG_LINE.fullmatch(line)
        checks.true("%s: log line %r has no header" % (what, line), match)
        texts.append(match.group(2) if match else line)
    return texts


def check_log(checks, what, path, installer, parameters):
    """The log holds, in this order, the lines that precede the launch: an empty line, the product
    name, the file, the parameters and an empty line."""
    texts = log_texts(checks, what, path)
    if texts is None:
        return
    wanted = ["", PRODUCT_NAME, "File: " + installer, "Parameters: " + parameters, ""]
    found = any(texts[i:i + len(wanted)] == wanted for i in range(len(texts)))
    checks.true("%s: the log %r does not hold the launch lines %r" % (what, texts, wanted), found)


def check_init_failure_box(checks, what, box, package):
    """Caption and the text up to the system's message: "File: " + path + "\\rError: "."""
    caption, text = box
    checks.equal(what + " caption", caption, INIT_FAILED_CAPTION)
    prefix, path, middle = "File: ", win_path(package), "\rError: "
    checks.true("%s text %r does not start with %r" % (what, text, prefix + path + middle),
                text.startswith(prefix) and same_path(text[len(prefix):len(prefix) + len(path)], path)
                and text[len(prefix) + len(path):].startswith(middle))


# ---- the session and its scenarios -------------------------------------------------------------

class Session:
    def __init__(self, opts):
        self.build = os.path.abspath(opts.build_dir)
        tools_dir = opts.tools_dir or os.path.join(self.build, "tests", "e2e")
        self.tools = {name: os.path.join(tools_dir, name + ".exe")
                      for name in ("e2e_runner", "box_watcher", "fake_installer", "stub_without_product")}
        self.stub = opts.stub or os.path.join(self.build, "driver", "Tailrun.exe")
        self.tailpack = find_tailpack(opts.tailpack, self.build)
        self.work = os.path.abspath(opts.work_dir or os.path.join(self.build, "tests", "e2e", "work"))
        self.run_timeout = opts.run_timeout
        self.prefix = opts.wineprefix
        self.wine = None
        self.watcher = None

    def fake_installer(self):
        with open(self.tools["fake_installer"], "rb") as f:
            return f.read()

    def stub_image(self):
        with open(self.stub, "rb") as f:
            return f.read()

    def write(self, run, name, data):
        path = os.path.join(run.folder, name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def standard_package(self, run, exit_code=INSTALLER_EXIT, name="package.exe"):
        entries = installer_entries(self.fake_installer(), "exit=%d\n" % exit_code)
        return self.write(run, name, chain_bytes(self.stub_image(), entries))

    def tailpack_path(self, path):
        """A path as the tailpack in use takes it."""
        return path if self.tailpack[0] == "native" else win_path(path)

    def run_tailpack(self, args, name):
        """tailpack's exit status and output: native, or the Windows build under Wine."""
        kind, program = self.tailpack
        if kind == "native":
            done = subprocess.run([program] + args, stdin=subprocess.DEVNULL,
                                  stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=120)
            return done.returncode, done.stdout.decode("latin-1")
        return self.wine.run([program] + args, 120, name)


def find_tailpack(given, build):
    if given:
        return ("wine", given) if given.endswith(".exe") else ("native", given)
    native = os.path.join(build, "tools", "tailpack", "tailpack")
    if os.access(native, os.X_OK):
        return ("native", native)
    windows = native + ".exe"
    if os.path.exists(windows):
        return ("wine", windows)
    return None


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


def scenario_log_cannot_open(s):
    """A folder named Tailrun.log.txt in the temporary folder: the run goes on without a log and
    the folder is left as it was."""
    checks = Checks()
    run = Run(s, "log_cannot_open")
    folder = os.path.join(run.temp, LOG_NAME)
    os.makedirs(folder)
    exit_code, boxes = run.execute(s.standard_package(run), "/x1")
    check_installer_ran(checks, run, "/x1", exit_code, INSTALLER_EXIT, boxes, log=False)
    checks.true("log_cannot_open: the folder %s is gone or not empty" % folder,
                os.path.isdir(folder) and os.listdir(folder) == [])
    checks.raise_if_any()


def free_drive_letter(prefix):
    for letter in "tuvwxy":
        if not os.path.lexists(os.path.join(prefix, "dosdevices", letter + ":")):
            return letter
    raise Failure("no free drive letter in %s/dosdevices" % prefix)


def scenario_temp_at_drive_root(s):
    """With the temporary folder at the root of a drive ("T:\\"), the log is T:\\Tailrun.log.txt
    and holds the launch of T:\\QVT<n>\\fake_installer.exe."""
    checks = Checks()
    run = Run(s, "temp_at_drive_root")
    letter = free_drive_letter(s.prefix)
    drive = os.path.join(s.prefix, "dosdevices", letter + ":")
    os.symlink(run.temp, drive)
    try:
        run.temp_arg = letter.upper() + ":\\"
        exit_code, boxes = run.execute(s.standard_package(run), "/x1")
    finally:
        os.remove(drive)
    checks.equal(run.name + " exit code", exit_code, INSTALLER_EXIT)
    checks.equal(run.name + " message boxes", boxes, [])
    report = run.installer_report() or {}
    module = report.get("module", "")
    checks.true("%s: installer module %r is not at the drive's root" % (run.name, module),
                re.fullmatch(letter + r":\\QVT-?\d+\\fake_installer\.exe", module, re.I))
    checks.equal(run.name + " working folders left", run.working_folders_left(), [])
    check_log(checks, run.name, os.path.join(run.temp, LOG_NAME), module,
              installer_command_parameters(report.get("commandline", "")))
    checks.raise_if_any()


def scenario_no_temporary_folder(s):
    """When GetTempPathA fails (TMP longer than a path may be), the log is Tailrun.log.txt in the
    current folder, and the run goes on under C:\\Temp\\ after the "GetTempPath failed" box."""
    checks = Checks()
    run = Run(s, "no_temporary_folder")
    run.temp_arg = "C:\\" + "t" * 300
    run.cwd = os.path.join(run.folder, "cwd")
    os.makedirs(run.cwd)
    exit_code, boxes = run.execute(s.standard_package(run), "/x1")
    checks.equal(run.name + " exit code", exit_code, INSTALLER_EXIT)
    checks.equal(run.name + " message boxes", boxes, [GET_TEMP_PATH_FAILED])
    report = run.installer_report() or {}
    module = report.get("module", "")
    checks.true("%s: installer module %r is not under C:\\Temp" % (run.name, module),
                re.fullmatch(r"C:\\Temp\\QVT-?\d+\\fake_installer\.exe", module, re.I))
    check_log(checks, run.name, os.path.join(run.cwd, LOG_NAME), module,
              installer_command_parameters(report.get("commandline", "")))
    checks.raise_if_any()


def scenario_no_product_name(s):
    """A stub whose string table lacks the product name (2002) ends through the outer guard: exit
    1, caption "[resource string 2002 is not found]" (no box when silent), before any working
    folder exists; its log was set up and holds no line."""
    checks = Checks()
    with open(s.tools["stub_without_product"], "rb") as f:
        image = f.read()
    entries = installer_entries(s.fake_installer(), "exit=0\n")
    for variant, args, wanted in (("shown", "/x1", [("[resource string 2002 is not found]",
                                                     "Unhandled Exception")]),
                                  ("silent", "/s", [])):
        run = Run(s, "no_product_name_" + variant)
        exit_code, boxes = run.execute(s.write(run, "package.exe", chain_bytes(image, entries)), args)
        checks.equal(run.name + " exit code", exit_code, 1)
        checks.equal(run.name + " message boxes", boxes, wanted)
        checks.equal(run.name + " installer report", run.installer_report(), None)
        checks.equal(run.name + " working folders", run.working_folders_left(), [])
        checks.equal(run.name + " log lines", log_texts(checks, run.name, os.path.join(run.temp, LOG_NAME)), [])
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


def scenario_already_running(s):
    """While a run waits for its installer, a second start shows "Already Running" (exact text)
    and exits 1 without a working folder; silently with "/s". The first run then ends normally."""
    event = "TailrunE2E.Release.%d" % os.getpid()
    holder = Run(s, "already_running_holder")
    config = "exit=%d\nwait_event=%s\nwait_ms=%d\n" % (HELD_EXIT, event, 30000)
    package = s.write(holder, "package.exe", chain_bytes(
        s.stub_image(), installer_entries(s.fake_installer(), config)))
    first, first_log = holder.start(package, "/first")
    checks = Checks()
    try:
        poll_until(lambda: holder.installer_report() is not None or first.poll() is not None,
                   s.run_timeout, "the first run's installer to start")
        if first.poll() is not None:
            raise Failure("the first run ended before its installer reported")
        for variant, args, wanted in (("shown", "/x2", [ALREADY_RUNNING]),
                                      ("s", "/s", [])):
            run = Run(s, "already_running_" + variant)
            exit_code, boxes = run.execute(package, args)
            checks.equal(run.name + " exit code", exit_code, 1)
            checks.equal(run.name + " boxes", boxes, wanted)
            checks.equal(run.name + " working folders", run.working_folders_left(), [])
            checks.equal(run.name + " installer report", run.installer_report(), None)
    finally:
        code, output = s.wine.run([s.tools["e2e_runner"], "--set-event", event], 60, "release")
        try:
            first.wait(timeout=s.run_timeout + 60)
        except subprocess.TimeoutExpired:
            first.kill()
            raise Failure("the first run did not end after its installer was released")
    checks.equal("release of the first run's installer (%r)" % output, code, 0)
    with open(first_log, encoding="latin-1") as f:
        exit_code = parse_exit(f.read(), holder.name)
    check_installer_ran(checks, holder, "/first", exit_code, HELD_EXIT, s.watcher.boxes())
    checks.equal("the first run's installer wait", (holder.installer_report() or {}).get("wait"),
                 "signalled")
    checks.raise_if_any()


def stub_time_number(seconds):
    """The working folder number the stub starts from at `seconds`: the low 32 bits, signed."""
    low = int(seconds) & 0xFFFFFFFF
    return low - (1 << 32) if low >= 1 << 31 else low


def prepare_next_names(run, make, seconds_ahead=40):
    """Makes an entry QVT<n> (through `make`) for each second from a little before now to
    `seconds_ahead` later; returns the names."""
    now = stub_time_number(time.time())
    names = ["QVT%d" % n for n in range(now - 2, now + seconds_ahead)]
    for name in names:
        make(os.path.join(run.temp, name))
    return names


def scenario_prepared_folders(s):
    """Folders QVT<n> prepared for the next seconds, each holding a planted version.dll, are
    never used: the installer runs in a folder of the run's own, beside only its own files, the
    prepared folders stay as they were and the run's own folder is gone; plain files QVT<n> for
    the next seconds do not stop the run either. The installer's exit code passes through."""
    checks = Checks()

    def planted_folder(path):
        os.mkdir(path)
        with open(os.path.join(path, "version.dll"), "wb") as f:
            f.write(b"planted " + os.path.basename(path).encode())

    def plain_file(path):
        with open(path, "wb") as f:
            f.write(b"not a folder")

    for variant, make in (("folders", planted_folder), ("files", plain_file)):
        run = Run(s, "prepared_" + variant)
        package = s.standard_package(run)
        prepared = prepare_next_names(run, make)
        exit_code, boxes = run.execute(package, "/x1")
        check_installer_ran(checks, run, "/x1", exit_code, INSTALLER_EXIT, boxes, left=prepared)
        parts = (run.installer_report() or {}).get("module", "").split("\\")
        own = parts[-2] if len(parts) >= 2 else ""
        checks.true("%s: the installer ran in the prepared %s" % (run.name, own), own not in prepared)
        for name in prepared:
            path = os.path.join(run.temp, name)
            if variant == "files":
                checks.true("%s: %s is no longer the plain file" % (run.name, name),
                            os.path.isfile(path))
                continue
            planted = os.path.join(path, "version.dll")
            checks.equal("%s: %s content" % (run.name, name),
                         sorted(os.listdir(path)) if os.path.isdir(path) else "removed", ["version.dll"])
            if os.path.isfile(planted):
                with open(planted, "rb") as f:
                    checks.equal("%s: %s\\version.dll" % (run.name, name), f.read(),
                                 b"planted " + name.encode())
    checks.raise_if_any()


SPAWN_FAILED = ("ShellExecuteEx failed", "Unable to spawn process")


def processes_naming(text):
    """Linux processes (Wine's included) whose command line contains `text`, ignoring case."""
    found = []
    for pid in os.listdir("/proc"):
        if not pid.isdigit() or int(pid) == os.getpid():
            continue
        with contextlib.suppress(OSError):
            with open("/proc/%s/cmdline" % pid, "rb") as f:
                args = f.read().replace(b"\0", b" ").decode("latin-1")
            if text.lower() in args.lower():
                found.append("%s: %s" % (pid, args.strip()))
    return found


def scenario_no_executable(s):
    """An accepted package whose "executable32" is missing, empty or names a folder launches
    nothing: "ShellExecuteEx failed" (none when silent), exit 1 within seconds, no process left
    that names the run's folder (the shell's file browser), the working folder removed."""
    checks = Checks()
    installer = s.fake_installer()
    for name, executable, args, wanted in (("missing", None, "/x1", [SPAWN_FAILED]),
                                           ("empty", "", "/s", []),
                                           ("folder", ".", "/x1", [SPAWN_FAILED])):
        run = Run(s, "no_executable_" + name)
        entries = [file_entry("installer32", "fake_installer.exe", installer),
                   file_entry("", "fake_installer.cfg", b"exit=0\n"),
                   value_entry("parameters", "/qb")]
        if executable is not None:
            entries.append(value_entry("executable32", executable))
        package = s.write(run, "package.exe", chain_bytes(s.stub_image(), entries))
        started = time.monotonic()
        exit_code, boxes = run.execute(package, args)
        elapsed = time.monotonic() - started
        checks.equal(run.name + " exit code", exit_code, 1)
        checks.equal(run.name + " boxes", boxes, wanted)
        checks.true("%s took %.1f s" % (run.name, elapsed), elapsed < 30)
        checks.equal(run.name + " installer report", run.installer_report(), None)
        checks.equal(run.name + " working folders left", run.working_folders_left(), [])
        checks.equal(run.name + " processes left", processes_naming(run.temp_win), [])
    checks.raise_if_any()


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
                      ("full_disk", scenario_full_disk),
                      ("prepared_folders", scenario_prepared_folders),
                      ("no_executable", scenario_no_executable)]
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
                s.watcher = BoxWatcher(s.wine, s.tools["box_watcher"], s.work, 900)
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
