#!/usr/bin/env python3
"""Checks the include rules of the product folders and prints every break.

Usage: layering.py SOURCE_ROOT

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
  cycle   two targets (read from the CMakeLists.txt source lists) or two
          classes (a header and its source) include each other, directly or
          around a loop.
Exits 1 when anything breaks a rule, 0 otherwise.
"""

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
SOURCES = (".h", ".cpp")
SYSTEM_HEADER = re.compile(
    r"^(sys|arpa|netinet|net|netpacket|linux|asm|xcb|X11|bits|gnu)/"
    r"|^(unistd|fcntl|ifaddrs|signal|poll|pwd|grp|dlfcn|netdb|termios|dirent|pthread|spawn"
    r"|syslog|utmpx?|shadow|sched|semaphore|mqueue|libgen|fnmatch|glob|wordexp|ftw"
    r"|resolv|endian|err|execinfo|elf|link|pty|paths|mntent|ucontext)\.h$")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^">]+)[">]')
TARGET_SOURCES = re.compile(
    r"\b(?:qt_add_library|qt_add_executable|add_library|add_executable|target_sources)\s*\(([^)]*)\)")


def widgets_headers():
    """The headers only Qt Widgets has (its forwarders to Qt Gui left out)."""
    for folder in sorted(glob.glob("/usr/include/*/qt6/QtWidgets")) + ["/usr/include/qt6/QtWidgets"]:
        if os.path.isdir(folder):
            names = set(os.listdir(folder))
            for sibling in glob.glob(os.path.join(os.path.dirname(folder), "Qt*")):
                if not sibling.endswith("/QtWidgets"):
                    names -= set(os.listdir(sibling))
            return names
    return {"QWidget", "QDialog", "QMainWindow", "QMessageBox", "QApplication", "QMenu"}


def protocol_room(path):
    parts = path.split("/")[:-1]
    for i, part in enumerate(parts):
        if part in PROTOCOL_ROOMS and "ui" not in parts[i + 1:]:
            return part
    return None


def walk(root, wanted):
    for layer in LAYERS_SEEN:
        for folder, dirs, names in os.walk(os.path.join(root, layer)):
            dirs.sort()
            yield from (os.path.join(folder, name) for name in sorted(names) if wanted(name))


def targets_of_files(root):
    """The target each source file of a CMakeLists.txt source list belongs to."""
    owner = {}
    for lists in walk(root, lambda name: name == "CMakeLists.txt"):
        with open(lists, encoding="utf-8") as text:
            calls = TARGET_SOURCES.finditer(re.sub(r"#[^\n]*", "", text.read()))
        for words in (call.group(1).split() for call in calls):
            for word in (w for w in words[1:] if w.endswith(SOURCES)):
                owner[os.path.relpath(os.path.join(os.path.dirname(lists), word), root)] = words[0]
    return owner


def shortest_loops(graph):
    """One shortest way round [a, b, ..., a] for each group of nodes that lead to each other."""
    def came_from(start):  # breadth first: each node reached, with the node before it
        before, frontier = {}, [start]
        while frontier:
            following = []
            for node in frontier:
                for succ in sorted(graph.get(node, ())):
                    if succ not in before:
                        before[succ] = node
                        following.append(succ)
            frontier = following
        return before

    reach = {node: came_from(node) for node in sorted(graph)}
    grouped, found = set(), []
    for node in (n for n in sorted(graph) if n not in grouped and n in reach[n]):
        group = sorted(other for other in reach[node] if node in reach.get(other, {}))
        grouped.update(group)
        ways = []
        for start in group:
            way, step = [start], reach[start][start]
            while step != start:
                way.append(step)
                step = reach[start][step]
            ways.append([start] + way[::-1])
        found.append((group, min(ways, key=len)))
    return found


def check(root):
    widgets, owner, breaks = widgets_headers(), targets_of_files(root), []
    target_edges, class_edges, evidence = {}, {}, {}
    for path in (os.path.relpath(p, root) for p in walk(root, lambda n: n.endswith(SOURCES))):
        layer, room = path.split("/")[0], protocol_room(path)
        with open(os.path.join(root, path), encoding="utf-8", errors="replace") as source:
            lines = source.readlines()
        for number, match in ((n, INCLUDE.match(line)) for n, line in enumerate(lines, 1)):
            if not match:
                continue
            name, where = match.group(2).strip(), f"{path}:{number}"
            if match.group(1) == "<":
                if layer != "platform" and SYSTEM_HEADER.search(name):
                    breaks.append(f"{where}: system: <{name}> is an operating-system header;"
                                  " only platform/ calls the system")
                if room and (name.startswith("QtWidgets/") or name in widgets):
                    breaks.append(f"{where}: widgets: <{name}> is a Qt Widgets header;"
                                  f" the protocol room {room}/ builds without widgets")
                continue
            included = os.path.normpath(name)
            if not os.path.isfile(os.path.join(root, included)):
                if "/" in included or os.path.isfile(os.path.join(root, os.path.dirname(path), name)):
                    breaks.append(f'{where}: root: "{name}" does not name its folder from the project root')
                continue  # else a file the build makes, such as a .moc
            included_layer = included.split("/")[0]
            if included_layer not in LAYERS_SEEN[layer]:
                breaks.append(f'{where}: layer: "{name}" points up from {layer}/ to {included_layer}/;'
                              f" {layer}/ may include only {', '.join(sorted(LAYERS_SEEN[layer]))}")
            if room and "ui" in included.split("/")[:-1]:
                breaks.append(f'{where}: widgets: "{name}" is a ui/ header;'
                              f" the protocol room {room}/ builds without widgets")
            # A file no CMakeLists.txt lists counts as its folder's.
            for edges, a, b in ((target_edges, owner.get(path, os.path.dirname(path) + "/"),
                                 owner.get(included, os.path.dirname(included) + "/")),
                                (class_edges, os.path.splitext(path)[0], os.path.splitext(included)[0])):
                if a != b:
                    edges.setdefault(a, set()).add(b)
                    evidence.setdefault((a, b), where)
    for kind, graph in (("targets", target_edges), ("classes", class_edges)):
        for group, way in shortest_loops(graph):
            steps = " -> ".join(f"{b} ({evidence[(a, b)]})" for a, b in zip(way, way[1:]))
            breaks.append(f"{evidence[(way[0], way[1])]}: cycle: {len(group)} {kind} include each other,"
                          f" the shortest way round: {way[0]} -> {steps}")
    return breaks


def main():
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else ".")
    if not all(os.path.isdir(os.path.join(root, layer)) for layer in ("common", "console")):
        print(f"layering: {root} is not a source root")
        return 2
    breaks = check(root)
    print("\n".join(breaks + [f"layering: {len(breaks)} rule(s) broken" if breaks
                              else "layering: every include keeps the rules"]))
    return 1 if breaks else 0


if __name__ == "__main__":
    sys.exit(main())
