#!/usr/bin/env python3
"""Soak run of the service under Wine's service control manager with a stand-in agent that dies
one second after its start: it exits (code 3) and crashes (an access violation) in turn.

  scripts/soak/service.py [--minutes N]

For N minutes (default 10) the supervisor restarts agent after agent while the custom controls
129, 130 and 128 are sent in turn throughout, each as soon as the one before was reflected in its
file, and a reader opens "state/agent-state.json" every 2 ms. The service's handle count and
private bytes are sampled every 5 seconds. At the end the service is stopped.

Limits (the script ends with status 1 when one is broken; the limits in milliseconds are judged
only in runs of a minute or more, which are meant to have the machine to themselves):
- the agents end as steered: exit code 3, or 0xC0000005 for the access violation;
- after an agent's process has ended (a second harness waits on it), "stop-host" appears within
  one poll (250 ms) plus 150 ms of slack for the write, the pass around the poll and the 10 ms
  steps in which the script looks;
- the next agent starts 4 s after "stop-host" appeared (2 s of grace, then 2 s of delay) and
  not before; it may be later by one more poll and by the time Wine takes to start a process:
  within 4000 to 5000 ms;
- every control is reflected in its file, with the time of its write: 129 and 130 in
  "state/agent-state.json" (enabled false, true), 128 in "stop-session", within 2.6 s (a
  control waits while the supervisor sleeps the 2 s of an agent's stop sequence, then one poll);
- "state/agent-state.json" is never seen partly written and no "service-next" file stays behind
  (the record is replaced by a rename);
- the service's handle count and private bytes are flat: the last minute's median within 2
  handles and 1 MiB of the first minute's;
- the service keeps running throughout and stops with STOPPED and exit code 0.
"""
import sys

sys.dont_write_bytecode = True  # no __pycache__ in the source tree

import random
import threading
import time

import service_lib as svc
import soak

NOTICE_LIMIT_MS = 400
RELAUNCH_MS = (4000, 5000)
CONTROL_LIMIT_MS = 2600
EXIT_CODES = {"exit": 3, "crash": 0xC0000005}
HANDLE_LIMIT = 2
PRIVATE_LIMIT = soak.MIB


class StateReader(threading.Thread):
    """Opens agent-state.json every 2 ms and counts what it finds."""

    def __init__(self):
        super().__init__(daemon=True)
        self.reads = 0
        self.partial = 0
        self.running = True

    def run(self):
        while self.running:
            if svc.read_state() == "partial":
                self.partial += 1
            self.reads += 1
            time.sleep(0.002)


class Controls(threading.Thread):
    """Sends 129, 130 and 128 in turn, each once the one before was reflected in its file."""

    def __init__(self, harness):
        super().__init__(daemon=True)
        self.harness = harness
        self.running = True
        self.sent = {129: 0, 130: 0, 128: 0}
        self.latencies = []
        self.missed = []
        self.leftover_next = 0

    @staticmethod
    def reflected(code, sent_ms):
        if code == 128:
            try:
                text = svc.STOP_SESSION.read_text()
            except FileNotFoundError:
                return False
            return text.isdigit() and len(text) == 13 and int(text) >= sent_ms
        state = svc.read_state()
        return isinstance(state, tuple) and state[0] == (code == 130) and state[1] >= sent_ms

    def run(self):
        codes = (129, 130, 128)
        index = 0
        while self.running:
            code = codes[index % len(codes)]
            index += 1
            sent_ms = int(time.time() * 1000)
            self.harness.ask("control", code)
            self.sent[code] += 1
            if soak.wait_for(lambda: self.reflected(code, sent_ms), 10, step=0.005):
                self.latencies.append(int(time.time() * 1000) - sent_ms)
            else:
                self.missed.append(code)
            if code != 128 and svc.STATE_NEXT.exists():
                self.leftover_next += 1
            # A random pause, so that controls fall on every phase of the supervisor's poll.
            time.sleep(random.uniform(0.3, 0.8))


def ms(value):
    return "none" if value is None else f"{value:.0f} ms"


def wait_for_end(waiter, agent):
    """Fills in when the agent's process ended and its exit code."""
    fields = waiter.fields("wait-exit", agent["pid"])
    if "exited-ms" in fields:
        agent["ended"] = int(fields["exited-ms"])
        agent["code"] = int(fields["code"])


def main():
    options = soak.options(__doc__.split("\n\n")[0])
    soak.ensure_built("mingw")
    soak.warm_wine()
    harness = soak.Harness()
    figures = soak.Figures("Service under Wine's service control manager",
                           f"scripts/soak/service.py --minutes {options.minutes:g}",
                           options.minutes)
    svc.make_install()
    svc.steer("exit-after-ms", 1000)
    started = svc.install_and_start(harness)
    service_pid = int(started.get("pid", 0))

    log = svc.AgentLog()
    reader, controls = StateReader(), Controls(harness)
    reader.start()
    controls.start()
    samples = []  # (time, handles, private bytes)
    # Into each agent's record go, beside what it logged: when its process ended and with which
    # code (a second harness waits on it), when stop-host appeared after it, and when the next
    # agent started.
    waiter = soak.Harness()
    not_running = 0
    steered = None
    next_sample = 0.0
    start = time.monotonic()
    deadline = start + options.minutes * 60
    while time.monotonic() < deadline:
        log.update()
        latest = log.latest()
        now_ms = int(time.time() * 1000)
        if latest is not None and latest is not steered and latest.get("ready"):
            # Agents exit and crash in turn: the odd ones exit, the even ones crash.
            crashes_next = (len(log.records) + 1) % 2 == 0
            svc.steer("crash-after-ms", 1000 if crashes_next else None)
            svc.steer("exit-after-ms", None if crashes_next else 1000)
            steered = latest
            threading.Thread(target=wait_for_end, args=(waiter, latest), daemon=True).start()
        for index, agent in enumerate(log.records):
            if "ended" in agent and "stop-host" not in agent and svc.STOP_HOST.exists():
                agent["stop-host"] = now_ms
            if "stop-host" in agent and "next" not in agent and index + 1 < len(log.records) \
                    and "start-ms" in log.records[index + 1]:
                agent["next"] = log.records[index + 1]["start-ms"]
        if time.monotonic() >= next_sample:
            next_sample = time.monotonic() + 5
            sample = harness.sample(service_pid)
            if sample:
                samples.append((time.monotonic(), *sample))
            if harness.fields("query").get("state") != "4":
                not_running += 1
        time.sleep(0.01)
    end = time.monotonic()
    controls.running = reader.running = False
    controls.join(15)
    reader.join(5)
    stopped = harness.ask("stop")
    final = dict(part.split("=", 1) for line in stopped if line.startswith("final ")
                 for part in line.split()[1:])
    harness.ask("delete")
    harness.close()
    waiter.close()
    for name in ("exit-after-ms", "crash-after-ms"):
        svc.steer(name, None)

    log.update()
    for record in log.records:
        record["how"] = "crash" if "crash-ms" in record else "exit" if "exit-ms" in record else None
        record["logged"] = record.get(f"{record['how']}-ms")
    ended = [record for record in log.records if record["how"] and "ended" in record]
    restarted = [record for record in ended if "next" in record]
    figures.value("agents started", f"{len(log.records)}; restarts: "
                  f"{sum(r['how'] == 'exit' for r in restarted)} after an exit, "
                  f"{sum(r['how'] == 'crash' for r in restarted)} after a crash")
    wrong_codes = [r["code"] for r in ended if r["code"] != EXIT_CODES[r["how"]]]
    figures.check("exit codes of the agents", f"{len(ended) - len(wrong_codes)} of {len(ended)} "
                  "as meant (3 for an exit, 0xC0000005 for the access violation)" +
                  (f"; others: {sorted(set(wrong_codes))}" if wrong_codes else ""),
                  bool(ended) and not wrong_codes, "all")
    crash_end = [r["ended"] - r["logged"] for r in ended if r["how"] == "crash"]
    figures.value("access violation -> process ended (Wine's handling of the crash)",
                  f"median {ms(soak.median(crash_end))}, max {ms(max(crash_end, default=None))}")
    for how in ("exit", "crash"):
        spans = [r["stop-host"] - r["ended"] for r in ended if r["how"] == how and "stop-host" in r]
        figures.timing(f"agent ended by {'its exit' if how == 'exit' else 'the crash'} -> stop-host",
                      f"{len(spans)} times, median {ms(soak.median(spans))}, max "
                       f"{ms(max(spans, default=None))}",
                       bool(spans) and max(spans) <= NOTICE_LIMIT_MS, f"<= {NOTICE_LIMIT_MS} ms")
    relaunches = [r["next"] - r["stop-host"] for r in restarted]
    relaunch_text = (f"{len(relaunches)} times, min {ms(min(relaunches, default=None))}, median "
                     f"{ms(soak.median(relaunches))}, max {ms(max(relaunches, default=None))}")
    # Never before the grace and the delay, whatever the load; how much later is a matter of time.
    figures.check("stop-host -> next agent started, at the earliest", relaunch_text,
                  bool(relaunches) and RELAUNCH_MS[0] <= min(relaunches), f">= {RELAUNCH_MS[0]} ms")
    figures.timing("stop-host -> next agent started, at the latest", relaunch_text,
                   bool(relaunches) and max(relaunches) <= RELAUNCH_MS[1], f"<= {RELAUNCH_MS[1]} ms")
    sent = sum(controls.sent.values())
    figures.check("controls reflected in their files",
                  f"{sent - len(controls.missed)} of {sent} (129: {controls.sent[129]}, "
                  f"130: {controls.sent[130]}, 128: {controls.sent[128]})",
                  sent > 0 and not controls.missed, "all")
    figures.timing("control -> its file written",
                   f"median {ms(soak.median(controls.latencies))}, p99 "
                   f"{ms(soak.percentile(controls.latencies, 0.99))}, max "
                   f"{ms(max(controls.latencies, default=None))}",
                   bool(controls.latencies) and max(controls.latencies) <= CONTROL_LIMIT_MS,
                   f"<= {CONTROL_LIMIT_MS} ms")
    figures.check("agent-state.json read partly written",
                  f"{reader.partial} of {reader.reads} reads",
                  reader.partial == 0 and reader.reads > 0, "0")
    figures.check("service-next file left after a write", str(controls.leftover_next),
                  controls.leftover_next == 0, "0")
    soak.flatness(figures, "service handle count", [(t, h) for t, h, _ in samples], start, end,
                  HANDLE_LIMIT, soak.count)
    soak.flatness(figures, "service private bytes", [(t, p) for t, _, p in samples], start, end,
                  PRIVATE_LIMIT, soak.mib)
    figures.check("samples where the service was not RUNNING", str(not_running),
                  not_running == 0, "0")
    figures.check("final stop", f"state {final.get('state')}, exit code {final.get('exit')}",
                  final.get("state") == "1" and final.get("exit") == "0", "STOPPED, exit code 0")
    return figures.report()


if __name__ == "__main__":
    raise SystemExit(main())
