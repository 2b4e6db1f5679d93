"""Driving the input host under Wine and Xvfb for the soak and fault runs: the recorder window and
what it holds, signed start records, one "--input" session, and a stream of commands whose effect
on the window is known in advance (so that a lost, doubled or unreleased event shows)."""
import random
import re
import subprocess
import time

import soak

STAGE_LINES = [b'{"type":"stage","stage":"%s"}' % stage for stage in
               (b"read-authorization", b"verify-host-binding", b"verify-authorization",
                b"open-input-desktop", b"create-input-backend")]
READY_LINES = STAGE_LINES + [b'{"type":"desktop","name":"Default"}', b'{"type":"ready"}']
REJECTION = "Windows host service: Native input authorization or framing was rejected"
HOST_IMAGE = soak.TEST_EXE.name

# Keys of the stream: letters, digits and arrows (nothing that moves the focus or closes windows).
KEYS = [f"Key{letter}" for letter in "ABCDEFGHIJKLMNOPQRSTUVWXYZ"] + \
    [f"Digit{digit}" for digit in range(10)] + ["ArrowLeft", "ArrowRight", "ArrowUp", "ArrowDown"]
# Message modifier bits the stream uses: none, Shift (8), Control (2).
MODIFIERS = (0, 0, 0, 8, 2)


def issue(*arguments):
    """One start record line from the ticket issuer."""
    return subprocess.run([str(soak.ISSUER), *arguments], check=True,
                          stdout=subprocess.PIPE).stdout


class Recorder:
    """The full-screen recorder window and an incremental reading of its log."""

    KEY = re.compile(r"^key(down|up) vk=(0x[0-9A-F]{2}) .*extra=(-?\d+)")
    BUTTON = re.compile(r"^button(\d) (down|up) ")

    def __init__(self, work, seconds):
        self.log = work / "recorder.log"
        self.seconds = seconds
        self.offset = 0
        self.held = set()
        self.events = 0
        self.foreign = 0  # key events without the injected extra information 100
        self.process = None

    def start(self):
        for path in (self.log, self.log.with_name(self.log.name + ".stop")):
            path.unlink(missing_ok=True)
        self.process = soak.spawn(["wine", soak.RECORDER_EXE, soak.windows_path(self.log),
                                   str(self.seconds)], stdin=subprocess.DEVNULL,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        ready = soak.wait_for(lambda: self.log.exists() and b"ready" in self.log.read_bytes(), 30)
        head = self.log.read_bytes().decode(errors="replace") if ready else ""
        if "ready screen=1920x1080 foreground=1" not in head:
            raise RuntimeError(f"the recorder window did not come up: {head!r}")
        self.offset = len(head.split("\n", 1)[0]) + 1

    def update(self):
        """Takes the lines logged since the last call into the held set."""
        with self.log.open("rb") as log:
            log.seek(self.offset)
            data = log.read()
        end = data.rfind(b"\n") + 1
        for raw in data[:end].decode(errors="replace").splitlines():
            line = raw.strip()
            key, button = self.KEY.match(line), self.BUTTON.match(line)
            if key:
                name = "vk " + key.group(2)
                self.held.add(name) if key.group(1) == "down" else self.held.discard(name)
                self.foreign += key.group(3) != "100"
            elif button:
                name = "button " + button.group(1)
                self.held.add(name) if button.group(2) == "down" else self.held.discard(name)
            elif not line.startswith("wheel") and not line.startswith("hwheel"):
                continue
            self.events += 1
        self.offset += end

    def settle(self, expected_events, timeout=3.0):
        """Waits until the window has received `expected_events` events in all (they arrive after
        the host wrote them), then a little longer for any surplus; True when the count matches."""
        soak.wait_for(lambda: self.update() or self.events >= expected_events, timeout)
        time.sleep(0.05)
        self.update()
        return self.events == expected_events

    def quiet(self, timeout=5.0):
        """Waits until no event has come for 0.3 s (or `timeout` passes)."""
        end = time.monotonic() + timeout
        last, since = -1, time.monotonic()
        while time.monotonic() < end and time.monotonic() - since < 0.3:
            self.update()
            if self.events != last:
                last, since = self.events, time.monotonic()
            time.sleep(0.02)

    def stop(self):
        if self.process and self.process.poll() is None:
            self.log.with_name(self.log.name + ".stop").touch()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()


class CommandStream:
    """Command lines of a remote operator: keys with modifiers, pointer moves with buttons, wheels.
    It knows how many key, button and wheel events each line makes the window receive, and how
    many the final release of held input must add."""

    def __init__(self, seed, keys=True):
        self.random = random.Random(seed)
        self.keys = keys
        self.seq = 0
        self.modifiers = 0  # message modifier bits the host holds
        self.held_keys = set()
        self.buttons = 0
        self.lines = 0

    def _control(self, body):
        self.seq += 1
        self.lines += 1
        return ('{"type":"control","message":{%s,"v":1,"seq":%d}}\n' % (body, self.seq)).encode()

    def key(self, code, down, modifiers):
        """A key transition and its events: one per changed modifier, one for the key."""
        events = bin(self.modifiers ^ modifiers).count("1") + 1
        self.modifiers = modifiers
        (self.held_keys.add if down else self.held_keys.discard)(code)
        line = self._control('"type":"key-transition","code":"%s","down":%s,"modifiers":%d'
                             % (code, "true" if down else "false", modifiers))
        return line, events

    def pointer(self, x, y, buttons):
        """An absolute move (no window event) and one event per changed button."""
        events = bin(self.buttons ^ buttons).count("1")
        self.buttons = buttons
        return self._control('"type":"pointer","x":%.4f,"y":%.4f,"buttons":%d'
                             % (x, y, buttons)), events

    def next(self):
        """One more line of the stream and the events it causes."""
        choice = self.random.random()
        if self.keys and choice < 0.4:
            if self.held_keys and (len(self.held_keys) > 2 or self.random.random() < 0.5):
                code = self.random.choice(sorted(self.held_keys))
                return self.key(code, False, self.random.choice(MODIFIERS))
            code = self.random.choice([key for key in KEYS if key not in self.held_keys])
            return self.key(code, True, self.random.choice(MODIFIERS))
        if choice < 0.8:
            buttons = self.buttons
            if self.random.random() < 0.15:
                buttons ^= 1 << self.random.randrange(5)
            return self.pointer(self.random.random(), self.random.random(), buttons)
        vertical, horizontal = self.random.randint(-3, 3), self.random.randint(-3, 3)
        line = self._control('"type":"scroll","vertical":%d,"horizontal":%d'
                             % (vertical, horizontal))
        return line, (vertical != 0) + (horizontal != 0)

    @staticmethod
    def loose_key(seq):
        """A key line with a given seq that the model does not count (refused, or never read)."""
        return (b'{"type":"control","message":{"type":"key-transition","code":"KeyQ","down":true,'
                b'"modifiers":0,"v":1,"seq":%d}}\n' % seq)

    def hold(self):
        """Lines that leave a key (when the stream may send keys) and a button pressed."""
        lines, events = [], 0
        if self.keys:
            code = next(key for key in KEYS if key not in self.held_keys)
            line, made = self.key(code, True, self.modifiers)
            lines.append(line)
            events += made
        line, made = self.pointer(0.5, 0.5, self.buttons | 1)
        return lines + [line], events + made

    def release_events(self):
        """What releasing everything held adds: every key, modifier and button still down."""
        return len(self.held_keys) + bin(self.modifiers).count("1") + bin(self.buttons).count("1")

    def released(self):
        self.held_keys.clear()
        self.modifiers = 0
        self.buttons = 0


class HostSession:
    """One "--input" process of the test build, fed a start record. Its standard output goes to
    a file, or with `pipe_output` into a pipe whose reading end the caller may close. The files
    are read through paths of their own: the host writes at the offset of the descriptor it was
    given, which a seek of ours on that descriptor would move back over what it wrote."""

    def __init__(self, start_line, work, pipe_output=False):
        self.out_path, self.err_path = work / "host.out", work / "host.err"
        self.out = None if pipe_output else self.out_path.open("wb")
        self.err = self.err_path.open("wb")
        self.process = soak.spawn(["wine", soak.TEST_EXE, "--input"], stdin=subprocess.PIPE,
                                  stdout=subprocess.PIPE if pipe_output else self.out,
                                  stderr=self.err)
        self.write(start_line)

    def write(self, data):
        """False once the host no longer reads its standard input."""
        try:
            self.process.stdin.write(data)
            self.process.stdin.flush()
            return True
        except (BrokenPipeError, OSError):
            return False

    def lines(self):
        return self.out_path.read_bytes().splitlines()

    def wait_ready(self, timeout=30):
        """Whether the host started up with exactly the seven lines of a successful start."""
        if self.out is None:
            lines = [self.process.stdout.readline().rstrip(b"\n") for _ in READY_LINES]
            return lines == READY_LINES
        return soak.wait_for(lambda: READY_LINES[-1] in self.lines() or
                             self.process.poll() is not None, timeout) and \
            self.lines() == READY_LINES

    def close_input(self):
        try:
            self.process.stdin.close()
        except OSError:
            pass

    def finish(self, timeout=15):
        """Closes standard input and waits; the exit status, or None if it did not end."""
        self.close_input()
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            return None

    def stderr(self):
        return self.err_path.read_bytes().decode(errors="replace").strip()

    def windows_pid(self, harness):
        """The Windows pid of this host: the only running process of the test build's image."""
        pids = soak.wait_for(lambda: harness.pids(HOST_IMAGE), 5, step=0.1)
        return pids[0] if len(pids) == 1 else None


def error_line(stage, win32=None):
    """The exact error line of a stage; with `win32` None, any unsigned decimal code."""
    code = rb"\d+" if win32 is None else str(win32).encode()
    return re.compile(rb'\{"type":"error","stage":"%s","win32":%s\}' % (stage.encode(), code))


def ends_as(lines, expected_head, last):
    """The host's whole output is `expected_head` then (if given) a line matching `last`."""
    if last is None:
        return lines == expected_head
    return lines[:-1] == expected_head and bool(lines) and bool(last.fullmatch(lines[-1]))
