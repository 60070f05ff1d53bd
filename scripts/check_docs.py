#!/usr/bin/env python3
"""Checks that the manual says what the code holds.

    scripts/check_docs.py ROOT TINTWRIGHT           check
    scripts/check_docs.py ROOT TINTWRIGHT --write   copy `tintwright --help` into docs/cli.md

- docs/program.md names every message of the program: each text of core/text/texts.h and
  of the resource script's string table (a text of several lines, each line);
- docs/cli.md holds what `tintwright --help` prints, in full;
- the README stays short (at most 130 lines);
- the examples of the README and docs/cli.md name only options `tintwright --help` names.
Exit 1, saying what is missing, when one of them does not hold.
"""
import re
import subprocess
import sys


def literals(text):
    """The contents of the C string literals in `text`, with escapes read."""
    found = []
    for match in re.finditer(r'"((?:[^"\\\n]|\\.)*)"', text):
        found.append(match.group(1).encode("utf-8").decode("unicode_escape").encode(
            "latin-1").decode("utf-8"))
    return found


def read(path):
    try:
        return open(path, encoding="utf-8").read()
    except OSError:
        return ""


def main():
    root, cli = sys.argv[1], sys.argv[2]
    problems = []

    program = read(f"{root}/docs/program.md")
    texts = literals(open(f"{root}/core/text/texts.h", encoding="utf-8").read())
    rc = open(f"{root}/win/res/tintwright.rc", encoding="utf-8").read()
    table = rc[rc.index("STRINGTABLE"):]
    texts += literals(table[:table.index("END")])
    for text in texts:
        for line in text.split("\n"):
            if line.strip() and line.strip() not in program:
                problems.append(f"docs/program.md does not name the message {line.strip()!r}")

    cli_page = read(f"{root}/docs/cli.md")
    shown = subprocess.run([cli, "--help"], capture_output=True, text=True, check=True).stdout
    if "--write" in sys.argv:
        start, end = "<!-- tintwright --help -->\n", "<!-- end of tintwright --help -->"
        before, rest = cli_page.split(start)
        cli_page = before + start + "```\n" + shown + "```\n" + end + rest.split(end)[1]
        open(f"{root}/docs/cli.md", "w", encoding="utf-8").write(cli_page)
    if shown.strip() not in cli_page:
        problems.append("docs/cli.md does not hold what `tintwright --help` prints, in full")

    readme = read(f"{root}/README.md").splitlines()
    if len(readme) > 130:
        problems.append(f"README.md has {len(readme)} lines; at most 130")
    # The README's and the manual's examples use only options the tool has.
    for name, lines in (("README.md", readme), ("docs/cli.md", cli_page.splitlines())):
        for line in lines:
            if line.strip().startswith("tintwright "):
                for option in re.findall(r"(?<![\w-])--[a-z][a-z-]*", line):
                    if option not in shown:
                        problems.append(f"{name}: an example names {option}, "
                                        "which `tintwright --help` does not")

    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
