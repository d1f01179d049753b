#!/usr/bin/env python3
"""check-imports.py [--refuses NAME,...] OBJDUMP TABLE ARCH PROGRAM.exe...

Passes when every function that each program imports is in TABLE (see
win32-imports.txt) as present in the first Windows 95 and in Windows NT 4.0,
and comes from one of the system DLLs that Windows always takes from the
system folder (PROTECTED_DLLS); any other DLL, COMCTL32 and the C runtime
DLLs included, the loader may take from the program's own folder.
The Windows loader refuses a program when one imported name is missing from
its DLL, and Wine exports every name whatever version it reports, so this is
checked on the files themselves. ARCH is i386 (the shipped programs) or
x86-64 (the build for 64-bit test hosts, which also may import the 64-bit
names the table marks x64). Prints each program's imports grouped by DLL.
With --refuses, passes only when the functions refused are exactly the ones
named: the check of the check, on a program built to import them.
"""
import os
import re
import subprocess
import sys

WINDOWS_95 = {"95", "95-stub"}
# Known system DLLs: the loader takes them from the system folder whatever
# lies beside the program. Anything else is loaded at run time by full path.
PROTECTED_DLLS = {"KERNEL32.DLL", "USER32.DLL", "GDI32.DLL", "ADVAPI32.DLL", "SHELL32.DLL", "OLE32.DLL",
                  "COMDLG32.DLL"}
NT_4 = {"3.1", "3.5", "3.51", "4.0"}
# The C runtime DLLs of every compiler generation: the first Windows 95 has
# none of them, and the programs bring their own start-up and routines.
C_RUNTIME_DLL = re.compile(
    r"^((MSVCRT|MSVCR\d+|MSVCP\d*|MSVCIRT|CRTDLL|VCRUNTIME\d+|UCRTBASE)(D|_\w+)?\.DLL|API-MS-WIN-CRT-.*)$")


def read_table(path):
    """{(DLL, function): (windows95, nt)}; DLL names upper case with .DLL."""
    table = {}
    with open(path, encoding="ascii") as lines:
        for number, line in enumerate(lines, 1):
            line = line.split("#", 1)[0].strip()
            if not line:
                continue
            fields = line.split()
            if len(fields) != 4:
                sys.exit(f"{path}:{number}: expected DLL, function, Windows 95 and NT columns")
            dll, function, windows95, nt = fields
            key = (dll_name(dll), function)
            if key in table:
                sys.exit(f"{path}:{number}: {dll} {function} is listed twice")
            table[key] = (windows95, nt)
    return table


def dll_name(name):
    name = name.upper()
    return name if "." in name else name + ".DLL"


def read_imports(objdump, program):
    """[(DLL, function)] from the import tables that objdump -p prints."""
    # objdump speaks the locale's language; its English words are read here.
    dump = subprocess.run([objdump, "-p", program], check=True, capture_output=True,
                          text=True, env=dict(os.environ, LC_ALL="C")).stdout
    imports = []
    dll = None
    for line in dump.splitlines():
        named = re.match(r"\s*DLL Name: (\S+)", line)
        if named:
            dll = dll_name(named.group(1))
            continue
        if not line.strip():
            dll = None
            continue
        # "<vma> <hint> <name>" by name, "<vma> <ordinal> <none>" by ordinal
        entry = re.match(r"\s+[0-9a-f]+\s+(\d+)\s+(\S+)\s*$", line)
        if dll and entry:
            name = entry.group(2)
            imports.append((dll, name if name != "<none>" else "#" + entry.group(1)))
    return imports


def refusal(table, arch, dll, function):
    """Why the program would not load on Windows 95 or NT 4.0, or None."""
    if C_RUNTIME_DLL.match(dll):
        return "a C runtime DLL, which the first Windows 95 lacks"
    if dll not in PROTECTED_DLLS:
        return "not a protected system DLL: a copy beside the program would be loaded (load it by full path)"
    versions = table.get((dll, function))
    if versions is None:
        return "not in the table: look up its first Windows 95 and NT releases"
    windows95, nt = versions
    if windows95 == "x64" and nt == "x64":
        return None if arch == "x86-64" else "exists only in 64-bit Windows"
    problems = []
    if windows95 not in WINDOWS_95:
        problems.append(f"not in the first Windows 95 (table: {windows95})")
    if nt not in NT_4:
        problems.append(f"not in NT 4.0 (table: {nt})")
    return ", ".join(problems) if problems else None


def main():
    args = sys.argv[1:]
    expected = None
    if args[:1] == ["--refuses"] and len(args) > 1:
        expected = set(args[1].split(","))
        args = args[2:]
    if len(args) < 4:
        sys.exit(__doc__)
    objdump, table_path, arch = args[:3]
    if arch not in ("i386", "x86-64"):
        sys.exit(f"unknown architecture {arch}")
    table = read_table(table_path)
    failed = False
    refused = set()
    for program in args[3:]:
        imports = read_imports(objdump, program)
        if not imports:
            print(f"{program}: no imports found")
            failed = True
            continue
        by_dll = {}
        for dll, function in imports:
            by_dll.setdefault(dll, []).append(function)
        print(f"{program}: {len(imports)} imports")
        for dll in sorted(by_dll):
            print(f"  {dll}: {' '.join(sorted(by_dll[dll]))}")
        for dll, function in imports:
            reason = refusal(table, arch, dll, function)
            if reason:
                print(f"{program}: {dll} {function}: {reason}")
                refused.add(function)
                failed = True
    if expected is not None:
        if refused == expected:
            print(f"refused exactly: {' '.join(sorted(expected))}")
            return 0
        print(f"expected to refuse exactly: {' '.join(sorted(expected))}")
        return 1
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
