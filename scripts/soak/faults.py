#!/usr/bin/env python3
"""Faults of the real world, each with its expected outcome checked, in rounds for N minutes.

  scripts/soak/faults.py [--minutes N] [--only service,input,capture] [--stall-seconds S]

Every round runs each fault of the chosen groups once; rounds repeat until N minutes (default 10)
have passed, and at least one round runs. A fault passes a round when every one of its checks
holds; the script ends with status 1 when any fault failed any round. How long a step may take
(the stop's upper bound, "within a second", "within 2 s") is judged only in runs of a minute or
more, which are meant to have the machine to themselves. The faults and what must happen:

Service (Wine's service control manager, the test build, the stand-in agent):
- the agent killed (TerminateProcess) while the service is stopping: the stop still takes its 5 s
  of grace and ends STOPPED with exit code 0, the agent is gone, "stop-host" stays, and the next
  start removes it and starts a fresh agent;
- "private/state" on a full file system when control 129 arrives: the write of the record fails,
  so the service ends STOPPED with exit code 1 and kills the agent (its documented failure), and
  "state/agent-state.json" keeps the previous record whole: a reader opening it every 2 ms never
  sees it partly written (the record is replaced by a rename, never written in place);
- "service.json" replaced by a 1025-byte file while the service runs: the running agent is left
  alone; once it exits, every launch is refused by the size bound, no agent starts and the service
  keeps running; a 1024-byte file (exactly the bound) is picked up by the next 5-second retry.

Input host (Wine and Xvfb, the recorder window):
- standard input closed in the middle of a line, with a key and a button held: the session ends as
  at the end of input (status 0, nothing after the ready line), the half line is not carried out,
  and the key and the button are released;
- the reader of standard output gone, then a refused line: the host ends (status 1, the error line
  cannot be written) and the key and the button are released;
- the reader of standard output gone, then nothing until the lease runs out: the same.

Capture helper (the Linux stand-in on Xvfb, with the mover and its clock strip):
- the reader stalled for S seconds (default 10) and then resumed: the helper waits (it neither
  dies nor piles up pictures: resident memory grows by less than 1 MiB), fresh pictures arrive
  within a second of the resumption, every unit decodes, key frames stay at most 30 frames apart;
- SIGTERM while the encoder is in the middle of writing a frame (the reader holds the pipe full):
  the helper finishes that unit and ends with status 0 once it can, and the stream ends with a
  whole unit (every unit decodes); done three times a round.
"""
import sys

sys.dont_write_bytecode = True  # no __pycache__ in the source tree

import atexit
import errno
import subprocess
import threading
import time

import capture_lib
import input_lib
import service_lib as svc
import soak
from input_lib import CommandStream, HostSession, Recorder, error_line, ends_as

GROUPS = ("service", "input", "capture")


class Outcome:
    """The checks of one fault in one round, and the values it measured."""

    def __init__(self, name, judges_timing):
        self.name = name
        self.judges_timing = judges_timing
        self.failed = []
        self.values = {}

    def check(self, what, ok, detail=""):
        if not ok:
            self.failed.append(f"{what}{': ' + str(detail) if detail != '' else ''}")
        return ok

    def timing(self, what, ok, detail=""):
        """A rule in wall-clock time: judged in long runs only (see soak.TIMING_MINUTES)."""
        return self.check(what, ok, detail) if self.judges_timing else True

    def measure(self, what, value):
        self.values[what] = value


# ---- service faults ------------------------------------------------------------------------


def start_service(harness, outcome, *steering, install=True):
    """A fresh installation (unless `install` is false) with the given steering files, the
    service started and its first agent ready; the agent log and the first agent's record."""
    if install:
        svc.make_install()
    for name in steering:
        svc.steer(name)
    started = svc.install_and_start(harness)
    log = svc.AgentLog()
    ready = soak.wait_for(lambda: log.update() or (log.latest() or {}).get("ready"), 15)
    outcome.check("service RUNNING with an agent", started.get("state") == "4" and ready, started)
    return log, log.latest()


def agent_killed_while_stopping(harness, outcome, _options):
    log, agent = start_service(harness, outcome, "ignore-stop-host")
    stopper = soak.spawn(["wine", soak.HARNESS_EXE, "stop"], stdout=subprocess.PIPE,
                         stderr=subprocess.DEVNULL, text=True)
    soak.wait_for(svc.STOP_HOST.exists, 3)
    time.sleep(1.0)  # inside the 5 s of grace
    outcome.check("agent alive when the service began stopping",
                  harness.ask("alive", agent["pid"]) == ["alive"])
    outcome.check("agent killed", harness.ask("kill", agent["pid"]) == ["killed"])
    answer = stopper.communicate(timeout=30)[0].replace("\r", "")
    fields = dict(part.split("=", 1) for part in answer.split() if "=" in part)
    stop_ms = int(fields.get("stopped-after-ms", 0))
    outcome.measure("stop took (ms)", stop_ms)
    outcome.check("STOPPED with exit code 0", (fields.get("state"), fields.get("exit")) ==
                  ("1", "0"), answer.strip())
    outcome.check("the stop still took the 5 s of grace", 4900 <= stop_ms, stop_ms)
    outcome.timing("and not much more", stop_ms <= 6500, stop_ms)
    outcome.check("agent gone", harness.ask("alive", agent["pid"]) == ["gone"])
    outcome.check("stop-host left in place", svc.STOP_HOST.exists() and
                  svc.STOP_HOST.read_text() == "stop")
    svc.steer("ignore-stop-host", None)
    harness.fields("start")
    fresh = soak.wait_for(lambda: log.update() or (log.latest() is not agent and
                                                   log.latest().get("ready")), 10)
    outcome.check("the next start removes stop-host", not svc.STOP_HOST.exists())
    outcome.check("and starts a fresh agent", bool(fresh))
    harness.ask("delete")


class FullFileSystem:
    """A small tmpfs mounted over a directory, filled to the last page on request, and always
    unmounted again (even when the run is interrupted)."""

    def __init__(self, directory):
        self.directory = directory
        self.mounted = False

    def __enter__(self):
        subprocess.run(["mount", "-t", "tmpfs", "-o", "size=64k,mode=0755", "vornakel-soak-full",
                        str(self.directory)], check=True)
        self.mounted = True
        atexit.register(self.unmount)
        return self

    def fill(self):
        with open(self.directory / "filler", "wb", buffering=0) as filler:
            try:
                while True:
                    filler.write(b"\0" * 4096)
            except OSError as error:
                if error.errno != errno.ENOSPC:
                    raise

    def unmount(self):
        if self.mounted:
            subprocess.run(["umount", "-l", str(self.directory)], check=False)
            self.mounted = False

    def __exit__(self, *_):
        self.unmount()


def state_on_full_file_system(harness, outcome, _options):
    svc.make_install()
    with FullFileSystem(svc.STATE_DIR) as disk:
        log, agent = start_service(harness, outcome, install=False)
        sent_ms = int(time.time() * 1000)
        harness.ask("control", 130)
        written = soak.wait_for(lambda: isinstance(svc.read_state(), tuple) and
                                svc.read_state()[1] >= sent_ms, 3)
        outcome.check("130 written while there is room", bool(written), svc.read_state())
        before = svc.read_state()
        disk.fill()
        reads, partial, seen = [0], [0], set()
        running = [True]

        def read_all_the_time():
            while running[0]:
                state = svc.read_state()
                reads[0] += 1
                partial[0] += state == "partial"
                seen.add(state)
                time.sleep(0.002)

        reader = threading.Thread(target=read_all_the_time, daemon=True)
        reader.start()
        harness.ask("control", 129)
        final = harness.fields("wait-stopped", 5000)
        time.sleep(0.3)
        running[0] = False
        reader.join(5)
        outcome.check("the service ends STOPPED with exit code 1",
                      (final.get("state"), final.get("exit")) == ("1", "1"), final)
        outcome.check("the agent was killed", harness.ask("alive", agent["pid"]) == ["gone"])
        outcome.check("agent-state.json still holds the previous record whole",
                      svc.read_state() == before, svc.read_state())
        outcome.check("never seen partly written", partial[0] == 0 and reads[0] > 0,
                      f"{partial[0]} of {reads[0]} reads")
        outcome.check("never anything but the previous record", seen == {before}, seen)
        outcome.measure("reads of agent-state.json", reads[0])
        leftover = svc.STATE_NEXT.stat().st_size if svc.STATE_NEXT.exists() else None
        outcome.measure("service-next file left (bytes)", leftover)
    harness.ask("delete")


def oversized_service_json(harness, outcome, _options):
    log, agent = start_service(harness, outcome)
    document = b'{"schemaVersion":1,"version":"1.0.0"}'
    svc.CONFIG.write_bytes(document + b" " * (1025 - len(document)))
    time.sleep(1.0)
    outcome.check("the running agent is left alone",
                  harness.ask("alive", agent["pid"]) == ["alive"])
    (svc.TMP / "exit-request").touch()
    soak.wait_for(svc.STOP_HOST.exists, 3)
    # The first launch is attempted 4 s after stop-host appeared; the retry comes 5 s later.
    time.sleep(5.0)
    log.update()
    outcome.check("no agent while service.json exceeds its bound", log.latest() is agent,
                  f"{len(log.records)} agents")
    outcome.check("the service keeps running", harness.fields("query").get("state") == "4")
    svc.CONFIG.write_bytes(document + b" " * (1024 - len(document)))
    repaired = time.monotonic()
    fresh = soak.wait_for(lambda: log.update() or log.latest() is not agent, 6)
    outcome.measure("repaired file picked up after (ms)", int((time.monotonic() - repaired) * 1000))
    outcome.check("a 1024-byte service.json is picked up by the next retry", bool(fresh))
    harness.ask("delete")


# ---- input host faults ---------------------------------------------------------------------


def held_session(work, recorder, pipe_output=False, issuer=()):
    """A ready host with a key and a button held; the host, its stream, the events the window
    must have received by then, and whether the start-up went as it should."""
    recorder.update()
    before = recorder.events
    host = HostSession(input_lib.issue(*issuer), work, pipe_output)
    ready = host.wait_ready()
    stream = CommandStream(seed=7)
    lines, events = stream.hold()
    for line in lines:
        host.write(line)
    return host, stream, before + events, ready


def released_everything(recorder, outcome, expected):
    outcome.check("the window got the presses and their releases", recorder.settle(expected),
                  f"{recorder.events} events, expected {expected}")
    outcome.check("nothing left held", not recorder.held, sorted(recorder.held))


def stdin_closed_mid_line(work, recorder, outcome, _options):
    host, stream, expected, ready = held_session(work, recorder)
    outcome.check("host ready", ready, host.lines()[-1:])
    time.sleep(0.3)
    host.write(stream.loose_key(stream.seq + 1)[:40])
    status = host.finish()
    outcome.check("ends as at the end of input", status == 0 and
                  ends_as(host.lines(), input_lib.READY_LINES, None) and host.stderr() == "",
                  f"status {status}, {host.lines()[-1:]}, {host.stderr()!r}")
    released_everything(recorder, outcome, expected + stream.release_events())


def stdout_reader_gone(work, recorder, outcome, ending):
    lease = ["--lease-ms", "4000"] if ending == "lease" else []
    host, stream, expected, ready = held_session(work, recorder, True, lease)
    outcome.check("host ready", ready)
    time.sleep(0.3)
    host.process.stdout.close()
    gone_at = time.monotonic()
    if ending == "refusal":
        host.write(stream.loose_key(stream.seq))
    try:
        status = host.process.wait(15)
    except subprocess.TimeoutExpired:
        status = None
    outcome.measure("ended after (ms)", int((time.monotonic() - gone_at) * 1000))
    outcome.check("the host ends with status 1", status == 1, f"status {status}, {host.stderr()!r}")
    host.finish()
    released_everything(recorder, outcome, expected + stream.release_events())


# ---- capture helper faults -----------------------------------------------------------------


def reader_stalled(work, outcome, options):
    mover = capture_lib.start_mover(noise=True)
    capture = capture_lib.start_capture(work, "stall")
    time.sleep(3)
    stalled_at = time.monotonic()
    capture.pause()
    blocked = capture_lib.writer_blocked(capture)
    # Whatever the helper holds once its writer waits (its picture pool) is in use a moment later;
    # from then on a stall must not cost another byte.
    time.sleep(0.5)
    blocked_kib = capture_lib.rss_kib(capture.process) or 0
    peak_kib = blocked_kib
    while time.monotonic() < stalled_at + options.stall_seconds:
        peak_kib = max(peak_kib, capture_lib.rss_kib(capture.process) or 0)
        time.sleep(0.25)
    alive = capture.process.poll() is None
    resumed_at = time.monotonic()
    capture.resume()
    time.sleep(4)
    capture.process.terminate()
    status, errors = capture.finish(10)
    mover.kill()
    stream = capture_lib.Stream(capture)
    outcome.check("the writer waited for the reader", blocked)
    outcome.check("alive through the stall", alive)
    outcome.check("ends with status 0 on SIGTERM", status == 0, f"{status} {errors!r}")
    outcome.measure("memory growth while the writer waited (KiB)", peak_kib - blocked_kib)
    outcome.check("no pictures piled up while the writer waited", peak_kib - blocked_kib < 1024,
                  f"{peak_kib - blocked_kib} KiB")
    outcome.check("every unit decodes", stream.all_decoded(),
                  f"{stream.decoded} of {len(stream.offsets)} {stream.decode_error[:100]}")
    largest, _ = stream.key_frame_gaps()
    outcome.check("key frames at most 30 frames apart", 0 < largest <= capture_lib.FPS, largest)
    after = [(arrival, taken) for arrival, taken in zip(stream.arrivals, stream.taken())
             if arrival is not None and arrival >= resumed_at and taken is not None]
    fresh = [arrival for arrival, taken in after if taken >= resumed_at * 1000]
    # What the pipe (64 KiB) and the helper's queue held when the reader stopped.
    outcome.measure("stale pictures delivered after the resumption",
                    sum(taken < resumed_at * 1000 for _, taken in after))
    first_fresh = (fresh[0] - resumed_at) * 1000 if fresh else None
    outcome.measure("first fresh picture after the resumption (ms)",
                    first_fresh and int(first_fresh))
    outcome.check("fresh pictures after the resumption", first_fresh is not None)
    outcome.timing("within a second of it", first_fresh is not None and first_fresh <= 1000,
                   first_fresh)


def sigterm_mid_frame(work, outcome, _options):
    mover = capture_lib.start_mover(noise=True)
    for attempt in range(3):
        # A pipe of one page and pictures of noise (every unit tens of KiB): with the reader
        # paused, the writer waits in the middle of a unit.
        capture = capture_lib.start_capture(work, f"sigterm-{attempt}", pipe_size=4096)
        time.sleep(1.5)
        capture.pause()
        blocked = capture_lib.writer_blocked(capture)
        written = capture.size + capture.pending()  # the writer's position when it stopped
        capture.process.terminate()
        time.sleep(0.3)
        waited = capture.process.poll() is None
        resumed = time.monotonic()
        capture.resume()
        status, errors = capture.finish(10)
        took = time.monotonic() - resumed
        stream = capture_lib.Stream(capture)
        inside = written not in stream.offsets and 0 < written < stream.size
        outcome.check(f"try {attempt + 1}: SIGTERM came while the writer was inside a unit",
                      blocked and inside and waited, f"blocked {blocked}, inside {inside}, "
                      f"waited {waited}")
        outcome.check(f"try {attempt + 1}: status 0 after the reader's return", status == 0,
                      f"status {status} {errors!r}")
        outcome.timing(f"try {attempt + 1}: within 2 s of it", took < 2, f"{took:.1f} s")
        outcome.check(f"try {attempt + 1}: the stream ends with a whole unit (all decode)",
                      stream.all_decoded(), f"{stream.decoded} of {len(stream.offsets)} "
                      f"{stream.decode_error[:100]}")
        (work / f"sigterm-{attempt}.h264").unlink(missing_ok=True)
    mover.kill()


# ---- rounds --------------------------------------------------------------------------------


def main():
    options = soak.options(__doc__.split("\n\n")[0],
                           only=(str, ",".join(GROUPS), "groups of faults (service,input,capture)"),
                           stall_seconds=(float, 10.0, "how long the capture reader stalls (10)"))
    groups = [group for group in options.only.split(",") if group]
    if not groups or any(group not in GROUPS for group in groups):
        raise SystemExit(f"--only takes some of {','.join(GROUPS)}")
    soak.ensure_built(*(["linux"] if groups != ["service"] else []),
                      *(["mingw"] if set(groups) & {"service", "input"} else []))
    if set(groups) & {"input", "capture"}:
        soak.run_under_xvfb()
    if set(groups) & {"service", "input"}:
        soak.warm_wine()
    work = soak.work_dir()
    harness = soak.Harness() if set(groups) & {"service", "input"} else None

    faults = []
    if "service" in groups:
        faults += [("agent killed while the service stops", lambda o: agent_killed_while_stopping(
                       harness, o, options)),
                   ("private/state full when 129 arrives", lambda o: state_on_full_file_system(
                       harness, o, options)),
                   ("service.json replaced by 1025 bytes while running",
                    lambda o: oversized_service_json(harness, o, options))]
    recorder = Recorder(work, int(options.minutes * 60) + 900) if "input" in groups else None
    if "input" in groups:
        faults += [("input host: standard input closed mid-line",
                    lambda o: stdin_closed_mid_line(work, recorder, o, options)),
                   ("input host: standard output's reader gone, then a refused line",
                    lambda o: stdout_reader_gone(work, recorder, o, "refusal")),
                   ("input host: standard output's reader gone, then the lease ends",
                    lambda o: stdout_reader_gone(work, recorder, o, "lease"))]
    if "capture" in groups:
        faults += [(f"capture: reader stalled {options.stall_seconds:g} s, then resumed",
                    lambda o: reader_stalled(work, o, options)),
                   ("capture: SIGTERM while a unit is being written",
                    lambda o: sigterm_mid_frame(work, o, options))]

    only = f" --only {options.only}" if options.only != ",".join(GROUPS) else ""
    figures = soak.Figures("Faults", f"scripts/soak/faults.py --minutes {options.minutes:g}{only}",
                           options.minutes)
    results = {name: [] for name, _ in faults}
    start = time.monotonic()
    deadline = start + options.minutes * 60
    rounds = 0
    while rounds == 0 or time.monotonic() < deadline:
        rounds += 1
        for name, run in faults:
            if name.startswith("input host") and recorder.process is None:
                recorder.start()
            if name.startswith("capture") and recorder and recorder.process:
                recorder.stop()
                recorder.process = None
            outcome = Outcome(name, figures.judges_timing)
            try:
                run(outcome)
            except Exception as error:  # a fault that breaks the script's own steps fails too
                outcome.check("ran to its end", False, repr(error))
            results[name].append(outcome)
            print(f"[faults] round {rounds}: {name}: "
                  f"{'ok' if not outcome.failed else 'FAILED ' + '; '.join(outcome.failed)}",
                  flush=True)
        if recorder and recorder.process:
            recorder.stop()
            recorder.process = None
    if harness:
        harness.ask("delete")
        harness.close()

    figures.value("rounds", str(rounds))
    for name, outcomes in results.items():
        failed = [outcome for outcome in outcomes if outcome.failed]
        measured = {}
        for outcome in outcomes:
            for what, value in outcome.values.items():
                measured.setdefault(what, []).append(value)
        text = f"{len(outcomes) - len(failed)} of {len(outcomes)} rounds as expected"
        for what, values in measured.items():
            numbers = [value for value in values if isinstance(value, (int, float))]
            if numbers and len(numbers) == len(values):
                text += f"; {what}: " + (f"{numbers[0]}" if len(set(numbers)) == 1 else
                                         f"{min(numbers)} to {max(numbers)}")
            else:
                text += f"; {what}: {', '.join(sorted(set(map(str, values))))}"
        if failed:
            text += f" (first failure: {failed[0].failed[0]})"
        figures.check(name, text, not failed, "every round")
    return figures.report(work)


if __name__ == "__main__":
    raise SystemExit(main())
