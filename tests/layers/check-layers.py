#!/usr/bin/env python3
"""The layers the build enforces.

1. The link graph (cmake --graphviz of a fresh configuration with tests and benchmarks) has no
   edge between our targets other than the allowed ones below.
2. The library's internals (package_objects) are linked only by targets defined in package/ and
   its subfolders: its white-box tests, fuzz targets and benchmarks, and libPackage.so.
3. A layer's own compile command accepts an include of a layer it may use and rejects an include
   of a layer above it, so a wrong include fails the build rather than working by accident.

Usage: check-layers.py SOURCE_DIR BUILD_DIR (BUILD_DIR holds compile_commands.json).
"""
import json
import re
import shlex
import subprocess
import sys
import tempfile
from pathlib import Path

# target -> the targets of ours it may link (lowest layer first).
ALLOWED = {
    "veltrane_base": set(),
    "package_codecs": {"veltrane_base"},
    "package_objects": {"package_codecs", "veltrane_base"},
    "Package": {"package_objects", "package_codecs", "veltrane_base"},
    "veltrane_platform": set(),
    "veltrane_rendering": {"veltrane_platform", "veltrane_base"},
    "veltrane_imaging": {"veltrane_platform"},
    "veltrane_windows": {"veltrane_rendering", "veltrane_platform"},
    "veltrane_archive": {"veltrane_platform", "veltrane_base"},
    "veltrane_app": {"veltrane_windows", "veltrane_rendering", "veltrane_imaging", "veltrane_archive",
                     "veltrane_platform"},
    "veltrane_gui": {"veltrane_app"},
    "veltrane": {"veltrane_gui"},
    "tarrow": {"Package", "veltrane_base"},
    "veltrane_preview": {"veltrane_app", "veltrane_archive", "veltrane_rendering", "veltrane_imaging",
                         "veltrane_platform", "veltrane_base", "Package"},
    "veltrane-preview": {"veltrane_preview"},
    "veltrane-demo-skins": {"veltrane_rendering", "veltrane_platform"},
    "veltrane-screenshot": {"veltrane_gui"},
}

# The library's internal target.
INTERNAL = "package_objects"

# (a source file of the layer, an include it may use, an include of a layer above it)
PROBES = [
    ("viewer/platform/Dib.cpp", "platform/Blit.h", "rendering/WinAMPGraphics.h"),
    ("viewer/rendering/WinAMPGraphics.cpp", "platform/Dib.h", "app/Commands.h"),
    ("viewer/rendering/WinAMPGraphics.cpp", "base/Utf8.h", "archive/UnZIP.h"),
    ("viewer/imaging/cJpeg.cpp", "platform/Dib.h", "rendering/WinAMPGraphics.h"),
    ("viewer/windows/HitMap.cpp", "rendering/WinAMPGraphics.h", "app/Commands.h"),
    ("viewer/archive/UnZIP.cpp", "platform/FileHandling.h", "app/Commands.h"),
    ("viewer/archive/UnZIP.cpp", "base/PackageCodes.h", "rendering/WinAMPGraphics.h"),
    ("viewer/app/Commands.cpp", "archive/UnZIP.h", "gui/Browser.h"),
    ("package/codecs/inflate.cpp", "huffman.h", "Operation.h"),
    ("package/Catalogue.cpp", "inflate.h", "platform/Dib.h"),
    ("tools/tarrow/main.cpp", "base/Printable.h", "Operation.h"),
    ("viewer/archive/UnZIP.cpp", "tarrow.h", "Operation.h"),
    ("viewer/app/Commands.cpp", "archive/UnZIP.h", "inflate.h"),
    ("tests/hostile/HostileSkins.cpp", "ZipWriter.h", "inflate.h"),
    ("fuzz/archive.cpp", "tarrow.h", "Operation.h"),
    ("tools/preview/InMemorySkin.cpp", "tarrow_archive.h", "Operation.h"),
    ("tests/tools/PreviewInMemoryTest.cpp", "ZipWriter.h", "inflate.h"),
]


def configure(source: Path):
    """The link edges between targets, and the folder (relative to source) each target is defined in."""
    with tempfile.TemporaryDirectory() as work:
        dot = Path(work) / "deps.dot"
        query = Path(work) / ".cmake" / "api" / "v1" / "query" / "codemodel-v2"
        query.parent.mkdir(parents=True)
        query.touch()
        subprocess.run(["cmake", "-S", str(source), "-B", work, "-G", "Ninja", "-DVELTRANE_TESTS=ON",
                        "-DVELTRANE_BENCH=ON", f"--graphviz={dot}"], check=True, stdout=subprocess.DEVNULL)
        text = dot.read_text()
        reply = Path(work) / ".cmake" / "api" / "v1" / "reply"
        index = json.loads(max(reply.glob("index-*.json")).read_text())
        model = json.loads((reply / index["reply"]["codemodel-v2"]["jsonFile"]).read_text())
    config = model["configurations"][0]
    folders = {t["name"]: config["directories"][t["directoryIndex"]]["source"] for t in config["targets"]}
    names = dict(re.findall(r'"(node\d+)" \[ label = "([^"]+)"', text))
    edges = {(names[a], names[b]) for a, b in re.findall(r'"(node\d+)" -> "(node\d+)"', text)}
    return edges, folders


def inside_package(folder: str) -> bool:
    return folder == "package" or folder.startswith("package/")


def compiles(command: list, source: Path, include: str) -> bool:
    with tempfile.TemporaryDirectory() as work:
        probe = Path(work) / "probe.cpp"
        probe.write_text(f'#include "{include}"\n')
        args = [a for a in command if a != str(source)]
        out = args.index("-o")
        args[out:out + 2] = []
        args += ["-fsyntax-only", str(probe)]
        return subprocess.run(args, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0


def main() -> int:
    source, build = Path(sys.argv[1]).resolve(), Path(sys.argv[2]).resolve()
    failures = []
    edges, folders = configure(source)
    for a, b in sorted(edges):
        if a in ALLOWED and b in ALLOWED and b not in ALLOWED[a]:
            failures.append(f"link edge not allowed: {a} -> {b}")
        if b == INTERNAL and not inside_package(folders.get(a, "")):
            failures.append(f"{a} ({folders.get(a, '?')}) links the library's internals {INTERNAL}")
    if not any(b == INTERNAL and inside_package(folders.get(a, "")) for a, b in edges):
        failures.append(f"no target of package/ links {INTERNAL}: the check above checks nothing")
    commands = {}
    for entry in json.loads((build / "compile_commands.json").read_text()):
        commands[str(Path(entry["directory"], entry["file"]).resolve())] = entry
    for file, allowed, above in PROBES:
        path = (source / file).resolve()
        entry = commands.get(str(path))
        if entry is None:
            failures.append(f"no compile command for {file}")
            continue
        command = entry["arguments"] if "arguments" in entry else shlex.split(entry["command"])
        if not compiles(command, path, allowed):
            failures.append(f"{file}: its layer cannot include {allowed}")
        if compiles(command, path, above):
            failures.append(f"{file}: its layer can include {above}, a layer above it")
    for failure in failures:
        print(failure)
    print(f"layers: {len(PROBES)} include probes, {'failed' if failures else 'passed'}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
