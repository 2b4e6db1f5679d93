#!/usr/bin/env python3
"""Soak run of the capture helper (the Linux stand-in) on a private 1920 x 1080 Xvfb screen with
motion, read through a pipe the way the agent reads it.

  scripts/soak/capture.py [--minutes N]

For N minutes (default 10) the program captures at its defaults (30 fps, 6000 kbit/s) a screen on
which the mover shows a 640 x 360 window of fresh random pixels 30 times a second (so that the
encoder spends its whole bit rate, as on a busy desktop) and keeps a clock strip showing the time
of its drawing, redrawn every 2 ms; the program's resident memory is read from /proc every second.
The run begins with a one-second stall of the reader (not counted in the figures), so that the
helper's whole picture pool has been in use once before memory is measured. Then it is ended with
SIGTERM and ffmpeg decodes the whole stream with -err_detect explode -xerror.

From the clock strip of each decoded picture and the time its access unit arrived whole at the
reader, the script measures "picture taken -> access unit read": the helper's arrival -> written
time plus the X grab, the stand-in's BGRX -> NV12 conversion (which ScreenCaptureKit does not
need) and the reader's wake-up, and at most 2 ms of strip resolution; it is a bound from above.

Limits (the script ends with status 1 when one is broken; the two read from the clock strip are
judged only in runs of a minute or more, which are meant to have the machine to themselves):
- every access unit starts with the delimiter, the stream with a key frame, and ffmpeg decodes
  every unit without an error;
- key frames are at most 30 frames apart, and no picture taken more than a second and one frame
  interval after the last key frame's is a non-key frame (the encoder's rule, with the frame's
  worth of slack between the grab and the encoder's clock);
- the p99 of picture taken -> access unit read stays under one frame interval (33.3 ms) in every
  whole minute (the helper keeps up with 30 fps with room to spare);
- resident memory is flat: the last minute's median within 1 MiB of the first minute's;
- SIGTERM ends the program with status 0 and only its start note on standard error.
"""
import sys

sys.dont_write_bytecode = True  # no __pycache__ in the source tree

import time

import capture_lib
import soak

RSS_LIMIT = soak.MIB
P99_LIMIT_MS = 1000 / capture_lib.FPS


def main():
    options = soak.options(__doc__.split("\n\n")[0])
    soak.ensure_built("linux")
    soak.run_under_xvfb(capture_lib.SCREEN)
    work = soak.work_dir()
    figures = soak.Figures("Capture helper (Linux stand-in) on Xvfb",
                           f"scripts/soak/capture.py --minutes {options.minutes:g}",
                           options.minutes)
    capture_lib.start_mover(noise=True)
    capture = capture_lib.start_capture(work, "soak")
    captured_from = time.monotonic()
    # A stall of the reader first, so that every picture of the helper's pool is in use once:
    # the pool is allocated up front, but a picture costs resident memory only once it is first
    # written, which a busy minute late in the run would otherwise bring (3 MiB at 1080p).
    time.sleep(2)
    capture.pause()
    capture_lib.writer_blocked(capture)
    time.sleep(1)
    capture.resume()
    time.sleep(2)
    rss = []  # (time, bytes)
    start = time.monotonic()
    deadline = start + options.minutes * 60
    while time.monotonic() < deadline and capture.process.poll() is None:
        value = capture_lib.rss_kib(capture.process)
        if value:
            rss.append((time.monotonic(), value * 1024))
        time.sleep(min(1.0, max(0.0, deadline - time.monotonic())))
    end = time.monotonic()
    capture.process.terminate()
    status, errors = capture.finish(10)
    stream = capture_lib.Stream(capture)

    figures.value("access units written", f"{len(stream.offsets)} "
                  f"({stream.size / soak.MIB:.0f} MiB, "
                  f"{len(stream.offsets) / max(end - captured_from, 1):.1f} per second)")
    figures.check("access units decoded by ffmpeg -xerror",
                  f"{stream.decoded} of {len(stream.offsets)}" +
                  (f": {stream.decode_error[:120]}" if stream.decode_error else ""),
                  stream.all_decoded(), "all")
    largest, late = stream.key_frame_gaps()
    figures.check("largest distance between key frames", f"{largest} frames "
                  f"({sum(stream.keys)} key frames)", 0 < largest <= capture_lib.FPS,
                  f"<= {capture_lib.FPS} frames")
    # Judged by the mover's clock strip, which lags the grab when the mover is kept waiting.
    figures.timing("non-key pictures more than 1 s + 1 frame after the last key frame", str(late),
                   late == 0, "0")
    taken = stream.taken()
    unreadable = sum(value is None for value in taken)
    figures.value("pictures whose clock strip could not be read", str(unreadable))
    minutes = {}
    for when, arrival in zip(taken, stream.arrivals):
        if when is not None and start <= arrival < end:
            minutes.setdefault(int(arrival - start) // 60, []).append(arrival * 1000 - when)
    for minute in sorted(minutes):
        latencies = minutes[minute]
        whole = start + (minute + 1) * 60 <= end
        p99 = soak.percentile(latencies, 0.99)
        text = (f"p50 {soak.percentile(latencies, 0.5):.1f} ms, p99 {p99:.1f} ms, max "
                f"{max(latencies):.1f} ms ({len(latencies)} pictures)")
        name = f"picture taken -> access unit read, minute {minute + 1}"
        if whole:
            figures.timing(name, text, p99 < P99_LIMIT_MS, f"p99 < {P99_LIMIT_MS:.1f} ms")
        else:
            figures.value(name + " (part of a minute, not judged)", text)
    soak.flatness(figures, "resident memory (VmRSS)", rss, start, end, RSS_LIMIT, soak.mib)
    note = "vornakel-screen-capture: capturing display 0 at 1920x1080, 30fps, 6000kbps\n"
    figures.check("SIGTERM at the end", f"status {status}, standard error {errors!r}",
                  status == 0 and errors == note, "status 0, only the start note")
    return figures.report(work)


if __name__ == "__main__":
    raise SystemExit(main())
