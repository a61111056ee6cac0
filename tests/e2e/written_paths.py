#!/usr/bin/python3
"""Lists the paths a traced program tree created or opened for writing.

Reads the per-process logs of `strace -ff -e trace=%file,%process -o PREFIX` (PREFIX.PID files)
and prints one path a line, with the program that wrote it after a tab. Processes in WebKit's
sandbox (bubblewrap and what it starts) see a private file system whose /tmp and /var/tmp are
memory of their own: their writes count only under the host folders named with --shared, which
the sandbox mounts from the host. Paths under /dev, /proc and /sys are no files.
Usage: written_paths.py PREFIX [--shared DIR]...
"""
import argparse
import glob
import os
import re
import sys

WRITE_FLAGS = ("O_WRONLY", "O_RDWR", "O_CREAT", "O_TRUNC", "O_APPEND")
LINE = re.compile(r'^(?P<call>\w+)\((?P<args>.*)\)\s+=\s+(?P<ret>-?\d+|0x[0-9a-f]+|\?)')
STRING = re.compile(r'"((?:[^"\\]|\\.)*)"')
SPECIAL = ("/dev/", "/proc/", "/sys/")


def strings(args):
    return [bytes(s, "utf-8").decode("unicode_escape").encode("latin-1").decode("utf-8", "replace")
            for s in STRING.findall(args)]


def main(prefix, shared, root="tavro"):
    logs = {}
    for path in glob.glob(prefix + ".*"):
        pid = path.rsplit(".", 1)[1]
        if pid.isdigit():
            with open(path, encoding="utf-8", errors="replace") as f:
                logs[int(pid)] = f.read().splitlines()
    children, sandboxed, program = {}, set(), {}
    for pid, lines in logs.items():
        for line in lines:
            m = LINE.match(line)
            if not m:
                continue
            call, ret = m.group("call"), m.group("ret")
            if call in ("clone", "clone3", "fork", "vfork") and ret.isdigit() and int(ret) > 0 and \
                    int(ret) in logs:
                children.setdefault(pid, []).append(int(ret))
            if call == "execve" and ret == "0" and strings(m.group("args"))[:1]:
                program[pid] = os.path.basename(strings(m.group("args"))[0])
                if program[pid] == "bwrap":
                    sandboxed.add(pid)
    # A process inside the sandbox's own pid namespace was started under a number its parent knows
    # and the tracer does not: nobody's child, and not the program the tracer started.
    known = {child for kids in children.values() for child in kids}
    sandboxed |= {pid for pid in logs if pid not in known and program.get(pid) != root}
    # Everything below a sandbox is in it.
    stack = list(sandboxed)
    while stack:
        for child in children.get(stack.pop(), []):
            if child not in sandboxed:
                sandboxed.add(child)
                stack.append(child)
    # A process that never ran a program of its own is its parent's.
    parent = {child: pid for pid, kids in children.items() for child in kids}

    def program_of(pid):
        while pid not in program and pid in parent:
            pid = parent[pid]
        return program.get(pid, "?")

    written = {}
    for pid, lines in logs.items():
        for line in lines:
            m = LINE.match(line)
            if not m or m.group("ret").startswith("-"):
                continue
            call, args = m.group("call"), m.group("args")
            names = strings(args)
            if not names:
                continue
            if call in ("open", "openat", "openat2", "creat"):
                if call != "creat" and not any(flag in args for flag in WRITE_FLAGS):
                    continue
                paths = [names[0]]
            elif call in ("mkdir", "mkdirat", "truncate", "symlink", "symlinkat"):
                paths = [names[-1]]
            elif call in ("rename", "renameat", "renameat2", "link", "linkat"):
                paths = [names[-1]]
            else:
                continue
            for path in paths:
                if path.startswith(SPECIAL) or path in ("/dev", "/proc", "/sys"):
                    continue
                if pid in sandboxed and not any(path == d or path.startswith(d + "/") for d in shared):
                    continue
                written.setdefault(path, program_of(pid))
    for path in sorted(written):
        print(f"{path}\t{written[path]}")


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("prefix")
    parser.add_argument("--shared", action="append", default=[])
    arguments = parser.parse_args()
    main(arguments.prefix, [d.rstrip("/") for d in arguments.shared])
