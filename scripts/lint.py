#!/usr/bin/env python3
"""Lint the tree: clang-format and clang-tidy.

Usage: scripts/lint.py

clang-format (.clang-format) must leave every C++ file of the tree as it is.
clang-tidy (.clang-tidy) must find nothing in the sources: the platform-free
code and its Linux tests with the native build's compile commands, the
Windows code, tools and tests with those of the clang cross build
(windows-x64-clang), each file once. Prints a PASS or FAIL line per check and
file, with the findings, and "N passed, N failed"; exits 1 on any failure.

clang-tidy takes seconds a file, so a file it passed is remembered in
build/lint-cache under a digest of all that decides its verdict: the
clang-tidy version, the .clang-tidy files, the compile command and the
preprocessed file with its comments (which carry any NOLINT).
"""
import concurrent.futures
import hashlib
import json
import os
import shlex
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.join(ROOT, "build")
CACHE = os.path.join(BUILD, "lint-cache")
# The presets whose compile commands clang-tidy uses, in order of preference.
PRESETS = ("native", "windows-x64-clang")
SOURCE_SUFFIXES = (".cpp", ".h")


def run(command, cwd=ROOT, text=True):
    """(exit status, stdout and stderr) of a command."""
    done = subprocess.run(command, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=text)
    return done.returncode, done.stdout


def tree_files(wanted):
    """The tree's files whose names `wanted` accepts, build directories and
    the Git metadata left out."""
    found = []
    for folder, subfolders, files in os.walk(ROOT):
        subfolders[:] = sorted(d for d in subfolders if d not in ("build", ".git"))
        found += [os.path.join(folder, f) for f in sorted(files) if wanted(f)]
    return found


def tidy_jobs():
    """(build directory, source, compile command entry) for every source of
    the tree that a preset compiles, each with the first preset that does."""
    jobs = {}
    for preset in PRESETS:
        build = os.path.join(BUILD, preset)
        with open(os.path.join(build, "compile_commands.json")) as f:
            for entry in json.load(f):
                path = os.path.normpath(os.path.join(entry["directory"], entry["file"]))
                if path.startswith(ROOT + os.sep) and not path.startswith(BUILD + os.sep):
                    jobs.setdefault(path, (build, path, entry))
    return [jobs[path] for path in sorted(jobs)]


def tidy_digest(entry, settings):
    """A digest of what clang-tidy's verdict on a compile command depends on,
    or None if the file cannot be preprocessed."""
    command = entry.get("arguments") or shlex.split(entry["command"])
    preprocess, skip = [], False
    for arg in command:  # the same compilation, with -E -C instead of -c and -o
        if not skip and arg not in ("-c", "-o"):
            preprocess.append(arg)
        skip = arg == "-o"
    status, output = run(preprocess + ["-E", "-C", "-o", "-"], cwd=entry["directory"], text=False)
    if status:
        return None
    digest = hashlib.sha256(settings)
    for part in (json.dumps(command).encode(), output):
        digest.update(len(part).to_bytes(8, "little") + part)
    return digest.hexdigest()


def check_format(path):
    status, output = run(["clang-format", "--dry-run", "-Werror", path])
    return f"format {os.path.relpath(path, ROOT)}", [output.strip()] if status or output.strip() else []


def check_tidy(build, path, entry, settings):
    label = f"tidy {os.path.relpath(path, ROOT)}"
    digest = tidy_digest(entry, settings)
    passed = os.path.join(CACHE, digest) if digest else None
    if passed and os.path.exists(passed):
        return label, []
    status, output = run(["clang-tidy", "--quiet", "-p", build, path])
    if status:
        findings = [line for line in output.splitlines() if "warnings generated" not in line]
        return label, ["\n".join(findings).strip() or f"exit status {status}"]
    if passed:
        os.makedirs(CACHE, exist_ok=True)
        open(passed, "w").close()
    return label, []


def tidy_settings():
    """The clang-tidy version and every .clang-tidy file of the tree."""
    _, version = run(["clang-tidy", "--version"])
    parts = [version.encode()]
    for path in tree_files(lambda name: name == ".clang-tidy"):
        with open(path, "rb") as f:
            parts.append(os.path.relpath(path, ROOT).encode() + b"\0" + f.read())
    return b"\0".join(parts)


def main():
    for preset in PRESETS:
        status, output = run(["cmake", "--preset", preset])
        if status:
            print(output)
            print(f"FAIL configure {preset}\n0 passed, 1 failed")
            return 1
    with concurrent.futures.ThreadPoolExecutor(max_workers=os.cpu_count() or 2) as pool:
        results = list(pool.map(check_format, tree_files(lambda name: name.endswith(SOURCE_SUFFIXES))))
        settings = tidy_settings()
        results += pool.map(lambda job: check_tidy(*job, settings), tidy_jobs())
    failed = 0
    for label, problems in results:
        failed += bool(problems)
        print(f"{'FAIL' if problems else 'PASS'} {label}")
        for problem in problems:
            print(problem)
    print(f"{len(results) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
