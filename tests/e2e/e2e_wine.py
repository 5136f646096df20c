"""Wine, Xvfb and the Windows-side tools: every Wine process bounded by a time-out, every wait a
polled condition against a deadline."""

import contextlib
import fcntl
import os
import select
import subprocess
import time

from e2e_common import Failure, WINE_RUN
from e2e_packages import unescape_field


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
