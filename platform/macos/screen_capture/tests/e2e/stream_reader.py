"""Reading the capture program the way the agent does, through a pipe, with the arrival time of
every chunk of its output, and splitting the Annex B stream into access units and NAL units.
Shared by the end-to-end test and the soak and fault scripts (scripts/soak/)."""
import bisect
import fcntl
import mmap
import os
import struct
import subprocess
import termios
import threading
import time

HEAD = b"\x00\x00\x00\x01\x09\xf0"
START_CODE = b"\x00\x00\x00\x01"


class Capture:
    """The program with a reader thread that timestamps every chunk of its output (monotonic
    clock). The output is kept in memory, or with `spool` written to that file (for long runs).
    The reader can be paused (it stops reading, as a stalled agent would) and resumed; `pipe_size`
    sets the capacity of the pipe (Linux rounds it up to a page)."""

    def __init__(self, program, *arguments, read=True, spool=None, pipe_size=-1):
        self.process = subprocess.Popen([str(program), *arguments], stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE, pipesize=pipe_size)
        self.spool = open(spool, "wb+") if spool else None
        self.chunks = []  # bytes, when not spooled
        self.ends = []  # end offset of every chunk
        self.times = []  # arrival time of every chunk
        self.size = 0
        self.closed = not read
        self.reading = threading.Event()
        self.reading.set()
        self.reader = threading.Thread(target=self._read, daemon=True)
        if read:
            self.reader.start()

    def _read(self):
        stream = self.process.stdout
        while not self.closed:
            self.reading.wait()
            try:
                data = os.read(stream.fileno(), 1 << 20)
            except OSError:
                return
            if not data:
                return
            arrived = time.monotonic()
            if self.spool:
                self.spool.write(data)
            else:
                self.chunks.append(data)
            self.size += len(data)
            self.ends.append(self.size)
            self.times.append(arrived)

    def pause(self):
        """The reader stops after the read it is in (as soon as any data is there)."""
        self.reading.clear()

    def resume(self):
        self.reading.set()

    def pending(self):
        """How many bytes wait in the pipe, unread."""
        return struct.unpack("i", fcntl.ioctl(self.process.stdout.fileno(), termios.FIONREAD,
                                              b"\0\0\0\0"))[0]

    def read_then_close(self, count):
        """Reads the first bytes without a reader thread, then closes the reading end for good
        (a thread blocked in read would keep the pipe open until its read returned)."""
        data = os.read(self.process.stdout.fileno(), count)
        self.process.stdout.close()
        return len(data) > 0

    def finish(self, timeout=10):
        try:
            status = self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            self.process.kill()
            status = None
        self.resume()
        if not self.closed:
            self.reader.join(5)
        if self.spool:
            self.spool.flush()
        return status, self.process.stderr.read().decode()

    def data(self):
        """The whole output (memory-mapped when spooled)."""
        if not self.spool:
            return b"".join(self.chunks)
        if self.size == 0:
            return b""
        return mmap.mmap(self.spool.fileno(), self.size, access=mmap.ACCESS_READ)

    def arrival(self, offset):
        """When the byte at `offset` arrived."""
        index = bisect.bisect_right(self.ends, offset)
        return self.times[index] if index < len(self.times) else None


def nal_units(unit):
    """NAL units of one access unit, split at four-byte start codes."""
    parts = bytes(unit).split(START_CODE)
    return [part for part in parts if part]


def access_unit_offsets(stream):
    """The offset of every access unit (start code + delimiter) in the stream."""
    offsets = []
    position = stream.find(HEAD)
    while position >= 0:
        offsets.append(position)
        position = stream.find(HEAD, position + 1)
    return offsets


def access_units(stream):
    """(offset, bytes) of every access unit."""
    offsets = access_unit_offsets(stream)
    return [(start, stream[start:end])
            for start, end in zip(offsets, offsets[1:] + [len(stream)])]
