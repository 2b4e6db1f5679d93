#!/usr/bin/env python3
"""Reads the built Windows package back with msitools and checks what it will do on a machine:
the tree it lays out and the descriptor each folder and file gets, the service it registers, and
how it upgrades.

  msi_tables_test.py <package.msi> <version>
"""

import os
import re
import subprocess
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.dirname(HERE))
from build_msi import read_descriptors  # noqa: E402
from msi_tables import directory_paths, read_table  # noqa: E402

MSI = VERSION = None
INSTALL_ROOT = ("ProgramFiles64Folder", "Vornakel Connect")
DATA_ROOT = ("CommonAppDataFolder", "Vornakel Connect")
PRIVATE = DATA_ROOT + ("private",)


def installation_tree(version):
    """The installation layout's folders and files with the kind of descriptor each one gets:
    private for everything in ProgramData (it passes the program's shared check of the data root
    too), shared for the program files."""
    v = INSTALL_ROOT + ("versions", version)
    folders = {INSTALL_ROOT: "shared", INSTALL_ROOT + ("versions",): "shared", v: "shared",
               v + ("runtime",): "shared", v + ("agent",): "shared",
               v + ("agent", "dist"): "shared", DATA_ROOT: "private", PRIVATE: "private",
               PRIVATE + ("state",): "private", PRIVATE + ("tmp",): "private"}
    files = {v + ("vornakel_windows_service.exe",): "shared", v + ("runtime", "node.exe"): "shared",
             v + ("runtime", "ffmpeg.exe"): "shared",
             v + ("agent", "dist", "headlessHost.js"): "shared",
             v + ("agent", "dist", "windowsServiceBootstrap.js"): "shared",
             PRIVATE + ("service.json",): "private"}
    return folders, files


def below(path, root):
    return path[: len(root)] == root


class Tables:
    """The package's tables, read once."""

    loaded = False

    @classmethod
    def load(cls):
        if cls.loaded:
            return
        cls.paths = directory_paths(MSI)
        cls.components = {row["Component"]: row for row in read_table(MSI, "Component")}
        cls.files = read_table(MSI, "File")
        cls.locks = read_table(MSI, "MsiLockPermissionsEx")
        cls.properties = {row["Property"]: row["Value"] for row in read_table(MSI, "Property")}
        cls.sequence = {row["Action"]: row for row in read_table(MSI, "InstallExecuteSequence")}
        cls.loaded = True

    def file_path(self, row):
        directory = self.components[row["Component_"]]["Directory_"]
        return self.paths[directory] + (row["FileName"].split("|")[-1],)

    def locks_of(self, table, key):
        return [lock["SDDLText"] for lock in self.locks
                if lock["Table"] == table and lock["LockObject"] == key]


class TreeAndProtection(Tables, unittest.TestCase):
    def setUp(self):
        self.load()
        self.descriptors = read_descriptors(os.path.join(HERE, "..", "security_descriptors.txt"))
        self.folders, self.tree_files = installation_tree(VERSION)

    def ours(self, path):
        return below(path, INSTALL_ROOT) or below(path, DATA_ROOT)

    def mode(self, path):
        return "private" if below(path, DATA_ROOT) else "shared"

    def test_the_tree_is_the_installation_layout(self):
        folders = {path for path in self.paths.values() if self.ours(path)}
        files = {self.file_path(row) for row in self.files}
        self.assertLessEqual(set(self.folders), folders)
        self.assertLessEqual(set(self.tree_files), files)
        # Anything more can only be agent payload below the version directory.
        payload = INSTALL_ROOT + ("versions", VERSION)
        for extra in (folders - set(self.folders)) | (files - set(self.tree_files)):
            self.assertTrue(below(extra, payload + ("runtime",)) or below(extra, payload + ("agent",)),
                            extra)
        for path in self.tree_files:
            self.assertEqual(self.mode(path), self.tree_files[path], path)
        for path in self.folders:
            self.assertEqual(self.mode(path), self.folders[path], path)

    def test_every_folder_and_file_has_exactly_its_descriptor(self):
        for key, path in self.paths.items():
            expected = [self.descriptors[f"{self.mode(path)}-folder"]] if self.ours(path) else []
            self.assertEqual(self.locks_of("CreateFolder", key), expected, path)
        for row in self.files:
            path = self.file_path(row)
            self.assertEqual(self.locks_of("File", row["File"]),
                             [self.descriptors[f"{self.mode(path)}-file"]], path)
        known = {("CreateFolder", key) for key in self.paths}
        known |= {("File", row["File"]) for row in self.files}
        known |= {("ServiceInstall", row["ServiceInstall"]) for row in read_table(MSI, "ServiceInstall")}
        for lock in self.locks:
            self.assertIn((lock["Table"], lock["LockObject"]), known)
            self.assertEqual(lock.get("Condition", ""), "", lock)

    def test_every_folder_is_taken_from_whoever_made_it_and_ProgramData_is_closed_to_users(self):
        # ProgramData lets a standard user create our folders before the first installation: the
        # descriptor must make each one the system's, inherit nothing and, in ProgramData, grant
        # nobody but LocalSystem and Administrators anything.
        for key, path in self.paths.items():
            if not self.ours(path):
                continue
            (sddl,) = self.locks_of("CreateFolder", key)
            self.assertTrue(sddl.startswith("O:SY"), path)
            self.assertIn("D:P", sddl, path)
            if below(path, DATA_ROOT):
                self.assertEqual(set(re.findall(r";([A-Z]{2}|S-[0-9-]+)\)", sddl)), {"SY", "BA"}, path)

    def test_per_machine_and_64_bit(self):
        info = subprocess.run(["msiinfo", "suminfo", MSI], check=True, capture_output=True,
                              text=True).stdout
        self.assertIn("Template: x64;", info)
        self.assertEqual(self.properties["ALLUSERS"], "1")
        codes = [row["ComponentId"] for row in self.components.values()]
        self.assertEqual(len(codes), len(set(codes)), "component codes must be unique")
        for name, row in self.components.items():
            self.assertTrue(int(row["Attributes"]) & 0x100, f"{name} is not a 64-bit component")


class Service(Tables, unittest.TestCase):
    def setUp(self):
        self.load()

    def test_service_is_registered_as_the_program_requires(self):
        (install,) = read_table(MSI, "ServiceInstall")
        self.assertEqual(install["Name"], "VornakelConnectHost")
        self.assertEqual(int(install["ServiceType"]), 0x10)  # own process
        self.assertEqual(int(install["StartType"]), 2)  # automatic
        self.assertEqual(install["StartName"], "LocalSystem")
        self.assertEqual((install["Password"], install["Arguments"]), ("", ""))
        key_file = self.components[install["Component_"]]["KeyPath"]
        (exe,) = [row for row in self.files if row["File"] == key_file]
        self.assertEqual(self.file_path(exe),
                         INSTALL_ROOT + ("versions", VERSION, "vornakel_windows_service.exe"))
        self.assertEqual(self.locks_of("ServiceInstall", install["ServiceInstall"]),
                         [read_descriptors(os.path.join(HERE, "..", "security_descriptors.txt"))["service"]])

    def test_service_is_started_on_install_stopped_and_removed_on_uninstall(self):
        (control,) = read_table(MSI, "ServiceControl")
        self.assertEqual(control["Name"], "VornakelConnectHost")
        start_install, stop_install, stop_uninstall, delete_uninstall = 0x1, 0x2, 0x20, 0x80
        self.assertEqual(int(control["Event"]),
                         start_install | stop_install | stop_uninstall | delete_uninstall)
        self.assertEqual(control["Wait"], "1")
        self.assertEqual(control["Component_"], read_table(MSI, "ServiceInstall")[0]["Component_"])
        # START_SERVICE=0 leaves it stopped; the property must pass to the elevated part.
        self.assertIn('START_SERVICE <> "0"', self.sequence["StartServices"]["Condition"])
        self.assertEqual(self.properties["START_SERVICE"], "1")
        self.assertIn("START_SERVICE", self.properties["SecureCustomProperties"].split(";"))


    def test_the_service_manager_restarts_the_service_after_any_failure(self):
        (install,) = read_table(MSI, "ServiceInstall")
        order = {action: int(row["Sequence"]) for action, row in self.sequence.items()}
        # The restart actions, set by sc.exe as LocalSystem inside the installation's transaction
        # (deferred, not impersonated, its exit code checked), once the service exists.
        (action,) = [row for row in read_table(MSI, "CustomAction")
                     if "sc.exe\" failure " in row["Target"]]
        self.assertEqual(int(action["Type"]) & 0x3F, 34)
        self.assertEqual(int(action["Type"]) & 0xCC0, 0xC00)
        command = re.fullmatch(r'"\[System64Folder\]sc\.exe" failure (\S+) reset= (\d+) actions= (\S+)',
                               action["Target"])
        self.assertIsNotNone(command, action["Target"])
        self.assertEqual(command[1], install["Name"])
        self.assertGreater(int(command[2]), 0)
        steps = command[3].split("/")
        self.assertGreaterEqual(len(steps), 2)
        self.assertEqual(steps[0::2], ["restart"] * (len(steps) // 2))
        self.assertTrue(all(0 < int(delay) <= 300000 for delay in steps[1::2]), steps)
        sc = self.sequence[action["Action"]]
        self.assertEqual(sc["Condition"], f"${install['Component_']}=3")
        self.assertLess(order["InstallServices"], int(sc["Sequence"]))
        self.assertLess(int(sc["Sequence"]), order["StartServices"])
        # Also after a stop with an error exit code (a failed installation check, a failed
        # supervisor), not only after a crash.
        (flag,) = read_table(MSI, "MsiServiceConfig")
        self.assertEqual((flag["Name"], flag["ConfigType"], flag["Argument"]),
                         (install["Name"], "4", "1"))
        self.assertEqual((flag["Event"], flag["Component_"]), ("1", install["Component_"]))
        self.assertLess(order["InstallServices"], order["MsiConfigureServices"])
        self.assertLess(order["MsiConfigureServices"], order["StartServices"])


class Upgrade(Tables, unittest.TestCase):
    def setUp(self):
        self.load()

    def test_older_versions_are_removed_first_and_newer_ones_refuse_a_downgrade(self):
        self.assertEqual(self.properties["ProductVersion"], VERSION)
        rows = read_table(MSI, "Upgrade")
        for row in rows:
            self.assertEqual(row["UpgradeCode"], self.properties["UpgradeCode"])
        older = [row for row in rows if row["VersionMax"] == VERSION and row["VersionMin"] == ""]
        newer = [row for row in rows if row["VersionMin"] == VERSION and row["VersionMax"] == ""]
        self.assertEqual(len(older), 1)
        self.assertEqual(len(newer), 1)
        self.assertFalse(int(older[0]["Attributes"]) & 0x202, "older versions must be removed")
        self.assertTrue(int(newer[0]["Attributes"]) & 0x2, "newer versions are only detected")
        conditions = [row["Condition"] for row in read_table(MSI, "LaunchCondition")]
        self.assertIn(f"NOT {newer[0]['ActionProperty']}", conditions)
        # The old product, its service and its version directory go before anything new is laid
        # out, inside the new installation's transaction: the action right after
        # InstallInitialize, so that a failed upgrade rolls back to the old version.
        order = sorted((int(row["Sequence"]), action) for action, row in self.sequence.items())
        actions = [action for _, action in order]
        self.assertEqual(actions[actions.index("InstallInitialize") + 1], "RemoveExistingProducts")


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    MSI, VERSION = sys.argv[1], sys.argv[2]
    del sys.argv[1:]
    unittest.main(verbosity=2)
