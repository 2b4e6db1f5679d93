#!/usr/bin/env python3
"""Builds the Windows package of Vornakel Connect Host with wixl and msitools.

  build_msi.py --version 0.1.0 --service-exe dist/windows/vornakel_windows_service.exe \\
      --payload DIR --out dist/windows/VornakelConnectHost-0.1.0.msi

--payload is the folder of what goes into the version directory besides the service program: at
least runtime/node.exe, runtime/ffmpeg.exe, agent/dist/headlessHost.js and
agent/dist/windowsServiceBootstrap.js. Every file and folder in it is packaged.

Steps: write private/service.json for the version; describe the payload as a WiX fragment; compile
VornakelConnectHost.wxs and the fragment with wixl; then give every folder and file of ours and
the service a row in MsiLockPermissionsEx (wixl cannot write that table) with the descriptor that
security_descriptors.txt names for it: private at or below the data root, shared below the
install root. Last, the service's recovery: the service control manager restarts it after it
stops with an error.
"""

import argparse
import hashlib
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import uuid
from xml.sax.saxutils import quoteattr

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from msi_tables import directory_paths, read_table  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
# Component and product codes are derived from this, so the same version always gets the same
# codes and every new version new ones.
CODE_NAMESPACE = uuid.UUID("ABC30B51-0CF7-4F28-9D0D-8AF7A62D9279")
DESCRIPTOR_NAMES = ("shared-folder", "shared-file", "private-folder", "private-file", "service")
REQUIRED_PAYLOAD = (
    "runtime/node.exe",
    "runtime/ffmpeg.exe",
    "agent/dist/headlessHost.js",
    "agent/dist/windowsServiceBootstrap.js",
)
SERVICE_EXE_NAME = "vornakel_windows_service.exe"
INVALID_NAME = re.compile(r'[<>:"/\\|?*\x00-\x1f]|[. ]$')
RESERVED_NAME = re.compile(r"(CON|PRN|AUX|NUL|COM[0-9]|LPT[0-9])(\..*)?$", re.IGNORECASE)


class BuildError(Exception):
    pass


def read_descriptors(path):
    """The descriptors of security_descriptors.txt by name: "<name> <SDDL>" lines, # comments.
    Every entry of a descriptor must have its reason ("# <entry> <reason>") in the comment block
    right above it, so that no grant ships without someone having said why it is needed."""
    descriptors = {}
    reasons = {}
    with open(path, encoding="ascii") as lines:
        for number, line in enumerate(lines, 1):
            text = line.strip()
            if not text:
                reasons = {}
                continue
            if text.startswith("#"):
                entry, _, reason = text[1:].strip().partition(" ")
                if entry.startswith("(") and reason.strip():
                    reasons[entry] = reason
                continue
            name, _, sddl = text.partition(" ")
            sddl = sddl.strip()
            if not sddl or " " in sddl or name in descriptors:
                raise BuildError(f"{path}:{number}: expected one '<name> <SDDL>' per name")
            for entry in re.findall(r"\([^()]*\)", sddl):
                if entry not in reasons:
                    raise BuildError(f"{path}:{number}: {name} grants {entry} without a reason")
            descriptors[name] = sddl
            reasons = {}
    if sorted(descriptors) != sorted(DESCRIPTOR_NAMES):
        raise BuildError(f"{path}: expected exactly the descriptors {', '.join(DESCRIPTOR_NAMES)}")
    return descriptors


def check_version(version):
    """The version must be both a product version (255.255.65535 at most) and a version text the
    program accepts (three parts of digits). Leading zeros are refused: Windows Installer reads
    "1.02.3" as 1.2.3, but the product code and the version directory come from the text, so one
    version would get two product codes and two directories."""
    match = re.fullmatch(r"(0|[1-9]\d{0,2})\.(0|[1-9]\d{0,2})\.(0|[1-9]\d{0,4})", version)
    if not match or int(match[1]) > 255 or int(match[2]) > 255 or int(match[3]) > 65535:
        raise BuildError(
            f"package version {version!r} is not of the form a.b.c (255.255.65535, no leading zeros)"
        )


def payload_tree(payload):
    """The payload's folders and files as relative paths with "/", sorted. Links and special files
    are refused (the program refuses links, and a package should never carry one), and so are
    names Windows cannot hold or that would clash when case is ignored."""
    folders, files = [], []
    for top, dirs, names in os.walk(payload):
        dirs.sort()
        relative_top = os.path.relpath(top, payload)
        seen = set()
        for name in sorted(dirs) + sorted(names):
            full = os.path.join(top, name)
            relative = os.path.normpath(os.path.join(relative_top, name)).replace(os.sep, "/")
            if os.path.islink(full):
                raise BuildError(f"payload: {relative} is a link")
            if INVALID_NAME.search(name) or RESERVED_NAME.fullmatch(name):
                raise BuildError(f"payload: {relative} is not a valid Windows name")
            if name.lower() in seen:
                raise BuildError(f"payload: {relative} clashes with another name in its folder")
            seen.add(name.lower())
            if name in dirs:
                folders.append(relative)
            elif os.path.isfile(full):
                files.append(relative)
            else:
                raise BuildError(f"payload: {relative} is not a regular file")
    for required in REQUIRED_PAYLOAD:
        if required not in files:
            raise BuildError(f"payload: {required} is missing")
    if any(path.lower() == SERVICE_EXE_NAME for path in files + folders):
        raise BuildError(f"payload: {SERVICE_EXE_NAME} is the package's own service program")
    return sorted(folders), sorted(files)


def key(kind, relative):
    return f"{kind}_{hashlib.sha1(relative.encode()).hexdigest()[:24]}"


def component_code(version, relative):
    return str(uuid.uuid5(CODE_NAMESPACE, f"{version}/{relative}")).upper()


def payload_fragment(version, folders, files):
    """The WiX fragment of the payload below VERSIONDIR: one component per folder (its CreateFolder
    row is what lets the folder be protected) and one per file."""
    children = {"": []}
    for folder in folders:
        children[folder] = []
        children[os.path.dirname(folder)].append(("folder", folder))
    for file in files:
        children[os.path.dirname(file)].append(("file", file))

    lines, components = [], []

    def emit(parent, depth):
        pad = "  " * depth
        for what, relative in children[parent]:
            name = quoteattr(os.path.basename(relative))
            if what == "folder":
                component = key("AgentFolderC", relative)
                components.append(component)
                lines.append(f'{pad}<Directory Id="{key("AgentFolder", relative)}" Name={name}>')
                lines.append(
                    f'{pad}  <Component Id="{component}" '
                    f'Guid="{component_code(version, relative + "/")}" Win64="yes">'
                    "<CreateFolder/></Component>"
                )
                emit(relative, depth + 1)
                lines.append(f"{pad}</Directory>")
            else:
                component = key("AgentFileC", relative)
                components.append(component)
                source = quoteattr("payload/" + relative)
                lines.append(
                    f'{pad}<Component Id="{component}" '
                    f'Guid="{component_code(version, relative)}" Win64="yes">'
                    f'<File Id="{key("AgentFile", relative)}" Name={name} Source={source} '
                    'KeyPath="yes"/></Component>'
                )

    emit("", 3)
    refs = "\n".join(f'      <ComponentRef Id="{c}"/>' for c in components)
    return (
        '<?xml version="1.0" encoding="utf-8"?>\n'
        '<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">\n'
        "  <Fragment>\n"
        '    <DirectoryRef Id="VERSIONDIR">\n'
        + "\n".join(lines)
        + "\n    </DirectoryRef>\n"
        '    <ComponentGroup Id="AgentPayload">\n'
        + refs
        + "\n    </ComponentGroup>\n  </Fragment>\n</Wix>\n"
    )


def is_within(path, root):
    return path[: len(root)] == root


def lock_rows(msi, descriptors):
    """One MsiLockPermissionsEx row for every folder and file below the two roots and for every
    service; a folder without a CreateFolder row cannot be protected and fails the build.
    Everything in ProgramData gets a private descriptor: nobody but the service and administrators
    has any business there, not even reading the data root."""
    paths = directory_paths(msi)
    roots = (paths["INSTALLROOT"], paths["DATAROOT"])
    private = paths["DATAROOT"]
    ours = {k for k, path in paths.items() if any(is_within(path, root) for root in roots)}
    created = {row["Directory_"] for row in read_table(msi, "CreateFolder")}
    if ours - created:
        raise BuildError(f"folders without a CreateFolder row: {', '.join(sorted(ours - created))}")
    if created - ours:
        raise BuildError(f"CreateFolder rows outside the two roots: {', '.join(created - ours)}")

    def mode(directory):
        return "private" if is_within(paths[directory], private) else "shared"

    rows = [(f"Lock_{d}", d, "CreateFolder", descriptors[f"{mode(d)}-folder"]) for d in sorted(ours)]
    component_dir = {row["Component"]: row["Directory_"] for row in read_table(msi, "Component")}
    for row in read_table(msi, "File"):
        directory = component_dir[row["Component_"]]
        if directory not in ours:
            raise BuildError(f"file {row['File']} lies outside the two roots")
        rows.append((f"Lock_{row['File']}", row["File"], "File", descriptors[f"{mode(directory)}-file"]))
    for row in read_table(msi, "ServiceInstall"):
        service = row["ServiceInstall"]
        rows.append((f"Lock_{service}", service, "ServiceInstall", descriptors["service"]))
    return rows


def add_lock_permissions(msi, rows, work):
    idt = os.path.join(work, "MsiLockPermissionsEx.idt")
    with open(idt, "w", encoding="ascii", newline="\r\n") as out:
        out.write("MsiLockPermissionsEx\tLockObject\tTable\tSDDLText\tCondition\n")
        out.write("s72\ts72\ts32\ts0\tS255\n")
        out.write("MsiLockPermissionsEx\tMsiLockPermissionsEx\n")
        for row in rows:
            out.write("\t".join(row) + "\t\n")
    subprocess.run(["msibuild", msi, "-i", idt], check=True)


def make_start_service_secure(msi):
    """START_SERVICE must reach the installation's elevated part from the command line."""
    secure = [row["Value"] for row in read_table(msi, "Property")
              if row["Property"] == "SecureCustomProperties"]
    value = ";".join(filter(None, secure + ["START_SERVICE"]))
    query = "DELETE FROM `Property` WHERE `Property` = 'SecureCustomProperties'"
    insert = f"INSERT INTO `Property` (`Property`, `Value`) VALUES ('SecureCustomProperties', '{value}')"
    subprocess.run(["msibuild", msi, "-q", query, "-q", insert], check=True)


# The service's recovery. After the service stops with an error (its installation check failed,
# the supervisor failed) or its process dies, the service control manager restarts it after 5,
# 30 and then every 60 seconds; a day without a failure resets the count. Without it a transient
# failure would leave the computer without its agent until the next boot.
FAILURE_RESET_SECONDS = 86400
FAILURE_RESTART_DELAYS_MS = (5000, 30000, 60000)
# Microsoft's documentation says the MsiServiceConfigFailureActions table does not work and
# recommends sc.exe from a custom action instead: deferred (in the script), not impersonated (it
# runs as LocalSystem, which may configure the service), exit code checked, working folder the
# version directory.
SERVICE_FAILURE_ACTION = "ConfigureServiceFailureActions"
CUSTOM_ACTION_EXE_IN_DIRECTORY = 34
CUSTOM_ACTION_IN_SCRIPT = 0x400
CUSTOM_ACTION_NO_IMPERSONATE = 0x800
# SERVICE_CONFIG_FAILURE_ACTIONS_FLAG: the actions also follow a stop reported with a non-zero
# exit code, not only a crash. sc.exe could set it too, but Wine's cannot, and MsiServiceConfig
# (unlike the failure actions table) is not among the tables Microsoft warns about.
SERVICE_CONFIG_FAILURE_ACTIONS_FLAG = 4
SERVICE_CONFIG_EVENT_INSTALL = 1


def failure_command(service):
    actions = "/".join(f"restart/{delay}" for delay in FAILURE_RESTART_DELAYS_MS)
    return f'"[System64Folder]sc.exe" failure {service} reset= {FAILURE_RESET_SECONDS} actions= {actions}'


def import_table(msi, work, name, columns, types, rows):
    """Adds a table wixl cannot write; a table of that name must not exist yet."""
    if read_table(msi, name):
        raise BuildError(f"the {name} table already exists")
    idt = os.path.join(work, f"{name}.idt")
    with open(idt, "w", encoding="ascii", newline="\r\n") as out:
        out.write("\t".join(columns) + "\n" + "\t".join(types) + "\n" + f"{name}\t{columns[0]}\n")
        for row in rows:
            out.write("\t".join(str(value) for value in row) + "\n")
    subprocess.run(["msibuild", msi, "-i", idt], check=True)


def add_service_recovery(msi, work):
    (install,) = read_table(msi, "ServiceInstall")
    service, component = install["Name"], install["Component_"]
    sequence = {row["Action"]: int(row["Sequence"]) for row in read_table(msi, "InstallExecuteSequence")}
    installed, started = sequence["InstallServices"], sequence["StartServices"]
    configure, failure = installed + 10, installed + 20
    if any(installed < number < started for number in sequence.values()) or failure >= started:
        raise BuildError("no room between InstallServices and StartServices for the recovery")
    kind = CUSTOM_ACTION_EXE_IN_DIRECTORY | CUSTOM_ACTION_IN_SCRIPT | CUSTOM_ACTION_NO_IMPERSONATE
    import_table(msi, work, "CustomAction", ("Action", "Type", "Source", "Target"),
                 ("s72", "i2", "S72", "S255"),
                 [(SERVICE_FAILURE_ACTION, kind, "VERSIONDIR", failure_command(service))])
    import_table(msi, work, "MsiServiceConfig",
                 ("MsiServiceConfig", "Name", "Event", "ConfigType", "Argument", "Component_"),
                 ("s72", "s255", "i2", "i4", "S255", "s72"),
                 [("ServiceFailureActionsOnNonCrashFailures", service, SERVICE_CONFIG_EVENT_INSTALL,
                   SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, "1", component)])
    # Only when the service is being installed: not on uninstall, where it is deleted.
    insert = "INSERT INTO `InstallExecuteSequence` (`Action`, `Condition`, `Sequence`) VALUES"
    subprocess.run(["msibuild", msi,
                    "-q", f"{insert} ('MsiConfigureServices', '', {configure})",
                    "-q", f"{insert} ('{SERVICE_FAILURE_ACTION}', '${component}=3', {failure})"],
                   check=True)


def stage(args, folders, files, work, epoch):
    """Copies every input of the cabinet into `work` (wixl takes only relative sources, found from
    the folder it runs in). A cabinet entry carries its file's modification time, so with a fixed
    `epoch` every staged file gets it, whatever the checkout or build did to the originals."""
    os.makedirs(os.path.join(work, "payload"))
    for folder in folders:
        os.makedirs(os.path.join(work, "payload", folder))
    for file in files:
        shutil.copyfile(os.path.join(args.payload, file), os.path.join(work, "payload", file))
    shutil.copyfile(args.service_exe, os.path.join(work, SERVICE_EXE_NAME))
    with open(os.path.join(work, "service.json"), "w", encoding="ascii", newline="") as out:
        out.write(f'{{"schemaVersion":1,"version":"{args.version}"}}')
    inputs = [SERVICE_EXE_NAME, "service.json"] + [f"payload/{file}" for file in files]
    if epoch is not None:
        for relative in inputs:
            os.utime(os.path.join(work, relative), (epoch, epoch))
    return inputs


def package_code(args, work, inputs):
    """The package code names one exact package: derived from everything that goes into it, so
    the same inputs always give the same code and any change a new one."""
    digest = hashlib.sha256(args.version.encode())
    for path in [args.wxs, args.descriptors, os.path.abspath(__file__)]:
        with open(path, "rb") as source:
            digest.update(source.read())
    for relative in inputs:
        digest.update(relative.encode() + b"\0")
        with open(os.path.join(work, relative), "rb") as source:
            digest.update(hashlib.sha256(source.read()).digest())
    return "{" + str(uuid.uuid5(CODE_NAMESPACE, "package/" + digest.hexdigest())).upper() + "}"


def set_package_code(msi, code):
    """wixl draws a new random package code for every build and ignores Package@Id; msibuild -s
    sets it (with the subject and author, which are kept) and leaves the summary times alone."""
    info = subprocess.run(["msiinfo", "suminfo", msi], check=True, capture_output=True,
                          text=True).stdout
    fields = dict(line.split(": ", 1) for line in info.splitlines() if ": " in line)
    subprocess.run(["msibuild", msi, "-s", fields.get("Subject", ""), fields.get("Author", ""),
                    fields["Template"], code], check=True)


def source_date_epoch():
    text = os.environ.get("SOURCE_DATE_EPOCH")
    if text is None:
        return None
    if not text.isdigit():
        raise BuildError(f"SOURCE_DATE_EPOCH is not a count of seconds: {text!r}")
    return int(text)


def build(args):
    check_version(args.version)
    descriptors = read_descriptors(args.descriptors)
    folders, files = payload_tree(args.payload)
    epoch = source_date_epoch()
    out_dir = os.path.dirname(os.path.abspath(args.out))
    os.makedirs(out_dir, exist_ok=True)
    with tempfile.TemporaryDirectory(prefix="msi-") as work:
        inputs = stage(args, folders, files, work, epoch)
        with open(os.path.join(work, "payload.wxs"), "w", encoding="utf-8") as out:
            out.write(payload_fragment(args.version, folders, files))
        msi = os.path.join(work, "package.msi")
        product_code = str(uuid.uuid5(CODE_NAMESPACE, "product/" + args.version)).upper()
        wixl = [
            "wixl", "-a", "x64",
            "-D", f"Version={args.version}",
            "-D", f"ProductCode={product_code}",
            "-D", f"ServiceExe={SERVICE_EXE_NAME}",
            "-D", "ServiceJson=service.json",
            "-o", msi, os.path.abspath(args.wxs), "payload.wxs",
        ]
        environment = dict(os.environ)
        if epoch is not None:
            # wixl writes the wall clock into the summary times and ignores SOURCE_DATE_EPOCH; a
            # frozen clock (a date without "@", which would keep it running) fixes them.
            frozen = time.strftime("%Y-%m-%d %H:%M:%S", time.gmtime(epoch))
            wixl = ["faketime", "-f", frozen] + wixl
            environment["TZ"] = "UTC"
        subprocess.run(wixl, check=True, cwd=work, env=environment)
        set_package_code(msi, package_code(args, work, inputs))
        add_lock_permissions(msi, lock_rows(msi, descriptors), work)
        make_start_service_secure(msi)
        add_service_recovery(msi, work)
        staged = os.path.join(out_dir, f".{os.path.basename(args.out)}.part")
        shutil.copyfile(msi, staged)
        os.replace(staged, args.out)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--version", required=True)
    parser.add_argument("--service-exe", required=True)
    parser.add_argument("--payload", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--wxs", default=os.path.join(HERE, "VornakelConnectHost.wxs"))
    parser.add_argument("--descriptors", default=os.path.join(HERE, "security_descriptors.txt"))
    args = parser.parse_args()
    if not os.path.isfile(args.service_exe):
        parser.error(f"{args.service_exe} does not exist")
    try:
        build(args)
    except (BuildError, subprocess.CalledProcessError, OSError) as error:
        print(f"build_msi: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
