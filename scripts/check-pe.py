#!/usr/bin/python3
# Reads what Windows reads of a program before it runs it, from the file (Debian's python3-pefile,
# for /usr/bin/python3), and checks it:
#   check-pe.py manifest FILE    the embedded manifest's own assemblyIdentity names the image's
#                                machine (x86 for i386, amd64 for x86-64)
#   check-pe.py release FILE V   the file as it ships: a version block of version V (file and
#                                product, fixed and text) made by Halvory with a copyright, for an
#                                application (VFT_APP) on Windows NT (VOS_NT_WINDOWS32); an icon
#                                (a group and its images); no symbol table, no debugging sections
# Prints what it found; exits 1 when a check fails, 2 when the file cannot be read.
import sys
import xml.etree.ElementTree as ElementTree

import pefile

MACHINES = {0x14C: "x86", 0x8664: "amd64"}
RT_ICON = 3
RT_GROUP_ICON = 14
RT_MANIFEST = 24
VFT_APP = 0x1
VOS_NT_WINDOWS32 = 0x40004
ASM_V1 = "{urn:schemas-microsoft-com:asm.v1}"


def resources(pe, type_id):
    """The data of every resource of one type, as (name or id, bytes)."""
    found = []
    if not hasattr(pe, "DIRECTORY_ENTRY_RESOURCE"):
        return found
    for entry in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if entry.id != type_id:
            continue
        for named in entry.directory.entries:
            for language in named.directory.entries:
                data = language.data.struct
                found.append((named.id, pe.get_data(data.OffsetToData, data.Size)))
    return found


def check_manifest(pe):
    machine = MACHINES.get(pe.FILE_HEADER.Machine, hex(pe.FILE_HEADER.Machine))
    manifests = resources(pe, RT_MANIFEST)
    if len(manifests) != 1:
        print(f"  machine {machine}: {len(manifests)} manifests, not one")
        return False
    root = ElementTree.fromstring(manifests[0][1])
    identity = root.find(ASM_V1 + "assemblyIdentity")
    arch = identity.get("processorArchitecture") if identity is not None else None
    print(f"  machine {machine}, manifest processorArchitecture {arch}")
    return arch == machine


def version_strings(pe):
    """The StringFileInfo values, decoded."""
    values = {}
    for info in getattr(pe, "FileInfo", None) or []:
        for entry in info:
            for table in getattr(entry, "StringTable", []):
                for key, value in table.entries.items():
                    values[key.decode("utf-8", "replace")] = value.decode("utf-8", "replace")
    return values


def section_names(pe):
    """The sections' names, a long one ("/4") looked up in the COFF string table when there is one."""
    header = pe.FILE_HEADER
    table = header.PointerToSymbolTable + header.NumberOfSymbols * 18
    names = []
    for section in pe.sections:
        name = section.Name.rstrip(b"\0").decode("ascii", "replace")
        if name.startswith("/") and name[1:].isdigit() and header.PointerToSymbolTable:
            start = table + int(name[1:])
            name = pe.__data__[start:pe.__data__.find(b"\0", start)].decode("ascii", "replace")
        names.append(name)
    return names


def check_release(pe, version):
    failures = []
    fixed = pe.VS_FIXEDFILEINFO[0] if getattr(pe, "VS_FIXEDFILEINFO", None) else None
    if fixed is None:
        failures.append("no version block")
    else:
        numbers = (fixed.FileVersionMS >> 16, fixed.FileVersionMS & 0xFFFF, fixed.FileVersionLS >> 16)
        product = (fixed.ProductVersionMS >> 16, fixed.ProductVersionMS & 0xFFFF,
                   fixed.ProductVersionLS >> 16)
        print(f"  FileVersion {numbers}, ProductVersion {product}, FileType {fixed.FileType:#x}, "
              f"FileOS {fixed.FileOS:#x}")
        expected = tuple(int(part) for part in version.split("."))
        if numbers != expected or product != expected:
            failures.append(f"fixed versions are not {version}")
        if fixed.FileType != VFT_APP:
            failures.append("FileType is not VFT_APP")
        if fixed.FileOS != VOS_NT_WINDOWS32:
            failures.append("FileOS is not VOS_NT_WINDOWS32")
    strings = version_strings(pe)
    for key in ("CompanyName", "LegalCopyright", "FileDescription", "ProductName",
                "FileVersion", "ProductVersion", "OriginalFilename"):
        print(f"  {key}: {strings.get(key, '(none)')}")
    if strings.get("CompanyName") != "Halvory":
        failures.append("CompanyName is not Halvory")
    if "Halvory" not in strings.get("LegalCopyright", ""):
        failures.append("no LegalCopyright of Halvory")
    for key in ("FileVersion", "ProductVersion"):
        if strings.get(key) != version:
            failures.append(f"{key} is not {version}")
    groups, images = resources(pe, RT_GROUP_ICON), resources(pe, RT_ICON)
    print(f"  icon groups {len(groups)}, icon images {len(images)}")
    if not groups or not images:
        failures.append("no icon")
    debug = [name for name in section_names(pe) if name.startswith(".debug")]
    if pe.FILE_HEADER.NumberOfSymbols or debug:
        failures.append(f"not stripped: {pe.FILE_HEADER.NumberOfSymbols} symbols, sections {debug}")
    for failure in failures:
        print(f"  {failure}")
    return not failures


def main():
    if len(sys.argv) < 3 or sys.argv[1] not in CHECKS or len(sys.argv) != 3 + CHECKS[sys.argv[1]][1]:
        print("usage: check-pe.py manifest FILE | check-pe.py release FILE VERSION", file=sys.stderr)
        return 2
    try:
        pe = pefile.PE(sys.argv[2])
    except (OSError, pefile.PEFormatError) as error:
        print(f"  {sys.argv[2]}: {error}")
        return 2
    return 0 if CHECKS[sys.argv[1]][0](pe, *sys.argv[3:]) else 1


# Each check and the number of its arguments after FILE.
CHECKS = {"manifest": (check_manifest, 0), "release": (check_release, 1)}

if __name__ == "__main__":
    sys.exit(main())
