"""The shape a launcher executable must have, read from its PE headers.

problems(path, arch, version) lists what is wrong with the file at path as the
launcher for arch ("i686" or "x86_64") carrying the given FILEVERSION: an empty
list means the shape is right. Checked: the machine and the optional header's
kind (PE32 for i686, PE32+ for x86_64), the GUI subsystem, imports of Windows'
own DLLs only (everything else is linked in statically), and the resources
players' Windows shows or uses: the version resource and the manifest, whose
assembly identities (the launcher's own and the Common Controls it asks for)
name the executable's own processor: Windows does not start a program whose
side-by-side dependency is of another architecture.
"""

import re

import pefile

MACHINES = {
    "i686": (pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"], pefile.OPTIONAL_HEADER_MAGIC_PE, "PE32, i386"),
    "x86_64": (pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_AMD64"], pefile.OPTIONAL_HEADER_MAGIC_PE_PLUS, "PE32+, AMD64"),
}
# The processorArchitecture a manifest may name for each build ("*": any).
MANIFEST_ARCHITECTURES = {"i686": {"x86", "*"}, "x86_64": {"amd64", "*"}}

# DLLs that every supported Windows has: the launcher may import these and no others.
WINDOWS_DLLS = {
    "advapi32.dll", "bcrypt.dll", "comctl32.dll", "comdlg32.dll", "crypt32.dll", "gdi32.dll",
    "gdiplus.dll", "iphlpapi.dll", "kernel32.dll", "msimg32.dll", "msvcrt.dll", "ntdll.dll",
    "oleacc.dll", "ole32.dll", "oleaut32.dll", "psapi.dll", "shell32.dll", "shlwapi.dll",
    "user32.dll", "uxtheme.dll", "version.dll", "winhttp.dll", "wininet.dll", "ws2_32.dll",
}

RT_VERSION = pefile.RESOURCE_TYPE["RT_VERSION"]
RT_MANIFEST = pefile.RESOURCE_TYPE["RT_MANIFEST"]


def _imported_dlls(pe):
    names = []
    for attr in ("DIRECTORY_ENTRY_IMPORT", "DIRECTORY_ENTRY_DELAY_IMPORT"):
        for entry in getattr(pe, attr, []):
            names.append(entry.dll.decode("ascii", "replace"))
    return names


def _file_version(pe):
    infos = getattr(pe, "VS_FIXEDFILEINFO", None)
    if not infos:
        return None
    info = infos[0]
    return "%d.%d.%d.%d" % (info.FileVersionMS >> 16, info.FileVersionMS & 0xFFFF,
                            info.FileVersionLS >> 16, info.FileVersionLS & 0xFFFF)


def _resource_types(pe):
    root = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    return {entry.id for entry in root.entries} if root else set()


def manifest_text(path):
    """The first manifest resource's text of the executable at path."""
    return _manifest(pefile.PE(path))


def _manifest(pe):
    for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if kind.id != RT_MANIFEST:
            continue
        for name in kind.directory.entries:
            for language in name.directory.entries:
                data = language.data.struct
                return pe.get_data(data.OffsetToData, data.Size).decode("utf-8", "replace")
    return ""


def manifest_problems(text, arch):
    """What is wrong with a manifest's text for the build arch."""
    identities = re.findall(r"<assemblyIdentity\b[^>]*>", text)
    if not identities:
        return ["the manifest names no assembly"]
    found = []
    for identity in identities:
        name = re.search(r'\bname="([^"]*)"', identity)
        processor = re.search(r'\bprocessorArchitecture="([^"]*)"', identity)
        said = processor.group(1) if processor else None
        if said not in MANIFEST_ARCHITECTURES[arch]:
            found.append("the manifest's %s asks for processorArchitecture %s, not %s" % (
                name.group(1) if name else "assembly", said, " or ".join(sorted(MANIFEST_ARCHITECTURES[arch]))))
    return found


def problems(path, arch, version):
    machine, magic, kind = MACHINES[arch]
    try:
        pe = pefile.PE(path)
    except (OSError, pefile.PEFormatError) as error:
        return ["%s: not a PE file (%s)" % (path, error)]
    found = []
    if pe.FILE_HEADER.Machine != machine or pe.OPTIONAL_HEADER.Magic != magic:
        found.append("machine 0x%04x, optional header 0x%03x: not %s" % (
            pe.FILE_HEADER.Machine, pe.OPTIONAL_HEADER.Magic, kind))
    if pe.OPTIONAL_HEADER.Subsystem != pefile.SUBSYSTEM_TYPE["IMAGE_SUBSYSTEM_WINDOWS_GUI"]:
        found.append("subsystem %d: not the Windows GUI" % pe.OPTIONAL_HEADER.Subsystem)
    foreign = [dll for dll in _imported_dlls(pe) if dll.lower() not in WINDOWS_DLLS]
    if foreign:
        found.append("imports DLLs that are not Windows' own: " + ", ".join(sorted(foreign)))
    types = _resource_types(pe)
    if RT_VERSION not in types:
        found.append("no version resource")
    elif _file_version(pe) != version:
        found.append("FILEVERSION %s, not %s" % (_file_version(pe), version))
    if RT_MANIFEST not in types:
        found.append("no manifest")
    else:
        found += manifest_problems(_manifest(pe), arch)
    return found
