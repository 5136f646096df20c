"""The differential check: for seeded packages, well-formed and hostile, tailpack's verdict and
explained launch equal what the stub does under Wine. Packages whose launch target lies outside
the working folder are left out: verify refuses to vouch for them by design."""

import json
import os
import random
import re
import subprocess

from e2e_common import Failure, INSTALLER_EXIT
from e2e_run import Run, installer_command_parameters
from differential_packages import make_package

COUNT = int(os.environ.get("TAILRUN_DIFFERENTIAL_COUNT", "50"))
SEED = int(os.environ.get("TAILRUN_DIFFERENTIAL_SEED", "20261207"))


class _Native:
    """tailpack run natively while the stub runs under Wine; its output is read afterwards."""

    def __init__(self, path, args):
        self.process = subprocess.Popen([path] + args, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                        stderr=subprocess.DEVNULL)

    def output(self):
        out, _ = self.process.communicate(timeout=120)
        return out.decode("latin-1")


class _Done:
    def __init__(self, output):
        self._output = output

    def output(self):
        return self._output


def _tailpack(s):
    """A native tailpack beside the Windows build (scripts/test builds one), else the one in use:
    a function of the arguments and the package's path that starts it."""
    for preset in ("host", "host-asan"):
        path = os.path.join(os.path.dirname(s.build), preset, "tools", "tailpack", "tailpack")
        if os.access(path, os.X_OK):
            return lambda args, package: _Native(path, args + [package])
    return lambda args, package: _Done(s.run_tailpack(args + [s.tailpack_path(package)], "differential-tailpack")[1])


def _normalise(text):
    """Equal across runs: the working folder's number, and no "/L" language option in front."""
    return re.sub(r"^/L\d+ ", "", re.sub(r"QVT-?\d+", "QVT#", text))


def _json(output, what):
    try:
        return json.loads(output)
    except ValueError:
        raise Failure("%s printed no JSON document: %r" % (what, output[-300:]))


def _ask_tailpack(tailpack, run, package, command_line):
    return (tailpack(["verify", "--json", "--temp-folder", run.temp_win], package),
            tailpack(["explain", "--json", "--temp-folder", run.temp_win, "--command-line", command_line], package))


def scenario_differential(s):
    rng = random.Random(SEED)
    stub, installer = s.stub_image(), s.fake_installer()
    config = b"exit=%d\n" % INSTALLER_EXIT
    tailpack = _tailpack(s)
    disagreements, compared, launched = [], 0, 0
    for number in range(COUNT):
        package_bytes, command_line, changes, outside = make_package(rng, stub, installer, config)
        if outside:
            continue
        run = Run(s, "differential_%d" % number)
        package = s.write(run, "package.exe", package_bytes)
        asked = _ask_tailpack(tailpack, run, package, command_line)
        if "prepend" in changes:
            # Windows cannot start such a file at all; only verify has a verdict on it.
            verify, _ = _json(asked[0].output(), "verify"), asked[1].output()
            if verify["passes"]:
                disagreements.append("package %d %s: verify passes a package Windows cannot start" % (number, changes))
            continue
        exit_code, _ = run.execute(package, command_line)
        report = run.installer_report()
        verify, explain = _json(asked[0].output(), "verify"), _json(asked[1].output(), "explain")
        compared += 1
        launched += report is not None
        what = "package %d %s (seed %d)" % (number, changes, SEED)
        if verify["passes"] != (report is not None):
            disagreements.append("%s: verify passes=%s, the stub %s; verify: %s" % (
                what, verify["passes"], "launched" if report else "launched nothing (exit %d)" % exit_code,
                verify["problems"]))
        if explain["launches"] != (report is not None):
            disagreements.append("%s: explain launches=%s, the stub did%s" % (
                what, explain["launches"], "" if report else " not"))
        if report is not None and explain["launch"]:
            stub_said = (_normalise(report.get("module", "")),
                         _normalise(installer_command_parameters(report.get("commandline", ""))))
            explained = (_normalise(explain["launch"]["file"]), _normalise(explain["launch"]["parameters"]))
            if stub_said != explained:
                disagreements.append("%s: the stub launched %r, explain says %r" % (what, stub_said, explained))
        if run.working_folders_left():
            disagreements.append("%s: the stub left %s" % (what, run.working_folders_left()))
    print("differential: %d packages compared (%d launched), seed %d, %d disagreements"
          % (compared, launched, SEED, len(disagreements)), flush=True)
    if disagreements:
        raise Failure("\n    ".join(disagreements[:20]))
