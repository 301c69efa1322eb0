#!/usr/bin/env python3
"""The whole Vardel.exe under Wine, driven with real X input (xdotool):

    vardel_exe_input_test.py SOURCE_DIR HOST_BUILD WINDOWS_BUILD

Runs inside the suite's Wine session (WINEPREFIX) on its display. The prefix
has a virtual desktop, so Wine itself runs the window's frame: a press on the
caption starts the system's own move loop inside the program.

- Escape and Enter end the program after a successful start, whose press
  (from the keyboard: Tab, Space) leaves the start button disabled with the
  focus on it; the MCU here never
  answers (this side holds the terminal), and nothing but the enter-upgrade
  frame reaches the wire: Escape and Enter are not the exit command, which
  would write the reset frame.
- Holding the caption for two seconds during a transfer against the simulated
  MCU holds up no request: every one is answered within 50 ms.
"""
import os
import re
import select
import subprocess
import sys
import time
import unittest

SOURCE, HOST, WINDOWS = sys.argv[1:4]
PREFIX = os.environ["WINEPREFIX"]
APPS = os.path.join(WINDOWS, "app")
LINK = os.path.join(PREFIX, "dosdevices", "com4")
WINE_ENV = dict(os.environ, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
ENTER_UPGRADE_BYTES = 6
END_SECONDS = 15  # a Wine program's end, on a busy machine
HOLD_SECONDS = 2.0
ANSWER_WITHIN_MS = 50.0
FLASH_DELAY_MS = 20  # makes the transfer last well beyond the hold


def send(*words):
    """VardelSend with these words; its output."""
    return subprocess.run(["wine", os.path.join(APPS, "VardelSend.exe"), *words],
                          env=WINE_ENV, check=True, capture_output=True,
                          timeout=120).stdout.decode().replace("\r", "")


def start():
    """Presses the start button once the port is open; says what the window shows if never."""
    try:
        send("start")
    except subprocess.CalledProcessError as error:
        raise AssertionError("no button to press (%s); the window shows: %s"
                             % (error.stdout.decode().strip(), send("show"))) from None


def xdotool(*words):
    return subprocess.run(["xdotool", *map(str, words)], check=True, capture_output=True,
                          timeout=30).stdout.decode()


def shown():
    """The window's place (x, y, width, height) on the screen and its percent."""
    text = send("show")
    place = [int(n) for n in re.search(r"^window: (-?\d+) (-?\d+) (\d+) (\d+)$", text,
                                       re.M).groups()]
    desktop = xdotool("search", "--name", "Wine desktop").split()[0]
    geometry = xdotool("getwindowgeometry", "--shell", desktop)
    origin = [int(re.search(r"^%s=(-?\d+)$" % k, geometry, re.M).group(1)) for k in "XY"]
    percent = re.search(r"^percent: (\d*)%?$", text, re.M).group(1)  # empty before the transfer
    return place[0] + origin[0], place[1] + origin[1], place[2], place[3], int(percent or 0)


class Program:
    """Vardel.exe under DebugLines, as the demo runs it; ended at the latest
    when the test ends (the end of its debugger ends it)."""

    def __init__(self):
        subprocess.run([os.path.join(HOST, "sim", "vardel-mcu-sim"), "--write-demo-image",
                        os.path.join(APPS, "KD51A.BIN"), os.path.join(APPS, "MTK51A.BIN")],
                       check=True, capture_output=True)
        # winepath may end with a status of 1 and still print the path.
        program = subprocess.run(["winepath", "-w", os.path.join(APPS, "Vardel.exe")], env=WINE_ENV,
                                 capture_output=True, text=True).stdout.strip()
        self.process = subprocess.Popen(["wine", os.path.join(APPS, "DebugLines.exe"), program],
                                        env=WINE_ENV, stdout=subprocess.DEVNULL)

    def ended(self, seconds):
        try:
            return self.process.wait(seconds) is not None
        except subprocess.TimeoutExpired:
            return False

    def close(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()


class VardelExeInput(unittest.TestCase):
    def setUp(self):
        if os.path.lexists(LINK):
            os.unlink(LINK)

    def tearDown(self):
        if os.path.lexists(LINK):
            os.unlink(LINK)

    def test_escape_and_enter_end_the_program_after_a_successful_start_writing_nothing(self):
        for key in ("Return", "Escape"):
            with self.subTest(key=key):
                master, slave = os.openpty()
                os.symlink(os.ttyname(slave), LINK)
                program = None
                try:
                    program = Program()
                    send("wait-step", "1")  # the port is open, the button enabled
                    x, y, width, height, _ = shown()
                    # Keys go to the window under the pointer. Tab gives the
                    # button the focus and Space presses it, as a click would.
                    xdotool("mousemove", x + width // 2, y + height // 4)
                    xdotool("key", "Tab")
                    xdotool("key", "space")
                    send("wait-step", "2")
                    xdotool("key", key)
                    self.assertTrue(program.ended(END_SECONDS), "the window stayed open")
                    self.assertEqual(program.process.returncode, 0)
                    time.sleep(0.2)
                    wire = b""
                    while select.select([master], [], [], 0.2)[0]:
                        wire += os.read(master, 256)
                    self.assertEqual(len(wire), ENTER_UPGRADE_BYTES, wire.hex(" "))
                finally:
                    if program:
                        program.close()
                    os.unlink(LINK)
                    os.close(master)
                    os.close(slave)

    def test_holding_the_caption_during_a_transfer_holds_up_no_request(self):
        sim = subprocess.Popen(
            [os.path.join(HOST, "sim", "vardel-mcu-sim"), "--image",
             os.path.join(APPS, "KD51A.BIN"), "--link", LINK, "--ready",
             "--flash-delay", str(FLASH_DELAY_MS), "--max-seconds", "300"],
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        program = None
        try:
            self.assertTrue(any(line.startswith("ready ") for line in iter(sim.stdout.readline, "")))
            program = Program()
            start()
            send("wait-step", "3")
            x, y, width, _, before = shown()
            xdotool("mousemove", x + width // 2, y + 8)  # on the caption
            xdotool("mousedown", 1)
            time.sleep(0.2)
            xdotool("mousemove_relative", "--", 40, 30)  # a real drag: the window follows
            time.sleep(HOLD_SECONDS - 0.2)
            xdotool("mouseup", 1)
            moved_x, moved_y, _, _, after = shown()
            self.assertEqual((moved_x - x, moved_y - y), (40, 30), "the window was not moved")
            self.assertLess(before, after, "no block was sent during the hold")
            self.assertLess(after, 100, "the transfer ended before the hold did")
            send("wait-step", "255")
            send("exit")
            self.assertTrue(program.ended(END_SECONDS))
            out = sim.communicate(timeout=60)[0]
            self.assertIn("verdict: image identical", out)
            timing = re.search(r"timing: .* max ([\d.]+) ms$", out, re.M)
            self.assertTrue(timing, out)
            worst = float(timing.group(1))
            print("worst answer during the transfer: %.1f ms" % worst)
            self.assertLess(worst, ANSWER_WITHIN_MS)
        finally:
            if program:
                program.close()
            if sim.poll() is None:
                sim.kill()
            sim.communicate()


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
