#!/usr/bin/env python3
"""vardel-flash --watch as a flashing station runs it: simulated MCUs whose
links appear in a watched folder and vanish from it, as an adapter's names
do when it is plugged in and pulled out.

    station_e2e.py [--wine PREFIX] FLASH SIM CASE

Under Wine a COM port is a link in the prefix's dosdevices, which Wine lists
nowhere: the station sees it once a driver's entry for it appears in the
registry (SERIALCOMM), as a USB adapter's driver adds one on Windows.
"""
import datetime
import json
import os
import pty
import queue
import signal
import subprocess
import threading
import time

from flash_harness import *  # noqa: F401,F403  the simulated units and the checks

WATCHED = os.path.join(DIR, "ports")
os.makedirs(WATCHED)


def watched(name):
    return os.path.join(WATCHED, name)


class Station:
    """vardel-flash --watch on the watched folder; its JSON lines as they come."""

    def __init__(self, *extra, stdin=subprocess.DEVNULL, pattern=watched("*")):
        argv, env = command("--watch", "--json", pattern, *extra, file_name(FIRMWARE))
        self.proc = subprocess.Popen(argv, env=env, stdin=stdin, stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE, text=True)
        self.events, self.taken = [], set()
        self.lines = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()
        self.wait_for(lambda e: e.get("text", "").startswith("watching"), "the start")

    def _read(self):
        for line in self.proc.stdout:
            self.lines.put(json.loads(line))
        self.lines.put(None)

    def wait_for(self, match, what, timeout=30):
        """The first event that matches and no earlier wait took."""
        deadline = time.monotonic() + timeout
        while True:
            for index, event in enumerate(self.events):
                if index not in self.taken and match(event):
                    self.taken.add(index)
                    return event
            try:
                event = self.lines.get(timeout=max(0.0, deadline - time.monotonic()))
            except queue.Empty:
                event = None
            if event is None:
                told = [(e["port"], e["event"], e.get("text", e.get("unit", "")))
                        for e in self.events if e["event"] != "progress"]
                fail(f"{what}: not seen; events: {told[-16:]}")
            self.events.append(event)

    def result(self, port, outcome="completed"):
        event = self.wait_for(lambda e: e["event"] == "result" and e["port"] == port,
                              f"{port}'s result")
        if event["result"] != outcome:
            fail(f"{port}: {event}")
        return event

    def stop(self, expect=0, within=2.0):
        start = time.monotonic()
        self.proc.send_signal(signal.SIGINT)
        time.sleep(0.3)  # two at once would arrive as one
        self.proc.send_signal(signal.SIGINT)
        status = self.proc.wait(timeout=10)
        if status != expect or time.monotonic() - start > within:
            fail(f"stopped with {status}, not {expect}, after {time.monotonic() - start:.1f} s: "
                 f"{self.proc.stderr.read()}")
        while (event := self.lines.get(timeout=5)) is not None:
            self.events.append(event)
        return {e["port"]: e for e in self.events if e["event"] == "summary"}

    def of(self, port, kind):
        return [e for e in self.events if e["port"] == port and e["event"] == kind]


def expect_once(mcu):
    """Flashed whole, and never again while its port stayed (--linger)."""
    status, verdict = mcu.verdict()
    expect_in(verdict, CLEAN, mcu.port)
    if status != 0:
        fail(f"{mcu.port}: status {status}: {verdict}")


def case_watch_arrivals():
    # Three units one after another, then two at once, each flashed once while
    # its port stays; an adapter that goes and comes back is a second unit.
    log, traces = os.path.join(DIR, "station.jsonl"), os.path.join(DIR, "traces")
    os.makedirs(traces)
    station = Station("--log", log, "--trace", traces)
    for name in ("a", "b", "c"):
        mcu = Mcu(name, "--linger", "800", link=watched(name))
        appeared = time.time()  # its link is there once it is ready
        station.result(mcu.port)
        expect_once(mcu)
        # The unit starts, and its enter-upgrade frame leaves, soon after.
        started = station.of(mcu.port, "unit_start")[0]["t"]
        if epoch(started) - appeared > (2.0 if os.environ.get("VARDEL_EMULATOR") else 0.2):
            fail(f"{mcu.port}: started {epoch(started) - appeared:.3f} s after it appeared")
    both = [Mcu(name, "--linger", "800", link=watched(name)) for name in ("d", "e")]
    for mcu in both:
        station.result(mcu.port)
        expect_once(mcu)
    again = Mcu("a", link=watched("a"))
    if station.result(again.port)["unit"] != 2:
        fail(f"the second unit on {again.port}: {station.of(again.port, 'result')}")
    expect_clean(again)
    summary = station.stop()
    counts = {port: (s["passed"], s["failed"]) for port, s in summary.items()}
    if counts != {watched("a"): (2, 0), **{watched(n): (1, 0) for n in "bcde"}}:
        fail(f"summary: {counts}")
    for event in station.events:
        if event.get("v") != 1 or not event.get("t", "").endswith("Z"):
            fail(f"no schema version or time: {event}")
    # The log holds the same results, each line whole (its times are its own).
    with open(log, encoding="utf-8") as lines:
        logged = [json.loads(line) for line in lines]

    def results(events):
        return [{k: v for k, v in e.items() if k not in ("t", "seconds", "bytes_per_second")}
                for e in events if e["event"] == "result"]
    if results(logged) != results(station.events):
        fail("the log's results differ from standard output's")
    names = sorted(os.listdir(traces))
    if names != sorted(["a-1.trace", "a-2.trace"] + [f"{n}-1.trace" for n in "bcde"]):
        fail(f"traces: {names}")
    with open(os.path.join(traces, "a-2.trace"), encoding="utf-8") as trace:
        if sum("data frame of block" in line for line in trace) != 448:
            fail("the trace of a's second unit lacks data frames")


def epoch(stamp):
    return datetime.datetime.fromisoformat(stamp.replace("Z", "+00:00")).timestamp()


def cpu_seconds(pid):
    """The processor time of every thread of a process, to the nanosecond."""
    tasks = os.path.join("/proc", str(pid), "task")
    total = 0
    for task in os.listdir(tasks):
        with open(os.path.join(tasks, task, "schedstat"), encoding="ascii") as stat:
            total += int(stat.read().split()[0])
    return total / 1e9


def case_watch_faults():
    # A silent MCU fails beside one that passes; a port another program holds
    # waits, told once, and is flashed once it is free.
    station = Station("--timeout", "1")
    silent = Mcu("s", "--silent-after", "0", link=watched("s"))
    good = Mcu("g", link=watched("g"))
    station.result(silent.port, "failed")
    station.result(good.port)
    expect_clean(good)
    silent.proc.terminate()
    station.wait_for(lambda e: e["event"] == "slot_gone" and e["port"] == silent.port, "gone")

    held = Mcu("h")  # behind a link outside the watched folder
    holder = os.open(held.port, os.O_RDWR | os.O_NOCTTY)
    os.symlink(os.readlink(held.port), watched("h"))
    station.wait_for(lambda e: e["event"] == "port_in_use" and e["port"] == watched("h"),
                     "the port in use")
    time.sleep(0.5)
    os.close(holder)
    if station.result(watched("h"))["unit"] != 1 or \
            len(station.of(watched("h"), "port_in_use")) != 1 or \
            len(station.of(watched("h"), "unit_start")) != 1:
        fail(f"the held port: {[e for e in station.events if e['port'] == watched('h')]}")
    expect_clean(held)
    os.remove(watched("h"))
    summary = station.stop()
    counts = {port: (s["passed"], s["failed"]) for port, s in summary.items()}
    if counts != {silent.port: (0, 1), good.port: (1, 0), watched("h"): (1, 0)}:
        fail(f"summary: {counts}")


def case_watch_parallel():
    # Four units at once, at most two flashed at a time; the others wait.
    station = Station("--max-parallel", "2")
    mcus = [Mcu(name, "--flash-delay", "2", link=watched(name)) for name in "wxyz"]
    for mcu in mcus:
        station.result(mcu.port)
        expect_clean(mcu)
    running, most = 0, 0
    for event in station.events:
        running += {"unit_start": 1, "result": -1}.get(event["event"], 0)
        most = max(most, running)
    if most != 2 or not any(e["event"] == "waiting" for e in station.events):
        fail(f"at most {most} at once: {[(e['port'], e['event']) for e in station.events]}")
    station.stop()


def case_watch_enter():
    # On a terminal, Enter flashes again a finished unit whose adapter stayed
    # plugged in; without it, nothing is sent again.
    keys, terminal = pty.openpty()
    station = Station(stdin=terminal)
    mcu = Mcu("a", "--units", "2", "--linger", "800", link=watched("a"))
    station.result(mcu.port)
    time.sleep(1.5)
    if station.of(mcu.port, "unit_start")[-1]["unit"] != 1 or len(station.of(mcu.port, "unit_start")) != 1:
        fail("flashed again unasked")
    os.write(keys, b"\n")
    station.wait_for(lambda e: e.get("text", "").startswith("Enter: flashing again the 1 "),
                     "Enter's notice")
    if station.result(mcu.port)["unit"] != 2:
        fail(f"Enter: {station.of(mcu.port, 'result')}")
    status, verdicts = mcu.verdict()
    if status != 0 or verdicts.count(CLEAN) != 2:
        fail(f"two units on one line: {status} {verdicts}")
    station.stop()
    os.close(keys)
    os.close(terminal)


def case_watch_stop():
    # Two Ctrl-C end an idle station at once, status 0; one that flashes as a
    # run does: its unit stopped, status 130. Idle, it waits for the system
    # and spins for nothing (natively: an emulator's own threads count too).
    # Misused options are usage errors.
    idle = Station()
    if not os.environ.get("VARDEL_EMULATOR"):
        spent = cpu_seconds(idle.proc.pid)
        time.sleep(3)
        share = (cpu_seconds(idle.proc.pid) - spent) / 3
        if share > 0.005:
            fail(f"idle, the station took {share:.2%} of a processor")
    idle.stop(expect=0, within=1.0)
    station = Station()
    mcu = Mcu("a", "--flash-delay", "6", link=watched("a"))
    station.wait_for(lambda e: e["event"] == "unit_start", "the unit's start")
    time.sleep(0.5)
    station.stop(expect=130)
    if station.of(mcu.port, "result")[-1]["result"] != "stopped":
        fail(f"{station.of(mcu.port, 'result')}")
    for args in (("--watch", "-p", mcu.port), ("--max-parallel", "2"),
                 ("--watch", "--trace", FIRMWARE)):
        flash(*args, file_name(FIRMWARE), expect=2)


def case_watch_registry():
    # Windows: a port whose driver registers it is flashed at once, and is
    # gone once its entry goes.
    if not PREFIX:
        fail("watch_registry is the Windows suite's case")
    key, device, port = "HKLM\\HARDWARE\\DEVICEMAP\\SERIALCOMM", "\\Device\\VardelTest1", "COM16"

    def reg(*args):
        subprocess.run(["wine", "reg", *args, "/f"], env=command()[1], check=True,
                       capture_output=True, timeout=60)

    station = Station(pattern=port)
    mcu = Mcu("station", link=os.path.join(PREFIX, "dosdevices", port.lower()))
    reg("add", key, "/v", device, "/t", "REG_SZ", "/d", port)
    try:
        station.result(port)
        expect_clean(mcu)
    finally:
        reg("delete", key, "/v", device)
    station.wait_for(lambda e: e["event"] == "slot_gone" and e["port"] == port, "gone")
    station.stop(within=3.0)


globals()["case_" + CASE]()
print("PASS")
