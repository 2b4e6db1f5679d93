"""Shared pieces of the soak and fault scripts: the --minutes option, the figures with their limits
and the verdict, percentiles, readings of /proc, the programs they need, the private Xvfb and Wine
prefix, and the Wine-side harness that reads handle counts and private bytes.

A figure with a limit that it breaks makes the script end with status 1; a figure without a limit
is only printed. Every script prints one block, a Markdown table, that the README takes as it is.
"""
import argparse
import atexit
import datetime
import os
import shutil
import signal
import statistics
import subprocess
import sys
import threading
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
DIST = Path(os.environ.get("VORNAKEL_DIST_DIR", REPO / "dist"))
WINE_SCRIPTS = REPO / "scripts" / "wine"
WINEPREFIX = Path(os.environ.get("VORNAKEL_WINEPREFIX", REPO / "build" / "mingw" / "wineprefix"))
MIB = 1024 * 1024
# The shell libraries of the Wine test bed read these.
os.environ.setdefault("VORNAKEL_DIST_DIR", str(DIST))
os.environ.setdefault("VORNAKEL_WINEPREFIX", str(WINEPREFIX))

TEST_EXE = DIST / "windows-test" / "vornakel_windows_service_wine_test.exe"
RECORDER_EXE = DIST / "windows-test" / "vornakel_input_recorder.exe"
HARNESS_EXE = DIST / "windows-test" / "vornakel_service_harness.exe"
STANDIN_EXE = DIST / "windows-test" / "vornakel_service_standin_agent.exe"
ISSUER = DIST / "tools" / "vornakel_ticket_issuer"
# A build tree that registers the scripts as tests names its own programs.
CAPTURE = Path(os.environ.get("VORNAKEL_SOAK_CAPTURE", DIST / "linux" / "vornakel_screen_capture"))
MOVER = Path(os.environ.get("VORNAKEL_SOAK_MOVER", REPO / "build" / "linux" / "platform" / "macos" /
                            "screen_capture" / "tests" / "screen_capture_test_mover"))

# What each preset builds for the soak scripts (the mingw targets copy themselves to dist/).
PRESET_TARGETS = {
    "linux": (["vornakel_ticket_issuer", "vornakel_screen_capture", "screen_capture_test_mover"],
              [ISSUER, CAPTURE, MOVER]),
    "mingw": (["vornakel_windows_service_wine_test", "vornakel_input_recorder",
               "vornakel_service_harness", "vornakel_service_standin_agent"],
              [TEST_EXE, RECORDER_EXE, HARNESS_EXE, STANDIN_EXE]),
}


def options(description, **extra):
    """--minutes N (default 10) and the script's own options, as name=(type, default, help)."""
    parser = argparse.ArgumentParser(description=description)
    parser.add_argument("--minutes", type=float, default=10.0,
                        help="how long the run lasts (default 10)")
    for name, (kind, default, text) in extra.items():
        parser.add_argument("--" + name.replace("_", "-"), type=kind, default=default, help=text)
    parsed = parser.parse_args()
    if parsed.minutes <= 0:
        parser.error("--minutes must be above 0")
    return parsed


def ensure_built(*presets):
    """Builds what the scripts need from the given presets when it is missing. Run as a test
    (VORNAKEL_SOAK_NO_BUILD set), a missing program skips the test instead (status 77)."""
    for preset in presets:
        targets, outputs = PRESET_TARGETS[preset]
        if all(path.exists() for path in outputs):
            continue
        if os.environ.get("VORNAKEL_SOAK_NO_BUILD"):
            missing = [str(path) for path in outputs if not path.exists()]
            print(f"SKIP: missing {', '.join(missing)} (build the {preset} preset first)")
            raise SystemExit(77)
        print(f"[soak] building {', '.join(targets)} (preset {preset})", file=sys.stderr)
        subprocess.run(["cmake", "--preset", preset], cwd=REPO, check=True,
                       stdout=subprocess.DEVNULL)
        subprocess.run(["cmake", "--build", "--preset", preset, "-j2", "--target", *targets],
                       cwd=REPO, check=True, stdout=subprocess.DEVNULL)


def run_under_xvfb(screen="1920x1080x24"):
    """Runs this script again inside a private Xvfb (once); returns inside it."""
    if os.environ.get("VORNAKEL_SOAK_XVFB"):
        return
    os.environ["VORNAKEL_SOAK_XVFB"] = "1"
    script = str(WINE_SCRIPTS / "with_xvfb.sh")
    os.execv(script, [script, "--screen", screen, sys.executable, *sys.argv])


def warm_wine():
    """The build tree's Wine prefix with a persistent wineserver, so that processes start fast."""
    os.environ.update(VORNAKEL_WINEPREFIX=str(WINEPREFIX), WINEPREFIX=str(WINEPREFIX),
                      WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d")
    subprocess.run([str(WINE_SCRIPTS / "prefix.sh"), "warm"], check=True)


def work_dir():
    """A scratch folder of this run in the build tree (removed by the script when all went well)."""
    path = REPO / "build" / "soak" / f"work-{os.getpid()}"
    path.mkdir(parents=True, exist_ok=True)
    return path


def windows_path(path):
    return "Z:" + str(path).replace("/", "\\")


# Every child process is ended, whatever way the script ends.
_children = []


def spawn(command, **popen):
    process = subprocess.Popen([str(part) for part in command], **popen)
    _children.append(process)
    return process


def _end_children(*_):
    for process in _children:
        if process.poll() is None:
            process.kill()
            try:
                process.wait(5)
            except subprocess.TimeoutExpired:
                pass


atexit.register(_end_children)
signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))


def wait_for(condition, timeout, step=0.02):
    """Polls `condition` until it gives something true or `timeout` seconds pass."""
    end = time.monotonic() + timeout
    while True:
        value = condition()
        if value or time.monotonic() >= end:
            return value
        time.sleep(step)


def percentile(values, fraction):
    ordered = sorted(values)
    if not ordered:
        return None
    return ordered[min(len(ordered) - 1, int(fraction * (len(ordered) - 1) + 0.5))]


def median(values):
    return statistics.median(values) if values else None


def proc_status_kib(pid, key):
    """A line of /proc/<pid>/status in KiB (VmRSS, RssAnon, ...), or None once it is gone."""
    try:
        with open(f"/proc/{pid}/status") as status:
            for line in status:
                if line.startswith(key + ":"):
                    return int(line.split()[1])
    except OSError:
        pass
    return None


def linux_pids_of(command_text):
    """The Linux processes of this run's Wine prefix whose command line holds `command_text` (a
    Windows program under Wine is one Linux process, which ends when the Windows process ends;
    Wine shows the Windows command line). Processes of other prefixes are never looked at twice."""
    wanted = b"WINEPREFIX=" + str(WINEPREFIX).encode()
    pids = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/cmdline", "rb") as cmdline:
                if command_text.encode() not in cmdline.read():
                    continue
            with open(f"/proc/{entry}/environ", "rb") as environ:
                if wanted in environ.read().split(b"\0"):
                    pids.append(int(entry))
        except OSError:
            pass
    return pids


def linux_process_alive(pid):
    """Whether a Linux process still runs (a zombie waiting for its parent has ended)."""
    try:
        with open(f"/proc/{pid}/stat") as stat:
            return stat.read().rsplit(")", 1)[1].split()[0] not in ("Z", "X")
    except OSError:
        return False


def first_and_last_minute(samples, start, end):
    """The samples (time, value) of the first and of the last minute of a run."""
    first = [value for when, value in samples if when < start + 60]
    last = [value for when, value in samples if when > end - 60]
    return first, last


def flatness(figures, name, samples, start, end, limit, unit):
    """Judges that the last minute's median lies within `limit` of the first minute's."""
    first, last = first_and_last_minute(samples, start, end)
    if not first or not last:
        figures.check(name, "no samples", False, f"within {unit(limit)}")
        return
    change = median(last) - median(first)
    overlap = " (run under 2 minutes: the minutes overlap)" if end - start < 120 else ""
    figures.check(name, f"first minute {unit(median(first))}, last minute {unit(median(last))}: "
                  f"{'+' if change >= 0 else ''}{unit(change)}{overlap}",
                  abs(change) <= limit, f"within {unit(limit)}")


def mib(value_bytes):
    return f"{value_bytes / MIB:.2f} MiB"


def count(value):
    return f"{value:g}"


def load_average():
    return " ".join(open("/proc/loadavg").read().split()[:3])


# Rules in wall-clock time (how long a step took, how late a picture was) hold only on a machine
# that the run has to itself, which the long runs are meant to have. The test command's short runs
# share the machine with other tests, so they print such figures and judge only what load cannot
# change (what was written, decoded, released, reflected, and how the programs ended).
TIMING_MINUTES = 1.0
NOT_JUDGED = f"not judged (run under {TIMING_MINUTES:g} minute)"


def judges_timing(minutes):
    return minutes >= TIMING_MINUTES


class Figures:
    """The figures of one run, each with its limit when it has one, and the verdict."""

    def __init__(self, title, command, minutes):
        self.title = title
        self.command = command
        self.judges_timing = judges_timing(minutes)
        self.rows = []
        self.broken = []
        self.started = time.monotonic()
        self.load_at_start = load_average()

    def value(self, name, text):
        self.rows.append((name, text, "", ""))

    def check(self, name, text, ok, limit):
        self.rows.append((name, text, limit, "ok" if ok else "**broken**"))
        if not ok:
            self.broken.append(name)
        return ok

    def timing(self, name, text, ok, limit):
        """A rule in wall-clock time: judged in long runs only."""
        if self.judges_timing:
            return self.check(name, text, ok, limit)
        self.rows.append((name, text, limit, NOT_JUDGED))
        return True

    def report(self, work=None):
        """Prints the block and returns the exit status; a run whose figures all kept their
        limits leaves no scratch folder behind (one that broke one keeps it for a look)."""
        minutes = (time.monotonic() - self.started) / 60
        today = datetime.date.today().isoformat()
        print()
        print(f"#### {self.title}")
        print()
        print(f"`{self.command}`: {minutes:.1f} minutes on {today}, {os.cpu_count()} cores, "
              f"load average {self.load_at_start} at the start and {load_average()} at the end.")
        print()
        print("| Figure | Value | Limit | |")
        print("|---|---|---|---|")
        for name, text, limit, verdict in self.rows:
            print(f"| {name} | {text} | {limit} | {verdict} |")
        print()
        if self.broken:
            print(f"Verdict: {len(self.broken)} figure(s) broke their limit: "
                  f"{'; '.join(self.broken)}.")
            if work:
                print(f"The run's files stay in {work}.")
            return 1
        print("Verdict: every figure within its limit.")
        if work:
            shutil.rmtree(work, ignore_errors=True)
        return 0


class Harness:
    """vornakel_service_harness.exe in serve mode: one Wine process answering commands for the
    whole run (service control, process lookups, handle counts and private bytes)."""

    def __init__(self):
        self.process = spawn(["wine", HARNESS_EXE, "serve"], stdin=subprocess.PIPE,
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.lock = threading.Lock()

    def ask(self, *words):
        """The answer's lines to one command."""
        with self.lock:
            self.process.stdin.write(" ".join(str(word) for word in words) + "\n")
            self.process.stdin.flush()
            lines = []
            while True:
                line = self.process.stdout.readline()
                if not line:
                    try:
                        self.process.wait(5)
                    except subprocess.TimeoutExpired:
                        pass
                    raise RuntimeError(f"the harness ended (status {self.process.poll()}) "
                                       f"after {' '.join(map(str, words))}")
                line = line.rstrip("\r\n")
                if line == ".":
                    return lines
                lines.append(line)

    def fields(self, *words):
        """The key=value fields of a one-line answer."""
        answer = " ".join(self.ask(*words))
        return dict(part.split("=", 1) for part in answer.split() if "=" in part)

    def pids(self, image):
        return [int(pid) for pid in " ".join(self.ask("find", image)).split("=", 1)[1].split()]

    def sample(self, pid):
        """(handle count, private bytes) of a Windows process, or None when it cannot be read."""
        values = self.fields("sample", pid)
        if "handles" not in values:
            return None
        return int(values["handles"]), int(values["private"])

    def close(self):
        if self.process.poll() is None:
            self.process.stdin.close()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
