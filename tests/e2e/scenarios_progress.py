"""The progress window of a long walk: shown, photographed and cancelled; absent when silent and
for a short walk."""

import os
import shutil
import subprocess

from e2e_common import INSTALLER_EXIT, LOG_NAME, PRODUCT_NAME, Failure
from e2e_packages import write_padded_package
from e2e_run import Checks, Run, log_texts, parse_exit
from e2e_wine import poll_until, win_path

CANCELLED_EXIT = 1602  # ERROR_INSTALL_USEREXIT
CANCEL_LINE = "Message: Installation cancelled: Cancelled by the user before the installer started"
WINDOW_CLASS = "TailrunProgress"
# Long enough under Wine for the window to be found, photographed and cancelled mid-walk.
BIG_PADDING = 384 << 20


class Probe:
    """window_probe.exe for one run: started and ready before the run; found() tells whether the
    window was there, and how it looked."""

    def __init__(self, s, folder, name):
        self.files = {kind: os.path.join(folder, "%s.%s" % (name, kind))
                      for kind in ("ready", "found", "stop", "escape")}
        for path in self.files.values():
            if os.path.exists(path):
                os.remove(path)
        self.process, _ = s.wine.start(
            [s.tools["window_probe"], "--title", PRODUCT_NAME, "--max-seconds", "240"] +
            [arg for kind in ("ready", "found", "stop", "escape")
             for arg in ("--%s-file" % kind, win_path(self.files[kind]))], "window_probe")
        poll_until(lambda: os.path.exists(self.files["ready"]) or self.process.poll() is not None, 120,
                   "the window probe to start")
        if self.process.poll() is not None:
            raise Failure("the window probe ended at start")

    def found(self):
        if not os.path.exists(self.files["found"]):
            return None
        with open(self.files["found"], encoding="latin-1") as f:
            return f.read().rstrip("\n").split("\t")

    def press_escape(self):
        open(self.files["escape"], "wb").close()

    def stop(self):
        open(self.files["stop"], "wb").close()
        try:
            self.process.wait(timeout=30)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait(timeout=10)


def screenshot(s, path):
    """The whole Xvfb screen as an xwd file (view it with xwud -in PATH); None without xwd."""
    if not shutil.which("xwd"):
        return None
    os.makedirs(os.path.dirname(path), exist_ok=True)
    subprocess.run(["xwd", "-root", "-silent", "-display", s.wine.env["DISPLAY"], "-out", path],
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   timeout=30, check=True)
    return path


def scenario_progress_window(s):
    """With the test stub (window after 50 ms), a package of 384 MiB shows the progress window:
    found by its title, with its class and a Cancel button, photographed; Escape cancels the run:
    exit 1602, nothing launched, nothing left in the temporary folder but the log, the cancel
    logged. The same package with /s shows no window and runs; a small package with the real stub
    shows none."""
    checks = Checks()
    cancel = Run(s, "progress_cancel")
    package = write_padded_package(os.path.join(s.work, "progress-package.exe"),
                                   s.tool_image("stub_quick_progress"), s.fake_installer(), BIG_PADDING,
                                   INSTALLER_EXIT)
    try:
        probe = Probe(s, cancel.folder, "probe")
        try:
            process, output = cancel.start(package, "/x1")
            poll_until(lambda: probe.found() is not None or process.poll() is not None,
                       s.run_timeout, "the progress window")
            found = probe.found()
            if found is None:
                raise Failure("progress_cancel: the run ended (%s) without a progress window"
                              % process.poll())
            shot = screenshot(s, os.path.join(s.build, "tests", "e2e", "artifacts", "progress-window.xwd"))
            print("    progress window %s; screenshot: %s" % (found, shot or "none (no xwd)"), flush=True)
            probe.press_escape()
            process.wait(timeout=s.run_timeout)
        finally:
            probe.stop()
        with open(output, encoding="latin-1") as f:
            exit_code = parse_exit(f.read(), cancel.name)
        checks.equal("progress_cancel window class", found[0], WINDOW_CLASS)
        checks.equal("progress_cancel Cancel button", found[3], "1")
        checks.equal("progress_cancel exit code", exit_code, CANCELLED_EXIT)
        checks.equal("progress_cancel installer report", cancel.installer_report(), None)
        checks.equal("progress_cancel temporary folder", sorted(os.listdir(cancel.temp)), [LOG_NAME])
        texts = log_texts(checks, "progress_cancel", os.path.join(cancel.temp, LOG_NAME)) or []
        checks.true("progress_cancel: the log %r lacks %r" % (texts[-6:], CANCEL_LINE), CANCEL_LINE in texts)
        checks.equal("progress_cancel boxes", s.watcher.boxes(), [])

        silent = Run(s, "progress_silent")
        probe = Probe(s, silent.folder, "probe")
        try:
            exit_code, boxes = silent.execute(package, "/s")
        finally:
            probe.stop()
        checks.equal("progress_silent window", probe.found(), None)
        checks.equal("progress_silent exit code", exit_code, INSTALLER_EXIT)
    finally:
        os.remove(package)

    small = Run(s, "progress_small")
    probe = Probe(s, small.folder, "probe")
    try:
        exit_code, boxes = small.execute(s.standard_package(small), "/x1")
    finally:
        probe.stop()
    checks.equal("progress_small window", probe.found(), None)
    checks.equal("progress_small exit code", exit_code, INSTALLER_EXIT)
    checks.raise_if_any()
