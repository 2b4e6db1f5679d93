"""The service under Wine's service control manager for the soak and fault runs: the sample
installation with the stand-in agent (paths and set-up come from the service's end-to-end test
library), the agents' records in host-service.log, and the files of the custom controls."""
import re
import subprocess
from pathlib import Path

import soak

E2E_LIB = soak.REPO / "platform" / "windows" / "agent" / "tests" / "wine" / "service" / \
    "service_e2e_lib.sh"
AGENT_STATE = re.compile(rb'\{"enabled":(true|false),"updatedAt":(\d+)\}')


def _shell(command):
    """Runs `command` in bash after sourcing the end-to-end library; its standard output."""
    return subprocess.run(["bash", "-c", f'source "$0" && {command}', str(E2E_LIB)], check=True,
                          stdout=subprocess.PIPE, text=True).stdout


_paths = _shell('printf "%s\\n" "$SVC_PRIVATE" "$SVC_LOG"').splitlines()
PRIVATE = Path(_paths[0])
LOG = Path(_paths[1])
TMP = PRIVATE / "tmp"
STATE_DIR = PRIVATE / "state"
STATE = STATE_DIR / "agent-state.json"
STATE_NEXT = STATE_DIR / "agent-state.service-next.json"
STOP_HOST = PRIVATE / "stop-host"
STOP_SESSION = PRIVATE / "stop-session"
CONFIG = PRIVATE / "service.json"


def make_install():
    """A fresh sample installation (and an empty log) with the stand-in agent as node.exe."""
    _shell("svc_make_install")


def install_and_start(harness):
    """Registers the test build and starts it; the start answer's fields."""
    harness.ask("delete")
    harness.ask("install", soak.windows_path(soak.TEST_EXE))
    return harness.fields("start")


def steer(name, value=""):
    """Writes (or with None removes) a steering file of the stand-in agent."""
    path = TMP / name
    if value is None:
        path.unlink(missing_ok=True)
    else:
        path.write_text(str(value))


class AgentLog:
    """The agents' records in host-service.log, read incrementally: one per agent, in the order
    they started, with its Windows pid, its start, exit or crash time (Unix ms, as the agent logs
    them) and whether it is ready. Windows reuses pids, so a record begins at an agent's "start"
    line and the later lines of that pid belong to it."""

    RECORD = re.compile(r"^agent\[(\d+)\] (start|ready)$"
                        r"|^agent\[(\d+)\] (start-ms|exit-ms|crash-ms)=(\d+)$")

    def __init__(self):
        self.offset = 0
        self.records = []
        self.current = {}  # pid -> its latest record

    def update(self):
        try:
            with LOG.open("rb") as log:
                log.seek(self.offset)
                data = log.read()
        except FileNotFoundError:
            return
        end = data.rfind(b"\n") + 1
        for line in data[:end].decode(errors="replace").splitlines():
            match = self.RECORD.match(line.strip())
            if not match:
                continue
            if match.group(2) == "start":
                record = {"pid": int(match.group(1))}
                self.records.append(record)
                self.current[record["pid"]] = record
            elif match.group(2) == "ready":
                self.current.get(int(match.group(1)), {})["ready"] = True
            else:
                self.current.get(int(match.group(3)), {})[match.group(4)] = int(match.group(5))
        self.offset += end

    def latest(self):
        return self.records[-1] if self.records else None


def read_state():
    """(enabled, updatedAt) of agent-state.json; None when it is missing; "partial" when it holds
    anything but one whole record."""
    try:
        data = STATE.read_bytes()
    except FileNotFoundError:
        return None
    match = AGENT_STATE.fullmatch(data)
    if not match:
        return "partial"
    return match.group(1) == b"true", int(match.group(2))
