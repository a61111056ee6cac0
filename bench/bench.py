#!/usr/bin/python3
"""Measures Tavro, chromium --app and surf on the demo site; started by bench/run.sh.

Every figure is taken from outside the programs: window titles through Xlib, memory and CPU time
from /proc over the whole process tree (WebKit's and Chromium's helper processes included).
"""
import argparse
import array
import collections
import ctypes
import ctypes.util
import datetime
import os
import platform
import re
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

LOGIN_TITLE = "客服登录"
LOGIN_PATH = "/kefu/login.php?"
LOGOUT_PATH = "/ajax.php?act=out"
SAMPLE_IMAGES = ("界面_03.gif", "界面_06.gif")
CLOSE_BUTTON = (290, 10)  # in the signed-in layout, relative to the window
POLL = 0.010
SETTLE = 3.0  # seconds between a page's title appearing and the memory sample
CLK_TCK = os.sysconf("SC_CLK_TCK")


# ------------------------------------------------------------------ X11 through ctypes

class XWindowAttributes(ctypes.Structure):
    _fields_ = [("x", ctypes.c_int), ("y", ctypes.c_int), ("width", ctypes.c_int), ("height", ctypes.c_int),
                ("border_width", ctypes.c_int), ("depth", ctypes.c_int), ("visual", ctypes.c_void_p),
                ("root", ctypes.c_ulong), ("c_class", ctypes.c_int), ("bit_gravity", ctypes.c_int),
                ("win_gravity", ctypes.c_int), ("backing_store", ctypes.c_int),
                ("backing_planes", ctypes.c_ulong), ("backing_pixel", ctypes.c_ulong),
                ("save_under", ctypes.c_int), ("colormap", ctypes.c_ulong), ("map_installed", ctypes.c_int),
                ("map_state", ctypes.c_int), ("all_event_masks", ctypes.c_long),
                ("your_event_mask", ctypes.c_long), ("do_not_propagate_mask", ctypes.c_long),
                ("override_redirect", ctypes.c_int), ("screen", ctypes.c_void_p)]


IS_VIEWABLE = 2


class X:
    """The little of Xlib and XTest the benchmark needs: titles, positions, synthetic input."""

    def __init__(self, display):
        self.x = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
        self.xtst = ctypes.CDLL(ctypes.util.find_library("Xtst") or "libXtst.so.6")
        x = self.x
        x.XOpenDisplay.restype = ctypes.c_void_p
        x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x.XDefaultRootWindow.restype = ctypes.c_ulong
        x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x.XInternAtom.restype = ctypes.c_ulong
        x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        x.XQueryTree.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(ctypes.c_ulong),
                                 ctypes.POINTER(ctypes.c_ulong),
                                 ctypes.POINTER(ctypes.POINTER(ctypes.c_ulong)), ctypes.POINTER(ctypes.c_uint)]
        x.XGetWindowProperty.argtypes = [
            ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_long, ctypes.c_long, ctypes.c_int,
            ctypes.c_ulong, ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.c_int),
            ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.c_ulong),
            ctypes.POINTER(ctypes.POINTER(ctypes.c_ubyte))]
        x.XFree.argtypes = [ctypes.c_void_p]
        x.XGetWindowAttributes.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(XWindowAttributes)]
        x.XTranslateCoordinates.argtypes = [
            ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
            ctypes.POINTER(ctypes.c_int), ctypes.POINTER(ctypes.c_int), ctypes.POINTER(ctypes.c_ulong)]
        x.XGetGeometry.argtypes = [
            ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.c_int),
            ctypes.POINTER(ctypes.c_int), ctypes.POINTER(ctypes.c_uint), ctypes.POINTER(ctypes.c_uint),
            ctypes.POINTER(ctypes.c_uint), ctypes.POINTER(ctypes.c_uint)]
        x.XKeysymToKeycode.restype = ctypes.c_ubyte
        x.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        x.XFlush.argtypes = [ctypes.c_void_p]
        x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        self.xtst.XTestFakeMotionEvent.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int, ctypes.c_int,
                                                   ctypes.c_ulong]
        self.xtst.XTestFakeButtonEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
        self.xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
        # Windows come and go between a query and the next request: ignore BadWindow and the like
        # instead of letting Xlib end the process.
        handler_type = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)
        self._handler = handler_type(lambda d, e: 0)
        x.XSetErrorHandler.argtypes = [handler_type]
        x.XSetErrorHandler(self._handler)
        self.dpy = x.XOpenDisplay(display.encode())
        if not self.dpy:
            raise SystemExit(f"bench: cannot open display {display}")
        self.root = x.XDefaultRootWindow(self.dpy)
        self.net_wm_name = x.XInternAtom(self.dpy, b"_NET_WM_NAME", 0)
        self.wm_name = x.XInternAtom(self.dpy, b"WM_NAME", 0)

    def toplevels(self):
        root, parent = ctypes.c_ulong(), ctypes.c_ulong()
        children, n = ctypes.POINTER(ctypes.c_ulong)(), ctypes.c_uint()
        if not self.x.XQueryTree(self.dpy, self.root, ctypes.byref(root), ctypes.byref(parent),
                                 ctypes.byref(children), ctypes.byref(n)):
            return []
        windows = [children[i] for i in range(n.value)]
        if children:
            self.x.XFree(children)
        return windows

    def _property(self, window, atom):
        actual, fmt = ctypes.c_ulong(), ctypes.c_int()
        nitems, after = ctypes.c_ulong(), ctypes.c_ulong()
        data = ctypes.POINTER(ctypes.c_ubyte)()
        status = self.x.XGetWindowProperty(self.dpy, window, atom, 0, 4096, 0, 0, ctypes.byref(actual),
                                           ctypes.byref(fmt), ctypes.byref(nitems), ctypes.byref(after),
                                           ctypes.byref(data))
        if status != 0 or not data:
            return None
        try:
            if fmt.value != 8:
                return None
            return bytes(data[: nitems.value]).decode("utf-8", "replace")
        finally:
            self.x.XFree(data)

    def title(self, window):
        name = self._property(window, self.net_wm_name)
        return name if name is not None else self._property(window, self.wm_name)

    def viewable(self, window):
        attributes = XWindowAttributes()
        if not self.x.XGetWindowAttributes(self.dpy, window, ctypes.byref(attributes)):
            return False
        return attributes.map_state == IS_VIEWABLE

    def titles(self):
        """(window, title) of every top-level window that is shown. Hidden ones, like the client
        leader windows that carry a program's name, do not count."""
        return [(w, self.title(w)) for w in self.toplevels() if self.viewable(w)]

    def find(self, match):
        """The first shown top-level window whose title satisfies match, or None."""
        for w, t in self.titles():
            if t is not None and match(t):
                return w
        return None

    def geometry(self, window):
        x, y, child = ctypes.c_int(), ctypes.c_int(), ctypes.c_ulong()
        self.x.XTranslateCoordinates(self.dpy, window, self.root, 0, 0, ctypes.byref(x), ctypes.byref(y),
                                     ctypes.byref(child))
        root = ctypes.c_ulong()
        gx, gy, w, h, b, d = (ctypes.c_int(), ctypes.c_int(), ctypes.c_uint(), ctypes.c_uint(), ctypes.c_uint(),
                              ctypes.c_uint())
        self.x.XGetGeometry(self.dpy, window, ctypes.byref(root), ctypes.byref(gx), ctypes.byref(gy),
                            ctypes.byref(w), ctypes.byref(h), ctypes.byref(b), ctypes.byref(d))
        return x.value, y.value, w.value, h.value

    def click(self, x, y):
        self.xtst.XTestFakeMotionEvent(self.dpy, -1, x, y, 0)
        self.x.XSync(self.dpy, 0)
        time.sleep(0.05)
        self.xtst.XTestFakeButtonEvent(self.dpy, 1, 1, 0)
        self.xtst.XTestFakeButtonEvent(self.dpy, 1, 0, 0)
        self.x.XSync(self.dpy, 0)

    def move(self, x, y):
        self.xtst.XTestFakeMotionEvent(self.dpy, -1, x, y, 0)
        self.x.XSync(self.dpy, 0)

    def key_return(self):
        code = self.x.XKeysymToKeycode(self.dpy, 0xFF0D)
        self.xtst.XTestFakeKeyEvent(self.dpy, code, 1, 0)
        self.xtst.XTestFakeKeyEvent(self.dpy, code, 0, 0)
        self.x.XSync(self.dpy, 0)


# ------------------------------------------------------------------ process trees in /proc

def _stat_fields(pid):
    with open(f"/proc/{pid}/stat", "rb") as f:
        raw = f.read().decode("utf-8", "replace")
    comm = raw[raw.index("(") + 1: raw.rindex(")")]
    return comm, raw[raw.rindex(")") + 2:].split()


def tree(pid):
    """pid and all its descendants (through the parent pid of every process), alive now. The
    programs are started as session leaders, so processes that left the tree by forking twice
    (Chromium's crash handler) are found through their session id."""
    children = {}
    session = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            _, rest = _stat_fields(entry)
        except (OSError, ValueError):
            continue
        children.setdefault(int(rest[1]), []).append(int(entry))
        if int(rest[3]) == pid and rest[0] not in ("Z", "X"):
            session.append(int(entry))
    found, todo = [], [pid] + session
    while todo:
        p = todo.pop()
        if p in found or not os.path.exists(f"/proc/{p}"):
            continue
        found.append(p)
        todo.extend(children.get(p, []))
    return found


def _rollup_mb(pids, fields):
    """Sum of the given smaps_rollup fields over pids, in MB (10^6 bytes)."""
    total_kb = 0
    for p in pids:
        try:
            with open(f"/proc/{p}/smaps_rollup") as f:
                for line in f:
                    name, _, value = line.partition(":")
                    if name in fields:
                        total_kb += int(value.split()[0])
        except (OSError, ValueError, IndexError):
            pass
    return total_kb * 1024 / 1e6


def pss_mb(pids):
    """Proportional set size: each page shared with n processes counts 1/n."""
    return _rollup_mb(pids, ("Pss",))


def anonymous_mb(pids):
    """Anonymous memory (heaps, JavaScript, images): unlike Pss, not moved when other programs
    start or stop mapping the same libraries, so it shows a program's own growth."""
    return _rollup_mb(pids, ("Anonymous",))


def cpu_seconds(pids):
    """utime + stime of each pid, in seconds, keyed by pid (and its start time, against pid reuse)."""
    times = {}
    for p in pids:
        try:
            _, rest = _stat_fields(p)
        except (OSError, ValueError):
            continue
        # After the ")": state is field 3 of stat, so utime (14) is rest[11], stime rest[12],
        # starttime (22) rest[19].
        times[(p, rest[19])] = (int(rest[11]) + int(rest[12])) / CLK_TCK
    return times


def breakdown(pids):
    """Total and per-process Pss, for the log."""
    parts = ", ".join(f"{name} {pss_mb([p]):.1f}" for p in pids for name in comms([p]))
    return f"{pss_mb(pids):.1f} MB ({parts})"


def web_processes(pids):
    return sum(1 for c in comms(pids) if c.startswith("WebKitWebProces"))


def advertisement_processes(pids):
    """The advertisement's web and network processes: its web context of its own starts both, and
    after the site's (the site's page is asked for first), so they are the later started of each
    kind. Empty unless there are two of a kind."""
    found = []
    for prefix in ("WebKitWebProces", "WebKitNetworkPr"):
        kind = []
        for p in pids:
            try:
                name, rest = _stat_fields(p)
            except (OSError, ValueError):
                continue
            if name.startswith(prefix):
                kind.append((int(rest[19]), p))
        if len(kind) < 2:
            return []
        found.append(max(kind)[1])
    return found


def comms(pids):
    names = []
    for p in pids:
        try:
            names.append(_stat_fields(p)[0])
        except (OSError, ValueError):
            pass
    return names


# ------------------------------------------------------------------ where the memory goes

_MAPPING = re.compile(r"^([0-9a-f]+)-([0-9a-f]+) (\S{4}) \S+ \S+ \S+ *(.*)$")

# What a mapping is, in the order the breakdown table lists them.
MAPPING_CLASSES = ("Mesa/LLVM", "WebKit/JavaScriptCore", "GTK/GLib", "gtkmm", "speech (flite)",
                   "other libraries", "heap", "JavaScript", "fonts", "other")
PROCESS_ROLES = ("UI", "web", "network", "sandbox", "other")
# JavaScriptCore reserves its JIT pool and its caged heaps as runs of address space of a GiB and more;
# nothing else in these programs reserves that much in one run.
JS_RESERVATION = 1 << 30

_MESA = re.compile(r"^(libLLVM|libz3|libgallium|libEGL_mesa|libGLX_mesa|libglapi|libgbm|libxatracker|"
                   r"libvulkan_lvp)|_dri\.so|^libdril")
_WEBKIT = re.compile(r"^(libwebkit2gtk|libjavascriptcoregtk|libWPE|libwpe|WebKit)")
_GTKMM = re.compile(r"^(libgtkmm|libgdkmm|libglibmm|libgiomm|libsigc|libcairomm|libpangomm|libatkmm)")
_GTK = re.compile(r"^(libgtk-3|libgdk-3|libgdk_pixbuf|libglib-|libgobject-|libgio-|libgmodule-|libgthread-|"
                  r"libpango|libcairo|libatk|libatspi|libharfbuzz|libepoxy)")
_FONT = re.compile(r"\.(ttf|otf|ttc|pfb|pcf|pcf\.gz|woff2?)$", re.IGNORECASE)


def mappings(pid):
    """[start, end, permissions, name, Pss in kB, Rss in kB] of each mapping of pid
    (/proc/PID/smaps)."""
    rows = []
    try:
        with open(f"/proc/{pid}/smaps") as f:
            for line in f:
                m = _MAPPING.match(line)
                if m:
                    rows.append([int(m[1], 16), int(m[2], 16), m[3], m[4].strip(), 0, 0])
                elif line.startswith("Pss:") and rows:
                    rows[-1][4] = int(line.split()[1])
                elif line.startswith("Rss:") and rows:
                    rows[-1][5] = int(line.split()[1])
    except (OSError, ValueError, IndexError):
        return []
    return rows


def file_class(name):
    """The class of a named mapping (a file, or a kernel name in brackets)."""
    if name == "[heap]":
        return "heap"
    if name.startswith("["):
        return "other"  # stacks, vdso
    path = name.removesuffix(" (deleted)")
    base = os.path.basename(path)
    if _FONT.search(base) or "/fontconfig/" in path:
        return "fonts"
    if "/webkit2gtk-4.1/" in path or "/webkitgtk-" in path or _WEBKIT.match(base):
        return "WebKit/JavaScriptCore"  # also its helper executables and injected bundle
    if _MESA.search(base) or "/dri/" in path:
        return "Mesa/LLVM"
    if ".so" in base:
        if _GTKMM.match(base):
            return "gtkmm"
        if _GTK.match(base):
            return "GTK/GLib"
        if base.startswith("libflite"):
            return "speech (flite)"
        return "other libraries"
    if os.path.isfile(path) and os.access(path, os.X_OK):
        return "other libraries"  # the programs themselves
    return "other"  # shared memory, locale archive, icon and MIME caches


def classify(rows, web):
    """Pss in kB by mapping class of one process's mappings. Anonymous memory is heap, except in
    a web process the runs of adjacent anonymous mappings that span a JavaScriptCore reservation
    or hold executable code (the JIT): those count as JavaScript. What JavaScriptCore allocates
    through the ordinary heap stays in heap, so JavaScript is a lower bound."""
    kb = dict.fromkeys(MAPPING_CLASSES, 0)
    rows = sorted(rows)
    i = 0
    while i < len(rows):
        if rows[i][3]:
            kb[file_class(rows[i][3])] += rows[i][4]
            i += 1
            continue
        j = i + 1  # a run of adjacent anonymous mappings
        while j < len(rows) and not rows[j][3] and rows[j][0] == rows[j - 1][1]:
            j += 1
        run = rows[i:j]
        js = web and (run[-1][1] - run[0][0] >= JS_RESERVATION or any("x" in r[2] for r in run))
        kb["JavaScript" if js else "heap"] += sum(r[4] for r in run)
        i = j
    return kb


def process_role(pid, root):
    if pid == root:
        return "UI"
    name = comms([pid])
    name = name[0] if name else ""
    if name.startswith("WebKitWebProces"):
        return "web"
    if name.startswith("WebKitNetworkPr"):
        return "network"
    if name in ("bwrap", "xdg-dbus-proxy"):
        return "sandbox"
    return "other"


PAGE = os.sysconf("SC_PAGE_SIZE")
PFN_MASK = (1 << 55) - 1
PRESENT = 1 << 63


class NoFrames(Exception):
    """Page frames read as 0: only root may see them."""


def shared_frames(pid, rows):
    """{index of a row: its resident page frames} for the rows that are files or shared memory,
    from /proc/PID/pagemap. Private anonymous rows (unnamed, or a kernel name in brackets) have
    none: their pages are the process's own (WebKit's processes are exec'd, so they share no
    copy-on-write pages)."""
    found = {}
    try:
        pagemap = open(f"/proc/{pid}/pagemap", "rb")
    except OSError:
        return found
    with pagemap:
        for i, (start, end, _, name, _, rss) in enumerate(rows):
            if not rss or not name or name.startswith("["):
                continue
            try:
                pagemap.seek(start // PAGE * 8)
                entries = array.array("Q", pagemap.read((end - start) // PAGE * 8))
            except (OSError, ValueError):
                continue
            frames = [e & PFN_MASK for e in entries if e & PRESENT]
            if frames and not any(frames):
                raise NoFrames()
            found[i] = frames
    return found


def _tree_pages(pids):
    """[(pid, rows, frames by row)] of each process, or None without page frames."""
    try:
        return [(p, rows, shared_frames(p, rows)) for p, rows in ((p, mappings(p)) for p in pids)]
    except NoFrames:
        return None


def alone_mb(pids):
    """The tree's memory as if it ran alone on the machine: every resident page once, however
    many of the tree's processes map it and whatever other programs do; private anonymous memory
    from each process's Rss. None when page frames cannot be read (they need root)."""
    pages = _tree_pages(pids)
    if pages is None:
        return None
    frames, own_kb = set(), 0
    for _, rows, shared in pages:
        for i, row in enumerate(rows):
            if i in shared:
                frames.update(shared[i])
            elif not row[3] or row[3].startswith("["):
                own_kb += row[5]
    return (len(frames) * PAGE + own_kb * 1024) / 1e6


def memory_map(pids, root):
    """MB keyed by (process role, mapping class), ("pss", role) and ("count", role). Each page is
    shared among the tree's own processes that map it (1/n each, from their page frames), as Pss
    would split it were the program alone on the machine; without page frames (not root), smaps'
    Pss, which also splits pages with every other program."""
    pages = _tree_pages(pids)
    users = collections.Counter()
    for _, _, shared in pages or ():
        for frames in shared.values():
            users.update(frames)
    out = {}

    def add(key, mb):
        out[key] = out.get(key, 0.0) + mb

    for p, rows, shared in pages or [(p, mappings(p), None) for p in pids]:
        role = process_role(p, root)
        add(("count", role), 1)
        add(("pss", role), sum(r[4] for r in rows) * 1024 / 1e6)
        if shared is not None:
            rows = [r[:4] + [sum(PAGE / users[f] for f in shared[i]) / 1024 if i in shared
                             else (r[5] if not r[3] or r[3].startswith("[") else 0)] + r[5:]
                    for i, r in enumerate(rows)]
        for cls, kb in classify(rows, role == "web").items():
            add((role, cls), kb * 1024 / 1e6)
    return out


TIMELINE = ("main", "toolkit", "context", "view", "load", "title", "tick", "caption")
_TIMELINE_LINE = re.compile(r"^tavro-timeline ([A-Za-z]+) ([0-9]+(?:\.[0-9]+)?)\s*$")


def parse_timeline(text):
    """Milestones from a program's output: lines "tavro-timeline NAME SECONDS" (CLOCK_MONOTONIC).
    The first line of each name counts; anything else, cut or malformed, is passed over."""
    found = {}
    for line in text.splitlines():
        m = _TIMELINE_LINE.match(line)
        if m and m[1] not in found:
            found[m[1]] = float(m[2])
    return found


# ------------------------------------------------------------------ the programs under test

class Run:
    """One program started in a fresh profile, in its own session so that it ends as a whole."""

    def __init__(self, bench, label, argv, cwd=None, env=None):
        self.bench, self.label = bench, label
        self.log = open(os.path.join(bench.work, "runs.log"), "ab")
        self.log.write(f"\n=== {label}: {' '.join(argv)}\n".encode())
        self.log.flush()
        self.output_from = self.log.tell()  # where this run's own output begins
        self.started = time.monotonic()
        self.proc = subprocess.Popen(argv, cwd=cwd, env=env, stdin=subprocess.DEVNULL, stdout=self.log,
                                     stderr=self.log, start_new_session=True)

    def tree(self):
        return tree(self.proc.pid)

    def timeline(self):
        """The milestones the program has printed so far, in seconds from exec."""
        try:
            with open(self.log.name, "rb") as f:
                f.seek(self.output_from)
                text = f.read().decode("utf-8", "replace")
        except OSError:
            return {}
        return {name: t - self.started for name, t in parse_timeline(text).items()}

    def alive(self):
        return self.proc.poll() is None

    def wait_title(self, match, timeout):
        """Seconds from start until a window title satisfies match, or None."""
        limit = self.started + timeout
        while time.monotonic() < limit:
            if self.bench.x.find(match) is not None:
                return time.monotonic() - self.started
            if not self.alive():
                return None
            time.sleep(POLL)
        return None

    def stop(self):
        pids = self.tree()
        for sig in (signal.SIGTERM, signal.SIGKILL):
            for p in [self.proc.pid] + pids:
                try:
                    os.kill(p, sig)
                except OSError:
                    pass
            limit = time.monotonic() + 5
            while time.monotonic() < limit and any(os.path.exists(f"/proc/{p}") and _alive(p) for p in pids):
                self.proc.poll()
                time.sleep(0.05)
            if not any(os.path.exists(f"/proc/{p}") and _alive(p) for p in pids):
                break
        self.proc.wait()
        # The window must be gone before the next program's title is looked for.
        limit = time.monotonic() + 5
        while time.monotonic() < limit and any(t for _, t in self.bench.x.titles()):
            time.sleep(0.05)
        self.log.close()


def _alive(pid):
    try:
        with open(f"/proc/{pid}/stat", "rb") as f:
            state = f.read().rsplit(b")", 1)[1].split()[0]
        return state not in (b"Z", b"X")
    except OSError:
        return False


PROGRAMS = ("tavro", "floor", "chromium", "surf")
RESULT_KEYS = tuple(f"{figure} {program}" for figure in ("start", "login") for program in PROGRAMS) + (
    "signed tavro", "idle tavro", "exit tavro", "webproc tavro", "adproc tavro")
MAPPED = ("tavro", "floor", "tavro signed in")  # the runs whose memory is broken down by mapping


class Bench:
    def __init__(self, args):
        self.args = args
        self.work = args.work
        self.x = X(args.display)
        # Tavro and the floor program print their start milestones for the timeline.
        self.env = dict(os.environ, DISPLAY=args.display, TAVRO_TIMELINE="1")
        self.results = {k: [] for k in RESULT_KEYS}
        self.maps = {k: [] for k in MAPPED}
        self.timelines = {k: [] for k in PROGRAMS}
        self.logouts = []
        self.soak = None
        self.failures = []
        self.surf_title = None

    def fresh_dir(self, prefix):
        return tempfile.mkdtemp(prefix=prefix, dir=self.work)

    # -- starting each program

    def tavro(self, site, label, binary=None, env=None):
        folder = self.fresh_dir("tavro-")
        with open(os.path.join(folder, "url.txt"), "w") as f:
            f.write(site)
        for name in SAMPLE_IMAGES:
            shutil.copy(os.path.join(self.args.samples, name), folder)
        return Run(self, label, [binary or self.args.tavro], cwd=folder, env=dict(self.env, **(env or {})))

    def floor(self):
        # The same drawing as Tavro's: its EGL vendor without GL, when the build made one.
        env = dict(self.env)
        vendor = os.path.join(os.path.dirname(self.args.tavro), "tavro_egl_none.json")
        if os.path.exists(vendor) and "__EGL_VENDOR_LIBRARY_FILENAMES" not in env:
            env["__EGL_VENDOR_LIBRARY_FILENAMES"] = vendor
        return Run(self, "floor", [self.args.floor, f"{self.args.plain}{LOGIN_PATH}"],
                   cwd=self.fresh_dir("floor-"), env=env)

    def chromium(self):
        profile = self.fresh_dir("chromium-")
        argv = ["chromium", f"--app={self.args.plain}{LOGIN_PATH}", f"--user-data-dir={profile}",
                "--no-first-run", "--no-default-browser-check", "--disable-background-networking",
                "--disable-component-update", "--disable-sync", "--disable-gpu"]
        if os.geteuid() == 0:
            argv.append("--no-sandbox")
        return Run(self, "chromium", argv, env=self.env)

    def surf(self):
        home = self.fresh_dir("surf-")
        return Run(self, "surf", ["surf", f"{self.args.plain}{LOGIN_PATH}"], env=dict(self.env, HOME=home))

    # -- figures

    def login_page(self, name, run, match, keep=None):
        """Start and memory at the login page; keep(run, pids), when given, sees the settled page
        before the program is stopped."""
        started = run.wait_title(match, 60)
        if started is None:
            self.failures.append(f"{name}: the login page title never appeared")
            run.stop()
            return
        time.sleep(SETTLE)
        pids = run.tree()
        figures = [("start", started), ("login", pss_mb(pids)), ("login anonymous", anonymous_mb(pids))]
        if name != "chromium":  # its processes fork from one another: alone_mb would count shared pages twice
            figures.append(("login alone", alone_mb(pids)))
        for figure, value in figures:
            if value is not None:
                self.results.setdefault(f"{figure} {name}", []).append(value)
        if name in self.maps:
            self.maps[name].append(memory_map(pids, run.proc.pid))
        self.timelines.setdefault(name, []).append(dict(run.timeline(), seen=started))
        log(f"{name} at the login page: {started:.2f} s, {breakdown(pids)}")
        if name == "surf" and self.surf_title is None:
            self.surf_title = next((t for _, t in self.x.titles() if t and LOGIN_TITLE in t), None)
        if keep:
            keep(run, pids)
        run.stop()

    def signed_in(self, run):
        """Waits for the signed-in layout; returns True when the caption carries the marker."""
        if run.wait_title(lambda t: self.args.marker in t, 90) is None:
            self.failures.append("tavro: the signed-in layout never appeared")
            return False
        time.sleep(SETTLE)
        return True

    def close_and_answer(self, run):
        """Closes Tavro through its close button and answers OK; returns (seconds, logout seen)."""
        window = self.x.find(lambda t: self.args.marker in t)
        if window is None:
            self.failures.append("tavro: no signed-in window to close")
            return None
        before = self.logout_count()
        x, y, _, _ = self.x.geometry(window)
        self.x.click(x + CLOSE_BUTTON[0], y + CLOSE_BUTTON[1])
        question = None
        limit = time.monotonic() + 10
        while question is None and time.monotonic() < limit:
            question = self.x.find(lambda t: t == self.args.display_name)
            time.sleep(POLL)
        if question is None:
            self.failures.append("tavro: the exit question did not appear")
            return None
        time.sleep(0.3)  # let the dialog take its size and place
        qx, qy, qw, qh = self.x.geometry(question)
        self.x.move(qx + qw // 2, qy + qh // 2)  # no window manager: keys go where the pointer is
        time.sleep(0.05)
        sent = time.monotonic()
        self.x.key_return()
        limit = sent + 10
        while run.proc.poll() is None and time.monotonic() < limit:
            time.sleep(0.002)
        if run.proc.poll() is None:
            self.failures.append("tavro: did not end within 10 s of OK")
            return None
        ended = time.monotonic() - sent
        return ended, self.logout_count() > before

    def logout_count(self):
        try:
            with open(self.args.auto_log, encoding="utf-8", errors="replace") as f:
                return sum(1 for line in f if LOGOUT_PATH in line)
        except OSError:
            return 0

    def record_exit(self, run, name="tavro"):
        outcome = self.close_and_answer(run)
        if outcome is not None:
            self.results.setdefault(f"exit {name}", []).append(outcome[0])
            if name == "tavro":
                self.logouts.append(outcome[1])
        run.stop()

    def tavro_signed_in_round(self, name="tavro", binary=None, env=None):
        run = self.tavro(self.args.auto, f"{name} signed in", binary, env)
        if not self.signed_in(run):
            run.stop()
            return
        pids = run.tree()
        for figure, value in (("signed", pss_mb(pids)), ("signed anonymous", anonymous_mb(pids)),
                              ("signed alone", alone_mb(pids)), ("webproc", web_processes(pids)),
                              ("adproc", pss_mb(advertisement_processes(pids)) if advertisement_processes(pids) else None)):
            if value is not None:
                self.results.setdefault(f"{figure} {name}", []).append(value)
        if name == "tavro":
            self.maps["tavro signed in"].append(memory_map(pids, run.proc.pid))
        log(f"{name} signed in: {breakdown(pids)}")
        before = cpu_seconds(run.tree())
        t0 = time.monotonic()
        time.sleep(self.args.idle)
        after = cpu_seconds(run.tree())
        elapsed = time.monotonic() - t0
        used = sum(v - before.get(k, 0.0) for k, v in after.items())
        self.results.setdefault(f"idle {name}", []).append(100.0 * used / elapsed)
        self.record_exit(run, name)

    def soak_run(self):
        run = self.tavro(self.args.auto, "tavro soak")
        if not self.signed_in(run):
            run.stop()
            return
        t0 = time.monotonic()
        time.sleep(max(0.0, 60 - SETTLE))
        pids = run.tree()
        first, first_own = pss_mb(pids), anonymous_mb(pids)
        time.sleep(max(0.0, self.args.soak - (time.monotonic() - t0) - SETTLE))
        pids = run.tree()
        last, last_own = pss_mb(pids), anonymous_mb(pids)
        self.soak = (first, last, (time.monotonic() - t0 + SETTLE) / 60, last_own - first_own)
        log(f"soak: Pss {first:.1f} -> {last:.1f} MB, anonymous {first_own:.1f} -> {last_own:.1f} MB")
        run.stop()

    def run(self):
        a = self.args
        log(f"{a.rounds} rounds, {a.idle:g} s idle, {a.exits} exits, {a.soak / 60:g}-minute soak")
        for r in range(a.rounds):
            log(f"round {r + 1}/{a.rounds}")
            self.login_page("tavro", self.tavro(a.plain, "tavro"), lambda t: t == LOGIN_TITLE)
            self.pause()
            if a.floor:
                self.login_page("floor", self.floor(), lambda t: t == LOGIN_TITLE)
                self.pause()
            self.login_page("chromium", self.chromium(), lambda t: t == LOGIN_TITLE)
            self.pause()
            self.login_page("surf", self.surf(), lambda t: LOGIN_TITLE in t)
            self.pause()
            self.tavro_signed_in_round()
            self.pause()
        for i in range(max(0, a.exits - a.rounds)):
            log(f"exit {a.rounds + i + 1}/{a.exits}")
            run = self.tavro(a.auto, "tavro exit")
            if self.signed_in(run):
                self.record_exit(run)
            else:
                run.stop()
            self.pause()
        if a.soak > 0:
            log(f"soak, {a.soak / 60:g} minutes")
            self.soak_run()

    # -- A/B: two builds, or one build with and without an environment, in alternating rounds

    def screenshot(self, label, number):
        """The login window's pixels, as a PNG file in the work folder, or None."""
        window = self.x.find(lambda t: t == LOGIN_TITLE)
        if window is None:
            return None
        path = os.path.join(self.work, f"shot-{label}-{number}.png")
        done = subprocess.run(["import", "-display", self.args.display, "-window", str(window), path],
                              capture_output=True)
        return path if done.returncode == 0 and os.path.exists(path) else None

    def ab_run(self):
        a = self.args
        variants = (("A", a.ab_a, {}), ("B", a.ab_b, ab_environment(a.ab_env)))
        self.shots = {"A": [], "B": []}
        log(f"A/B: {a.rounds} rounds, {a.idle:g} s idle; A {a.ab_label_a}, B {a.ab_label_b}")
        for r in range(a.rounds):
            log(f"A/B round {r + 1}/{a.rounds}")
            for label, binary, env in (variants if r % 2 == 0 else variants[::-1]):
                self.login_page(label, self.tavro(a.plain, f"tavro {label}", binary, env),
                                lambda t: t == LOGIN_TITLE,
                                keep=lambda run, pids, label=label: self.shots[label].append(
                                    self.screenshot(label, r)))
                self.pause()
                self.tavro_signed_in_round(label, binary, env)
                self.pause()

    @staticmethod
    def pause():
        time.sleep(1.0)  # let the ended processes' memory go back and the machine settle


# ------------------------------------------------------------------ the report

def stats(values):
    if not values:
        return None
    return statistics.median(values), min(values), max(values)


def fmt(values, unit, digits):
    s = stats(values)
    if s is None:
        return "n/a"
    m, lo, hi = s
    unit = f" {unit}" if unit else ""
    return f"{m:.{digits}f}{unit} ({lo:.{digits}f}–{hi:.{digits}f})"


def ratio(a, b):
    sa, sb = stats(a), stats(b)
    if sa is None or sb is None or sb[0] == 0:
        return "n/a"
    return f"{sa[0] / sb[0]:.2f}"


def median(values):
    s = stats(values)
    return None if s is None else s[0]


def verdict(ok):
    return "n/a" if ok is None else ("met" if ok else "**missed**")


def cell(value, digits=1):
    return "–" if value is None else f"{value:.{digits}f}"


def timeline_table(timelines):
    """Medians of each program's milestones, in ms from exec; "–" where a program printed none."""
    lines = ["| ms from exec | " + " | ".join(TIMELINE) + " | window title (polled) |",
             "|---" * (len(TIMELINE) + 2) + "|"]
    for program, runs in timelines.items():
        if not runs:
            continue
        row = []
        for name in TIMELINE + ("seen",):
            m = median([t[name] for t in runs if name in t])
            row.append("–" if m is None else f"{m * 1000:.0f}")
        lines.append(f"| {program} | " + " | ".join(row) + " |")
    return lines


def map_median(samples, key):
    return median([s.get(key, 0.0) for s in samples])


def map_table(maps, programs, heading):
    """Pss by mapping class (rows) and process (columns) of each of programs; with two programs, the
    gap between their totals (the first's above the second's). Medians over the rounds."""
    present = [(p, maps.get(p, [])) for p in programs if maps.get(p)]
    if not present:
        return []
    columns = []  # (heading, samples, roles)
    for program, samples in present:
        roles = [r for r in PROCESS_ROLES if any(("count", r) in s for s in samples)]
        for role in roles:
            n = map_median(samples, ("count", role))
            columns.append((f"{program} {role}" + (f" ({n:g})" if n and n > 1 else ""), samples, (role,)))
        columns.append((f"{program} all", samples, tuple(roles)))
    gap = len(present) == 2
    lines = [f"| {heading} | " + " | ".join(c[0] for c in columns)
             + (f" | {present[0][0]} − {present[1][0]} |" if gap else " |"),
             "|---" * (len(columns) + 1 + gap) + "|"]
    for cls in MAPPING_CLASSES + ("all",):
        classes = MAPPING_CLASSES if cls == "all" else (cls,)

        def total(samples, roles):
            return median([sum(s.get((role, c), 0.0) for role in roles for c in classes) for s in samples])

        row = [cell(total(samples, roles)) for _, samples, roles in columns]
        if gap:
            row.append(f"{total(present[0][1], PROCESS_ROLES) - total(present[1][1], PROCESS_ROLES):+.1f}")
        name = f"**{cls}**" if cls == "all" else cls
        lines.append(f"| {name} | " + " | ".join(row) + " |")
    # Pss as smaps has it: also split with the other programs on the machine.
    row = [cell(median([sum(s.get(("pss", role), 0.0) for role in roles) for s in samples]))
           for _, samples, roles in columns]
    if gap:
        row.append("")
    lines.append("| Pss (smaps) | " + " | ".join(row) + " |")
    return lines


def report(bench, mode, started_at, minutes):
    r = bench.results
    lines = []
    lines.append(f"Run: {started_at:%Y-%m-%d %H:%M} ({mode}: {bench.args.rounds} rounds, "
                 f"{bench.args.idle:g} s idle, {len(r['exit tavro'])} exits, "
                 f"{bench.args.soak / 60:g}-minute soak; {minutes:.0f} minutes in all)  ")
    lines.append(f"Machine: {machine_line()}")
    lines.append("")
    lines.append("Medians, with min–max in brackets. Memory is the proportional set size (Pss) summed "
                 "over the program's whole process tree, in MB (10^6 bytes); CPU is a percentage of one core.")
    lines.append("")
    lines.append("| figure | tavro | floor | chromium --app | surf | tavro / chromium | tavro / surf |")
    lines.append("|---|---|---|---|---|---|---|")
    lines.append(f"| start to the login page title | {fmt(r['start tavro'], 's', 2)} | "
                 f"{fmt(r['start floor'], 's', 2)} | "
                 f"{fmt(r['start chromium'], 's', 2)} | {fmt(r['start surf'], 's', 2)} | "
                 f"{ratio(r['start tavro'], r['start chromium'])} | {ratio(r['start tavro'], r['start surf'])} |")
    lines.append(f"| memory at the login page | {fmt(r['login tavro'], 'MB', 1)} | "
                 f"{fmt(r['login floor'], 'MB', 1)} | "
                 f"{fmt(r['login chromium'], 'MB', 1)} | {fmt(r['login surf'], 'MB', 1)} | "
                 f"{ratio(r['login tavro'], r['login chromium'])} | {ratio(r['login tavro'], r['login surf'])} |")
    alone = [fmt(r.get(f"login alone {p}", []), "MB", 1) for p in ("tavro", "floor")]
    lines.append(f"| memory at the login page, counted alone | {alone[0]} | {alone[1]} | – | "
                 f"{fmt(r.get('login alone surf', []), 'MB', 1)} | | |")
    lines.append(f"| memory signed in, advertisement shown | {fmt(r['signed tavro'], 'MB', 1)} | | | | | |")
    lines.append(f"| memory signed in, counted alone | {fmt(r.get('signed alone tavro', []), 'MB', 1)} | | | | | |")
    lines.append(f"| web processes signed in | {fmt(r['webproc tavro'], '', 0)} | | | | | |")
    lines.append(f"| of which the advertisement's own web and network process | {fmt(r['adproc tavro'], 'MB', 1)} | | | | | |")
    lines.append(f"| idle CPU signed in, over {bench.args.idle:g} s | {fmt(r['idle tavro'], '%', 2)} | | | | | |")
    lines.append(f"| exit, from OK to the end of the process | {fmt(r['exit tavro'], 's', 3)} | | | | | |")
    logouts = f"{sum(bench.logouts)} of {len(bench.logouts)}"
    lines.append(f"| logout request received by the site | {logouts} | | | | | |")
    if bench.soak:
        first, last, span, own = bench.soak
        lines.append(f"| memory growth signed in, 1 to {span:.0f} minutes | anonymous memory {own:+.2f} MB "
                     f"(Pss {last - first:+.2f} MB, {first:.1f} → {last:.1f} MB) | | | | | |")
    else:
        lines.append("| memory growth signed in | n/a | | | | | |")
    lines.append("")
    lines.append("| target | measured | |")
    lines.append("|---|---|---|")

    def target(text, value, ok):
        lines.append(f"| {text} | {value} | {verdict(ok)} |")

    for peer, limit in (("chromium", 0.45), ("surf", 0.6)):
        t, p = median(r["login tavro"]), median(r[f"login {peer}"])
        ok = None if t is None or p is None else t <= limit * p
        target(f"memory at the login page ≤ {limit} × {peer}", ratio(r["login tavro"], r[f"login {peer}"]) + " ×", ok)
    signed = median(r["signed tavro"])
    target("memory signed in ≤ 165 MB", "n/a" if signed is None else f"{signed:.1f} MB",
           None if signed is None else signed <= 165)
    web = median(r["webproc tavro"])
    target("advertisement in a web process of its own (2 signed in)", "n/a" if web is None else f"{web:g}",
           None if web is None else web == 2)
    t, c = median(r["start tavro"]), median(r["start chromium"])
    target("start ≤ 1.2 × chromium --app", ratio(r["start tavro"], r["start chromium"]) + " ×",
           None if t is None or c is None else t <= 1.2 * c)
    target("start ≤ 0.65 s", "n/a" if t is None else f"{t:.2f} s", None if t is None else t <= 0.65)
    idle = median(r["idle tavro"])
    target("idle CPU signed in ≤ 0.5 %", "n/a" if idle is None else f"{idle:.2f} %",
           None if idle is None else idle <= 0.5)
    ex = median(r["exit tavro"])
    all_out = bool(bench.logouts) and all(bench.logouts)
    target("exit 1.0–1.2 s after OK, logout received every time",
           "n/a" if ex is None else f"{ex:.3f} s, logout {logouts}",
           None if ex is None else (1.0 <= ex <= 1.2 and all_out and len(bench.logouts) >= bench.args.exits))
    if bench.soak:
        own = bench.soak[3]
        target(f"anonymous memory growth over {bench.soak[2]:.0f} minutes < 1 MB", f"{own:+.2f} MB", own < 1)
    else:
        target("anonymous memory growth < 1 MB", "n/a", None)
    timeline = timeline_table(bench.timelines)
    if len(timeline) > 2:
        lines.append("")
        lines.extend(timeline)
    for programs, heading in ((("tavro", "floor"), "at the login page, MB"),
                              (("tavro signed in",), "signed in, MB")):
        mapped = map_table(bench.maps, programs, heading)
        if mapped:
            lines.append("")
            lines.extend(mapped)
    lines.append("")
    if bench.surf_title:
        lines.append(f"surf's window title at the login page was \"{bench.surf_title}\": its start is taken "
                     f"when the title contains \"{LOGIN_TITLE}\"; the other three show the page title alone.")
    for failure in bench.failures:
        lines.append(f"- failed: {failure}")
    return "\n".join(lines).rstrip() + "\n"


def ab_environment(assignments):
    """{"VAR": "value"} from ["VAR=value", ...]."""
    env = {}
    for a in assignments or ():
        name, sep, value = a.partition("=")
        if not sep or not re.fullmatch(r"[A-Za-z_][A-Za-z0-9_]*", name):
            raise ValueError(f"not VAR=value: {a!r}")
        env[name] = value
    return env


def pixel_difference(path_a, path_b):
    """How many pixels differ between two screenshots (every pixel when the sizes differ), or None
    when either is missing."""
    if not path_a or not path_b:
        return None
    from PIL import Image, ImageChops  # only the A/B mode needs Pillow
    with Image.open(path_a) as a, Image.open(path_b) as b:
        a, b = a.convert("RGB"), b.convert("RGB")
        if a.size != b.size:
            return max(a.size[0] * a.size[1], b.size[0] * b.size[1])
        # Any channel that differs at all marks its pixel (before the channels are merged into one,
        # which would round a small difference away).
        marked = ImageChops.difference(a, b).point(lambda v: 255 if v else 0).convert("L")
        return a.size[0] * a.size[1] - marked.histogram()[0]


def shots_line(shots):
    """What the screenshots show: A's against its first, B's against A's first."""
    reference = next((s for s in shots.get("A", []) if s), None)
    if reference is None:
        return "no screenshot of A"
    parts = []
    for label, against in (("A", shots["A"][1:]), ("B", shots.get("B", []))):
        diffs = [pixel_difference(reference, s) for s in against]
        same = sum(1 for d in diffs if d == 0)
        worst = max((d for d in diffs if d), default=0)
        text = f"{label} identical to A's first in {same} of {len(diffs)}"
        if worst:
            text += f" (up to {worst} pixels differ)"
        if any(d is None for d in diffs):
            text += f", {sum(1 for d in diffs if d is None)} missing"
        parts.append(text)
    return "; ".join(parts)


def ab_report(bench):
    a, r = bench.args, bench.results

    def figure(text, key, unit, digits, scale=1.0):
        va = [v * scale for v in r.get(f"{key} A", [])]
        vb = [v * scale for v in r.get(f"{key} B", [])]
        ma, mb = median(va), median(vb)
        delta = "n/a" if ma is None or mb is None else f"{mb - ma:+.{digits}f} {unit}".rstrip()
        lines.append(f"| {text} | {fmt(va, unit, digits)} | {fmt(vb, unit, digits)} | {delta} | {ratio(vb, va)} |")

    env = " ".join(a.ab_env or ())
    lines = [f"A: {a.ab_label_a}  ", f"B: {a.ab_label_b}" + (f" with {env}" if env else "") + "  ",
             f"{a.rounds} alternating rounds (A B, B A, ...), medians with min–max; Pss and anonymous memory "
             f"over the process tree in MB, {SETTLE:g} s after the title or the signed-in caption.", "",
             "| figure | A | B | B − A | B / A |", "|---|---|---|---|---|"]
    figure("start to the login page title", "start", "s", 3)
    figure("memory at the login page (Pss)", "login", "MB", 1)
    figure("memory at the login page, counted alone", "login alone", "MB", 1)
    figure("anonymous memory at the login page", "login anonymous", "MB", 1)
    figure("memory signed in (Pss)", "signed", "MB", 1)
    figure("memory signed in, counted alone", "signed alone", "MB", 1)
    figure("anonymous memory signed in", "signed anonymous", "MB", 1)
    figure("web processes signed in", "webproc", "", 0)
    figure(f"idle CPU signed in, over {a.idle:g} s", "idle", "%", 2)
    figure("exit, from OK to the end of the process", "exit", "s", 3)
    for name in TIMELINE:
        key = f"timeline {name}"
        for label in ("A", "B"):
            r[f"{key} {label}"] = [t[name] for t in bench.timelines.get(label, []) if name in t]
        if r[f"{key} A"] or r[f"{key} B"]:
            figure(f"timeline: {name}", key, "ms", 0, 1000.0)
    lines.append(f"| screenshot at the login page | {shots_line(bench.shots)} | | | |")
    for failure in bench.failures:
        lines.append(f"- failed: {failure}")
    return "\n".join(lines) + "\n"


def machine_line():
    cpu = "unknown CPU"
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    cpu = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    mem = "?"
    try:
        with open("/proc/meminfo") as f:
            kb = int(re.search(r"MemTotal:\s+(\d+)", f.read()).group(1))
            mem = f"{kb / 1024 / 1024:.1f} GiB"
    except (OSError, AttributeError):
        pass
    uname = subprocess.run(["uname", "-srm"], capture_output=True, text=True).stdout.strip()
    return f"{uname}; {cpu}; {os.cpu_count()} cores; {mem} memory"


BEGIN, END = "<!-- results: begin -->", "<!-- results: end -->"


def write_report(path, table):
    """Replaces the results block of path, keeping the hand-written text around it."""
    try:
        with open(path, encoding="utf-8") as f:
            text = f.read()
    except FileNotFoundError:
        text = "# Performance\n\n" + BEGIN + "\n" + END + "\n"
    if BEGIN not in text or END not in text:
        text = text.rstrip() + "\n\n" + BEGIN + "\n" + END + "\n"
    head, rest = text.split(BEGIN, 1)
    _, tail = rest.split(END, 1)
    with open(path, "w", encoding="utf-8") as f:
        f.write(head + BEGIN + "\n" + table + END + tail)


def log(message):
    print(f"bench: {message}", file=sys.stderr, flush=True)


def main():
    p = argparse.ArgumentParser(description=__doc__)
    for name in ("display", "tavro", "samples", "plain", "auto", "auto-log", "marker", "display-name", "work"):
        p.add_argument(f"--{name}", required=True)
    p.add_argument("--out", help="the file whose results block is rewritten (not in A/B mode)")
    p.add_argument("--floor", help="the floor program, measured beside the others")
    p.add_argument("--quick", action="store_true", help="3 rounds, 10 s idle, 5 exits, 2-minute soak")
    p.add_argument("--rounds", type=int)
    p.add_argument("--idle", type=float, help="seconds of idle CPU measurement")
    p.add_argument("--exits", type=int)
    p.add_argument("--soak", type=float, help="seconds of the signed-in memory growth run (0: none)")
    p.add_argument("--ab-a", help="A/B mode: the A build of Tavro (--tavro is then not run)")
    p.add_argument("--ab-b", help="A/B mode: the B build (may be the A build, with --ab-env)")
    p.add_argument("--ab-label-a", default="A")
    p.add_argument("--ab-label-b", default="B")
    p.add_argument("--ab-env", action="append", default=[], metavar="VAR=value", help="environment of B only")
    a = p.parse_args()
    ab = bool(a.ab_a or a.ab_b)
    if ab and not (a.ab_a and a.ab_b):
        p.error("A/B mode needs both --ab-a and --ab-b")
    try:
        ab_environment(a.ab_env)
    except ValueError as e:
        p.error(str(e))
    if not ab and not a.out:
        p.error("--out is needed outside the A/B mode")
    if ab:
        defaults = dict(rounds=4, idle=10, exits=0, soak=0)
    elif a.quick:
        defaults = dict(rounds=3, idle=10, exits=5, soak=120)
    else:
        defaults = dict(rounds=5, idle=60, exits=20, soak=600)
    for k, v in defaults.items():
        if getattr(a, k) is None:
            setattr(a, k, v)
    custom = any(x in sys.argv for x in ("--rounds", "--idle", "--exits", "--soak"))
    mode = "custom" if custom else ("quick" if a.quick else "full")

    started_at = datetime.datetime.now()
    t0 = time.monotonic()
    bench = Bench(a)
    try:
        bench.ab_run() if ab else bench.run()
    except KeyboardInterrupt:
        bench.failures.append("interrupted")
    if ab:
        print(ab_report(bench))
        return
    table = report(bench, mode, started_at, (time.monotonic() - t0) / 60)
    print(table)
    write_report(a.out, table)
    log(f"written to {a.out}")


if __name__ == "__main__":
    main()
