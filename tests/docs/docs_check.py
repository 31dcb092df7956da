#!/usr/bin/env python3
"""The README and docs/ against the tree: every `make` target and `tarnovelle-seq` command they
name exists, and every picture and page they show or link to is there (with its heading)."""
import pathlib, re, subprocess, sys

root = pathlib.Path(__file__).resolve().parents[2]
seq = sys.argv[1] if len(sys.argv) > 1 else str(root / "build/bin/tarnovelle-seq")
documents = [root / "README.md"] + sorted((root / "docs").glob("*.md"))
targets = set(re.findall(r"^([a-z][a-z-]*):", (root / "Makefile").read_text(), re.M))
usage = subprocess.run([seq, "--help"], capture_output=True, text=True, timeout=30).stdout
commands = set(re.findall(r"^  tarnovelle-seq ((?:history (?:\[--db FILE\] )?)?[a-z]+)", usage, re.M))
commands = {c.replace("[--db FILE] ", "") for c in commands}


def anchor(heading):
    return re.sub(r"[^\w\- ]", "", heading.strip().lower()).replace(" ", "-")


def anchors(page):
    return {anchor(h) for h in re.findall(r"^#+ (.*)$", page.read_text(), re.M)}


problems = []
for doc in documents:
    text = doc.read_text()
    name = doc.relative_to(root)
    # Commands are read from code: spans and blocks, where the documents put them.
    code = "\n".join(re.findall(r"```.*?```", text, re.S) + re.findall(r"`([^`\n]+)`", text))
    for target in re.findall(r"(?:^|[\s`(])make ((?:[a-z][a-z-]* ?)+)", code, re.M):
        problems += ["%s: make %s: no such target" % (name, t) for t in target.split() if t not in targets]
    for words in re.findall(r"tarnovelle-seq ((?:history (?:--db \S+ )?)?[a-z]+)", code):
        command = re.sub(r"--db \S+ ", "", words)
        if command not in commands and not any(c.startswith(command + " ") for c in commands):
            problems.append("%s: tarnovelle-seq %s: not a command" % (name, command))
    for target in re.findall(r"\]\(([^)\s]+)\)", text):
        if re.match(r"[a-z]+:", target):
            continue
        path, _, fragment = target.partition("#")
        page = (doc.parent / path).resolve() if path else doc
        if not page.exists():
            problems.append("%s: %s: missing" % (name, target))
        elif fragment and fragment not in anchors(page):
            problems.append("%s: %s: no such heading" % (name, target))

if not commands or not targets:
    problems.append("no commands or make targets found to check against")
print("\n".join(problems) or "%d documents checked" % len(documents))
sys.exit(1 if problems else 0)
