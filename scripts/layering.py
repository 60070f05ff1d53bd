#!/usr/bin/env python3
"""Checks the layers of the source tree, and prints its include graph.

    scripts/layering.py [ROOT]           check; exit 1 and say why when a rule is broken
    scripts/layering.py --graph [ROOT]   print each module and the modules it includes

A module is a header and its source file taken together (core/bmp/layout.h and .cpp).
The Win32 program lies under win/, the portable core under core/.
The rules:
  - core/ is portable: no platform header, and nothing included from outside core/.
  - The program's modules include only modules of their own layer or the layers below:
    start-up > main window > commands > dialogs > child windows > state and services > core.
  - No include cycle between any two modules of the tree, front ends, tools and tests included.
"""
import os
import re
import sys

# The program's layers, from the bottom up. Every module of the program has one.
LAYERS = {
    "state and services": [
        "win/app/owners", "win/app/seams", "win/app/settings", "win/app/shell",
        "win/document/animation_codec", "win/document/codecs", "win/document/document",
        "win/document/file_io", "win/document/frames", "win/document/transparency",
        "win/document/view",
        "win/palette/user_palette",
        "win/res/resource",
    ],
    "child windows": ["win/document/status_bar", "win/palette/palette_grid",
                      "win/reduce/conversion_window"],
    "dialogs": ["win/app/options_dialog", "win/palette/palette_dialog",
                "win/reduce/quality_dialog", "win/reduce/tile_dialog"],
    "commands": [
        "win/document/clipboard", "win/document/file_commands", "win/reduce/compact_command", "win/reduce/conversion_run",
        "win/reduce/diffusion_command", "win/reduce/exact_command", "win/reduce/tile_command",
    ],
    "main window": ["win/document/main_window"],
    "start-up": ["win/app/app", "win/app/winmain"],
}
PROGRAM_FOLDERS = ("win/",)
SOURCE_FOLDERS = ("core/", "cli/", "bench/", "fuzz/", "tests/", "tools/") + PROGRAM_FOLDERS
PLATFORM_HEADERS = re.compile(r"^(windows|winuser|wingdi|winbase|commdlg|commctrl|shellapi|"
                              r"shlobj|objbase|unistd|fcntl|io|direct|sys/.*)\.h$", re.I)
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.M)


def rank_of(module):
    if module.startswith("core/"):
        return 0
    for rank, (_, modules) in enumerate(LAYERS.items(), start=1):
        if module in modules:
            return rank
    return None


def layer_name(rank):
    return "core" if rank == 0 else list(LAYERS)[rank - 1]


def source_files(root):
    for folder, _, names in os.walk(root):
        for name in names:
            path = os.path.relpath(os.path.join(folder, name), root).replace(os.sep, "/")
            if path.startswith(SOURCE_FOLDERS) and path.endswith((".h", ".cpp")):
                yield path


def includes(root, path):
    with open(os.path.join(root, path), encoding="utf-8") as f:
        return INCLUDE.findall(f.read())


def module_of(path):
    return os.path.splitext(path)[0]


def find_cycles(graph):
    """The strongly connected components of more than one module (Tarjan)."""
    index, low, stack, on_stack, cycles = {}, {}, [], set(), []

    def visit(node):
        index[node] = low[node] = len(index)
        stack.append(node)
        on_stack.add(node)
        for target in sorted(graph.get(node, ())):
            if target not in index:
                visit(target)
                low[node] = min(low[node], low[target])
            elif target in on_stack:
                low[node] = min(low[node], index[target])
        if low[node] == index[node]:
            component = []
            while True:
                member = stack.pop()
                on_stack.discard(member)
                component.append(member)
                if member == node:
                    break
            if len(component) > 1:
                cycles.append(sorted(component))

    sys.setrecursionlimit(10000)
    for node in sorted(graph):
        if node not in index:
            visit(node)
    return cycles


def main(argv):
    graph_only = "--graph" in argv
    args = [a for a in argv if a != "--graph"]
    root = args[0] if args else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
    files = sorted(source_files(root))
    known = {module_of(f) for f in files}
    graph, problems = {}, []
    for path in files:
        module = module_of(path)
        targets = graph.setdefault(module, set())
        for kind, name in includes(root, path):
            if path.startswith("core/"):
                if kind == "<" and PLATFORM_HEADERS.match(name):
                    problems.append(f"{path}: includes the platform header <{name}>")
                if kind == '"' and not name.startswith("core/"):
                    problems.append(f'{path}: includes "{name}" from outside core/')
            if kind == '"' and module_of(name) in known and module_of(name) != module:
                targets.add(module_of(name))
    if graph_only:
        for module in sorted(graph):
            print(f"{module}: {' '.join(sorted(graph[module]))}")
        for cycle in find_cycles(graph):
            print(f"cycle: {' '.join(cycle)}")
        return 0
    for module, targets in sorted(graph.items()):
        if not module.startswith(PROGRAM_FOLDERS):
            continue
        rank = rank_of(module)
        if rank is None:
            problems.append(f"{module}: belongs to no layer (add it to LAYERS in this script)")
            continue
        for target in sorted(targets):
            target_rank = rank_of(target)
            if target_rank is not None and target_rank > rank:
                problems.append(f"{module} ({layer_name(rank)}) includes {target} "
                                f"({layer_name(target_rank)}), a layer above it")
    for cycle in find_cycles(graph):
        problems.append(f"include cycle: {' '.join(cycle)}")
    for problem in problems:
        print(f"layering: {problem}")
    if not problems:
        print(f"layering: {len(graph)} modules, layers and includes in order")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
