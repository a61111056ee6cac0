#!/usr/bin/python3
"""Checks of the busy day's measuring and reporting: /usr/bin/python3 bench/test_day.py"""
import os
import socket
import sys
import tempfile
import threading
import time
import types
import unittest

sys.dont_write_bytecode = True  # leave no __pycache__ beside the scripts
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import day  # noqa: E402


def arrivals(*lateness_by_arrival):
    """(seq, sent, received) from (received ms, lateness ms) pairs, in order."""
    return [(i + 1, r - late, r) for i, (r, late) in enumerate(lateness_by_arrival)]


class ParseTest(unittest.TestCase):
    def test_chat_log_header_and_arrivals(self):
        text = ("client tavro start 1000 interval 1000 generated 4 acknowledged 3 dropped 0 rejected 1 loads 2 "
                "played 3 refused 1 why NotAllowedError\n"
                "2 2000 2010\n"
                "1 1000 1005\n"
                "3 3000\n"              # cut short
                "x 4000 4001\n"
                "3 3000 3500\r\n")
        header, got = day.parse_chat_log(text)
        self.assertEqual(header["client"], "tavro")
        self.assertEqual((header["start"], header["interval"], header["loads"], header["why"]),
                         (1000, 1000, 2, "NotAllowedError"))
        self.assertEqual(got, [(1, 1000, 1005), (2, 2000, 2010), (3, 3000, 3500)])
        self.assertEqual(day.parse_chat_log(""), ({}, []))
        self.assertEqual(day.parse_chat_log("no such client\n"), ({}, []))

    def test_sound_streams_are_counted_by_program(self):
        text = ("Sink Input #1\n\tDriver: protocol-native.c\n\tProperties:\n"
                "\t\tapplication.name = \"WebKit\"\n\t\tapplication.process.binary = \"WebKitWebProcess\"\n"
                "Sink Input #2\n\tProperties:\n\t\tapplication.process.binary = \"chromium\"\n"
                "Sink Input #7\n\tProperties:\n\t\tapplication.process.binary = \"WebKitWebProcess\"\n"
                "Sink Input #9\n\tProperties:\n\t\tmedia.name = \"no binary\"\n")
        self.assertEqual(dict(day.parse_sink_inputs(text)), {"tavro": 2, "chromium": 1, "other": 1})
        self.assertEqual(sum(day.parse_sink_inputs("").values()), 0)


class FiguresTest(unittest.TestCase):
    def test_recovery_waits_for_lateness_to_stay_under_the_bar(self):
        end = 100_000
        # A batch after a freeze: the queued messages come at once, the oldest 30 s late; the
        # newest of the batch is on time, and so is every one after it.
        batch = arrivals(*[(end + 1500, late) for late in (30_500, 20_000, 9_000, 1_900, 300)],
                         *[(end + 1500 + 1000 * k, 20) for k in range(1, 15)])
        self.assertEqual(day.recovery_seconds(batch, end, end + 60_000), 1.5)
        # On time once, then late again within the hold: recovered only from the later on-time one.
        wobbly = arrivals((end + 1000, 100), (end + 2000, 2500), (end + 3000, 100),
                          *[(end + 3000 + 1000 * k, 50) for k in range(1, 15)])
        self.assertEqual(day.recovery_seconds(wobbly, end, end + 60_000), 3.0)
        # Exactly at the bar is not under it; arrivals before the end or after `until` do not count.
        self.assertIsNone(day.recovery_seconds(arrivals((end + 1000, 2000)), end, end + 60_000))
        self.assertIsNone(day.recovery_seconds(arrivals((end - 10, 5), (end + 70_000, 5)), end, end + 60_000))
        # A late one after the hold has passed is the day's, not this fault's.
        later = arrivals((end + 500, 10), (end + 20_000, 9_000))
        self.assertEqual(day.recovery_seconds(later, end, end + 60_000), 0.5)
        # On time once, then the page stalls: what it was sent next arrives long after the hold.
        stalled = arrivals((end + 800, 100), *[(end + 28_000 + k, 27_000 - 1000 * k) for k in range(10)],
                           *[(end + 29_000 + 1000 * k, 40) for k in range(15)])
        self.assertEqual(day.recovery_seconds(stalled, end, end + 60_000), 29.0)

    def test_lateness_outside_the_faults_leaves_out_messages_on_the_way_during_one(self):
        got = arrivals((1_000, 10), (5_000, 4_500), (9_000, 3_000), (20_000, 30), (30_000, 50))
        kept = day.outside(got, [(4_000, 7_000)])
        # Sent at 500 and received at 5,000: touched the window. Sent at 6,000: in it.
        self.assertEqual([a[0] for a in kept], [1, 4, 5])
        self.assertEqual(day.lateness(kept), (30, 50, 0))
        self.assertEqual(day.lateness(got)[1:], (4_500, 2))
        self.assertIsNone(day.lateness([]))

    def test_growth_is_one_slope_through_the_steady_spells_not_the_steps_between(self):
        # 2 MB an hour, with a 50 MB step during a fault between the two spells.
        points = [(t, 100 + 2 * t / 3600) for t in range(0, 600, 10)]
        points += [(t, 150 + 2 * t / 3600) for t in range(900, 1800, 10)]
        self.assertAlmostEqual(day.pooled_slope(points, [(0, 600), (900, 1800)]), 2.0)
        # One line through both would take the step for growth.
        self.assertGreater(day.pooled_slope(points, [(0, 1800)]), 100)
        # A spell of one sample says nothing; with none that says something, no figure.
        self.assertAlmostEqual(day.pooled_slope(points, [(0, 600), (900, 905)]), 2.0)
        self.assertIsNone(day.pooled_slope(points, [(0, 5), (2000, 3000)]))

    def test_start_and_end_are_medians_of_three_and_flat_has_a_margin(self):
        points = [(0, 50), (10, 90), (20, 52), (30, 40), (100, 400), (110, 60), (120, 61)]
        self.assertEqual(day.start_and_end(points), (52, 61))
        self.assertEqual(day.start_and_end([(5, 7)]), (7, 7))
        self.assertEqual(day.start_and_end([]), (None, None))
        self.assertTrue(day.flat(52, 61))       # within 10
        self.assertTrue(day.flat(300, 330))     # within 10 %
        self.assertFalse(day.flat(300, 331))
        self.assertFalse(day.flat(50, 3000))
        self.assertTrue(day.flat(100, 20))      # fewer is flat
        self.assertIsNone(day.flat(None, None))

    def test_cpu_between_messages_counts_only_the_quiet_spells(self):
        # Readings of 100 ms: busy (50 ms of CPU) in the first 100 ms after each message, idle after.
        series = [(t + 50, 0.05 if t % 1000 == 0 else 0.001, 0.1) for t in range(0, 10_000, 100)]
        self.assertAlmostEqual(day.cpu_percent(series, lambda m: True), (10 * 5 + 90 * 0.1) / 10)
        self.assertAlmostEqual(day.cpu_percent(series, lambda m: True, lambda m: m % 1000 >= 600), 1.0)
        self.assertIsNone(day.cpu_percent(series, lambda m: False))

    def test_the_schedule_leaves_time_to_recover_from_each_fault(self):
        full = day.schedule(30, 300, 20)
        self.assertEqual((full["freeze"], full["thaw"], full["end"], full["warm"]), (900, 1200, 1800, 600))
        self.assertEqual(full["cut"], 1490)
        self.assertEqual(full["steady"], [(600, 900), (1245, 1490), (1555, 1801)])
        short = day.schedule(3, 30, 20)
        self.assertEqual((short["freeze"], short["cut"]), (90, 165))
        self.assertEqual(short["end"], 165 + 20 + day.SETTLE)   # longer than the 3 minutes asked for
        self.assertEqual(short["warm"], 60)

    def test_process_roles(self):
        def chrome(*args):
            return "\0".join(("/usr/lib/chromium/chromium",) + args) + "\0"
        cases = [(chrome("--type=renderer", "--enable-features=x"), "renderer"),
                 (chrome("--type=gpu-process"), "GPU"),
                 (chrome("--type=utility", "--utility-sub-type=network.mojom.NetworkService"), "network"),
                 (chrome("--type=utility", "--utility-sub-type=audio.mojom.AudioService"), "audio"),
                 (chrome("--type=utility", "--utility-sub-type=storage.mojom.StorageService"), "storage"),
                 (chrome("--type=utility", "--utility-sub-type=data_decoder.mojom.DataDecoderService"), "utility"),
                 (chrome("--type=zygote", "--no-zygote-sandbox"), "zygote"),
                 ("/usr/lib/chromium/chrome_crashpad_handler\0--database=x\0", "crash handler"),
                 # Chromium rewrites its helpers' command lines into one string.
                 ("/usr/lib/chromium/chromium --type=renderer --crashpad-handler-pid=12 --lang=en", "renderer"),
                 ("", "other")]
        for cmdline, role in cases:
            self.assertEqual(day.chromium_role(cmdline, root=False), role, cmdline)
        self.assertEqual(day.chromium_role(chrome("--app=x"), root=True), "browser")
        self.assertEqual(day.tavro_role("tavro", True, False), "UI")
        self.assertEqual(day.tavro_role("WebKitWebProces", False, True), "web (advertisement)")
        self.assertEqual(day.tavro_role("WebKitNetworkPr", False, False), "network (site)")
        self.assertEqual(day.tavro_role("bwrap", False, False), "sandbox")


def fake_day(programs=(), logs=None, faults=None):
    wall0 = 1_800_000_000_000
    d = types.SimpleNamespace(args=types.SimpleNamespace(minutes=30, freeze=300, cut=20, interval=1000, sample=10),
                              plan=day.schedule(30, 300, 20), wall0=wall0, end_wall=wall0 + 1_803_000,
                              faults=faults or {}, logs=logs or {}, programs={}, failures=[])
    for name, threads, cpu in programs:
        p = day.Program(name, run=None)
        for t in range(0, 1800, 10):
            p.samples.append((t, {"UI": dict(count=1, threads=threads(t), fds=30, anon=50 + t / 3600, cpu=0)}))
        p.fine = [(wall0 + m, cpu * 0.1, 0.1) for m in range(50, 1_800_000, 100)]
        d.programs[name] = p
    return d


def targets(table):
    rows = {}
    for line in table.splitlines():
        cells = [c.strip() for c in line.strip("|").split("|")]
        if len(cells) == 4 and cells[0] not in ("target", "---", "figure", "process"):
            rows[cells[0]] = cells[1:]
    return rows


class ReportTest(unittest.TestCase):
    def test_a_day_without_figures_reports_every_target_as_not_measured(self):
        d = fake_day()
        d.failures.append("tavro: its page reported no message within 90 s")
        table = day.report(d, day.datetime.datetime(2026, 1, 1), 31)
        for line in table.splitlines():
            if line.startswith("| ") and ("< " in line or "≤" in line or "flat" in line):
                self.assertIn("| n/a |", line)
        self.assertIn("- failed: tavro: its page reported no message within 90 s", table)

    def test_targets_are_judged_from_the_series(self):
        wall0 = 1_800_000_000_000
        freeze = (wall0 + 900_000, wall0 + 1_200_000)
        cut = (wall0 + 1_490_000, wall0 + 1_510_000)

        def chat(thaw_delay):
            # A message a second, 20 ms late, except those held by the faults.
            got = []
            for seq in range(1, 1801):
                sent = wall0 + (seq - 1) * 1000
                received = sent + 20
                for start, end in (freeze, cut):
                    if start <= sent < end:
                        received = end + thaw_delay
                got.append((seq, sent, received))
            header = dict(client="x", start=wall0, interval=1000, played=1800, refused=0, loads=1, dropped=0)
            return header, got

        d = fake_day(programs=[("tavro", lambda t: 50 + t, 0.03), ("chromium", lambda t: 100, 0.025)],
                     logs={"tavro": chat(4000), "chromium": chat(100)}, faults={"freeze": freeze, "cut": cut})
        rows = targets(day.report(d, day.datetime.datetime(2026, 1, 1), 31))
        self.assertEqual(rows["threads flat (end within 10 % or 10 of start)"], ["60 → 1830", "**missed**", "100 → 100"])
        self.assertEqual(rows["anonymous memory growth after the first 10 minutes < 10 MB/h"][:2], ["+1.0 MB/h", "met"])
        self.assertEqual(rows["CPU ≤ 1.5 × chromium --app"][:2], ["1.20 ×", "met"])
        self.assertEqual(rows["worst lateness outside the faults < 2 s"], ["20 ms", "met", "20 ms"])
        self.assertEqual(rows["recovery after the freeze < 30 s"], ["4.0 s", "met", "0.1 s"])
        self.assertEqual(rows["recovery after the network cut < 30 s"], ["4.0 s", "met", "0.1 s"])


class ProxyTest(unittest.TestCase):
    def setUp(self):
        # An echo server: what the proxy forwards comes back.
        self.server = socket.create_server(("127.0.0.1", 0))
        self.addCleanup(self.server.close)

        def serve():
            while True:
                try:
                    conn, _ = self.server.accept()
                except OSError:
                    return
                threading.Thread(target=echo, args=(conn,), daemon=True).start()

        def echo(conn):
            with conn:
                try:
                    while data := conn.recv(65536):
                        conn.sendall(data)
                except OSError:
                    pass

        threading.Thread(target=serve, daemon=True).start()
        self.proxy = day.Proxy(self.server.getsockname()[1])
        self.addCleanup(self.proxy.close)

    def connect(self):
        s = socket.create_connection(("127.0.0.1", self.proxy.port), timeout=5)
        self.addCleanup(s.close)
        return s

    def test_forwards_both_ways_even_more_than_a_backlog(self):
        s = self.connect()
        payload = os.urandom(3 << 20)  # beyond the proxy's backlog limit: reading must pause, not lose
        sender = threading.Thread(target=s.sendall, args=(payload,))
        sender.start()
        got = bytearray()
        while len(got) < len(payload):
            chunk = s.recv(1 << 16)
            self.assertTrue(chunk)
            got += chunk
        sender.join()
        self.assertEqual(bytes(got), payload)

    def test_a_cut_resets_open_connections_and_refuses_new_ones_until_restored(self):
        s = self.connect()
        s.sendall(b"ping")
        self.assertEqual(s.recv(4), b"ping")
        self.proxy.cut()
        with self.assertRaises(ConnectionResetError):
            s.sendall(b"x")
            s.recv(4)
            s.sendall(b"y")  # the reset may be noticed one step later
            s.recv(4)
        with self.assertRaises(ConnectionResetError):  # at once, or at the first use
            late = self.connect()
            late.sendall(b"x")
            late.recv(4)
        self.assertEqual(self.proxy.connections(), 0)
        self.proxy.restore()
        again = self.connect()
        again.sendall(b"pong")
        self.assertEqual(again.recv(4), b"pong")

    def test_an_end_from_one_side_reaches_the_other_after_what_it_sent(self):
        s = self.connect()
        s.sendall(b"last words")
        s.shutdown(socket.SHUT_WR)
        got = b""
        while chunk := s.recv(64):
            got += chunk
        self.assertEqual(got, b"last words")
        limit = time.monotonic() + 5
        while self.proxy.connections() and time.monotonic() < limit:
            time.sleep(0.01)
        self.assertEqual(self.proxy.connections(), 0)


class WriteBlockTest(unittest.TestCase):
    def test_only_the_days_block_is_replaced_and_the_results_block_is_kept(self):
        import bench
        with tempfile.TemporaryDirectory() as d:
            path = os.path.join(d, "PERFORMANCE.md")
            with open(path, "w", encoding="utf-8") as f:
                f.write(f"# Performance\n\n{bench.BEGIN}\nrounds\n{bench.END}\n\n## A busy day\n\nprose\n\n"
                        f"{day.BEGIN}\nold day\n{day.END}\n\nmore prose\n")
            day.write_block(path, "new day\n")
            bench.write_report(path, "new rounds\n")
            with open(path, encoding="utf-8") as f:
                text = f.read()
            self.assertEqual(text, f"# Performance\n\n{bench.BEGIN}\nnew rounds\n{bench.END}\n\n## A busy day\n\n"
                                   f"prose\n\n{day.BEGIN}\nnew day\n{day.END}\n\nmore prose\n")
            # A file without the block gets one at its end, once.
            with open(path, "w", encoding="utf-8") as f:
                f.write("# Performance\n\nonly prose\n")
            day.write_block(path, "a day\n")
            day.write_block(path, "another day\n")
            with open(path, encoding="utf-8") as f:
                text = f.read()
            self.assertEqual(text, f"# Performance\n\nonly prose\n\n## A busy day\n\n{day.BEGIN}\nanother day\n"
                                   f"{day.END}\n")


if __name__ == "__main__":
    unittest.main()
