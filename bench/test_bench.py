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
    b.results = {k: [] for k in (
        "start tavro", "start chromium", "start surf", "login tavro", "login chromium", "login surf",
        "signed tavro", "idle tavro", "exit tavro", "webproc tavro")}
    b.results.update(results)
    b.logouts = [True] * len(b.results["exit tavro"])
    b.soak = None
    b.failures = []
    b.surf_title = None
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
            "signed tavro": [120, 125, 140],           # median 125: met
            "login tavro": [100, 101, 99], "login chromium": [300, 300, 300], "login surf": [130, 130, 130],
            "start tavro": [0.6, 0.7, 0.65], "start chromium": [1.0, 1.0, 1.0], "start surf": [0.6, 0.6, 0.6],
            "idle tavro": [0.4, 0.6, 0.5],
            "exit tavro": [1.01, 1.05, 1.1, 1.3],
        })
        rows = verdicts(b)
        self.assertEqual(rows["memory signed in ≤ 130 MB"], "met")
        self.assertEqual(rows["memory at the login page ≤ 0.45 × chromium"], "met")        # 0.33
        self.assertEqual(rows["memory at the login page ≤ 0.7 × surf"], "**missed**")       # 0.77
        self.assertEqual(rows["start ≤ 0.7 × chromium --app"], "met")                       # 0.65
        self.assertEqual(rows["start not slower than surf"], "**missed**")                  # 0.65 > 0.6
        self.assertEqual(rows["idle CPU signed in ≤ 0.5 %"], "met")                         # median 0.5
        self.assertEqual(rows["exit 1.0–1.2 s after OK, logout received every time"], "met")

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

    def test_growth_and_failures_are_shown(self):
        b = fake_bench()
        b.soak = (100.0, 103.5, 10, 0.4)
        b.failures.append("tavro: the exit question did not appear")
        table = bench.report(b, "full", bench.datetime.datetime(2026, 1, 1), 20)
        self.assertIn("+3.50 MB", table)
        self.assertIn("| memory growth over 10 minutes < 2 MB | +3.50 MB | **missed** |", table)
        self.assertIn("failed: tavro: the exit question did not appear", table)


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
