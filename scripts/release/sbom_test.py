#!/usr/bin/env python3
"""The bill of materials' rules, with the machine's package database and the programs' dynamic
sections replaced by tables."""

import os
import sys
import tempfile
import unittest
from unittest import mock

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import sbom  # noqa: E402

PACKAGES = {  # soname -> (binary package, source package, source version)
    "libx264.so.164": ("libx264-164", "x264", "2:0.164.3095+gitbaee400-3"),
    "libxcb.so.1": ("libxcb1", "libxcb", "1.15-1"),
    "libxcb-shm.so.0": ("libxcb-shm0", "libxcb", "1.15-1"),
    "libsodium.so.23": ("libsodium23", "libsodium", "1.0.18-1+deb12u1"),
    "libxdo.so.3": ("libxdo3", "xdotool", "1:3.20160805.1-5"),
}


class Document(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        root = self.folder.name
        self.cache = os.path.join(root, "cache")
        os.makedirs(os.path.join(self.cache, "mingw-prefix"))
        self.stamp("recipe 2, Debian source 1.0.18-1+deb12u1\n")
        self.release = os.path.join(root, "release")
        os.makedirs(self.release)
        for name in ("vornakel_windows_service.exe", "host.msi", "vornakel_screen_capture",
                     "vornakel_ticket_issuer"):
            with open(os.path.join(self.release, name), "wb") as out:
                out.write(name.encode())
        self.needed = {
            "vornakel_screen_capture": ["libx264.so.164", "libxcb.so.1", "libxcb-shm.so.0",
                                        "libstdc++.so.6", "libm.so.6", "libgcc_s.so.1", "libc.so.6"],
            "vornakel_ticket_issuer": ["libsodium.so.23", "libstdc++.so.6", "libc.so.6"],
        }
        patches = [
            mock.patch.object(sbom, "needed_libraries",
                              lambda elf: self.needed[os.path.basename(elf)]),
            mock.patch.object(sbom, "library_path", lambda soname, cache: soname),
            mock.patch.object(sbom, "debian_package", lambda path: PACKAGES[path]),
            mock.patch.object(sbom, "package_version", lambda package: f"{package}-version"),
            mock.patch.object(sbom, "changelog_version", lambda changelog: "0.4.7-2"),
        ]
        for patch in patches:
            patch.start()
            self.addCleanup(patch.stop)

    def tearDown(self):
        self.folder.cleanup()

    def stamp(self, text):
        with open(os.path.join(self.cache, "mingw-prefix", ".libsodium"), "w") as out:
            out.write(text)

    def document(self, commit="c0ffee", epoch=1700000000):
        path = lambda name: os.path.join(self.release, name)  # noqa: E731
        args = mock.Mock(version="0.1.0", commit=commit, epoch=epoch, release=self.release,
                         windows=path("vornakel_windows_service.exe"), msi=path("host.msi"),
                         linux=[path("vornakel_screen_capture"), path("vornakel_ticket_issuer")],
                         cache=self.cache, tools=["osslsigncode-2.9"])
        return sbom.document(args)

    def links(self, doc, file_name):
        (file_id,) = [f["SPDXID"] for f in doc["files"] if f["fileName"] == f"./{file_name}"]
        names = {p["SPDXID"]: (p["name"], p["versionInfo"], p["licenseDeclared"]) for p in doc["packages"]}
        return {(r["relationshipType"],) + names[r["relatedSpdxElement"]]
                for r in doc["relationships"]
                if r["spdxElementId"] == file_id and r["relatedSpdxElement"] in names}

    def test_each_shipped_file_names_what_it_links_with_version_and_licence(self):
        doc = self.document()
        self.assertEqual(doc["spdxVersion"], "SPDX-2.3")
        exe = self.links(doc, "vornakel_windows_service.exe")
        self.assertIn(("STATIC_LINK", "libsodium", "1.0.18-1+deb12u1", "ISC"), exe)
        self.assertIn(("STATIC_LINK", "nanopb", "0.4.7-2", "Zlib"), exe)
        self.assertIn(("STATIC_LINK", "nlohmann-json", "nlohmann-json3-dev-version", "MIT"), exe)
        self.assertEqual(len(exe), 5)  # and the MinGW-w64 and GCC runtimes
        capture = self.links(doc, "vornakel_screen_capture")
        # The C and C++ runtimes are the system's, not listed.
        self.assertEqual({(name, licence) for _, name, _, licence in capture},
                         {("libx264-164", "GPL-2.0-or-later"), ("libxcb1", "X11"),
                          ("libxcb-shm0", "X11")})
        issuer = self.links(doc, "vornakel_ticket_issuer")
        self.assertIn(("DYNAMIC_LINK", "libsodium23", "1.0.18-1+deb12u1", "ISC"), issuer)
        self.assertIn(("STATIC_LINK", "nanopb", "0.4.7-2", "Zlib"), issuer)

    def test_a_library_without_a_listed_licence_fails(self):
        self.needed["vornakel_screen_capture"].append("libxdo.so.3")
        with self.assertRaisesRegex(sbom.SbomError, "libxdo.so.3"):
            self.document()

    def test_a_libsodium_cache_that_does_not_say_what_it_built_fails(self):
        self.stamp("")
        with self.assertRaises(sbom.SbomError):
            self.document()

    def test_time_and_namespace_come_from_the_inputs(self):
        first, again, other = self.document(), self.document(), self.document(commit="beef")
        self.assertEqual(first, again)
        self.assertEqual(first["creationInfo"]["created"], "2023-11-14T22:13:20Z")
        self.assertNotEqual(first["documentNamespace"], other["documentNamespace"])


if __name__ == "__main__":
    unittest.main(verbosity=2)
