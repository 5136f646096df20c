"""Constants and failures that the end-to-end modules share: the stub's own texts, the log's
line form and the exit codes the fake installer is told to return."""

import os
import re

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
