#!/usr/bin/env python3
"""Writes the release's bill of materials: an SPDX 2.3 JSON document naming every third-party
component compiled or linked into a shipped file, with the version it was built from and its
licence.

  sbom.py --version 0.1.0 --commit <sha> --epoch <seconds> --release dist/release \\
      --windows <signed exe> --msi <msi> --linux <elf>... --cache .cache --tools <line>...

Static components (the Windows program carries them inside): libsodium as the MinGW build really
used it (the cache stamp names the source version), nanopb from the unpacked source package,
nlohmann/json, the MinGW-w64 runtime and the GCC runtime. Dynamic ones: every library the Linux
programs name in their dynamic section, beyond the C and C++ runtimes, with the version of the
Debian package that holds it. A library without a known licence fails the build, so a new
dependency cannot ship unlisted.
"""

import argparse
import hashlib
import json
import os
import re
import subprocess
import sys
import time
import uuid

NAMESPACE = uuid.UUID("5B0E7A3C-7E0F-4C59-9A0B-3D1C9E51F4A2")
# The C and C++ runtimes and the dynamic loader: part of the system the programs run on.
SYSTEM_RUNTIMES = re.compile(r"(libc|libm|libdl|librt|libpthread|libstdc\+\+|libgcc_s|ld-linux-x86-64)\.so")
# Licences of Debian source packages whose libraries the Linux programs may link.
LICENCES = {
    "x264": "GPL-2.0-or-later",
    "libxcb": "X11",
    "libsodium": "ISC",
}


class SbomError(Exception):
    pass


def run(command):
    return subprocess.run(command, check=True, capture_output=True, text=True).stdout


def needed_libraries(elf):
    """The DT_NEEDED names of an ELF file."""
    return re.findall(r"\(NEEDED\)\s+Shared library: \[([^\]]+)\]", run(["readelf", "-d", elf]))


def library_path(soname, cache):
    if soname not in cache:
        lines = run(["ldconfig", "-p"]).splitlines()
        for line in lines:
            match = re.match(r"\s*(\S+) \(libc6,x86-64[^)]*\) => (\S+)", line)
            if match:
                cache.setdefault(match[1], match[2])
    if soname not in cache:
        raise SbomError(f"{soname} is not known to the dynamic loader")
    return cache[soname]


def debian_package(path):
    """(binary package, source package, source version) of the package that installed `path`."""
    real = os.path.realpath(path)
    for candidate in (path, real, real.replace("/usr/lib/", "/lib/", 1)):
        result = subprocess.run(["dpkg-query", "-S", candidate], capture_output=True, text=True)
        if result.returncode == 0:
            package = result.stdout.split(":")[0].strip()
            break
    else:
        raise SbomError(f"{path} belongs to no Debian package")
    fields = run(["dpkg-query", "-W", "-f=${source:Package}\t${source:Version}", package])
    source, version = fields.split("\t")
    return package, source, version


def package_version(package):
    return run(["dpkg-query", "-W", "-f=${Version}", package])


def changelog_version(changelog):
    return run(["dpkg-parsechangelog", "-l", changelog, "-S", "Version"]).strip()


def libsodium_mingw_version(cache):
    stamp = os.path.join(cache, "mingw-prefix", ".libsodium")
    with open(stamp, encoding="utf-8") as text:
        match = re.fullmatch(r"recipe \d+, Debian source (\S+)\n?", text.read())
    if not match:
        raise SbomError(f"{stamp} does not name the libsodium source version it built")
    return match[1]


def spdx_id(text):
    return "SPDXRef-" + re.sub(r"[^A-Za-z0-9.-]", "-", text)


def component(name, source, version, licence, comment):
    return {
        "SPDXID": spdx_id(f"Package-{name}"),
        "name": name,
        "versionInfo": version,
        "supplier": "Organization: Debian",
        "downloadLocation": f"https://snapshot.debian.org/package/{source}/{version.split(':')[-1]}/",
        "filesAnalyzed": False,
        "licenseConcluded": licence,
        "licenseDeclared": licence,
        "copyrightText": "NOASSERTION",
        "comment": comment,
        "externalRefs": [{
            "referenceCategory": "PACKAGE-MANAGER",
            "referenceType": "purl",
            "referenceLocator": f"pkg:deb/debian/{source}@{version}?arch=source",
        }],
    }


def file_entry(path, release):
    with open(path, "rb") as data:
        content = data.read()
    name = os.path.relpath(path, release)
    return {
        "SPDXID": spdx_id(f"File-{name}"),
        "fileName": f"./{name}",
        "checksums": [
            {"algorithm": "SHA1", "checksumValue": hashlib.sha1(content).hexdigest()},
            {"algorithm": "SHA256", "checksumValue": hashlib.sha256(content).hexdigest()},
        ],
        "licenseConcluded": "NOASSERTION",
        "copyrightText": "NOASSERTION",
    }


def document(args):
    packages, files, relationships = {}, [], []
    product = {
        "SPDXID": "SPDXRef-Package-vornakel-connect-host",
        "name": "Vornakel Connect Host",
        "versionInfo": args.version,
        "downloadLocation": "NOASSERTION",
        "filesAnalyzed": False,
        "licenseConcluded": "NOASSERTION",
        "licenseDeclared": "NOASSERTION",
        "copyrightText": "NOASSERTION",
        "comment": f"Built from commit {args.commit}.",
    }
    relationships.append(("SPDXRef-DOCUMENT", "DESCRIBES", product["SPDXID"]))

    def ship(path):
        entry = file_entry(path, args.release)
        files.append(entry)
        relationships.append((product["SPDXID"], "CONTAINS", entry["SPDXID"]))
        return entry["SPDXID"]

    def link(shipped, kind, key, make):
        if key not in packages:
            packages[key] = make()
        relationships.append((shipped, kind, packages[key]["SPDXID"]))

    nanopb = changelog_version(os.path.join(args.cache, "src", "nanopb", "debian", "changelog"))
    json_version = package_version("nlohmann-json3-dev")

    def source_components(shipped):
        link(shipped, "STATIC_LINK", "nanopb", lambda: component(
            "nanopb", "nanopb", nanopb, "Zlib", "Protocol Buffers runtime, compiled from Debian's source package"))
        link(shipped, "STATIC_LINK", "nlohmann-json", lambda: component(
            "nlohmann-json", "nlohmann-json3", json_version, "MIT", "JSON library (header-only)"))

    exe = ship(args.windows)
    msi = ship(args.msi)
    relationships.append((msi, "CONTAINS", exe))
    source_components(exe)
    sodium = libsodium_mingw_version(args.cache)
    link(exe, "STATIC_LINK", "libsodium-mingw", lambda: component(
        "libsodium", "libsodium", sodium, "ISC", "Built for MinGW-w64 from Debian's source package"))
    mingw = package_version("mingw-w64-x86-64-dev")
    link(exe, "STATIC_LINK", "mingw-w64", lambda: component(
        "mingw-w64-runtime", "mingw-w64", mingw, "ZPL-2.1 AND MIT AND BSD-3-Clause",
        "MinGW-w64 C runtime start-up code and winpthreads, linked statically"))
    gcc = package_version("g++-mingw-w64-x86-64-posix")
    link(exe, "STATIC_LINK", "gcc-runtime", lambda: component(
        "gcc-runtime-mingw-w64", "gcc-mingw-w64", gcc, "GPL-3.0-or-later WITH GCC-exception-3.1",
        "libstdc++ and libgcc, linked statically"))

    paths = {}
    for elf in args.linux:
        shipped = ship(elf)
        if os.path.basename(elf) == "vornakel_ticket_issuer":
            source_components(shipped)
        for soname in needed_libraries(elf):
            if SYSTEM_RUNTIMES.match(soname):
                continue
            binary, source, version = debian_package(library_path(soname, paths))
            if source not in LICENCES:
                raise SbomError(f"{os.path.basename(elf)} links {soname} ({source}), whose licence is not listed")
            link(shipped, "DYNAMIC_LINK", binary, lambda b=binary, s=source, v=version, n=soname: component(
                b, s, v, LICENCES[s], f"{n}, from Debian's package {b}"))

    created = time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(args.epoch))
    name = f"vornakel-connect-host-{args.version}"
    return {
        "spdxVersion": "SPDX-2.3",
        "dataLicense": "CC0-1.0",
        "SPDXID": "SPDXRef-DOCUMENT",
        "name": name,
        "documentNamespace": f"https://spdx.org/spdxdocs/{name}-{uuid.uuid5(NAMESPACE, args.commit)}",
        "creationInfo": {"created": created, "creators": ["Tool: scripts/release/sbom.py"]
                         + [f"Tool: {tool}" for tool in args.tools]},
        "packages": [product] + sorted(packages.values(), key=lambda p: p["SPDXID"]),
        "files": files,
        "relationships": [{"spdxElementId": a, "relationshipType": kind, "relatedSpdxElement": b}
                          for a, kind, b in relationships],
    }


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--version", required=True)
    parser.add_argument("--commit", required=True)
    parser.add_argument("--epoch", type=int, required=True)
    parser.add_argument("--release", required=True)
    parser.add_argument("--windows", required=True)
    parser.add_argument("--msi", required=True)
    parser.add_argument("--linux", nargs="+", required=True)
    parser.add_argument("--cache", required=True)
    parser.add_argument("--tools", nargs="*", default=[])
    parser.add_argument("--out", required=True)
    args = parser.parse_args()
    try:
        text = json.dumps(document(args), indent=2, sort_keys=False) + "\n"
    except (SbomError, OSError, subprocess.CalledProcessError) as error:
        print(f"sbom: {error}", file=sys.stderr)
        return 1
    with open(args.out, "w", encoding="utf-8") as out:
        out.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
