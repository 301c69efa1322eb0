#!/usr/bin/env python3
"""vardel-flash as a user runs it, against the simulated MCU on pseudo-terminals.

    flash_e2e.py [--wine PREFIX] FLASH SIM CASE
Each case starts its own simulators in a scratch folder and checks the exit
status, what the user sees, and what arrived on the wire. With --wine, FLASH
is vardel-flash.exe, run in that Wine prefix: each simulator's terminal is a
COM port of the prefix (a link in its dosdevices), and files are named by
their Windows paths.
"""
import json
import os
import re
import shlex
import shutil
import signal
import subprocess
import time

from flash_harness import *  # noqa: F401,F403  the simulated units and the checks


def case_one_unit():
    # With and without the reset frame; a last part shorter than a block is
    # named in a warning and never sent.
    for extra, reset in (([], True), (["--no-reset"], False)):
        mcu = Mcu("unit", "--reset-timeout", "700")
        run = flash("-p", mcu.port, *extra, file_name(FIRMWARE), expect=0)
        expect_clean(mcu, reset)
        expect_in(run.stdout, f"{mcu.port}: completed", "one unit")
        # The summary counts the data frames written: one a block.
        if not re.search(re.escape(mcu.port) + r" +completed +448 ", run.stdout):
            fail(f"summary: {run.stdout[-400:]}")
    if PREFIX:
        # A path from the root with forward slashes is a file, not an option.
        mcu = Mcu("unit")
        flash("-p", mcu.port, FIRMWARE, expect=0)
        expect_clean(mcu)
    ragged = image("ragged.bin", 28672 + 28)
    mcu = Mcu("unit", firmware=FIRMWARE)
    run = flash("-p", mcu.port, file_name(ragged), expect=0)
    expect_clean(mcu)
    expect_in(run.stderr, "the last 28 bytes", "ragged file")
    # On a terminal (a console under Wine) the engine's texts arrive whole:
    # Windows must not take them through another code page on the way.
    mcu = Mcu("unit")
    argv, env = command("-p", mcu.port, file_name(FIRMWARE))
    typescript = os.path.join(DIR, "typescript")
    # A terminal wide enough for the whole line: this is about the letters.
    subprocess.run(["script", "-qec", "stty cols 300; " + shlex.join(argv), typescript],
                   check=True, timeout=60,
                   env=dict(env or os.environ, LC_ALL="C.UTF-8"), stdout=subprocess.DEVNULL)
    with open(typescript, encoding="utf-8", errors="replace") as seen:
        screen = seen.read()
    expect_in(screen, "升级成功!", "on a terminal")
    # The live line is drawn again in place, each time over the last, so the
    # terminal gets a few lines only. (Wine's console draws a screen its own
    # way.)
    if not PREFIX and (screen.count("\x1b[1F") < 3 or screen.count("\n") > 40):
        fail(f"live line not drawn in place: {screen.count(chr(10))} lines")
    expect_clean(mcu)


def case_units_at_once_json():
    # Four MCUs, each asking in its own order, all at once; every line of
    # standard output is one JSON object naming its port.
    mcus = [Mcu(f"u{i}", "--order", order, "--seed", str(i))
            for i, order in enumerate(("inorder", "shuffle", "repeat", "shuffle"))]
    trace = os.path.join(DIR, "trace.txt")
    run = flash(*sum((["-p", m.port] for m in mcus), []), "--json", "--trace", file_name(trace),
                file_name(FIRMWARE), expect=0)
    results, percents = {}, {}
    for line in run.stdout.splitlines():
        event = json.loads(line)
        if "event" not in event or "port" not in event:
            fail(f"a line without port or event: {line}")
        if event["event"] == "summary":
            results[event["port"]] = event
        if event["event"] == "progress":
            percents.setdefault(event["port"], []).append(event["percent"])
    # Whatever order the MCU asks in, the share only grows, up to 100.
    for port, seen in percents.items():
        if seen != sorted(seen) or seen[-1] != 100:
            fail(f"{port}: percentages {seen}")
    # The trace holds every data frame of the run, each line naming its port.
    with open(trace, encoding="utf-8") as lines:
        frames = [line.split() for line in lines if "data frame of block" in line]
    for mcu in mcus:
        sent = sum(1 for words in frames if words[2] == mcu.port)
        if sent != results[mcu.port]["blocks"]:
            fail(f"{mcu.port}: {sent} data frames in the trace, {results[mcu.port]} sent")
    for mcu in mcus:
        expect_clean(mcu)
        if results.get(mcu.port, {}).get("result") != "completed":
            fail(f"{mcu.port}: summary {results.get(mcu.port)}")
    if results[mcus[2].port]["blocks"] <= 448:
        fail("the repeating MCU got no block twice")


def case_silent():
    # An MCU that never asks, one that falls silent in the middle of a request,
    # and a healthy one beside them that still completes.
    never = Mcu("never", "--silent-after", "0")
    midway = Mcu("midway", "--silent-mid", "100")
    healthy = Mcu("healthy", "--order", "shuffle")
    run = flash("-p", never.port, "-p", midway.port, "-p", healthy.port, "--timeout", "1",
                file_name(FIRMWARE), expect=1)
    expect_in(run.stdout, f"{never.port}: failed: no request from the MCU for 1 s at Step = 2, "
              "no block served yet", "never")
    expect_in(run.stdout, f"{midway.port}: failed: no request from the MCU for 1 s at Step = 3, "
              "last block served 99", "midway")
    expect_clean(healthy)
    summary = run.stdout[run.stdout.index("PORT "):]
    expect_in(summary, "no request from the MCU for 1 s at Step = 3, last block served 99",
              "the summary's reason")
    # An MCU that keeps asking for a block past the file: time without
    # progress counts, however often it asks.
    larger = image("larger.bin", 28672 + 64 * 8)
    asking = Mcu("never", "--data-timeout", "200", "--retries", "100", firmware=larger)
    run = flash("-p", asking.port, "--timeout", "1", file_name(FIRMWARE), expect=1)
    expect_in(run.stdout, "the MCU keeps asking for block 448, which the file does not hold",
              "asking past the file")


def case_port_failures():
    # A missing port, and (on Linux) one that a program holds by a plain open,
    # without a lock: each fails at once with the system's reason; nothing is
    # sent. Wine lets a second process open a port, so it has no held case.
    missing = place("missing")[1]
    if not PREFIX:
        held = Mcu("held", "--handshake-timeout", "1500")
        holder = os.open(held.port, os.O_RDWR | os.O_NOCTTY)
    start = time.monotonic()
    run = flash("-p", missing, *([] if PREFIX else ["-p", held.port]), file_name(FIRMWARE),
                expect=1)
    if time.monotonic() - start > 3:
        fail("a refused port was tried again")
    reason = "no such port" if PREFIX else "No such file or directory"
    expect_in(run.stdout, f"{missing}: failed: cannot open the port: {reason}", "missing")
    if not PREFIX:
        os.close(holder)
        expect_in(run.stdout,
                  f"{held.port}: failed: cannot open the port: in use by PID {os.getpid()}",
                  "held")
        expect_untouched(held)


def case_file_failures():
    # A missing file and one too short: one line naming the file, status 2,
    # and nothing on the wire.
    short = file_name(image("short.bin", 1023))
    missing = file_name(os.path.join(DIR, "none.bin"))
    for path, reason in ((missing, "File not found" if PREFIX else "No such file or directory"),
                         (short, "1,023 bytes, fewer than the 1,024")):
        mcu = Mcu("unit", "--handshake-timeout", "800")
        run = flash("-p", mcu.port, path, expect=2)
        expect_in(run.stderr, f"{path}: {reason}", path)
        if len(run.stderr.splitlines()) != 1 or run.stdout:
            fail(f"more than one line for {path}: {run.stdout}{run.stderr}")
        expect_untouched(mcu)
    # With --json the error is a JSON line too; two names of one port are a
    # usage error, and nothing is sent.
    mcu = Mcu("unit", "--handshake-timeout", "800")
    run = flash("-p", mcu.port, "--json", missing, expect=2)
    if json.loads(run.stdout)["event"] != "error":
        fail(f"no error event: {run.stdout}")
    if not PREFIX:
        twice = os.path.realpath(mcu.port)
        run = flash("-p", mcu.port, "-p", twice, file_name(FIRMWARE), expect=2)
        expect_in(run.stderr, f"the port {mcu.port} is named twice (also as {twice})", "two names")
    expect_untouched(mcu)


def case_check():
    mcu = Mcu("unit", "--handshake-timeout", "800")
    run = flash("--check", "-p", mcu.port, file_name(FIRMWARE), expect=0)
    expect_in(run.stdout, f"{mcu.port}: ready", "check")
    expect_untouched(mcu)


def case_stop():
    # The first Ctrl-C only warns and the upgrade completes; two within 5 s
    # stop every unit with status 130; SIGTERM stops at once. Wine turns
    # SIGINT into the console's Ctrl-C, but SIGTERM into no console event.
    signal_only_warns(signal.SIGINT, "press Ctrl-C again within 5 s to stop", "6")
    for signals in ((signal.SIGINT, signal.SIGINT),) + (() if PREFIX else ((signal.SIGTERM,),)):
        mcu = Mcu("unit", "--flash-delay", "6", "--data-timeout", "500")
        proc = started(mcu)
        start = time.monotonic()
        for sent in signals:
            proc.send_signal(sent)
            time.sleep(0.3)
        out, err = proc.communicate(timeout=10)
        if proc.returncode != 130 or time.monotonic() - start > 3:
            fail(f"{signals}: status {proc.returncode} after {time.monotonic() - start:.1f} s")
        expect_in(out, f"{mcu.port}: stopped: at Step = 3", "stopped")
        # The port is free again at once.
        flash("--check", "-p", mcu.port, file_name(FIRMWARE), expect=0)


def case_stalled_output():
    # Standard output that nobody reads for 5 s in the middle of the transfer
    # holds back no data frame; then a line that stops taking bytes fails its
    # unit, and two Ctrl-C end the program within a second even while its
    # output still waits, the ports released.
    for attempt in range(3):
        took, worst = transfer_beside_paused_reader()
        # Without the pause the worst answer is a few ms; held back, five
        # seconds. Under an emulator the first answers wait for its
        # translation: only the native build's timing is looked at.
        if os.environ.get("VARDEL_EMULATOR") or (worst <= 100 and took <= 1.05 * LINE_TIME):
            break
        # A virtual machine's neighbours now and then slow a whole run by
        # some per cent; a held-back answer would show in every attempt.
        if attempt == 2:
            fail(f"beside a paused reader: transfer {took} s against the line's "
                 f"{LINE_TIME:.3f} s, worst answer {worst} ms")
    stuck = Mcu("unit", "--stop-reading-after", "100")
    run = flash("-p", stuck.port, "--timeout", "5", file_name(FIRMWARE), expect=1)
    expect_in(run.stdout, "failed: the port stopped taking data at block 100", "stalled line")
    stuck = Mcu("unit", "--stop-reading-after", "0", "--flash-delay", "2")
    read_end, write_end = stalled_output()
    proc = subprocess.Popen(command("-p", stuck.port, "--timeout", "60",
                                    file_name(FIRMWARE))[0], stdout=write_end,
                            stderr=subprocess.DEVNULL)
    time.sleep(1)
    proc.send_signal(signal.SIGINT)
    time.sleep(0.3)  # two at once would arrive as one
    proc.send_signal(signal.SIGINT)
    start = time.monotonic()
    # The unit failed on its own; the program waited only for its output.
    if proc.wait(timeout=10) != 1 or time.monotonic() - start > 1:
        fail(f"two Ctrl-C: status {proc.returncode} after {time.monotonic() - start:.2f} s")
    os.close(write_end)
    os.close(read_end)
    flash("--check", "-p", stuck.port, file_name(FIRMWARE), expect=0)


def case_port_dropped():
    # One line dropped at block 200 and back 2 s later: the image arrives
    # whole; another dropped for good fails its unit after the time-out.
    back = Mcu("u0", "--drop-after", "200", "--back-after", "2000", "--data-timeout", "1000")
    gone = Mcu("u1", "--drop-after", "200")
    run = flash("-p", back.port, "-p", gone.port, "--timeout", "4", "--json",
                file_name(FIRMWARE), expect=1)
    events = [json.loads(line) for line in run.stdout.splitlines()]
    seen = [(e["port"], e["event"]) for e in events if e["event"].startswith("port_")]
    if sorted(seen) != sorted([(back.port, "port_lost"), (back.port, "port_back"),
                               (gone.port, "port_lost")]):
        fail(f"port events: {seen}")
    expect_clean(back)
    summary = {e["port"]: e for e in events if e["event"] == "summary"}
    if summary[back.port]["reconnections"] != 1 or summary[back.port]["result"] != "completed":
        fail(f"summary: {summary[back.port]}")
    if summary[gone.port]["reason"] != ("the port went away at block 199 and did not come "
                                        "back within 4 s"):
        fail(f"summary: {summary[gone.port]}")


def case_adapter_latency():
    # A USB adapter's latency timer at 16 ms against 1 ms, side by side, on
    # an image of 128 blocks.
    blocks = 128
    firmware = image("adapter.bin", blocks * 64)
    slow = TimedMcu("u0", "--adapter-latency", "16", firmware=firmware)
    fast = TimedMcu("u1", "--adapter-latency", "1", firmware=firmware)
    flash("-p", slow.port, "-p", fast.port, file_name(firmware), expect=0)
    slow_s, fast_s = slow.transfer_seconds(), fast.transfer_seconds()
    # Each request waits the timer out: 15 ms more a block.
    if not blocks * 0.012 < slow_s - fast_s < blocks * 0.018:
        fail(f"16 ms: {slow_s} s, 1 ms: {fast_s} s")


def case_bench_faults():
    # The program's own path plays no part; -q still shows the MCU's own
    # errors; a hung-up terminal stops no unit; live lines fit the terminal's
    # rows; a failed unit beside stopped ones ends with 130, each unit's own
    # result in the summary.
    deep = os.path.join(DIR, *(["d" * 60] * 4))
    os.makedirs(deep)
    moved = shutil.copy(FLASH, deep)
    mcu = Mcu("unit")
    run = subprocess.run([*shlex.split(os.environ.get("VARDEL_EMULATOR", "")), moved,
                          "-p", mcu.port, FIRMWARE], capture_output=True, text=True, timeout=60)
    if len(os.path.abspath(moved)) < 262 or run.returncode != 0:
        fail(f"from a long path: {run.stdout}{run.stderr}")
    expect_clean(mcu)
    mcu = Mcu("unit", "--status-at-start", "KNG", "--handshake-timeout", "2000")
    run = flash("-q", "-p", mcu.port, file_name(FIRMWARE), expect=0)
    expect_in(run.stdout, "芯片被加密", "-q")
    signal_only_warns(signal.SIGHUP, "the terminal hung up; the units go on to their end", "8",
                      settle=1.5)
    mcus = [Mcu(f"u{i}", "--flash-delay", "20") for i in range(4)] + [
        Mcu("missing", "--silent-after", "0")]
    typescript = os.path.join(DIR, "rows")
    pid_file = os.path.join(DIR, "pid")
    shell = f"stty rows 4 cols 200; echo $$ > {pid_file}; exec " + shlex.join(
        command(*sum((["-p", m.port] for m in mcus), []), "--timeout", "1",
                file_name(FIRMWARE))[0])
    proc = subprocess.Popen(["script", "-qec", shell, typescript], stdout=subprocess.DEVNULL)
    time.sleep(2.5)
    with open(pid_file, encoding="ascii") as pid:
        program = int(pid.read())
    for _ in range(2):
        os.kill(program, signal.SIGINT)
        time.sleep(0.2)
    proc.wait(timeout=10)
    with open(typescript, encoding="utf-8", errors="replace") as seen:
        screen = seen.read()
    expect_in(screen, 'COMMAND_EXIT_CODE="130"', "failed and stopped units")
    expect_in(screen, "and 3 more: 1 failed, 2 flashing", "rows")
    for mcu, result in ((mcus[-1], "failed"), (mcus[0], "stopped")):
        if not re.search(re.escape(mcu.port) + r" +" + result, screen):
            fail(f"{mcu.port} not {result} in the summary: {screen[-2000:]}")


def case_list_ports():
    # Windows lists the ports that the registry's SERIALCOMM holds: one put
    # there for the test is listed, under its number, with its device.
    if not PREFIX:
        fail("list_ports is the Windows suite's case")

    def reg(*args):
        subprocess.run(["wine", "reg", *args, "/f"], env=command()[1], check=True,
                       capture_output=True, timeout=60)

    key, device = "HKLM\\HARDWARE\\DEVICEMAP\\SERIALCOMM", "\\Device\\VardelTest0"
    reg("add", key, "/v", device, "/t", "REG_SZ", "/d", "COM15")
    try:
        run = flash("--list-ports", "--json", expect=0)
    finally:
        reg("delete", key, "/v", device)
    ports = {line["port"]: line for line in map(json.loads, run.stdout.splitlines())}
    if ports.get("COM15", {}).get("description") != device:
        fail(f"COM15 of {device} not listed: {run.stdout}")


globals()["case_" + CASE]()
print("PASS")
