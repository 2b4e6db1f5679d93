#!/usr/bin/env python3
"""What the package build refuses before it runs wixl: versions the program or Windows Installer
would not take, and agent payloads it must not ship."""

import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from build_msi import (  # noqa: E402
    REQUIRED_PAYLOAD,
    BuildError,
    check_version,
    payload_tree,
    read_descriptors,
)

DESCRIPTORS = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))),
                           "security_descriptors.txt")


class Version(unittest.TestCase):
    def test_only_three_part_versions_within_the_product_version_limits(self):
        for good in ("0.1.0", "255.255.65535", "10.0.100"):
            check_version(good)
        # Leading zeros: Windows Installer reads "1.02.3" as 1.2.3, the product code does not.
        for bad in ("1.4", "1.4.12.0", "1.0.0-development", "256.0.0", "0.256.0", "0.0.65536",
                    "1.x.0", "../1.0.0", " 1.0.0", "1.04.7", "01.2.3", "1.2.03", "0.00.1"):
            with self.subTest(bad), self.assertRaises(BuildError):
                check_version(bad)


class Descriptors(unittest.TestCase):
    def test_every_grant_needs_its_reason_right_above_it(self):
        read_descriptors(DESCRIPTORS)
        with open(DESCRIPTORS, encoding="ascii") as text:
            lines = text.read().splitlines()
        reason = next(i for i, line in enumerate(lines) if line.startswith("# (A;;0x1200a9;;;BU)"))
        removed = lines[:reason] + lines[reason + 1:]
        moved = lines[:reason] + lines[reason + 1:reason + 2] + [""] + [lines[reason]] + lines[reason + 2:]
        for what, edited in {"no reason": removed, "reason of another block": moved}.items():
            with self.subTest(what), tempfile.TemporaryDirectory() as folder:
                path = os.path.join(folder, "descriptors.txt")
                with open(path, "w", encoding="ascii") as out:
                    out.write("\n".join(edited) + "\n")
                with self.assertRaisesRegex(BuildError, r"shared-file grants \(A;;0x1200a9;;;BU\)"):
                    read_descriptors(path)


class Payload(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.root = self.folder.name
        for path in REQUIRED_PAYLOAD:
            self.add(path)

    def tearDown(self):
        self.folder.cleanup()

    def add(self, relative, text="x"):
        path = os.path.join(self.root, relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w") as out:
            out.write(text)
        return path

    def test_every_folder_and_file_is_packaged(self):
        self.add("agent/dist/lib/extra.js")
        folders, files = payload_tree(self.root)
        self.assertEqual(folders, ["agent", "agent/dist", "agent/dist/lib", "runtime"])
        self.assertEqual(sorted(files), sorted(list(REQUIRED_PAYLOAD) + ["agent/dist/lib/extra.js"]))

    def test_refusals(self):
        def missing_file():
            os.remove(os.path.join(self.root, "runtime/ffmpeg.exe"))

        def file_link():
            os.symlink("/etc/passwd", os.path.join(self.root, "agent/dist/passwd"))

        def folder_link():
            os.symlink("/tmp", os.path.join(self.root, "agent/cache"))

        cases = {
            "missing required file": missing_file,
            "link to a file": file_link,
            "link to a folder": folder_link,
            "name Windows cannot hold": lambda: self.add("agent/dist/a:b.js"),
            "reserved device name": lambda: self.add("agent/CON.txt"),
            "trailing dot": lambda: self.add("agent/name."),
            "names that clash without case": lambda: self.add("agent/dist/HeadlessHost.js"),
            "the service program's own name": lambda: self.add("Vornakel_Windows_Service.exe"),
        }
        for what, make in cases.items():
            with self.subTest(what):
                self.tearDown()
                self.setUp()
                make()
                with self.assertRaises(BuildError):
                    payload_tree(self.root)


if __name__ == "__main__":
    unittest.main(verbosity=2)
