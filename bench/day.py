#!/usr/bin/python3
"""A busy day: Tavro and chromium --app side by side on the demo site's chat page, a message a
second to each with a new sound for each, then both frozen and the network cut; started by
bench/run.sh --day MINUTES.

Figures are taken from outside: threads, file descriptors, anonymous memory and CPU time from
/proc over each program's process tree, the sound server's streams through pactl, and each
message's lateness (the page's clock when it arrived, less the site's when it was sent) from the
site's chat log, which the pages report to.
"""
import argparse
import collections
import datetime
import os
import selectors
import shutil
import signal
import socket
import statistics
import struct
import subprocess
import sys
import tempfile
import threading
import time
import urllib.error
import urllib.request

sys.dont_write_bytecode = True  # leave no __pycache__ beside the scripts
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import bench  # noqa: E402
from bench import anonymous_mb, comms, cpu_seconds, log, tree  # noqa: E402

PROGRAMS = ("tavro", "chromium")
LABELS = {"tavro": "tavro", "chromium": "chromium --app"}
SETTLE = 45.0          # seconds after a fault before the day counts as steady again (and before the next)
FIRST_MINUTE = 60.0    # start-up, left out of the CPU figures (less in a short day)
LATE_MS = 2000         # lateness target outside the faults, and the bar for recovery
HOLD_MS = 10000        # recovered: under the bar, and every message for this long after too
RECOVERY_TARGET = 30.0
GROWTH_TARGET = 10.0   # MB per hour
CPU_TARGET = 1.5       # × chromium
FINE = 0.1             # seconds between the CPU readings that tell busy from idle
BEGIN, END = "<!-- busy day: begin -->", "<!-- busy day: end -->"

TAVRO_ROLES = ("UI", "web (site)", "web (advertisement)", "network (site)", "network (advertisement)",
               "sandbox", "other")
CHROMIUM_ROLES = ("browser", "renderer", "GPU", "network", "audio", "storage", "utility", "zygote",
                  "crash handler", "other")


# ------------------------------------------------------------------ the network between the programs and the site

def _reset(sock):
    """Closes with a reset instead of an orderly end, as a connection lost on the way looks."""
    try:
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
    except OSError:
        pass
    sock.close()


class Proxy:
    """A TCP forwarder on a port of its own to the site. cut() resets every connection through it
    and then each new one as it comes, until restore(): to the programs the network is gone."""

    LIMIT = 1 << 20  # bytes waiting for a slow reader before the other side is no longer read

    def __init__(self, target_port):
        self.target = ("127.0.0.1", target_port)
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.listener.setblocking(False)
        self.port = self.listener.getsockname()[1]
        self._wake_r, self._wake_w = socket.socketpair()
        self._commands = collections.deque()
        self._sel = selectors.DefaultSelector()
        self._peer, self._out, self._ending, self._events = {}, {}, set(), {}
        self.down = False
        self.resets = 0
        self._thread = threading.Thread(target=self._loop, name="proxy", daemon=True)
        self._thread.start()

    def _command(self, what):
        done = threading.Event()
        self._commands.append((what, done))
        self._wake_w.send(b"x")
        done.wait(5)

    def cut(self):
        self._command("cut")

    def restore(self):
        self._command("restore")

    def close(self):
        self._command("close")
        self._thread.join(5)

    def connections(self):
        return len(self._peer) // 2

    def _watch(self, sock):
        """Reads a side while its peer's backlog is small, writes it while its own is not empty."""
        events = 0
        if len(self._out[self._peer[sock]]) < self.LIMIT and sock not in self._ending:
            events |= selectors.EVENT_READ
        if self._out[sock]:
            events |= selectors.EVENT_WRITE
        known = self._events.get(sock)
        if events == known:
            return
        if known:
            self._sel.unregister(sock)
        if events:
            self._sel.register(sock, events, "conn")
        self._events[sock] = events

    def _drop(self, sock, reset=False):
        for s in (sock, self._peer.get(sock)):
            if s is None or s not in self._peer:
                continue
            if self._events.pop(s, 0):
                self._sel.unregister(s)
            del self._peer[s]
            del self._out[s]
            self._ending.discard(s)
            _reset(s) if reset else s.close()

    def _accept(self):
        while True:
            try:
                client, _ = self.listener.accept()
            except (BlockingIOError, InterruptedError):
                return
            if self.down:
                self.resets += 1
                _reset(client)
                continue
            try:
                server = socket.create_connection(self.target, timeout=5)
            except OSError:
                _reset(client)
                continue
            for s in (client, server):
                s.setblocking(False)
                s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            self._peer[client], self._peer[server] = server, client
            self._out[client], self._out[server] = bytearray(), bytearray()
            self._watch(client)
            self._watch(server)

    def _ended(self, sock):
        """sock has ended its side: once what it sent has gone, its peer hears the end too; when
        both sides have ended and nothing waits, the connection is closed."""
        peer = self._peer[sock]
        if self._out[peer]:
            return
        try:
            peer.shutdown(socket.SHUT_WR)
        except OSError:
            pass
        if peer in self._ending and not self._out[sock]:
            self._drop(sock)

    def _readable(self, sock):
        peer = self._peer[sock]
        try:
            data = sock.recv(65536)
        except (BlockingIOError, InterruptedError):
            return
        except OSError:
            self._drop(sock, reset=True)
            return
        if not data:
            self._ending.add(sock)
            self._watch(sock)
            self._ended(sock)
            return
        self._out[peer] += data
        self._watch(peer)
        self._watch(sock)

    def _writable(self, sock):
        out = self._out[sock]
        try:
            sent = sock.send(out)
        except (BlockingIOError, InterruptedError):
            return
        except OSError:
            self._drop(sock, reset=True)
            return
        del out[:sent]
        peer = self._peer[sock]
        self._watch(sock)
        self._watch(peer)
        if not out and peer in self._ending:
            self._ended(peer)

    def _loop(self):
        self._sel.register(self.listener, selectors.EVENT_READ, "listen")
        self._sel.register(self._wake_r, selectors.EVENT_READ, "wake")
        while True:
            for key, mask in self._sel.select(1.0):
                if key.data == "listen":
                    self._accept()
                elif key.data == "wake":
                    self._wake_r.recv(64)
                    while self._commands:
                        what, done = self._commands.popleft()
                        if what == "cut":
                            self.down = True
                            for s in list(self._peer):
                                self._drop(s, reset=True)
                        elif what == "restore":
                            self.down = False
                        elif what == "close":
                            for s in list(self._peer):
                                self._drop(s)
                            self.listener.close()
                            done.set()
                            return
                        done.set()
                elif key.fileobj in self._peer:
                    if mask & selectors.EVENT_READ:
                        self._readable(key.fileobj)
                    if key.fileobj in self._peer and mask & selectors.EVENT_WRITE:
                        self._writable(key.fileobj)


# ------------------------------------------------------------------ what the site and the sound server say

def parse_chat_log(text):
    """({name: value} of the header line, [(seq, sent ms, received ms)] by seq) of a client's chat
    log; counts in the header are ints, other values strings. Malformed lines are passed over."""
    header, arrivals = {}, []
    lines = text.splitlines()
    if lines and lines[0].startswith("client "):
        words = lines.pop(0).split()
        for name, value in zip(words[::2], words[1::2]):
            header[name] = int(value) if value.isdigit() else value
    for line in lines:
        parts = line.split()
        if len(parts) == 3 and all(p.isdigit() for p in parts):
            arrivals.append(tuple(int(p) for p in parts))
    arrivals.sort()
    return header, arrivals


def parse_sink_inputs(text):
    """Streams playing into the sound server by program (`pactl list sink-inputs`): WebKit's
    processes are Tavro's, Chromium's are its own."""
    counts = collections.Counter()
    binary = None

    def close():
        if binary is not None:
            counts["tavro" if "WebKit" in binary else "chromium" if "chrom" in binary else "other"] += 1

    for line in text.splitlines():
        if line.startswith("Sink Input #"):
            close()
            binary = ""
        elif binary is not None and line.strip().startswith("application.process.binary = "):
            binary = line.split("=", 1)[1].strip().strip('"')
    close()
    return counts


# ------------------------------------------------------------------ figures from the series

def pooled_slope(points, segments):
    """Least-squares slope of (seconds, value) points, per hour, with one line per segment
    (start, end) sharing the slope: a step between the segments (a fault) is not growth. None with
    fewer than two points in every segment."""
    sxy = sxx = 0.0
    for start, end in segments:
        part = [(t, v) for t, v in points if start <= t < end]
        if len(part) < 2:
            continue
        mt = sum(t for t, _ in part) / len(part)
        mv = sum(v for _, v in part) / len(part)
        sxy += sum((t - mt) * (v - mv) for t, v in part)
        sxx += sum((t - mt) ** 2 for t, _ in part)
    return None if sxx == 0 else sxy / sxx * 3600


def start_and_end(points):
    """Median of the first three values and of the last three: a single sample may catch a
    sound being played."""
    values = [v for _, v in points]
    if not values:
        return None, None
    return statistics.median(values[:3]), statistics.median(values[-3:])


def flat(start, end):
    """Flat: the end within 10 % (and at least 10) above the start."""
    if start is None or end is None:
        return None
    return end - start <= max(10, 0.1 * start)


def recovery_seconds(arrivals, fault_end_ms, until_ms, limit_ms=LATE_MS, hold_ms=HOLD_MS):
    """Seconds from a fault's end until lateness is back under limit_ms: the first message to
    arrive after the end under the limit from which every message arriving within hold_ms, and
    every message sent within hold_ms, are under it too (a page that stalls right after an on-time
    message has not recovered, however late its next messages arrive). Arrivals at or after
    until_ms do not count. None when that never happens before until_ms."""
    seen = sorted((r, seq, r - s) for seq, s, r in arrivals if fault_end_ms <= r < until_ms)
    sent = [(s, r - s) for _, s, r in arrivals if s < until_ms]
    for i, (received, _, late) in enumerate(seen):
        if late >= limit_ms:
            continue
        if any(l >= limit_ms for r, _, l in seen[i:] if r < received + hold_ms):
            continue
        if any(l >= limit_ms for s, l in sent if received <= s < received + hold_ms):
            continue
        return (received - fault_end_ms) / 1000
    return None


def outside(arrivals, windows):
    """The arrivals whose time on the way, from sent to received, touches no (start, end) window."""
    return [a for a in arrivals if not any(a[1] <= end and a[2] >= start for start, end in windows)]


def lateness(arrivals):
    """(median, worst, how many at or over the bar) of the lateness in ms, or None without arrivals."""
    late = [r - s for _, s, r in arrivals]
    if not late:
        return None
    return statistics.median(late), max(late), sum(1 for x in late if x >= LATE_MS)


def cpu_percent(series, steady, between=None):
    """CPU as % of one core from [(midpoint wall ms, CPU seconds, wall seconds)] readings, over
    those whose midpoint is steady(ms); with between(ms), only those in quiet spells too."""
    used = span = 0.0
    for mid, cpu, dt in series:
        if steady(mid) and (between is None or between(mid)):
            used += cpu
            span += dt
    return None if span == 0 else 100.0 * used / span


def schedule(minutes, freeze, cut):
    """Seconds from the day's start: the freeze at half the day, the cut halfway through the rest
    but at least SETTLE after the freeze, and the end at least SETTLE after the cut."""
    day = minutes * 60.0
    t_freeze = day / 2
    thawed = t_freeze + freeze
    t_cut = max(thawed + SETTLE, thawed + (day - thawed - cut) / 2)
    end = max(day, t_cut + cut + SETTLE)
    warm = min(600.0, t_freeze * 2 / 3)  # growth counts after the first 10 minutes (less in short days)
    steady = [(warm, t_freeze), (thawed + SETTLE, t_cut), (t_cut + cut + SETTLE, end + 1)]
    return dict(freeze=t_freeze, thaw=thawed, cut=t_cut, restore=t_cut + cut, end=end, warm=warm,
                steady=[(a, b) for a, b in steady if b > a])


# ------------------------------------------------------------------ process roles

def chromium_role(cmdline, root):
    """The role of a Chromium process from its command line, which Chromium rewrites for its
    helpers into one string with spaces."""
    if root:
        return "browser"
    args = cmdline.replace("\0", " ").split()
    kind = next((a.split("=", 1)[1] for a in args if a.startswith("--type=")), "")
    if kind == "renderer":
        return "renderer"
    if kind == "gpu-process":
        return "GPU"
    if kind == "zygote":
        return "zygote"
    if kind == "crashpad-handler" or (args and "crashpad" in os.path.basename(args[0])):
        return "crash handler"
    if kind == "utility":
        sub = next((a.split("=", 1)[1] for a in args if a.startswith("--utility-sub-type=")), "")
        for name, role in (("NetworkService", "network"), ("AudioService", "audio"), ("StorageService", "storage")):
            if name in sub:
                return role
        return "utility"
    return "other"


def tavro_role(comm, root, advertisement):
    if root:
        return "UI"
    for prefix, role in (("WebKitWebProces", "web"), ("WebKitNetworkPr", "network")):
        if comm.startswith(prefix):
            return f"{role} ({'advertisement' if advertisement else 'site'})"
    if comm in ("bwrap", "xdg-dbus-proxy"):
        return "sandbox"
    return "other"


def _read(path):
    try:
        with open(path, "rb") as f:
            return f.read().decode("utf-8", "replace")
    except OSError:
        return ""


def threads_of(pid):
    for line in _read(f"/proc/{pid}/status").splitlines():
        if line.startswith("Threads:"):
            return int(line.split()[1])
    return 0


def fds_of(pid):
    try:
        return len(os.listdir(f"/proc/{pid}/fd"))
    except OSError:
        return 0


# ------------------------------------------------------------------ the day

class Program:
    """One program's run and its samples: [(seconds, {role: {count, threads, fds, anon, cpu}})],
    CPU time per process from one sample to the next, and the fine CPU readings."""

    def __init__(self, name, run):
        self.name, self.run = name, run
        self.samples = []
        self.pids = []
        self.cpu = {}        # (pid, start) -> CPU seconds at the last sample
        self.fine_cpu = {}   # the same at the last fine reading
        self.fine_at = None
        self.fine = []       # [(midpoint wall ms, CPU seconds, wall seconds)]
        self.role_cpu = collections.defaultdict(list)  # role -> [(midpoint seconds, CPU s, s)]
        self.streams = []    # [(seconds, sound server streams)]
        self.ended = None

    def sample(self, t):
        root = self.run.proc.pid
        pids = tree(root)
        advert = set(bench.advertisement_processes(pids)) if self.name == "tavro" else set()
        roles = {}
        cpu = {}
        for p in pids:
            names = comms([p])
            if not names:
                continue
            if self.name == "tavro":
                role = tavro_role(names[0], p == root, p in advert)
            else:
                role = chromium_role(_read(f"/proc/{p}/cmdline"), p == root)
            r = roles.setdefault(role, dict(count=0, threads=0, fds=0, anon=0.0, cpu=0.0))
            r["count"] += 1
            r["threads"] += threads_of(p)
            r["fds"] += fds_of(p)
            r["anon"] += anonymous_mb([p])
            for key, secs in cpu_seconds([p]).items():
                cpu[key] = (role, secs)
        if self.samples:
            last_t = self.samples[-1][0]
            used = collections.Counter()
            for key, (role, secs) in cpu.items():
                used[role] += secs - self.cpu.get(key, (role, 0.0))[1]
            for role in roles:
                self.role_cpu[role].append(((last_t + t) / 2, used[role], t - last_t))
        self.cpu = cpu
        self.pids = pids
        self.samples.append((t, roles))

    def read_fine(self):
        now = time.time()
        cpu = cpu_seconds(self.pids)
        if self.fine_at is not None:
            used = sum(v - self.fine_cpu[k] for k, v in cpu.items() if k in self.fine_cpu)
            self.fine.append(((self.fine_at + now) / 2 * 1000, used, now - self.fine_at))
        self.fine_cpu, self.fine_at = cpu, now

    def series(self, figure, roles=None):
        """(seconds, figure summed over roles) of each sample."""
        return [(t, sum(v[figure] for role, v in r.items() if roles is None or role in roles))
                for t, r in self.samples]


class Day:
    def __init__(self, args):
        self.args = args
        self.work = args.work
        self.x = bench.X(args.display)
        self.env = dict(os.environ, DISPLAY=args.display, PULSE_SERVER=args.pulse)
        self.failures = []
        self.programs = {}
        self.proxy = None
        self.faults = {}   # name -> (start wall ms, end wall ms)
        self.logs = {}     # program -> (header, arrivals)

    def site(self, path):
        with urllib.request.urlopen(f"{self.args.site}{path}", timeout=10) as r:
            return r.read().decode("utf-8", "replace")

    def chat_log(self, client):
        try:
            return parse_chat_log(self.site(f"/kefu/lab/chat/log?client={client}"))
        except (OSError, urllib.error.URLError):
            return {}, []

    def page(self, client):
        return (f"http://127.0.0.1:{self.proxy.port}/kefu/lab/chat.html?client={client}"
                f"&interval={self.args.interval}")

    def start_programs(self):
        folder = tempfile.mkdtemp(dir=self.work, prefix="tavro-")
        with open(os.path.join(folder, "url.txt"), "w") as f:
            f.write(self.page("tavro") + "#")  # Tavro's login path lands in the fragment
        for name in bench.SAMPLE_IMAGES:
            shutil.copy(os.path.join(self.args.samples, name), folder)
        self.programs["tavro"] = Program("tavro", bench.Run(self, "tavro day", [self.args.tavro], cwd=folder,
                                                            env=self.env))
        profile = tempfile.mkdtemp(dir=self.work, prefix="chromium-")
        argv = ["chromium", f"--app={self.page('chromium')}", f"--user-data-dir={profile}",
                "--no-first-run", "--no-default-browser-check", "--disable-background-networking",
                "--disable-component-update", "--disable-sync", "--disable-gpu",
                # An agent's console has been clicked by the time its sounds play: Tavro lets the
                # site's sound play anyway, Chromium needs to be told.
                "--autoplay-policy=no-user-gesture-required",
                # No offer to translate the page (an agent's desktop speaks its language), and beside
                # Tavro's window, not over it.
                "--disable-features=Translate", "--window-position=860,0", "--window-size=400,723"]
        if os.geteuid() == 0:
            argv.append("--no-sandbox")
        self.programs["chromium"] = Program("chromium", bench.Run(self, "chromium day", argv, env=self.env))

    def wait_pages(self):
        """Until both pages have reported a message; False after 90 s."""
        limit = time.monotonic() + 90
        waiting = set(PROGRAMS)
        while waiting and time.monotonic() < limit:
            for name in list(waiting):
                if self.chat_log(name)[1]:
                    waiting.discard(name)
                elif not self.programs[name].run.alive():
                    self.failures.append(f"{name}: ended before its page reported a message")
                    return False
            time.sleep(0.5)
        for name in waiting:
            self.failures.append(f"{name}: its page reported no message within 90 s")
        return not waiting

    def sound_streams(self):
        done = subprocess.run(["pactl", "-s", self.args.pulse, "list", "sink-inputs"], capture_output=True,
                              text=True, timeout=10)
        return parse_sink_inputs(done.stdout) if done.returncode == 0 else None

    def signal_trees(self, sig, pids_by_program=None):
        """Sends sig to every process of both trees; returns the pids, by program."""
        found = pids_by_program or {n: p.run.tree() for n, p in self.programs.items()}
        for pids in found.values():
            for p in pids:
                try:
                    os.kill(p, sig)
                except OSError:
                    pass
        return found

    def run(self):
        a = self.args
        plan = schedule(a.minutes, a.freeze, a.cut)
        self.plan = plan
        self.proxy = Proxy(int(a.site.rsplit(":", 1)[1]))
        self.start_programs()
        if not self.wait_pages():
            return
        t0 = time.monotonic()
        self.wall0 = time.time() * 1000
        log(f"day: {a.minutes:g} minutes planned; freeze {a.freeze:g} s at {clock(plan['freeze'])}, "
            f"network cut {a.cut:g} s at {clock(plan['cut'])}, end at {clock(plan['end'])}")
        events = [(plan["freeze"], "freeze"), (plan["thaw"], "thaw"), (plan["cut"], "cut"),
                  (plan["restore"], "restore")]
        frozen = None
        next_sample = 0.0
        next_note = 60.0
        while True:
            t = time.monotonic() - t0
            while events and t >= events[0][0]:
                _, what = events.pop(0)
                now = time.time() * 1000
                if what == "freeze":
                    frozen = self.signal_trees(signal.SIGSTOP)
                    self.faults["freeze"] = (now, None)
                    log(f"day {clock(t)}: both programs frozen")
                elif what == "thaw":
                    self.signal_trees(signal.SIGCONT, frozen)
                    self.signal_trees(signal.SIGCONT)
                    self.faults["freeze"] = (self.faults["freeze"][0], now)
                    log(f"day {clock(t)}: both programs running again")
                elif what == "cut":
                    self.proxy.cut()
                    self.faults["cut"] = (now, None)
                    log(f"day {clock(t)}: network cut")
                elif what == "restore":
                    self.proxy.restore()
                    self.faults["cut"] = (self.faults["cut"][0], now)
                    log(f"day {clock(t)}: network back ({self.proxy.resets} connections refused meanwhile)")
            if t >= plan["end"]:
                break
            for p in self.programs.values():
                if p.ended is None:
                    p.read_fine()
            if t >= next_sample:
                next_sample += a.sample
                streams = self.sound_streams()
                for name, p in self.programs.items():
                    if p.ended is not None:
                        continue
                    if not p.run.alive():
                        p.ended = t
                        self.failures.append(f"{name}: ended at {clock(t)} (exit code {p.run.proc.returncode})")
                        continue
                    p.sample(t)
                    if streams is not None:
                        p.streams.append((t, streams.get(name, 0)))
            if t >= next_note:
                next_note += 60
                self.note(t)
            time.sleep(max(0.0, FINE - (time.monotonic() - t0 - t)))
        time.sleep(3)  # the pages report every 2 s: let the last arrivals reach the site
        self.end_wall = time.time() * 1000
        for name in PROGRAMS:
            self.logs[name] = self.chat_log(name)

    def note(self, t):
        parts = []
        for name, p in self.programs.items():
            header, arrivals = self.chat_log(name)
            recent = [r - s for _, s, r in arrivals[-10:]]
            threads = p.series("threads")[-1][1] if p.samples else 0
            anon = p.series("anon")[-1][1] if p.samples else 0
            parts.append(f"{name} {len(arrivals)} messages (last 10 at most {max(recent, default=0)} ms late), "
                         f"{threads} threads, {anon:.1f} MB anonymous")
        log(f"day {clock(t)}: " + "; ".join(parts))

    def stop(self):
        self.signal_trees(signal.SIGCONT)  # a frozen program could not take its end
        for p in self.programs.values():
            p.run.stop()
        if self.proxy:
            self.proxy.close()


def clock(seconds):
    seconds = int(round(seconds))
    return f"{seconds // 60}:{seconds % 60:02d}"


# ------------------------------------------------------------------ the report

def ms(value):
    if value is None:
        return "n/a"
    return f"{value:.0f} ms" if value < 10000 else f"{value / 1000:.1f} s"


def seconds(value):
    return "not recovered" if value is None else f"{value:.1f} s"


def count_cell(start, end, most=None):
    if start is None:
        return "n/a"
    text = f"{start:.0f} → {end:.0f}"
    return text + (f" (most {most:.0f})" if most is not None else "")


def figures(day, name):
    """Every figure of one program, as numbers (None where not measured)."""
    p = day.programs.get(name)
    plan, wall0 = day.plan, day.wall0
    header, arrivals = day.logs.get(name, ({}, []))
    f = dict(header=header, arrivals=arrivals)
    if p is None:
        return f

    def wall(t):
        return wall0 + t * 1000

    # Faults, in wall ms; each one's recovery, and the windows the lateness outside the faults leaves out.
    windows = []
    order = [n for n in ("freeze", "cut") if n in day.faults]
    for i, fault in enumerate(order):
        start, end = day.faults[fault]
        end = end or day.end_wall
        until = day.faults[order[i + 1]][0] if i + 1 < len(order) else day.end_wall
        f[f"recovery {fault}"] = recovery_seconds(arrivals, end, until)
        rec = f[f"recovery {fault}"]
        windows.append((start, until if rec is None else end + rec * 1000))
    f["lateness"] = lateness(outside(arrivals, windows))
    f["lateness all"] = lateness(arrivals)
    if header.get("interval") and header.get("start"):
        sent = int(day.end_wall - 3000 - header["start"]) // header["interval"] + 1
        f["sent"] = sent
        f["received"] = sum(1 for a in arrivals if a[0] <= sent)

    # The day's steady spells: after the start-up, outside each fault and the SETTLE after it.
    fault_spans = [(day.faults[n][0], (day.faults[n][1] or day.end_wall) + SETTLE * 1000) for n in order]
    startup = wall(min(FIRST_MINUTE, plan["warm"]))

    def steady_ms(m):
        return startup <= m <= day.end_wall and not any(a <= m < b for a, b in fault_spans)

    def between(m):
        start, interval = header.get("start"), header.get("interval")
        if not start or not interval:
            return False
        return (m - start) % interval >= min(600, 0.6 * interval)

    f["cpu"] = cpu_percent(p.fine, steady_ms)
    f["cpu between"] = cpu_percent(p.fine, steady_ms, between)

    steady_s = [(a, b) for a, b in plan["steady"]]
    for figure in ("threads", "fds", "anon"):
        points = p.series(figure)
        f[figure] = start_and_end(points)
        f[f"{figure} most"] = max((v for _, v in points), default=None)
    f["growth"] = pooled_slope(p.series("anon"), steady_s)
    if p.streams:
        f["streams"] = start_and_end(p.streams)
        f["streams most"] = max(v for _, v in p.streams)
    roles = {}
    order_roles = TAVRO_ROLES if name == "tavro" else CHROMIUM_ROLES
    seen = {role for _, r in p.samples for role in r}
    for role in sorted(seen, key=lambda r: order_roles.index(r) if r in order_roles else len(order_roles)):
        rf = {}
        counts = [r[role]["count"] for _, r in p.samples if role in r]
        rf["count"] = statistics.median(counts)
        for figure in ("threads", "fds", "anon"):
            rf[figure] = start_and_end([(t, r[role][figure]) for t, r in p.samples if role in r])
        rf["growth"] = pooled_slope([(t, r[role]["anon"]) for t, r in p.samples if role in r], steady_s)
        rf["cpu"] = cpu_percent([(wall(mid), cpu, dt) for mid, cpu, dt in p.role_cpu.get(role, [])], steady_ms)
        roles[role] = rf
    f["roles"] = roles
    return f


def report(day, started_at, minutes):
    a, plan = day.args, day.plan
    fig = {name: figures(day, name) for name in PROGRAMS}
    t, c = fig["tavro"], fig["chromium"]
    warm = plan["warm"] / 60
    after_warm = f"after the first {warm:g} minute{'' if warm == 1 else 's'}"
    lines = [
        f"Run: {started_at:%Y-%m-%d %H:%M} (busy day: {a.minutes:g} minutes planned, {minutes:.1f} in all; "
        f"a message every {a.interval / 1000:g} s to each program; frozen {a.freeze:g} s from "
        f"{clock(plan['freeze'])}, network cut {a.cut:g} s from {clock(plan['cut'])}; samples every "
        f"{a.sample:g} s)  ",
        f"Machine: {bench.machine_line()}",
        "",
        "Both programs at once on the chat page, under one X server and one sound server. Threads, "
        "file descriptors and anonymous memory are summed over the program's process tree; start is the "
        "median of the first three samples, end of the last three. CPU is a "
        "percentage of one core, outside the faults and their first "
        f"{SETTLE:g} s; lateness is the page's clock at a message's arrival less the site's when it sent it.",
        "",
        "| figure | tavro | chromium --app | tavro / chromium |",
        "|---|---|---|---|",
    ]

    def row(text, tv, cv, ratio=""):
        lines.append(f"| {text} | {tv} | {cv} | {ratio} |")

    def both(key, render):
        return render(t.get(key)), render(c.get(key))

    def received(f):
        if "sent" not in f:
            return "n/a"
        h = f["header"]
        extra = f", {h['dropped']} dropped by the site" if h.get("dropped") else ""
        return f"{f['received']} of {f['sent']}{extra}"

    def sounds(f):
        h = f["header"]
        if "played" not in h:
            return "n/a"
        why = f", last refusal {h['why']}" if h.get("refused") else ""
        return f"{h['played']} played, {h['refused']} refused{why}"

    def ratio(key):
        tv, cv = t.get(key), c.get(key)
        return "n/a" if tv is None or cv is None or cv == 0 else f"{tv / cv:.2f}"

    row("messages received, of those sent", received(t), received(c))
    row("sounds", sounds(t), sounds(c))
    row("page loads", t["header"].get("loads", "n/a"), c["header"].get("loads", "n/a"))
    row("lateness outside the faults, median", *both("lateness", lambda v: ms(v and v[0])))
    row("lateness outside the faults, worst", *both("lateness", lambda v: ms(v and v[1])))
    row(f"messages {LATE_MS / 1000:g} s late or more, outside the faults",
        *both("lateness", lambda v: "n/a" if v is None else str(v[2])))
    row("lateness, worst in the whole day", *both("lateness all", lambda v: ms(v and v[1])))
    def recovery(key):  # n/a: the day ended before the fault
        return tuple("n/a" if key not in f else seconds(f[key]) for f in (t, c))

    row(f"recovery after the freeze ({a.freeze:g} s)", *recovery("recovery freeze"))
    row(f"recovery after the network cut ({a.cut:g} s)", *recovery("recovery cut"))
    row("CPU of the tree", *both("cpu", lambda v: "n/a" if v is None else f"{v:.2f} %"), ratio("cpu"))
    row("CPU between messages", *both("cpu between", lambda v: "n/a" if v is None else f"{v:.2f} %"),
        ratio("cpu between"))
    row("threads, start → end", count_cell(*t.get("threads", (None, None)), t.get("threads most")),
        count_cell(*c.get("threads", (None, None)), c.get("threads most")))
    row("file descriptors, start → end", count_cell(*t.get("fds", (None, None)), t.get("fds most")),
        count_cell(*c.get("fds", (None, None)), c.get("fds most")))

    def mb(v):
        return "n/a" if v is None or v[0] is None else f"{v[0]:.1f} → {v[1]:.1f} MB"

    row("anonymous memory, start → end", *both("anon", mb))

    def growth(v):
        return "n/a" if v is None else f"{v:+.1f} MB/h"

    row(f"anonymous memory growth {after_warm}", *both("growth", growth))
    row("sound server streams, start → end",
        *(count_cell(*f["streams"], f["streams most"]) if "streams" in f else "n/a" for f in (t, c)))
    lines.append("")
    lines.append("| process | threads | file descriptors | anonymous memory, MB | growth, MB/h | CPU |")
    lines.append("|---|---|---|---|---|---|")
    for name, f in fig.items():
        for role, rf in f.get("roles", {}).items():
            n = rf["count"]
            label = f"{name} {role}" + (f" ({n:g})" if n != 1 else "")
            cpu = "n/a" if rf["cpu"] is None else f"{rf['cpu']:.2f} %"
            lines.append(f"| {label} | {count_cell(*rf['threads'])} | {count_cell(*rf['fds'])} | "
                         f"{mb(rf['anon']).removesuffix(' MB')} | {growth(rf['growth'])} | {cpu} |")
    lines.append("")
    lines.append("| target | tavro | | chromium --app |")
    lines.append("|---|---|---|---|")

    def target(text, tv, ok, cv):
        lines.append(f"| {text} | {tv} | {bench.verdict(ok)} | {cv} |")

    th, ch = t.get("threads", (None, None)), c.get("threads", (None, None))
    target("threads flat (end within 10 % or 10 of start)", count_cell(*th), flat(*th), count_cell(*ch))
    target(f"anonymous memory growth {after_warm} < {GROWTH_TARGET:g} MB/h", growth(t.get("growth")),
           None if t.get("growth") is None else t["growth"] < GROWTH_TARGET, growth(c.get("growth")))
    cr = ratio("cpu")
    target(f"CPU ≤ {CPU_TARGET:g} × chromium --app", cr + (" ×" if cr != "n/a" else ""),
           None if cr == "n/a" else float(cr) <= CPU_TARGET, "")
    tl, cl = t.get("lateness"), c.get("lateness")
    target(f"worst lateness outside the faults < {LATE_MS / 1000:g} s", ms(tl and tl[1]),
           None if tl is None else tl[1] < LATE_MS, ms(cl and cl[1]))
    for key, text in (("recovery freeze", "freeze"), ("recovery cut", "network cut")):
        tv = t.get(key, "missing")
        ok = None if tv == "missing" else (tv is not None and tv < RECOVERY_TARGET)
        target(f"recovery after the {text} < {RECOVERY_TARGET:g} s", "n/a" if tv == "missing" else seconds(tv), ok,
               "n/a" if key not in c else seconds(c[key]))
    lines.append("")
    for failure in day.failures:
        lines.append(f"- failed: {failure}")
    return "\n".join(lines).rstrip() + "\n"


def write_block(path, table):
    """Replaces the busy day's block of path, keeping everything around it; a file without one
    gets it at its end, under a heading of its own."""
    try:
        with open(path, encoding="utf-8") as f:
            text = f.read()
    except FileNotFoundError:
        text = "# Performance\n"
    if BEGIN not in text or END not in text or text.index(END) < text.index(BEGIN):
        text = text.rstrip() + "\n\n## A busy day\n\n" + BEGIN + "\n" + END + "\n"
    head, rest = text.split(BEGIN, 1)
    _, tail = rest.split(END, 1)
    with open(path, "w", encoding="utf-8") as f:
        f.write(head + BEGIN + "\n" + table + END + tail)


def main():
    p = argparse.ArgumentParser(description=__doc__)
    for name in ("display", "tavro", "samples", "site", "pulse", "work", "out"):
        p.add_argument(f"--{name}", required=True)
    p.add_argument("--minutes", type=float, required=True, help="length of the day")
    p.add_argument("--freeze", type=float, default=300, help="seconds both programs stay frozen (default 300)")
    p.add_argument("--cut", type=float, default=20, help="seconds the network stays cut (default 20)")
    p.add_argument("--interval", type=int, default=1000, help="ms between two messages (default 1000)")
    p.add_argument("--sample", type=float, default=10, help="seconds between two samples (default 10)")
    a = p.parse_args()
    if a.minutes <= 0 or a.freeze < 0 or a.cut < 0 or not 50 <= a.interval <= 60000 or not 1 <= a.sample <= 60:
        p.error("--minutes must be positive, --freeze and --cut not negative, --interval 50 to 60000 ms and "
                "--sample 1 to 60 s")
    started_at = datetime.datetime.now()
    t0 = time.monotonic()

    def interrupted(signum, frame):
        raise KeyboardInterrupt()

    # Ended from outside, the programs are still let go (and continued, when frozen).
    signal.signal(signal.SIGTERM, interrupted)
    day = Day(a)
    try:
        day.run()
    except KeyboardInterrupt:
        day.failures.append("interrupted")
    finally:
        if not hasattr(day, "end_wall"):
            day.end_wall = time.time() * 1000
            day.logs = {name: day.chat_log(name) for name in PROGRAMS}
        day.stop()
    if not hasattr(day, "wall0"):
        day.wall0 = day.end_wall
        day.plan = schedule(a.minutes, a.freeze, a.cut)
    table = report(day, started_at, (time.monotonic() - t0) / 60)
    print(table)
    write_block(a.out, table)
    log(f"written to {a.out}")


if __name__ == "__main__":
    main()
