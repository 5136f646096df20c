"""One run of a package through e2e_runner.exe, the checks the scenarios share, and the session
that holds the tools and the scratch folder."""

import os
import re
import shutil
import subprocess

from e2e_common import Failure, INIT_FAILED_CAPTION, INSTALLER_EXIT, LOG_LINE, LOG_NAME, PRODUCT_NAME
from e2e_packages import chain_bytes, installer_entries, package_parameters, read_fields
from e2e_wine import win_path


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
            f.write(args.encode("utf-8", "surrogateescape"))
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
                 "fake_installer.cfg/fake_installer.exe/~QVT.run/")
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



class Session:
    def __init__(self, opts):
        self.build = os.path.abspath(opts.build_dir)
        tools_dir = opts.tools_dir or os.path.join(self.build, "tests", "e2e")
        self.tools = {name: os.path.join(tools_dir, name + ".exe")
                      for name in ("e2e_runner", "box_watcher", "fake_installer", "stub_without_product",
                                   "window_probe", "stub_quick_progress")}
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

    def tool_image(self, name):
        with open(self.tools[name], "rb") as f:
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
