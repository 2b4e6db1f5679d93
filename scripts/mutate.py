#!/usr/bin/env python3
"""Mutation testing of the portable rules: how many small faults do the native tests notice?

Each mutant is one small semantic change to one source file (a flipped comparison, a dropped or
negated check, a bound off by one, a skipped loop step, a changed constant). For each, the script
writes the mutated file, rebuilds incrementally (preset `linux`, one job) only the test programs
that depend on the file, runs them with a timeout, and puts the file back. A mutant is *killed*
when a test program fails (or times out), *survived* when all pass, and *not compiling* when the
build fails. The file is always restored, also on Ctrl-C or SIGTERM; a copy of the original waits
in the build tree until then, and a later run restores it first if the script was killed outright.

To save a second compile per mutant, the objects, libraries and programs that the mutant's build
replaces are saved beforehand and copied back with their times, so ninja sees the tree as it was;
a dry run after every restore checks that, and rebuilds for real if ninja disagrees.

    scripts/mutate.py --area security --max 200 --seed 7
    scripts/mutate.py --files platform/windows/agent/src/common/utf16.cc --list
    scripts/mutate.py --area security --rerun build/linux/mutate-report.txt
    scripts/mutate.py --help

The report (text) goes to build/linux/mutate-report.txt unless --report says otherwise. Survivors
judged equivalent (no test can tell them from the original) are listed with their reason in
scripts/mutate_equivalent.txt and counted apart; the score leaves them out.
"""

from __future__ import annotations

import argparse
import dataclasses
import glob
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import time
from collections import defaultdict, deque

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
AGENT = "platform/windows/agent/src"
CAPTURE = "platform/macos/screen_capture/src"

# The rule files that guard a trust boundary, by area; "security" is all of them.
AREAS = {
    "authorization": [f"{AGENT}/native_protocol/authorization/{n}.cc" for n in (
        "authorization_state", "canonical_text", "permissions", "replay_window", "start_record",
        "ticket_codec", "ticket_verification")] + [f"{AGENT}/native_protocol/input_host_authorization.cc"],
    "commands": [f"{AGENT}/native_protocol/{n}.cc" for n in (
        "command", "control_gate", "framing", "command_queue")],
    "injection": [f"{AGENT}/native_protocol/injection/{n}.cc" for n in (
        "key_codes", "virtual_keys", "input_math", "display_record", "injecting_backend",
        "input_desktop_tracker", "monitor_display_source")],
    "session-line": [f"{AGENT}/service_indicator/{n}.cc" for n in (
        "session_start", "strict_record", "display_text")],
    "capture-bounds": [f"{AGENT}/service_host/capture/capture_arguments.cc",
                       f"{AGENT}/service_host/capture/input_desktop_name.cc",
                       f"{AGENT}/service_host/quote_argument.cc"],
    "install-checks": [f"{AGENT}/service_host/{n}.cc" for n in (
        "protected_path", "install_config", "install_layout", "path_text")],
    "text": [f"{AGENT}/common/utf16.cc"],
}
AREAS["security"] = sorted({f for files in AREAS.values() for f in files})

# Every portable rule file: directly in a unit folder of the Windows program (never win32/), and the
# capture helper's portable core.
PORTABLE_GLOBS = [f"{AGENT}/*/*.cc", f"{AGENT}/*/*/*.cc", f"{CAPTURE}/entry/*.cc",
                  f"{CAPTURE}/h264/*.cc", f"{CAPTURE}/screen_source/*.cc"]

EQUIVALENT_FILE = os.path.join(ROOT, "scripts", "mutate_equivalent.txt")


# --------------------------------------------------------------------------------------------
# Mutation operators. They work on a masked copy of the file in which comments, string and
# character literals and preprocessor lines are blanked out, so only code is ever changed; each
# mutant replaces one span of the original text.


@dataclasses.dataclass(frozen=True)
class Mutant:
    path: str      # relative to the repository root
    start: int     # offset of the replaced span in the original text
    end: int
    new: str
    operator: str
    line: int      # 1-based line of `start`

    @property
    def id(self) -> str:
        return f"{self.path}:{self.start}:{self.end}:{self.operator}"

    def apply(self, text: str) -> str:
        return text[:self.start] + self.new + text[self.end:]

    def describe(self, text: str) -> str:
        old, new = (" ".join(t.split()) for t in (text[self.start:self.end], self.new))
        return f"{self.operator}: '{old}' -> '{new}'"


def mask(text: str) -> str:
    """The text with comments, literals and preprocessor lines replaced by blanks (same offsets)."""
    out = list(text)
    i, n = 0, len(text)
    at_line_start = True

    def blank(a, b):
        for k in range(a, b):
            if text[k] != "\n":
                out[k] = " "

    while i < n:
        c = text[i]
        if at_line_start and c == "#":
            j = i
            while True:  # a directive runs on over escaped line ends
                j = text.find("\n", j)
                if j < 0 or text[j - 1] != "\\":
                    break
                j += 1
            j = n if j < 0 else j
            blank(i, j)
            i = j
            continue
        if c == "\n":
            at_line_start = True
        elif c not in " \t":
            at_line_start = False
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            blank(i, j)
            i = j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            blank(i, j)
            i = j
        elif text.startswith('R"', i) and (i == 0 or not (text[i - 1].isalnum() or text[i - 1] == "_")):
            open_paren = text.find("(", i)
            delimiter = text[i + 2:open_paren]
            j = text.find(")" + delimiter + '"', open_paren)
            j = n if j < 0 else j + len(delimiter) + 2
            blank(i, j)
            i = j
        elif c in "\"'":
            # A digit separator (1'000) opens no character literal.
            if c == "'" and i > 0 and text[i - 1].isalnum() and i + 1 < n and text[i + 1].isalnum():
                i += 1
                continue
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            j = min(j + 1, n)
            blank(i, j)
            i = j
        else:
            i += 1
    return "".join(out)


def matching_paren(code: str, open_index: int) -> int:
    """Index of the parenthesis closing the one at `open_index`, or -1."""
    depth = 0
    for k in range(open_index, len(code)):
        if code[k] == "(":
            depth += 1
        elif code[k] == ")":
            depth -= 1
            if depth == 0:
                return k
    return -1


def statement_end(code: str, start: int) -> int:
    """Index just past the `;` that ends the statement starting at `start` (depth 0), or -1."""
    depth = 0
    for k in range(start, len(code)):
        ch = code[k]
        if ch in "([{":
            depth += 1
        elif ch in ")]}":
            depth -= 1
            if depth < 0:
                return -1
        elif ch == ";" and depth == 0:
            return k + 1
    return -1


# Binary operators are written with a blank on each side (clang-format), which tells them apart
# from template brackets, shifts, arrows and include brackets.
RELATIONAL = {" < ": " <= ", " <= ": " < ", " > ": " >= ", " >= ": " > "}
EQUALITY = {" == ": " != ", " != ": " == "}
LOGICAL = {" && ": " || ", " || ": " && "}
ARITHMETIC = {" + ": " - ", " - ": " + "}
INTEGER = re.compile(r"(?<![\w.])(0[xX][0-9a-fA-F]+|\d+)([uU]?[lL]{0,2}[uU]?)(?![\w.])")
GUARDED = re.compile(r"\b(if|while)\s*\(")
RANGE_FOR = re.compile(r"\bfor\s*\(")
ITERATOR_END = re.compile(r"\.(begin|end)\(\)")
BOOL_RETURN = re.compile(r"\breturn (true|false);")
NOT = re.compile(r"(?<![!=<>])!(?!=)")

OPERATORS = ("relational", "equality", "logical", "negate", "drop-check", "drop-not", "constant",
             "loop-skip", "return", "arithmetic")


def _spans(code: str, table: dict[str, str], operator: str):
    for token, replacement in table.items():
        for m in re.finditer(re.escape(token), code):
            yield m.start(), m.end(), replacement, operator


def _guards(text: str, code: str):
    for m in GUARDED.finditer(code):
        if code[m.start():m.end()].startswith("if") and re.match(r"\s*constexpr", code[m.end() - 1:]):
            continue
        open_index = m.end() - 1
        close = matching_paren(code, open_index)
        if close < 0:
            continue
        # An if with an initializer keeps it: only the condition after the last `;` changes.
        head = open_index + 1
        semicolon = code.rfind(";", open_index, close)
        if semicolon >= 0:
            head = semicolon + 1
            while code[head] == " ":
                head += 1
        condition = text[head:close]
        if not condition.lstrip().startswith("!"):  # drop-not covers those
            yield head, close, f"!({condition})", "negate"
        if m.group(1) == "if":
            # The check is gone: its body never runs.
            yield head, close, "false", "drop-check"


def _constants(code: str):
    for m in INTEGER.finditer(code):
        digits, suffix = m.group(1), m.group(2)
        value = int(digits, 16) if digits[:2].lower() == "0x" else int(digits, 10)
        changed = value + 1 if value != 1 else 0
        if digits[:2].lower() == "0x":
            new = f"0x{changed:X}" if digits[2:] != digits[2:].lower() else f"0x{changed:x}"
        else:
            new = str(changed)
        new += suffix
        yield m.start(), m.end(), new, "constant"


def _loop_skips(text: str, code: str):
    # A range-for skips its first element; an index loop its first or last step.
    for m in RANGE_FOR.finditer(code):
        open_index = m.end() - 1
        close = matching_paren(code, open_index)
        if close < 0:
            continue
        header = code[open_index + 1:close]
        if ";" in header:
            parts = header.split(";")
            if len(parts) == 3:
                condition = parts[1]
                c = re.search(r" (<|<=|!=) ", condition)
                if c:
                    cond_start = open_index + 1 + len(parts[0]) + 1
                    cond_start += len(condition) - len(condition.lstrip())
                    cond_end = open_index + 1 + len(parts[0]) + 1 + len(condition.rstrip())
                    yield cond_start, cond_end, text[cond_start:cond_end] + " - 1", "loop-skip"
                step = parts[2].strip()
                s = re.fullmatch(r"(\+\+(\w+)|(\w+)\+\+)", step)
                if s:
                    var = s.group(2) or s.group(3)
                    step_start = open_index + 1 + len(parts[0]) + 1 + len(parts[1]) + 1
                    step_start += len(parts[2]) - len(parts[2].lstrip())
                    yield step_start, step_start + len(step), f"{var} += 2", "loop-skip"
            continue
        if " : " not in header:
            continue
        flag = f"mutant_skip_{open_index}"
        body = close + 1
        while body < len(code) and code[body] in " \t\n":
            body += 1
        skip = f"if ({flag}) {{ {flag} = false; continue; }}"
        if code.startswith("{", body):
            yield (open_index, body + 1,
                   f"(bool {flag} = true; {text[open_index + 1:close]}) {{ {skip}", "loop-skip")
        else:
            end = statement_end(code, body)
            if end < 0:
                continue
            yield (open_index, end,
                   f"(bool {flag} = true; {text[open_index + 1:close]}) {{ {skip} {text[body:end]} }}",
                   "loop-skip")
    for m in ITERATOR_END.finditer(code):
        which = m.group(1)
        yield m.start(), m.end(), m.group(0) + (" + 1" if which == "begin" else " - 1"), "loop-skip"


def mutants_of(path: str, text: str, operators=OPERATORS) -> list[Mutant]:
    """Every mutant of `text` (the contents of `path`) made by the chosen operators."""
    code = mask(text)
    found = []
    if "relational" in operators:
        found += _spans(code, RELATIONAL, "relational")
    if "equality" in operators:
        found += _spans(code, EQUALITY, "equality")
    if "logical" in operators:
        found += _spans(code, LOGICAL, "logical")
    if "arithmetic" in operators:
        found += _spans(code, ARITHMETIC, "arithmetic")
    if "negate" in operators or "drop-check" in operators:
        found += [g for g in _guards(text, code) if g[3] in operators]
    if "drop-not" in operators:
        found += [(m.start(), m.end(), "", "drop-not") for m in NOT.finditer(code)]
    if "constant" in operators:
        found += _constants(code)
    if "loop-skip" in operators:
        found += _loop_skips(text, code)
    if "return" in operators:
        found += [(m.start(1), m.end(1), "false" if m.group(1) == "true" else "true", "return")
                  for m in BOOL_RETURN.finditer(code)]
    mutants = set()
    for start, end, new, operator in found:
        if text[start:end] == new:
            continue
        mutants.add(Mutant(path, start, end, new, operator, text.count("\n", 0, start) + 1))
    return sorted(mutants, key=lambda m: (m.start, m.end, m.operator, m.new))


# --------------------------------------------------------------------------------------------
# The build tree: which test programs depend on a file, and what their build replaces.


class BuildTree:
    def __init__(self, build_dir: str, with_tsan: bool):
        self.dir = build_dir
        self.with_tsan = with_tsan
        self._objects_of = None
        self._outputs_of = {}

    def ninja(self, *args, check=True, capture=True):
        return subprocess.run(["ninja", "-C", self.dir, *args], check=check, text=True,
                              stdout=subprocess.PIPE if capture else None,
                              stderr=subprocess.STDOUT if capture else None)

    def objects_of(self, source: str) -> list[str]:
        """The build outputs whose recorded dependencies name `source` (objects; headers too)."""
        if self._objects_of is None:
            self._objects_of = defaultdict(list)
            current = None
            for line in self.ninja("-t", "deps").stdout.splitlines():
                if line and not line[0].isspace():
                    current = line.split(":", 1)[0]
                elif line.strip() and current:
                    self._objects_of[os.path.realpath(os.path.join(self.dir, line.strip()))].append(current)
        return sorted(set(self._objects_of.get(os.path.realpath(source), [])))

    def outputs_of(self, node: str) -> list[str]:
        if node not in self._outputs_of:
            text = self.ninja("-t", "query", node, check=False).stdout
            outputs, in_outputs = [], False
            for line in text.splitlines():
                if line.strip() == "outputs:":
                    in_outputs = True
                elif in_outputs and line.startswith("    "):
                    outputs.append(line.strip())
                elif not line.startswith("    "):
                    in_outputs = False
            self._outputs_of[node] = outputs
        return self._outputs_of[node]

    def is_test_program(self, node: str) -> bool:
        name = os.path.basename(node)
        if not name.endswith("_tests") or not os.path.isfile(os.path.join(self.dir, node)):
            return False
        return self.with_tsan or "tsan" not in name

    def plan(self, source: str):
        """(test programs to rebuild and run, every file that building them may replace)."""
        objects = self.objects_of(source)
        parents = defaultdict(set)
        seen, queue = set(objects), deque(objects)
        while queue:
            node = queue.popleft()
            for output in self.outputs_of(node):
                parents[output].add(node)
                if output not in seen:
                    seen.add(output)
                    queue.append(output)
        unit = os.path.relpath(source, os.path.join(ROOT, AGENT)).split(os.sep)[0]
        programs = sorted((n for n in seen if self.is_test_program(n)),
                          key=lambda n: (not os.path.basename(n).startswith(unit), n))
        chain, queue = set(programs), deque(programs)
        while queue:
            for parent in parents[queue.popleft()]:
                if parent not in chain:
                    chain.add(parent)
                    queue.append(parent)
        files = sorted(n for n in chain if os.path.isfile(os.path.join(self.dir, n)))
        return programs, files


# --------------------------------------------------------------------------------------------
# Running one mutant, with the file always put back.


class Restorer:
    """Keeps the original of the file under mutation and puts it back, with its time, whatever
    happens; a copy in the build tree survives even a SIGKILL for the next run to restore."""

    def __init__(self, work_dir: str, root: str = ROOT):
        self.root = root
        self.pending = os.path.join(work_dir, "pending")
        os.makedirs(self.pending, exist_ok=True)

    def recover(self):
        for dirpath, _, names in os.walk(self.pending):
            for name in names:
                saved = os.path.join(dirpath, name)
                original = os.path.join(self.root, os.path.relpath(saved, self.pending))
                shutil.copy2(saved, original)
                os.remove(saved)
                print(f"restored {os.path.relpath(original, self.root)} left mutated")

    def hold(self, path: str):
        saved = os.path.join(self.pending, path)
        os.makedirs(os.path.dirname(saved), exist_ok=True)
        shutil.copy2(os.path.join(self.root, path), saved)

    def release(self, path: str):
        saved = os.path.join(self.pending, path)
        shutil.copy2(saved, os.path.join(self.root, path))
        os.remove(saved)


def run_programs(build: BuildTree, programs: list[str], timeout: float,
                 gtest_filter: str = "") -> tuple[str, str]:
    """('passed' | 'failed' | 'timeout', the name of the program that decided)."""
    for program in programs:
        path = os.path.join(build.dir, program)
        extra = [f"--gtest_filter={gtest_filter}"] if gtest_filter else []
        try:
            result = subprocess.run([path, "--gtest_brief=1", "--gtest_fail_fast", *extra],
                                    cwd=os.path.dirname(path), stdout=subprocess.DEVNULL,
                                    stderr=subprocess.DEVNULL, timeout=timeout)
        except subprocess.TimeoutExpired:
            return "timeout", program
        if result.returncode != 0:
            return "failed", program
    return "passed", ""


def save_outputs(build: BuildTree, files: list[str], save_dir: str):
    shutil.rmtree(save_dir, ignore_errors=True)
    for f in files:
        target = os.path.join(save_dir, f)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copy2(os.path.join(build.dir, f), target)


def restore_outputs(build: BuildTree, files: list[str], save_dir: str):
    for f in files:
        shutil.copy2(os.path.join(save_dir, f), os.path.join(build.dir, f))


def tree_is_clean(build: BuildTree, programs: list[str]) -> bool:
    return "no work to do" in build.ninja("-n", *programs, check=False).stdout


def run_mutant(build, restorer, mutant, original, programs, files, save_dir, timeout, jobs,
               gtest_filter=""):
    path = os.path.join(restorer.root, mutant.path)
    save_outputs(build, files, save_dir)
    restorer.hold(mutant.path)
    try:
        with open(path, "w", encoding="utf-8") as f:
            f.write(mutant.apply(original))
        # One program at a time, the file's own unit first: most mutants die in the first one,
        # and then the others need not be linked at all.
        for program in programs:
            if build.ninja(f"-j{jobs}", program, check=False).returncode != 0:
                return "not-compiling", ""
            outcome, _ = run_programs(build, [program], timeout, gtest_filter)
            if outcome != "passed":
                return "killed", f"{outcome} {program}"
        return "survived", ""
    finally:
        restorer.release(mutant.path)
        restore_outputs(build, files, save_dir)
        if not tree_is_clean(build, programs):
            build.ninja(f"-j{jobs}", *programs, check=True)


# --------------------------------------------------------------------------------------------
# Equivalent survivors and the report.


def load_equivalents(path=EQUIVALENT_FILE) -> dict[tuple[str, str], str]:
    """(file, mutated line without surrounding blanks) -> reason."""
    known = {}
    if not os.path.exists(path):
        return known
    with open(path, encoding="utf-8") as f:
        for raw in f:
            if not raw.strip() or raw.lstrip().startswith("#"):
                continue
            parts = [p.strip() for p in raw.rstrip("\n").split(" | ")]
            if len(parts) == 3:
                known[(parts[0], parts[1])] = parts[2]
    return known


def mutated_line(mutant: Mutant, text: str) -> str:
    mutated = mutant.apply(text)
    start = mutated.rfind("\n", 0, mutant.start) + 1
    end = mutated.find("\n", mutant.start + len(mutant.new))
    return " ".join(mutated[start:end if end >= 0 else len(mutated)].split())


def write_report(results, texts, equivalents, report_path, header):
    per_file = defaultdict(lambda: defaultdict(int))
    survivors = []
    for mutant, outcome, detail in results:
        key = (mutant.path, mutated_line(mutant, texts[mutant.path]))
        if outcome == "survived" and key in equivalents:
            outcome = "equivalent"
        per_file[mutant.path][outcome] += 1
        if outcome in ("survived", "equivalent"):
            survivors.append((mutant, outcome, equivalents.get(key, "")))
    lines = [header, ""]
    columns = ("killed", "survived", "equivalent", "not-compiling")
    lines.append(f"{'file':<72} " + " ".join(f"{c:>13}" for c in columns) + "    score")
    totals = defaultdict(int)
    for path in sorted(per_file):
        counts = per_file[path]
        for c in columns:
            totals[c] += counts[c]
        lines.append(f"{path:<72} " + " ".join(f"{counts[c]:>13}" for c in columns) +
                     f"  {score(counts)}")
    lines.append(f"{'total':<72} " + " ".join(f"{totals[c]:>13}" for c in columns) +
                 f"  {score(totals)}")
    lines += ["", "score: killed / (killed + survived), equivalent mutants left out", ""]
    lines.append("Survivors (file:line  operator: original -> mutation):")
    for mutant, outcome, reason in sorted(survivors, key=lambda s: (s[0].path, s[0].line)):
        text = texts[mutant.path]
        mark = f"  [equivalent: {reason}]" if outcome == "equivalent" else ""
        lines.append(f"  {mutant.path}:{mutant.line}  {mutant.describe(text)}{mark}")
        lines.append(f"      {mutated_line(mutant, text)}")
        lines.append(f"      id {mutant.id}")
    report = "\n".join(lines) + "\n"
    with open(report_path, "w", encoding="utf-8") as f:
        f.write(report)
    return report


def score(counts) -> str:
    judged = counts["killed"] + counts["survived"]
    return f"{100.0 * counts['killed'] / judged:6.1f} %" if judged else "     -  "


# --------------------------------------------------------------------------------------------


def select_files(args) -> list[str]:
    chosen = []
    for area in args.area or []:
        chosen += AREAS[area]
    for pattern in args.files or []:
        matches = glob.glob(os.path.join(ROOT, pattern)) or [os.path.join(ROOT, pattern)]
        chosen += [os.path.relpath(m, ROOT) for m in matches]
    if not chosen:
        for pattern in PORTABLE_GLOBS:
            chosen += [os.path.relpath(m, ROOT) for m in glob.glob(os.path.join(ROOT, pattern))]
    portable = [f for f in chosen if "/win32/" not in f]
    missing = [f for f in portable if not os.path.isfile(os.path.join(ROOT, f))]
    if missing:
        sys.exit(f"no such file: {', '.join(missing)}")
    return sorted(set(portable))


def sample(all_mutants: list[Mutant], args) -> list[Mutant]:
    rng = random.Random(args.seed)
    by_file = defaultdict(list)
    for m in all_mutants:
        by_file[m.path].append(m)
    picked = []
    for path in sorted(by_file):
        # Round-robin over the operators, so that a small sample of a file is not all constants.
        by_operator = defaultdict(list)
        for m in by_file[path]:
            by_operator[m.operator].append(m)
        queues = [by_operator[o] for o in sorted(by_operator)]
        for q in queues:
            rng.shuffle(q)
        rng.shuffle(queues)
        group = []
        while any(queues):
            for q in queues:
                if q:
                    group.append(q.pop())
        picked += group[:args.max_per_file] if args.max_per_file else group
    rng.shuffle(picked)
    if args.max:
        picked = picked[:args.max]
    return sorted(picked, key=lambda m: (m.path, m.start, m.operator))


def main(argv=None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--files", nargs="*", help="source files or globs (relative to the repository)")
    parser.add_argument("--area", nargs="*", choices=sorted(AREAS), help="named groups of rule files")
    parser.add_argument("--operators", nargs="*", choices=OPERATORS, default=list(OPERATORS))
    parser.add_argument("--max", type=int, default=0, help="at most this many mutants in all")
    parser.add_argument("--max-per-file", type=int, default=0, help="at most this many per file")
    parser.add_argument("--seed", type=int, default=1, help="seed of the sample (same seed, same mutants)")
    parser.add_argument("--timeout", type=float, default=120, help="seconds per test program")
    parser.add_argument("--jobs", type=int, default=1, help="build jobs (the machine is shared)")
    parser.add_argument("--build-dir", default=os.path.join(ROOT, "build", "linux"))
    parser.add_argument("--report", help="report file (default: <build dir>/mutate-report.txt)")
    parser.add_argument("--with-tsan", action="store_true",
                        help="also rebuild and run the ThreadSanitizer test programs")
    parser.add_argument("--gtest-filter", default="",
                        help="run only these tests (GoogleTest filter): which tests kill a mutant?")
    parser.add_argument("--rerun", metavar="REPORT",
                        help="run again exactly the survivors listed in an earlier report")
    parser.add_argument("--list", action="store_true", help="list the sampled mutants and stop")
    args = parser.parse_args(argv)

    files = select_files(args)
    texts = {}
    for path in files:
        with open(os.path.join(ROOT, path), encoding="utf-8") as f:
            texts[path] = f.read()
    mutants = [m for p in files for m in mutants_of(p, texts[p], args.operators)]
    if args.rerun:
        with open(args.rerun, encoding="utf-8") as f:
            wanted = {line.split()[1] for line in f if line.strip().startswith("id ")}
        mutants = [m for m in mutants if m.id in wanted]
    else:
        mutants = sample(mutants, args)
    if args.list:
        for m in mutants:
            print(f"{m.path}:{m.line}  {m.describe(texts[m.path])}\n      id {m.id}")
        print(f"{len(mutants)} mutants")
        return 0

    if not os.path.isfile(os.path.join(args.build_dir, "build.ninja")):
        sys.exit(f"no build tree in {args.build_dir}: run cmake --preset linux first")
    work_dir = os.path.join(args.build_dir, "mutate-work")
    restorer = Restorer(work_dir)
    restorer.recover()
    build = BuildTree(args.build_dir, args.with_tsan)
    report_path = args.report or os.path.join(args.build_dir, "mutate-report.txt")

    # SIGTERM ends the run like Ctrl-C does, through the `finally` that restores the file.
    def interrupt(*_):
        raise KeyboardInterrupt()

    signal.signal(signal.SIGTERM, interrupt)

    plans = {}
    for path in files:
        programs, outputs = build.plan(os.path.join(ROOT, path))
        if not programs:
            print(f"warning: no test program depends on {path}; its mutants are skipped")
        plans[path] = (programs, outputs)
    every_program = sorted({p for programs, _ in plans.values() for p in programs})
    if not every_program:
        sys.exit("no test program to run")
    print(f"building {' '.join(every_program)} ...", flush=True)
    build.ninja(f"-j{args.jobs}", *every_program, capture=False)
    outcome, program = run_programs(build, every_program, args.timeout)
    if outcome != "passed":
        sys.exit(f"the unmutated tests do not pass ({outcome}: {program}); nothing to measure")

    equivalents = load_equivalents()
    results = []
    started = time.monotonic()
    header = lambda: (f"Mutation report: {len(results)} of {len(mutants)} mutants run, seed "
                      f"{args.seed}, {time.strftime('%Y-%m-%d %H:%M')} "
                      f"({time.monotonic() - started:.0f} s)")
    try:
        for index, mutant in enumerate(mutants, 1):
            programs, outputs = plans[mutant.path]
            if not programs:
                continue
            t0 = time.monotonic()
            outcome, detail = run_mutant(build, restorer, mutant, texts[mutant.path], programs,
                                         outputs, os.path.join(work_dir, "outputs"), args.timeout,
                                         args.jobs, args.gtest_filter)
            results.append((mutant, outcome, detail))
            print(f"[{index}/{len(mutants)}] {outcome:<13} {mutant.path}:{mutant.line} "
                  f"{mutant.describe(texts[mutant.path])} ({time.monotonic() - t0:.0f} s)", flush=True)
            write_report(results, texts, equivalents, report_path, header())
    except KeyboardInterrupt:
        restorer.recover()  # if the interruption came while the file was being put back
        print("interrupted: the file under mutation is restored; the report holds the mutants run")
    report = write_report(results, texts, equivalents, report_path, header())
    print(report)
    return 0


if __name__ == "__main__":
    sys.exit(main())
