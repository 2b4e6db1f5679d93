"""Reading an MSI's tables with msitools' msiinfo, for the package build and its tests."""

import subprocess


def table_names(msi):
    out = subprocess.run(["msiinfo", "tables", msi], check=True, capture_output=True, text=True)
    return set(out.stdout.split())


def read_table(msi, table):
    """The rows of one table as dicts from column name to text; no rows when the table is absent."""
    if table not in table_names(msi):
        return []
    out = subprocess.run(
        ["msiinfo", "export", msi, table], check=True, capture_output=True, text=True
    )
    lines = out.stdout.replace("\r\n", "\n").split("\n")
    columns = lines[0].split("\t")
    # The second and third lines are the column types and the table's keys.
    return [dict(zip(columns, line.split("\t"))) for line in lines[3:] if line]


def long_name(default_dir):
    """The target name of a Directory row's DefaultDir ("short|long[:source]")."""
    target = default_dir.split(":")[0]
    return target.split("|")[-1]


def directory_paths(msi):
    """Each Directory key mapped to its path as a tuple of names from the root folder property
    down, for example ("ProgramFiles64Folder", "Vornakel Connect", "versions")."""
    rows = {row["Directory"]: row for row in read_table(msi, "Directory")}
    paths = {}

    def path_of(key):
        if key not in paths:
            row = rows[key]
            parent = row["Directory_Parent"]
            if not parent or parent == key:
                paths[key] = ()
            elif not rows[parent]["Directory_Parent"]:
                # A child of TARGETDIR is a system folder named by its key (ProgramFiles64Folder).
                paths[key] = (key,)
            else:
                name = long_name(row["DefaultDir"])
                paths[key] = path_of(parent) + (() if name == "." else (name,))
        return paths[key]

    for key in rows:
        path_of(key)
    return paths
