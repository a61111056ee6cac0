#!/usr/bin/python3
"""Checks of the benchmark's own measuring and reporting: /usr/bin/python3 bench/test_bench.py"""
import os
import signal
import subprocess
import sys
import tempfile
import time
import types
import unittest

sys.dont_write_bytecode = True  # leave no __pycache__ beside the scripts
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import bench  # noqa: E402


def start(script):
    return subprocess.Popen(["/bin/sh", "-c", script], start_new_session=True)


def stop(proc):
    for p in bench.tree(proc.pid):
        try:
            os.kill(p, signal.SIGKILL)
        except OSError:
            pass
    proc.wait()


def wait_for(condition, seconds=5):
    limit = time.monotonic() + seconds
    while time.monotonic() < limit:
        if condition():
            return True
        time.sleep(0.02)
    return False


class ProcessTreeTest(unittest.TestCase):
    def test_tree_holds_descendants_and_the_orphans_of_the_session_only(self):
        # A child, a grandchild, and one that its parent left behind (reparented away from the
        # tree, as Chromium's crash handler is); plus an unrelated process that must not count.
        proc = start("sleep 30 & (sh -c 'sleep 31 & exit 0') ; (sleep 32 &) ; wait")
        other = subprocess.Popen(["sleep", "33"])
        def names(pids):
            found = []
            for p in pids:
                try:
                    with open(f"/proc/{p}/cmdline") as f:
                        found.append(f.read().replace("\0", " ").strip())
                except OSError:
                    pass
            return found

        expected = {"sleep 30", "sleep 31", "sleep 32"}
        try:
            # The shells fork before they exec: wait until every sleep is itself.
            self.assertTrue(wait_for(lambda: expected <= set(names(bench.tree(proc.pid)))),
                            names(bench.tree(proc.pid)))
            pids = bench.tree(proc.pid)
            self.assertNotIn(other.pid, pids)
            self.assertEqual(len(pids), len(set(pids)))
        finally:
            stop(proc)
            other.kill()
            other.wait()

    def test_the_advertisements_processes_are_the_later_started_web_and_network_process(self):
        # Programs named as the engine's processes are: the site's pair first, then the ad's.
        folder = tempfile.mkdtemp()
        started = []
        try:
            for name in ("WebKitWebProcess", "WebKitNetworkProcess", "WebKitNetworkProcess", "WebKitWebProcess"):
                program = os.path.join(folder, name)
                if not os.path.exists(program):
                    subprocess.run(["cp", "/bin/sleep", program], check=True)
                started.append(subprocess.Popen([program, "30"]))
                # The kernel's start times count in clock ticks: each starts in a tick of its own.
                tick = os.times().elapsed
                while os.times().elapsed == tick:
                    pass
            pids = [p.pid for p in started]
            self.assertEqual(bench.advertisement_processes(pids), [started[3].pid, started[2].pid])
            # One of a kind: no advertisement process of its own to tell apart.
            self.assertEqual(bench.advertisement_processes(pids[:3]), [])
        finally:
            for p in started:
                p.kill()
                p.wait()
            subprocess.run(["rm", "-rf", folder], check=True)

    def test_tree_of_a_process_that_has_ended_is_empty(self):
        proc = subprocess.Popen(["true"])
        proc.wait()
        self.assertEqual(bench.tree(proc.pid), [])


class MemoryAndCpuTest(unittest.TestCase):
    def test_memory_counts_the_pages_a_child_touches(self):
        # 60 MB written page by page: both Pss and the anonymous memory see at least that much.
        child = subprocess.Popen([sys.executable, "-c",
                                  "import time; b = bytearray(60_000_000)\n"
                                  "for i in range(0, len(b), 4096): b[i] = 1\n"
                                  "print('ready', flush=True); time.sleep(30)"],
                                 stdout=subprocess.PIPE, start_new_session=True)
        try:
            self.assertEqual(child.stdout.readline().strip(), b"ready")
            pids = bench.tree(child.pid)
            self.assertGreater(bench.pss_mb(pids), 60)
            self.assertGreater(bench.anonymous_mb(pids), 60)
            self.assertLess(bench.pss_mb(pids), 200)
        finally:
            child.kill()
            child.wait()

    def test_counted_alone_a_shared_file_counts_once_and_private_memory_per_process(self):
        with tempfile.NamedTemporaryFile() as shared:
            shared.write(b"x" * 40_000_000)
            shared.flush()
            script = ("import mmap, sys, time\n"
                      f"f = open({shared.name!r}, 'rb')\n"
                      "m = mmap.mmap(f.fileno(), 0, prot=mmap.PROT_READ)\n"
                      "sum(m[i] for i in range(0, len(m), 4096))\n"
                      "b = bytearray(20_000_000)\n"
                      "for i in range(0, len(b), 4096): b[i] = 1\n"
                      "print('ready', flush=True); time.sleep(30)\n")
            children = [subprocess.Popen([sys.executable, "-c", script], stdout=subprocess.PIPE) for _ in range(2)]
            try:
                for child in children:
                    self.assertEqual(child.stdout.readline().strip(), b"ready")
                one = bench.alone_mb([children[0].pid])
                if one is None:
                    self.skipTest("page frames need root")
                both = bench.alone_mb([c.pid for c in children])
                self.assertGreater(one, 60)
                self.assertGreater(both - one, 20)   # the second one's own 20 MB
                self.assertLess(both - one, 35)      # but not the file again
                # By mapping, the file's pages are split between the two, 20 MB each, and the
                # classes add up to the figure counted alone.
                mapped = bench.memory_map([c.pid for c in children], children[0].pid)
                self.assertEqual((mapped[("count", "UI")], mapped[("count", "other")]), (1, 1))
                self.assertAlmostEqual(mapped[("UI", "other")], 20, delta=2)
                self.assertAlmostEqual(mapped[("other", "other")], 20, delta=2)
                self.assertGreater(mapped[("UI", "heap")], 20)
                total = sum(v for k, v in mapped.items() if k[0] not in ("count", "pss"))
                self.assertAlmostEqual(total, both, delta=0.5)
            finally:
                for child in children:
                    child.kill()
                    child.wait()

    def test_memory_of_vanished_processes_is_nothing(self):
        self.assertEqual(bench.pss_mb([2 ** 22 + 12345]), 0)

    def test_cpu_time_of_a_busy_child(self):
        child = start("while :; do :; done")
        try:
            before = bench.cpu_seconds(bench.tree(child.pid))
            time.sleep(0.5)
            after = bench.cpu_seconds(bench.tree(child.pid))
            used = sum(v - before.get(k, 0.0) for k, v in after.items())
            self.assertGreater(used, 0.2)
            self.assertLess(used, 0.7)
        finally:
            stop(child)


def fake_bench(**results):
    b = types.SimpleNamespace()
    b.args = types.SimpleNamespace(rounds=5, idle=60, exits=4, soak=600)
    b.results = {k: [] for k in bench.RESULT_KEYS}
    b.results.update(results)
    b.logouts = [True] * len(b.results["exit tavro"])
    b.soak = None
    b.failures = []
    b.surf_title = None
    b.maps = {k: [] for k in bench.MAPPED}
    b.timelines = {k: [] for k in bench.PROGRAMS}
    return b


def verdicts(b):
    """target text -> last column of the target table."""
    table = bench.report(b, "full", bench.datetime.datetime(2026, 1, 1), 20)
    rows = {}
    for line in table.splitlines():
        cells = [c.strip() for c in line.strip("|").split("|")]
        if len(cells) == 3 and cells[0] not in ("target", "---"):
            rows[cells[0]] = cells[2]
    return rows


class ReportTest(unittest.TestCase):
    def test_targets_are_judged_on_medians_and_ratios(self):
        b = fake_bench(**{
            "signed tavro": [150, 160, 170],           # median 160: met
            "webproc tavro": [2, 2, 1],                 # median 2: met
            "login tavro": [100, 101, 99], "login chromium": [300, 300, 300], "login surf": [160, 160, 160],
            "start tavro": [0.6, 0.7, 0.66], "start chromium": [0.5, 0.5, 0.5], "start surf": [0.4, 0.4, 0.4],
            "idle tavro": [0.4, 0.6, 0.5],
            "exit tavro": [1.01, 1.05, 1.1, 1.3],
        })
        rows = verdicts(b)
        self.assertEqual(rows["memory at the login page ≤ 0.45 × chromium"], "met")        # 0.33
        self.assertEqual(rows["memory at the login page ≤ 0.6 × surf"], "**missed**")       # 0.63
        self.assertEqual(rows["memory signed in ≤ 165 MB"], "met")
        self.assertEqual(rows["advertisement in a web process of its own (2 signed in)"], "met")
        self.assertEqual(rows["start ≤ 1.2 × chromium --app"], "**missed**")                # 1.32
        self.assertEqual(rows["start ≤ 0.65 s"], "**missed**")                              # 0.66
        self.assertEqual(rows["idle CPU signed in ≤ 0.5 %"], "met")                         # median 0.5
        self.assertEqual(rows["exit 1.0–1.2 s after OK, logout received every time"], "met")
        b.results["start tavro"] = [0.6, 0.58, 0.7]
        b.results["webproc tavro"] = [1, 1, 2]
        rows = verdicts(b)
        self.assertEqual(rows["start ≤ 1.2 × chromium --app"], "met")                       # 1.2
        self.assertEqual(rows["start ≤ 0.65 s"], "met")
        self.assertEqual(rows["advertisement in a web process of its own (2 signed in)"], "**missed**")

    def test_exit_needs_every_logout_every_run_and_the_window(self):
        b = fake_bench(**{"exit tavro": [1.05, 1.06, 1.07, 1.08]})
        b.logouts[2] = False
        self.assertEqual(verdicts(b)["exit 1.0–1.2 s after OK, logout received every time"], "**missed**")
        b = fake_bench(**{"exit tavro": [1.05, 1.06, 1.07]})  # one of the four runs failed
        self.assertEqual(verdicts(b)["exit 1.0–1.2 s after OK, logout received every time"], "**missed**")
        b = fake_bench(**{"exit tavro": [0.2, 0.3, 0.3, 0.4]})  # too soon: the logout may not have gone
        self.assertEqual(verdicts(b)["exit 1.0–1.2 s after OK, logout received every time"], "**missed**")

    def test_missing_figures_are_not_reported_as_met(self):
        rows = verdicts(fake_bench())
        self.assertTrue(rows)
        for target, verdict in rows.items():
            self.assertEqual(verdict, "n/a", target)

    def test_growth_is_judged_on_anonymous_memory_and_failures_are_shown(self):
        # Pss grows as shared pages are touched, which is no leak: the target is on anonymous memory.
        b = fake_bench()
        b.soak = (100.0, 103.5, 10, 0.4)
        b.failures.append("tavro: the exit question did not appear")
        table = bench.report(b, "full", bench.datetime.datetime(2026, 1, 1), 20)
        self.assertIn("Pss +3.50 MB", table)
        self.assertIn("| anonymous memory growth over 10 minutes < 1 MB | +0.40 MB | met |", table)
        self.assertIn("failed: tavro: the exit question did not appear", table)
        b.soak = (100.0, 100.0, 10, 1.2)
        self.assertEqual(verdicts(b)["anonymous memory growth over 10 minutes < 1 MB"], "**missed**")


class TimelineTest(unittest.TestCase):
    def test_milestones_are_read_from_mixed_and_damaged_output(self):
        # The web processes share the program's stderr: their warnings come between the lines, a
        # line may be cut by a crash, and a name printed twice keeps its first time.
        text = ("tavro-timeline main 12.5\n"
                "** (WebKitWebProcess:2): WARNING **: Can't connect to a11y bus\n"
                "tavro-timeline toolkit 12.75\r\n"
                "  tavro-timeline view 13.0\n"             # not at the start of the line
                "tavro-timeline load\n"                    # cut
                "tavro-timeline title 13.5 extra\n"        # not exactly the format
                "xtavro-timeline tick 14.0\n"
                "tavro-timeline caption 14.25\n"
                "tavro-timeline main 20.0\n"
                "tavro-timeline tick 1")                    # last line, no newline
        self.assertEqual(bench.parse_timeline(text),
                         {"main": 12.5, "toolkit": 12.75, "caption": 14.25, "tick": 1.0})
        self.assertEqual(bench.parse_timeline(""), {})

    def test_timeline_table_shows_medians_from_exec_and_dashes_for_the_missing(self):
        rows = bench.timeline_table({
            "tavro": [{"main": 0.07, "title": 0.5, "seen": 0.6}, {"main": 0.09, "seen": 0.62},
                      {"main": 0.08, "title": 0.52, "seen": 1.2}],
            "floor": [],  # not run: no row
            "surf": [{"seen": 0.4}],
        })
        self.assertEqual(len(rows), 4)
        cells = [[c.strip() for c in row.strip("|").split("|")] for row in rows]
        head = cells[0]
        tavro = dict(zip(head, cells[2]))
        self.assertEqual((tavro["main"], tavro["title"], tavro["window title (polled)"]), ("80", "510", "620"))
        self.assertEqual(tavro["caption"], "–")
        surf = dict(zip(head, cells[3]))
        self.assertEqual([surf[n] for n in bench.TIMELINE], ["–"] * len(bench.TIMELINE))
        self.assertEqual(surf["window title (polled)"], "400")


class MemoryMapTest(unittest.TestCase):
    def test_files_fall_into_their_classes(self):
        cases = {
            "/usr/lib/x86_64-linux-gnu/libLLVM-15.so.1": "Mesa/LLVM",
            "/lib/x86_64-linux-gnu/dri/swrast_dri.so": "Mesa/LLVM",
            "/usr/lib/x86_64-linux-gnu/libgallium-24.2.8.so": "Mesa/LLVM",
            "/usr/lib/x86_64-linux-gnu/libEGL_mesa.so.0.0.0": "Mesa/LLVM",
            "/lib/x86_64-linux-gnu/libwebkit2gtk-4.1.so.0.19.9": "WebKit/JavaScriptCore",
            "/usr/lib/x86_64-linux-gnu/libjavascriptcoregtk-4.1.so.0.9.11": "WebKit/JavaScriptCore",
            "/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/WebKitWebProcess": "WebKit/JavaScriptCore",
            "/usr/lib/x86_64-linux-gnu/libgtk-3.so.0.2406.32": "GTK/GLib",
            "/usr/lib/x86_64-linux-gnu/libglib-2.0.so.0.7400.6": "GTK/GLib",
            "/usr/lib/x86_64-linux-gnu/libgtkmm-3.0.so.1.1.0": "gtkmm",
            "/usr/lib/x86_64-linux-gnu/libsigc-2.0.so.0.0.0": "gtkmm",
            "/usr/lib/x86_64-linux-gnu/libflite_cmu_us_awb.so.2.2": "speech (flite)",
            "/usr/lib/x86_64-linux-gnu/libicuuc.so.72.1": "other libraries",
            os.path.realpath(sys.executable): "other libraries",  # a program's own code
            "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc": "fonts",
            "/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.OTF": "fonts",
            "/var/cache/fontconfig/6cc790b63b123a6a96ee260fcdad32a9-le64.cache-8": "fonts",
            "[heap]": "heap",
            "[stack]": "other",
            "/SYSV00000000 (deleted)": "other",
            "/memfd:wayland-cursor (deleted)": "other",
            "/usr/lib/locale/locale-archive": "other",
        }
        for name, cls in cases.items():
            self.assertEqual(bench.file_class(name), cls, name)
            self.assertIn(cls, bench.MAPPING_CLASSES)

    def test_anonymous_runs_are_javascript_only_when_reserved_or_executable_in_a_web_process(self):
        gib = 1 << 30
        rows = [
            [0x1000, 0x2000, "rw-p", "", 8],                        # a small anonymous mapping
            [0x2000, 0x3000, "rw-p", "[heap]", 100],
            [4 * gib, 4 * gib + 4096, "rw-p", "", 50],              # the used start of a reservation
            [4 * gib + 4096, 5 * gib + 8192, "---p", "", 0],       # its reserved rest: 1 GiB in all
            [6 * gib, 6 * gib + 4096, "rwxp", "", 20],              # JIT code
            [6 * gib + 4096, 6 * gib + 8192, "rw-p", "", 1],        # adjacent to the JIT code: same run
            [7 * gib, 7 * gib + 4096, "rw-p", "", 2],               # alone again
            [8 * gib, 8 * gib + 4096, "r--p", "/usr/lib/libLLVM-15.so.1", 30],
        ]
        web = bench.classify(list(reversed(rows)), web=True)  # smaps order is not relied upon
        self.assertEqual(web["JavaScript"], 71)
        self.assertEqual(web["heap"], 110)
        self.assertEqual(web["Mesa/LLVM"], 30)
        ui = bench.classify(rows, web=False)
        self.assertEqual((ui["JavaScript"], ui["heap"]), (0, 181))
        self.assertEqual(sum(ui.values()), sum(r[4] for r in rows))

    def test_the_classes_of_a_real_process_add_up(self):
        # Nothing lost or counted twice: the classes add up to the process counted alone (to its
        # Pss without page frames), and the Pss row is smaps_rollup's.
        pid = os.getpid()
        mapped = bench.memory_map([pid], pid)
        total = sum(v for k, v in mapped.items() if k[0] not in ("count", "pss"))
        self.assertEqual(mapped[("count", "UI")], 1)
        self.assertAlmostEqual(mapped[("pss", "UI")], bench.pss_mb([pid]), delta=0.5)
        alone = bench.alone_mb([pid])
        self.assertAlmostEqual(total, bench.pss_mb([pid]) if alone is None else alone, delta=0.5)
        self.assertGreater(mapped[("UI", "heap")] + mapped[("UI", "other libraries")], 1)

    def test_table_puts_processes_side_by_side_and_the_gap_to_the_floor(self):
        def sample(ui_heap, web_llvm, web_count):
            return {("count", "UI"): 1, ("count", "web"): web_count, ("count", "network"): 1,
                    ("UI", "heap"): ui_heap, ("web", "Mesa/LLVM"): web_llvm, ("network", "heap"): 3.0}
        maps = {"tavro": [sample(10, 30, 2), sample(12, 31, 2), sample(11, 29, 2)], "floor": [sample(5, 12, 1)],
                "tavro signed in": []}
        self.assertEqual(bench.map_table(maps, ("tavro signed in",), "MB"), [])
        self.assertEqual(len(bench.map_table(maps, ("floor", "tavro signed in"), "MB")[0].split("|")), 7)
        rows = bench.map_table(maps, ("tavro", "floor"), "Pss, MB")
        cells = [[c.strip() for c in row.strip("|").split("|")] for row in rows]
        head = cells[0]
        self.assertEqual(head, ["Pss, MB", "tavro UI", "tavro web (2)", "tavro network", "tavro all",
                                "floor UI", "floor web", "floor network", "floor all", "tavro − floor"])
        body = {c[0]: dict(zip(head, c)) for c in cells[2:]}
        self.assertEqual(body["heap"]["tavro UI"], "11.0")
        self.assertEqual(body["heap"]["tavro all"], "14.0")
        self.assertEqual(body["Mesa/LLVM"]["tavro − floor"], "+18.0")
        self.assertEqual(body["**all**"]["tavro − floor"], "+23.0")   # 43 against 20 (medians of sums)
        self.assertEqual(body["fonts"]["floor all"], "0.0")


class AbTest(unittest.TestCase):
    def test_environment_assignments(self):
        self.assertEqual(bench.ab_environment(["GDK_GL=disable", "X=a=b", "EMPTY="]),
                         {"GDK_GL": "disable", "X": "a=b", "EMPTY": ""})
        for bad in ("GDK_GL", "=1", "1A=2", "A B=1"):
            with self.assertRaises(ValueError, msg=bad):
                bench.ab_environment([bad])

    def test_screenshots_are_compared_pixel_by_pixel(self):
        from PIL import Image
        with tempfile.TemporaryDirectory() as d:
            def png(name, size=(20, 10), dots=()):
                image = Image.new("RGB", size, (250, 250, 250))
                for xy in dots:
                    image.putpixel(xy, (250, 250, 249))  # one step in one channel is a difference
                path = os.path.join(d, name)
                image.save(path)
                return path
            a, a2 = png("a.png"), png("a2.png")
            b = png("b.png", dots=((0, 0), (19, 9)))
            small = png("small.png", size=(10, 10))
            self.assertEqual(bench.pixel_difference(a, a2), 0)
            self.assertEqual(bench.pixel_difference(a, b), 2)
            self.assertEqual(bench.pixel_difference(a, small), 200)
            self.assertIsNone(bench.pixel_difference(a, None))
            line = bench.shots_line({"A": [a, a2, a], "B": [a2, b, None]})
            self.assertIn("A identical to A's first in 2 of 2", line)
            self.assertIn("B identical to A's first in 1 of 3 (up to 2 pixels differ), 1 missing", line)
            self.assertEqual(bench.shots_line({"A": [None], "B": [a]}), "no screenshot of A")


class WriteReportTest(unittest.TestCase):
    def test_only_the_results_block_is_replaced(self):
        with tempfile.TemporaryDirectory() as d:
            path = os.path.join(d, "PERFORMANCE.md")
            with open(path, "w", encoding="utf-8") as f:
                f.write(f"# Performance\n\nintro\n\n{bench.BEGIN}\nold table\n{bench.END}\n\n## Notes\nkept\n")
            bench.write_report(path, "new table\n")
            text = open(path, encoding="utf-8").read()
            self.assertIn("intro", text)
            self.assertIn("## Notes\nkept", text)
            self.assertIn("new table", text)
            self.assertNotIn("old table", text)
            bench.write_report(path, "newer table\n")
            self.assertEqual(open(path, encoding="utf-8").read().count(bench.BEGIN), 1)

    def test_a_missing_or_hand_written_file_gets_a_block(self):
        with tempfile.TemporaryDirectory() as d:
            path = os.path.join(d, "PERFORMANCE.md")
            bench.write_report(path, "table\n")
            self.assertIn("table", open(path, encoding="utf-8").read())
            with open(path, "w", encoding="utf-8") as f:
                f.write("# Performance\n\nonly prose\n")
            bench.write_report(path, "table\n")
            text = open(path, encoding="utf-8").read()
            self.assertIn("only prose", text)
            self.assertIn(bench.BEGIN + "\ntable\n" + bench.END, text)


if __name__ == "__main__":
    unittest.main()
