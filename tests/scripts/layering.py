#!/usr/bin/env python3
"""Checks the include rules of the product folders and prints every break.

Usage: layering.py SOURCE_ROOT [--widgets-dir DIR]

Rules, one message each:
  layer   an include points up the layers: a file may include its own layer
          and the ones below it (common <- platform <- fileserver <- console).
          tools/ sees common, platform and itself: a stand-in that shared the
          console's or the server's code would agree with their faults.
  widgets a protocol room (ftp/ tftp/ sockets/ icmp/ dialup/ equipment/ help/
          folder/, not their ui/ sub-rooms) includes a Qt Widgets header or a
          header of a ui/ room.
  system  code outside platform/ includes an operating-system header.
  root    a quoted include does not name its folder from the project root.
  cycle   two targets (libraries and programs, read from the CMakeLists.txt
          source lists) or two classes (a header and its source) include each
          other, directly or around a loop.
Exits 1 when anything breaks a rule, 0 otherwise.
"""

import argparse
import glob
import os
import re
import sys

LAYERS_SEEN = {
    "common": {"common"},
    "platform": {"common", "platform"},
    "fileserver": {"common", "platform", "fileserver"},
    "console": {"common", "platform", "fileserver", "console"},
    "tools": {"common", "platform", "tools"},
}
PROTOCOL_ROOMS = {"ftp", "tftp", "sockets", "icmp", "dialup", "equipment", "help", "folder"}
SOURCE_SUFFIXES = (".h", ".hpp", ".cpp", ".cc")

# Operating-system headers: only platform/ may call the system.
SYSTEM_HEADER = re.compile(
    r"^(sys|arpa|netinet|net|netpacket|linux|asm|xcb|X11|bits|gnu)/"
    r"|^(unistd|fcntl|ifaddrs|signal|poll|pwd|grp|dlfcn|netdb|termios|dirent|pthread|spawn"
    r"|syslog|utmp|utmpx|shadow|sched|semaphore|mqueue|libgen|fnmatch|glob|wordexp|ftw"
    r"|resolv|endian|err|execinfo|elf|link|pty|paths|mntent|ucontext)\.h$")

# Used when no Qt 6 Widgets include folder is installed.
WIDGETS_FALLBACK = {"QtWidgets", "QWidget", "QDialog", "QMainWindow", "QMessageBox", "QApplication",
                    "QSystemTrayIcon", "QMenu", "QLabel", "QPushButton", "QLineEdit"}

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^">]+)[">]')
TARGET_SOURCES = re.compile(
    r"\b(?:qt_add_library|qt_add_executable|add_library|add_executable|target_sources)"
    r"\s*\(([^)]*)\)")
CMAKE_KEYWORDS = {"STATIC", "SHARED", "MODULE", "OBJECT", "INTERFACE", "PUBLIC", "PRIVATE",
                  "WIN32", "MACOSX_BUNDLE", "EXCLUDE_FROM_ALL", "MANUAL_FINALIZATION"}


def widgets_headers(widgets_dir):
    """Names of the headers only Qt Widgets has (its forwarders to Qt Gui left out)."""
    candidates = [widgets_dir] if widgets_dir else []
    candidates += ["/usr/include/x86_64-linux-gnu/qt6/QtWidgets"]
    candidates += sorted(glob.glob("/usr/include/*/qt6/QtWidgets")) + ["/usr/include/qt6/QtWidgets"]
    for folder in candidates:
        if folder and os.path.isdir(folder):
            names = set(os.listdir(folder))
            for sibling in glob.glob(os.path.join(os.path.dirname(folder), "Qt*")):
                if os.path.basename(sibling) != "QtWidgets" and os.path.isdir(sibling):
                    names -= set(os.listdir(sibling))
            return names, folder
    return WIDGETS_FALLBACK, None


def is_widgets_header(name, widgets):
    if name.startswith("QtWidgets/"):
        return True
    return name in widgets


def protocol_room(path):
    """The protocol room a file lives in, or None (ui/ sub-rooms are not protocol rooms)."""
    parts = path.split("/")[:-1]
    for i, part in enumerate(parts):
        if part in PROTOCOL_ROOMS and "ui" not in parts[i + 1:]:
            return part
    return None


def product_files(root):
    files = []
    for layer in LAYERS_SEEN:
        for folder, dirs, names in os.walk(os.path.join(root, layer)):
            dirs.sort()
            for name in sorted(names):
                if name.endswith(SOURCE_SUFFIXES):
                    files.append(os.path.relpath(os.path.join(folder, name), root))
    return files


def targets_of_files(root):
    """Which target each listed source file belongs to, from the CMakeLists.txt files."""
    owner = {}
    for layer in LAYERS_SEEN:
        for folder, dirs, names in os.walk(os.path.join(root, layer)):
            if "CMakeLists.txt" not in names:
                continue
            with open(os.path.join(folder, "CMakeLists.txt"), encoding="utf-8") as lists:
                text = re.sub(r"#[^\n]*", "", lists.read())
            for call in TARGET_SOURCES.finditer(text):
                words = call.group(1).split()
                for word in words[1:]:
                    if word not in CMAKE_KEYWORDS and word.endswith(SOURCE_SUFFIXES):
                        path = os.path.relpath(os.path.join(folder, word), root)
                        owner[os.path.normpath(path)] = words[0]
    return owner


def reachable(graph, start):
    """Each node that start leads to in one or more steps, with the node before it on a
    shortest way there."""
    came_from, frontier = {}, [start]
    while frontier:
        following = []
        for node in frontier:
            for succ in sorted(graph.get(node, ())):
                if succ not in came_from:
                    came_from[succ] = node
                    following.append(succ)
        frontier = following
    return came_from


def loops(graph):
    """Each group of nodes that lead to each other, with its shortest way round [a, b, ..., a]."""
    reach = {node: reachable(graph, node) for node in sorted(graph)}
    grouped, found = set(), []
    for node in sorted(graph):
        if node in grouped or node not in reach[node]:
            continue
        group = sorted(other for other in reach[node] if node in reach.get(other, {}))
        grouped.update(group)
        shortest = None
        for start in group:
            way, step = [start], reach[start][start]
            while step != start:
                way.append(step)
                step = reach[start][step]
            way = [start] + way[::-1]
            if shortest is None or len(way) < len(shortest):
                shortest = way
        found.append((group, shortest))
    return found


def check(root, widgets):
    breaks = []
    owner = targets_of_files(root)
    target_edges, class_edges, evidence = {}, {}, {}
    for path in product_files(root):
        layer = path.split("/")[0]
        room = protocol_room(path)
        with open(os.path.join(root, path), encoding="utf-8", errors="replace") as source:
            lines = source.readlines()
        for number, line in enumerate(lines, 1):
            match = INCLUDE.match(line)
            if not match:
                continue
            quoted, name = match.group(1) == '"', match.group(2).strip()
            where = f"{path}:{number}"
            if not quoted:
                if layer != "platform" and SYSTEM_HEADER.search(name):
                    breaks.append(f"{where}: system: <{name}> is an operating-system header;"
                                  " only platform/ calls the system")
                if room and is_widgets_header(name, widgets):
                    breaks.append(f"{where}: widgets: <{name}> is a Qt Widgets header;"
                                  f" the protocol room {room}/ builds without widgets")
                continue
            included = os.path.normpath(name)
            if not os.path.isfile(os.path.join(root, included)):
                beside = os.path.isfile(os.path.join(root, os.path.dirname(path), name))
                if beside or "/" in included:
                    breaks.append(f'{where}: root: "{name}" does not name its folder from the'
                                  " project root")
                continue  # else a file the build makes, such as a .moc
            included_layer = included.split("/")[0]
            if included_layer not in LAYERS_SEEN[layer]:
                seen = ", ".join(sorted(LAYERS_SEEN[layer]))
                breaks.append(f'{where}: layer: "{name}" points up from {layer}/ to'
                              f" {included_layer}/; {layer}/ may include only {seen}")
            if room and "ui" in included.split("/")[:-1]:
                breaks.append(f'{where}: widgets: "{name}" is a ui/ header;'
                              f" the protocol room {room}/ builds without widgets")
            # A file no CMakeLists.txt lists counts as its folder's.
            for edges, a, b in (
                    (target_edges, owner.get(path, os.path.dirname(path) + "/"),
                     owner.get(included, os.path.dirname(included) + "/")),
                    (class_edges, os.path.splitext(path)[0], os.path.splitext(included)[0])):
                if a != b:
                    edges.setdefault(a, set()).add(b)
                    evidence.setdefault((a, b), where)
    for kind, graph in (("targets", target_edges), ("classes", class_edges)):
        for group, way in loops(graph):
            steps = " -> ".join(f"{b} ({evidence[(a, b)]})" for a, b in zip(way, way[1:]))
            breaks.append(f"{evidence[(way[0], way[1])]}: cycle: {len(group)} {kind} include"
                          f" each other, the shortest way round: {way[0]} -> {steps}")
    return breaks


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("root", help="the source root (the folder holding common/ platform/ ...)")
    parser.add_argument("--widgets-dir", help="Qt 6's QtWidgets include folder")
    args = parser.parse_args()
    root = os.path.abspath(args.root)
    missing = [layer for layer in ("common", "platform", "fileserver", "console")
               if not os.path.isdir(os.path.join(root, layer))]
    if missing:
        print(f"layering: {root} is not a source root (no {', '.join(missing)})")
        return 2
    widgets, folder = widgets_headers(args.widgets_dir)
    print(f"layering: {len(product_files(root))} files under {root}; Widgets headers from"
          f" {folder or 'the built-in list'} ({len(widgets)} names)")
    breaks = check(root, widgets)
    for line in breaks:
        print(line)
    print(f"layering: {len(breaks)} rule(s) broken" if breaks
          else "layering: every include keeps the rules")
    return 1 if breaks else 0


if __name__ == "__main__":
    sys.exit(main())
