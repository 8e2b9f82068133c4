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
WIDGETS_FALLBACK = {
    "QtWidgets", "QWidget", "QDialog", "QMainWindow", "QMessageBox", "QApplication",
    "QSystemTrayIcon", "QMenu", "QLabel", "QPushButton", "QLineEdit", "QComboBox",
    "QListWidget", "QTreeWidget", "QTableWidget", "QLayout", "QBoxLayout", "QVBoxLayout",
    "QHBoxLayout", "QGridLayout", "QFormLayout", "QCheckBox", "QRadioButton", "QSpinBox",
    "QProgressBar", "QStatusBar", "QToolBar", "QMenuBar", "QSplashScreen", "QFileDialog",
    "QInputDialog", "QDialogButtonBox", "QGroupBox", "QFrame", "QTextEdit", "QPlainTextEdit",
    "QHeaderView", "QAbstractButton", "QStyle", "QToolButton", "QTabWidget", "QScrollArea",
}

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^">]+)[">]')
TARGET_SOURCES = re.compile(
    r"\b(?:qt_add_library|qt_add_executable|add_library|add_executable|target_sources)\s*\(([^)]*)\)")
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


def strongly_connected(graph):
    """Tarjan's components of more than one node, each sorted."""
    index, low, on_stack, stack, found = {}, {}, set(), [], []
    counter = [0]

    def visit(node):
        index[node] = low[node] = counter[0]
        counter[0] += 1
        stack.append(node)
        on_stack.add(node)
        for succ in sorted(graph.get(node, ())):
            if succ not in index:
                visit(succ)
                low[node] = min(low[node], low[succ])
            elif succ in on_stack:
                low[node] = min(low[node], index[succ])
        if low[node] == index[node]:
            component = []
            while True:
                member = stack.pop()
                on_stack.discard(member)
                component.append(member)
                if member == node:
                    break
            if len(component) > 1:
                found.append(sorted(component))

    sys.setrecursionlimit(10000)
    for node in sorted(graph):
        if node not in index:
            visit(node)
    return sorted(found)


def shortest_loop(graph, members):
    """The shortest way round inside one component: [a, b, ..., a]."""
    best = None
    for start in sorted(members):
        came_from, frontier, last = {start: None}, [start], None
        while last is None:
            following = []
            for node in frontier:
                for succ in sorted(graph.get(node, ())):
                    if succ == start and last is None:
                        last = node
                    elif succ in members and succ not in came_from:
                        came_from[succ] = node
                        following.append(succ)
            frontier = following
        path = []
        while last is not None:
            path.append(last)
            last = came_from[last]
        loop = path[::-1] + [start]
        if best is None or len(loop) < len(best):
            best = loop
    return best


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
            target = os.path.normpath(name)
            if not os.path.isfile(os.path.join(root, target)):
                beside = os.path.isfile(os.path.join(root, os.path.dirname(path), name))
                if beside or "/" in target:
                    breaks.append(f'{where}: root: "{name}" does not name its folder from the'
                                  " project root")
                continue  # else a file the build makes, such as a .moc
            target_layer = target.split("/")[0]
            if target_layer not in LAYERS_SEEN[layer]:
                seen = ", ".join(sorted(LAYERS_SEEN[layer]))
                breaks.append(f'{where}: layer: "{name}" points up from {layer}/ to'
                              f" {target_layer}/; {layer}/ may include only {seen}")
            if room and "ui" in target.split("/")[:-1]:
                breaks.append(f'{where}: widgets: "{name}" is a ui/ header;'
                              f" the protocol room {room}/ builds without widgets")
            # A file no CMakeLists.txt lists counts as its folder's.
            source_target = owner.get(path, os.path.dirname(path) + "/")
            target_target = owner.get(target, os.path.dirname(target) + "/")
            if source_target != target_target:
                target_edges.setdefault(source_target, set()).add(target_target)
                evidence.setdefault((source_target, target_target), where)
            source_class, target_class = os.path.splitext(path)[0], os.path.splitext(target)[0]
            if source_class != target_class:
                class_edges.setdefault(source_class, set()).add(target_class)
                evidence.setdefault((source_class, target_class), where)
    for kind, graph in (("targets", target_edges), ("classes", class_edges)):
        for component in strongly_connected(graph):
            loop = shortest_loop(graph, set(component))
            steps = " -> ".join(f"{b} ({evidence[(a, b)]})" for a, b in zip(loop, loop[1:]))
            breaks.append(f"{evidence[(loop[0], loop[1])]}: cycle: {len(component)} {kind} include"
                          f" each other, the shortest way round: {loop[0]} -> {steps}")
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
    print(f"layering: {len(breaks)} rule(s) broken" if breaks else "layering: every include keeps the rules")
    return 1 if breaks else 0


if __name__ == "__main__":
    sys.exit(main())
