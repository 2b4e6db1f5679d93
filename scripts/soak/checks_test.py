#!/usr/bin/env python3
"""Tests of the rules by which the soak and fault scripts judge what they saw: a wrong verdict
from them would hide a fault or report one that is not there. Runs without a display or Wine."""
import sys

sys.dont_write_bytecode = True  # no __pycache__ in the source tree

import tempfile
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import capture_lib  # noqa: E402
import input_lib  # noqa: E402
import soak  # noqa: E402


def strip_frame(word, flip_bit=None):
    """A decoded clock strip as the mover draws it: 32 blocks, most significant bit first."""
    if flip_bit is not None:
        word ^= 1 << (31 - flip_bit)
    frame = bytearray(capture_lib.STRIP_WIDTH * capture_lib.BLOCK)
    for bit in range(32):
        if word >> (31 - bit) & 1:
            for row in range(capture_lib.BLOCK):
                start = row * capture_lib.STRIP_WIDTH + bit * capture_lib.BLOCK
                frame[start:start + capture_lib.BLOCK] = b"\xeb" * capture_lib.BLOCK  # video white
    return bytes(frame)


def clock_word(ms):
    check = ~((ms >> 16) + ((ms >> 8) & 0xFF) + (ms & 0xFF)) & 0xFF
    return ms << 8 | check


class ClockStripTest(unittest.TestCase):
    def test_reads_the_time_and_refuses_a_misread_bit(self):
        for ms in (0, 1, 0x123456, 0xFFFFFF):
            self.assertEqual(capture_lib.strip_time(strip_frame(clock_word(ms))), ms)
        for bit in (0, 13, 23, 24, 31):
            self.assertIsNone(capture_lib.strip_time(strip_frame(clock_word(0x5A5A5A), bit)))

    def test_time_taken_lies_before_the_arrival_across_a_wrap(self):
        wrap = capture_lib.CLOCK_WRAP
        # Drawn at wrap - 5 ms (strip value wrap - 5), arrived 20 ms later, after the wrap.
        self.assertEqual(capture_lib.taken_ms(wrap - 5, (wrap + 15) / 1000), wrap - 5)
        self.assertEqual(capture_lib.taken_ms(100, (3 * wrap + 130) / 1000), 3 * wrap + 100)


class KeyFrameRuleTest(unittest.TestCase):
    def test_distance_in_frames(self):
        every_30 = [index % 30 == 0 for index in range(90)]
        self.assertEqual(capture_lib.key_frame_gaps(every_30, [None] * 90)[0], 30)
        one_late = every_30[:30] + [False] + every_30[30:]
        self.assertEqual(capture_lib.key_frame_gaps(one_late, [None] * 91)[0], 31)
        # Frames after the last key frame count too: 31 of them is one too many.
        self.assertEqual(capture_lib.key_frame_gaps([True] + [False] * 30, [None] * 31)[0], 31)

    def test_pictures_more_than_a_second_and_a_frame_after_the_key_frame(self):
        keys = [True, False, False, True, False]
        taken = [0, 1000, 1034, 1040, 2074]
        self.assertEqual(capture_lib.key_frame_gaps(keys, taken)[1], 2)


class TimingRuleTest(unittest.TestCase):
    def test_wall_clock_limits_are_judged_in_long_runs_only(self):
        for minutes, judged in ((0.1, False), (0.99, False), (1, True), (10, True)):
            figures = soak.Figures("t", "c", minutes)
            figures.timing("took", "9 s", False, "<= 1 s")
            figures.check("decoded", "all", True, "all")
            self.assertEqual(figures.broken, ["took"] if judged else [], minutes)
        # A rule of what was done stays judged in a short run.
        figures = soak.Figures("t", "c", 0.1)
        figures.check("decoded", "1 of 2", False, "all")
        self.assertEqual(figures.broken, ["decoded"])


class RecorderTest(unittest.TestCase):
    def test_held_keys_and_buttons_and_injected_events(self):
        with tempfile.TemporaryDirectory() as folder:
            recorder = input_lib.Recorder(Path(folder), 1)
            recorder.log.write_text(
                "ready screen=1920x1080 foreground=1\n"
                "keydown vk=0x10 scan=0x2A ext=0 extra=100\n"
                "keydown vk=0x41 scan=0x1E ext=0 extra=100\n"
                "button1 down x=1 y=2\n"
                "wheel delta=-120 x=1 y=2\n"
                "keyup vk=0x41 scan=0x1E ext=0 extra=0\n"
                "button1 up x=1 y=2\n"
                "keydown vk=0x42 scan=0x30 ext=0 extra=100")  # not yet whole: not taken
            recorder.offset = len("ready screen=1920x1080 foreground=1\n")
            recorder.update()
            self.assertEqual(recorder.held, {"vk 0x10"})
            self.assertEqual(recorder.events, 6)
            self.assertEqual(recorder.foreign, 1)


class CommandStreamTest(unittest.TestCase):
    def test_events_of_modifiers_keys_buttons_and_the_final_release(self):
        stream = input_lib.CommandStream(seed=1)
        self.assertEqual(stream.key("KeyA", True, 8 | 2)[1], 3)  # Shift, Control, A
        self.assertEqual(stream.key("KeyB", True, 8)[1], 2)  # Control up, B
        self.assertEqual(stream.pointer(0.5, 0.5, 0b101)[1], 2)
        self.assertEqual(stream.pointer(0.1, 0.1, 0b100)[1], 1)
        self.assertEqual(stream.release_events(), 2 + 1 + 1)  # A, B, Shift, button 3


if __name__ == "__main__":
    unittest.main()
