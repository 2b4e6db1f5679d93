"""The capture helper on a private Xvfb screen for the soak and fault runs: the mover with its
clock strip, the program read through a pipe (the end-to-end test's reader), and the checks of
what it wrote: ffmpeg decoding every access unit with -xerror, key frames, and, from the clock
strip of each decoded picture, when the picture was taken."""
import subprocess
import sys
import time

import soak

sys.path.insert(0, str(soak.REPO / "platform" / "macos" / "screen_capture" / "tests" / "e2e"))
from stream_reader import Capture, access_unit_offsets  # noqa: E402

SCREEN = "1920x1080x24"
FPS = 30
# The mover's strip: 32 blocks of 16 x 16 pixels at the screen's top-left corner.
STRIP_BLOCKS = 32
BLOCK = 16
STRIP_WIDTH = STRIP_BLOCKS * BLOCK
CLOCK_WRAP = 1 << 24


def start_mover(noise=False):
    """The mover with its clock strip: an 800 x 450 window sliding a bar at 30 changes a second,
    or with `noise` a 640 x 360 window of fresh random pixels at every step (large units)."""
    size = ["640", "360", "--noise"] if noise else ["800", "450"]
    mover = soak.spawn([soak.MOVER, *size, "--clock"])
    time.sleep(0.5)
    return mover


def start_capture(work, name, pipe_size=-1):
    """The program with default options, its output spooled to a file."""
    capture = Capture(soak.CAPTURE, spool=work / f"{name}.h264", pipe_size=pipe_size)
    soak._children.append(capture.process)
    return capture


def writer_blocked(capture):
    """Waits (up to 5 s) until what waits in the paused reader's pipe stops growing: the writer
    is then blocked. Whether it came to that."""
    previous, steady = -1, 0
    end = time.monotonic() + 5
    while time.monotonic() < end:
        pending = capture.pending()
        steady = steady + 1 if pending == previous else 0
        if steady >= 4:
            return True
        previous = pending
        time.sleep(0.05)
    return False


def strip_time(frame):
    """The 24-bit millisecond value in one decoded strip (gray, STRIP_WIDTH x BLOCK), or None
    when its check byte does not match."""
    word = 0
    for block in range(STRIP_BLOCKS):
        total = 0
        for row in range(4, 12):
            start = row * STRIP_WIDTH + block * BLOCK + 4
            total += sum(frame[start:start + 8])
        word = word << 1 | (total > 128 * 64)
    value, check = word >> 8, word & 0xFF
    if (~((value >> 16) + ((value >> 8) & 0xFF) + (value & 0xFF)) & 0xFF) != check:
        return None
    return value


def taken_ms(strip, arrival):
    """The monotonic time in ms at which a picture was taken, from its strip value and the time
    (seconds) its access unit arrived, which lies less than one wrap of the value after it."""
    arrival_ms = int(arrival * 1000)
    return arrival_ms - ((arrival_ms - strip) % CLOCK_WRAP)


class Stream:
    """What the program wrote: its access units, which are key frames, when each one arrived
    whole, and what ffmpeg made of them."""

    def __init__(self, capture):
        data = capture.data()
        self.size = len(data)
        self.offsets = access_unit_offsets(data) if self.size else []
        ends = self.offsets[1:] + [self.size]
        # The writer puts the parameter sets right behind the delimiter of a key frame only.
        self.keys = [offset + 10 < self.size and data[offset + 10] & 0x1F == 7
                     for offset in self.offsets]
        # The stream starts with a key frame's delimiter and nothing comes before it.
        self.whole = bool(self.offsets) and self.offsets[0] == 0 and self.keys[0]
        self.arrivals = [capture.arrival(end - 1) for end in ends]
        self.decode_ok, self.decode_error, self.strips = self._decode(capture.spool.name)
        self.decoded = len(self.strips)
        if hasattr(data, "close"):
            data.close()

    @staticmethod
    def _decode(path):
        """Decodes every access unit with -xerror and gives the clock strip of each picture."""
        command = ["ffmpeg", "-v", "error", "-nostdin", "-err_detect", "explode", "-xerror",
                   "-threads", "1", "-i", str(path), "-fps_mode", "passthrough",
                   "-vf", f"crop={STRIP_WIDTH}:{BLOCK}:0:0", "-f", "rawvideo",
                   "-pix_fmt", "gray", "-"]
        decoder = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        frame_size = STRIP_WIDTH * BLOCK
        strips = []
        while True:
            frame = decoder.stdout.read(frame_size)
            if len(frame) < frame_size:
                break
            strips.append(strip_time(frame))
        error = decoder.stderr.read().decode(errors="replace").strip()
        return decoder.wait() == 0 and not error, error, strips

    def all_decoded(self):
        return self.whole and self.decode_ok and self.decoded == len(self.offsets)

    def taken(self):
        """Per access unit: when its picture was taken (monotonic ms), or None."""
        return [taken_ms(strip, arrival) if strip is not None and arrival is not None else None
                for strip, arrival in zip(self.strips, self.arrivals)]

    def key_frame_gaps(self, fps=FPS):
        return key_frame_gaps(self.keys, self.taken(), fps)


def key_frame_gaps(keys, taken, fps=FPS):
    """The largest distance in frames from a key frame to the next (or to the end of the stream),
    and how many pictures were taken more than a second and a frame after the last key frame's
    picture without being key frames themselves."""
    largest, late = 0, 0
    last_index, last_taken = None, None
    for index, (key, when) in enumerate(zip(keys, taken)):
        if key:
            if last_index is not None:
                largest = max(largest, index - last_index)
            last_index, last_taken = index, when
        elif None not in (when, last_taken) and when - last_taken > 1000 + 1000 / fps:
            late += 1
    if last_index is not None:
        largest = max(largest, len(keys) - last_index)
    return largest, late


def rss_kib(process):
    return soak.proc_status_kib(process.pid, "VmRSS")
