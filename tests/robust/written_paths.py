#!/usr/bin/python3
"""Lists the paths a traced program tree created or opened for writing.

Reads the per-process logs of `strace -ff -e trace=%file,%process -o PREFIX` (PREFIX.PID files)
and prints one path a line. Processes in WebKit's sandbox (bubblewrap and what it starts) are left
out: they see a private file system of their own. Paths under /dev, /proc and /sys are no files.
Usage: written_paths.py PREFIX
"""
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


def main(prefix):
    logs = {}
    for path in glob.glob(prefix + ".*"):
        pid = path.rsplit(".", 1)[1]
        if pid.isdigit():
            with open(path, encoding="utf-8", errors="replace") as f:
                logs[int(pid)] = f.read().splitlines()
    children, sandboxed, cwd = {}, set(), {}
    for pid, lines in logs.items():
        for line in lines:
            m = LINE.match(line)
            if not m:
                continue
            call, ret = m.group("call"), m.group("ret")
            if call in ("clone", "clone3", "fork", "vfork") and ret.isdigit() and int(ret) > 0:
                children.setdefault(pid, []).append(int(ret))
            if call == "execve" and ret == "0" and strings(m.group("args"))[:1] and \
                    os.path.basename(strings(m.group("args"))[0]) == "bwrap":
                sandboxed.add(pid)
    # Everything below a sandbox is in it.
    stack = list(sandboxed)
    while stack:
        for child in children.get(stack.pop(), []):
            if child not in sandboxed:
                sandboxed.add(child)
                stack.append(child)
    written = set()
    for pid, lines in logs.items():
        if pid in sandboxed:
            continue
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
                written.add(path)
    for path in sorted(written):
        print(path)


if __name__ == "__main__":
    main(sys.argv[1])
