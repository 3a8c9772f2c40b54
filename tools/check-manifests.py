#!/usr/bin/env python3
"""Reads the application manifest (resource type 24, id 1) out of built .exe
files and checks its DPI awareness, supported systems and execution level.

    tools/check-manifests.py build-win/VarnokPlus_Configurator.exe=requireAdministrator \\
                             build-win/VarnokCfg.exe=asInvoker

Exit status 0 when every program's manifest is as expected; otherwise each
fault is printed.
"""
import struct
import sys
import xml.etree.ElementTree as ET

ASM_V1 = "urn:schemas-microsoft-com:asm.v1"
ASM_V3 = "urn:schemas-microsoft-com:asm.v3"
COMPAT = "urn:schemas-microsoft-com:compatibility.v1"
WS_2005 = "http://schemas.microsoft.com/SMI/2005/WindowsSettings"
WS_2016 = "http://schemas.microsoft.com/SMI/2016/WindowsSettings"
SUPPORTED_OS = {
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}": "Windows Vista",
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}": "Windows 7",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}": "Windows 8",
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}": "Windows 8.1",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}": "Windows 10 and 11",
}
RT_MANIFEST = 24


def manifest_of(path):
    """The bytes of resource 24/1 (any language), or raises ValueError."""
    data = open(path, "rb").read()
    if data[:2] != b"MZ":
        raise ValueError("not a PE file")
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise ValueError("no PE signature")
    sections, opt_size = struct.unpack_from("<H12xH", data, pe + 6)
    opt = pe + 24
    magic = struct.unpack_from("<H", data, opt)[0]
    dirs = opt + (112 if magic == 0x20B else 96)
    rsrc_rva, rsrc_size = struct.unpack_from("<II", data, dirs + 2 * 8)
    if rsrc_rva == 0:
        raise ValueError("no resources")
    table = opt + opt_size
    for i in range(sections):
        _, vsize, vaddr, rawsize, rawptr = struct.unpack_from("<8sIIII", data, table + 40 * i)
        if vaddr <= rsrc_rva < vaddr + max(vsize, rawsize):
            base = rawptr + (rsrc_rva - vaddr)
            to_file = lambda rva: rawptr + (rva - vaddr)  # noqa: E731
            break
    else:
        raise ValueError("resource section not found")

    def entries(offset):
        named, ids = struct.unpack_from("<12xHH", data, base + offset)
        for k in range(named + ids):
            name, target = struct.unpack_from("<II", data, base + offset + 16 + 8 * k)
            yield name, target

    def find(offset, wanted):
        for name, target in entries(offset):
            if not name & 0x80000000 and name == wanted:
                return target
        return None

    types = find(0, RT_MANIFEST)
    if types is None or not types & 0x80000000:
        raise ValueError("no manifest resource")
    ident = find(types & 0x7FFFFFFF, 1)
    if ident is None or not ident & 0x80000000:
        raise ValueError("no manifest resource with id 1")
    langs = list(entries(ident & 0x7FFFFFFF))
    if not langs or langs[0][1] & 0x80000000:
        raise ValueError("manifest resource has no data")
    rva, size = struct.unpack_from("<II", data, base + langs[0][1])
    start = to_file(rva)
    return data[start:start + size]


def check(path, level):
    faults = []
    try:
        root = ET.fromstring(manifest_of(path))
    except (ValueError, OSError, struct.error, ET.ParseError) as e:
        return [f"{path}: cannot read the manifest: {e}"]
    if root.tag != f"{{{ASM_V1}}}assembly":
        faults.append(f"root element is {root.tag}")

    levels = [e.get("level") for e in root.iter(f"{{{ASM_V3}}}requestedExecutionLevel")]
    if levels != [level]:
        faults.append(f"execution level {levels}, expected [{level!r}]")

    ids = {e.get("Id", "").lower() for e in root.iter(f"{{{COMPAT}}}supportedOS")}
    for guid, name in SUPPORTED_OS.items():
        if guid not in ids:
            faults.append(f"no supportedOS entry for {name}")
    for extra in ids - set(SUPPORTED_OS):
        faults.append(f"unknown supportedOS {extra}")

    settings = [ws for app in root.findall(f"{{{ASM_V3}}}application")
                for ws in app.findall(f"{{{ASM_V3}}}windowsSettings")]
    aware = [(e.text or "").strip() for ws in settings for e in ws.findall(f"{{{WS_2005}}}dpiAware")]
    awareness = [(e.text or "").strip() for ws in settings
                 for e in ws.findall(f"{{{WS_2016}}}dpiAwareness")]
    if aware != ["true/pm"]:
        faults.append(f"dpiAware {aware}, expected ['true/pm']")
    if [[p.strip() for p in a.split(",")] for a in awareness] != [["PerMonitorV2", "PerMonitor"]]:
        faults.append(f"dpiAwareness {awareness}, expected ['PerMonitorV2, PerMonitor']")

    # The classic look: no Common-Controls v6 dependency.
    for ident in root.iter(f"{{{ASM_V1}}}assemblyIdentity"):
        if ident.get("name") == "Microsoft.Windows.Common-Controls":
            faults.append("depends on Common-Controls (visual styles)")
    return [f"{path}: {f}" for f in faults]


def main(argv):
    if len(argv) < 2 or any("=" not in a for a in argv[1:]):
        print(__doc__.strip(), file=sys.stderr)
        return 2
    faults = []
    for arg in argv[1:]:
        path, level = arg.rsplit("=", 1)
        faults += check(path, level)
    for f in faults:
        print(f)
    if not faults:
        print(f"manifests ok: {', '.join(a.rsplit('=', 1)[0] for a in argv[1:])}")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
