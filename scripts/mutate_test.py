#!/usr/bin/env python3
"""The mutation operators of scripts/mutate.py: what they change, what they leave alone, and that
the file under mutation always comes back."""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import mutate  # noqa: E402


def mutated(source, operator):
    return sorted(m.apply(source) for m in mutate.mutants_of("x.cc", source, (operator,)))


class MaskTest(unittest.TestCase):
    def test_only_code_is_left(self):
        source = ('#include <a.h>\n#define TWICE(x) \\\n  ((x) + (x))\nint a = 1; // b < c\n'
                  'const char* s = "d < e\\" f"; char q = \'<\'; /* g\n < h */ int k = 1\'000;\n')
        code = mutate.mask(source)
        self.assertEqual(len(code), len(source))
        self.assertEqual(code.count("\n"), source.count("\n"))
        self.assertNotIn("<", code)
        self.assertNotIn("+", code)
        self.assertIn("int a = 1;", code)
        self.assertIn("int k = 1'000;", code)


class OperatorTest(unittest.TestCase):
    CASES = [
        # (operator, source, every mutant it must make)
        ("relational", "bool f(int a) { return a < 3 && std::array<int, 2>{}.size() >= 2; }",
         ["bool f(int a) { return a <= 3 && std::array<int, 2>{}.size() >= 2; }",
          "bool f(int a) { return a < 3 && std::array<int, 2>{}.size() > 2; }"]),
        ("equality", "x = a == b; y = p->q != 0;", ["x = a != b; y = p->q != 0;",
                                                    "x = a == b; y = p->q == 0;"]),
        ("logical", "c = a && b;", ["c = a || b;"]),
        ("negate", "if (a &&\n    b) return;", ["if (!(a &&\n    b)) return;"]),
        ("drop-check", "if (a) return 1;\nif constexpr (b) g();", ["if (false) return 1;\nif constexpr (b) g();"]),
        # The initializer of an if stays; a condition that is a negation is left to drop-not.
        ("negate", "if (int n = f(); n > 0) g(); if (!h) k();", ["if (int n = f(); !(n > 0)) g(); if (!h) k();"]),
        ("drop-not", "if (!ok && x != y) f();", ["if (ok && x != y) f();"]),
        ("constant", "f(0x7F, 29u, 1, x2);", ["f(0x7F, 29u, 0, x2);", "f(0x7F, 30u, 1, x2);",
                                               "f(0x80, 29u, 1, x2);"]),
        ("return", "return true;", ["return false;"]),
        ("arithmetic", "n = a + b;", ["n = a - b;"]),
        ("loop-skip", "for (size_t i = 0; i < n; ++i) g(v.begin());",
         ["for (size_t i = 0; i < n - 1; ++i) g(v.begin());",
          "for (size_t i = 0; i < n; ++i) g(v.begin() + 1);",
          "for (size_t i = 0; i < n; i += 2) g(v.begin());"]),
        # Comments and literals are never touched.
        ("relational", '// a < b\nf("a < b");', []),
    ]

    def test_each_operator_makes_exactly_its_mutants(self):
        for operator, source, expected in self.CASES:
            with self.subTest(operator=operator, source=source):
                self.assertEqual(mutated(source, operator), sorted(expected))

    def test_lines_are_counted_from_one(self):
        lines = [m.line for m in mutate.mutants_of("x.cc", "int a;\n\nbool b = c < d;", ("relational",))]
        self.assertEqual(lines, [3])

    @unittest.skipUnless(shutil.which("g++"), "needs g++")
    def test_range_for_skips_its_first_element_and_compiles(self):
        # Both shapes of loop body; the mutants must be valid C++20 that skips exactly one element.
        program = ('#include <cstdio>\nint main() {\n  int v[] = {1, 2, 3};\n  int s = 0;\n'
                   '  for (int x : v) {\n    s += x;\n  }\n  for (int x : v) s += 10 * x;\n'
                   '  std::printf("%d", s);\n}\n')
        outputs = set()
        with tempfile.TemporaryDirectory() as tmp:
            for mutant in mutate.mutants_of("x.cc", program, ("loop-skip",)):
                source, binary = os.path.join(tmp, "m.cc"), os.path.join(tmp, "m")
                with open(source, "w") as f:
                    f.write(mutant.apply(program))
                subprocess.run(["g++", "-std=c++20", "-Wall", "-Werror", source, "-o", binary],
                               check=True)
                outputs.add(subprocess.run([binary], capture_output=True, text=True).stdout)
        self.assertEqual(outputs, {"65", "56"})  # 66 unmutated


class RestoreTest(unittest.TestCase):
    def test_file_and_time_come_back_even_after_a_crash(self):
        with tempfile.TemporaryDirectory() as root:
            path = os.path.join(root, "rule.cc")
            with open(path, "w") as f:
                f.write("original")
            os.utime(path, ns=(1_000_000_000, 1_000_000_000))
            restorer = mutate.Restorer(os.path.join(root, "work"), root)
            restorer.hold("rule.cc")
            with open(path, "w") as f:
                f.write("mutated")
            # A new run finds the original still held and puts it back.
            mutate.Restorer(os.path.join(root, "work"), root).recover()
            with open(path) as f:
                self.assertEqual(f.read(), "original")
            self.assertEqual(os.stat(path).st_mtime_ns, 1_000_000_000)
            self.assertEqual(os.listdir(os.path.join(root, "work", "pending")), [])

    def test_equivalent_survivors_leave_the_score(self):
        text = "bool f(int a) { return a < 3; }\n"
        m = mutate.mutants_of("x.cc", text, ("relational",))[0]
        killed = mutate.mutants_of("x.cc", text, ("constant",))
        with tempfile.TemporaryDirectory() as tmp:
            listing = os.path.join(tmp, "eq.txt")
            with open(listing, "w") as f:
                f.write("# comment\nx.cc | bool f(int a) { return a <= 3; } | no caller passes 3\n")
            report = mutate.write_report([(m, "survived", "")] + [(k, "killed", "") for k in killed],
                                         {"x.cc": text}, mutate.load_equivalents(listing),
                                         os.path.join(tmp, "r.txt"), "header")
        total = next(line for line in report.splitlines() if line.startswith("total"))
        self.assertEqual(total.split()[1:6], ["1", "0", "1", "0", "100.0"])
        self.assertIn("[equivalent: no caller passes 3]", report)


if __name__ == "__main__":
    unittest.main()
