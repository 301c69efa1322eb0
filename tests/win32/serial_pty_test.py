#!/usr/bin/env python3
"""The Windows platform's serial port on a real pseudo-terminal, under Wine.

    serial_pty_test.py WINEPREFIX win32_serial_probe.exe

The terminal's slave end becomes a COM port of the prefix (a symbolic link in
dosdevices); the Windows side is win32_serial_probe, which runs one platform
operation per line it is given. This side plays the MCU on the master end and
reads the line's settings back with tcgetattr, as a Linux program sees them.
Wine does not refuse a second opening of a serial device that another process
holds, so the port's exclusivity, which the Windows serial driver gives, is
not tested here.
"""
import os
import select
import subprocess
import sys
import termios
import threading
import time
import unittest

PREFIX, PROBE = sys.argv[1], sys.argv[2]
ANSWER_SECONDS = 30  # a Wine program's start, on a busy machine
FRAME = bytes((0x23, 0x55, 0x44)) + bytes(range(64)) + bytes((0xE0, 0x20))  # 69 bytes


class Probe:
    """win32_serial_probe on one port, asked one line at a time."""

    def __init__(self, port):
        env = dict(os.environ, WINEPREFIX=PREFIX, WINEDEBUG="-all",
                   WINEDLLOVERRIDES="mscoree,mshtml=")
        self.process = subprocess.Popen(["wine", PROBE, port], stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, env=env)

    def ask(self, line):
        self.process.stdin.write((line + "\n").encode())
        self.process.stdin.flush()
        ready, _, _ = select.select([self.process.stdout], [], [], ANSWER_SECONDS)
        if not ready:
            raise AssertionError("no answer to " + line)
        return self.process.stdout.readline().decode().strip()

    def close(self):
        self.process.stdin.close()
        self.process.wait(ANSWER_SECONDS)
        self.process.stdout.close()


def ms_of(answer):
    return float(answer.rsplit(" ", 1)[1])


class SerialOnPty(unittest.TestCase):
    def setUp(self):
        self.master, self.slave = os.openpty()
        self.number = 7  # "COM1:" to "COM9:" need no "\\.\" before them; COM4 is the demo's
        self.link = os.path.join(PREFIX, "dosdevices", "com%d" % self.number)
        if os.path.lexists(self.link):
            os.unlink(self.link)
        os.symlink(os.ttyname(self.slave), self.link)
        self.probe = Probe("COM%d:" % self.number)

    def tearDown(self):
        self.probe.close()
        os.unlink(self.link)
        os.close(self.master)
        os.close(self.slave)

    def open_configured(self):
        self.assertEqual(self.probe.ask("open"), "open ok")
        self.assertEqual(self.probe.ask("configure"), "configure ok")

    def read_master(self, count, seconds=2.0):
        got, until = b"", time.monotonic() + seconds
        while len(got) < count and time.monotonic() < until:
            if select.select([self.master], [], [], 0.05)[0]:
                got += os.read(self.master, count - len(got))
        return got

    def test_a_cooked_line_becomes_38400_8n1_raw_and_bytes_pass_unchanged_both_ways(self):
        cooked = termios.tcgetattr(self.slave)
        cooked[0] |= termios.ICRNL | termios.IXON | termios.ISTRIP
        cooked[1] |= termios.OPOST | termios.ONLCR
        cooked[2] = (cooked[2] & ~termios.CSIZE) | termios.CS7 | termios.PARENB | \
            termios.CSTOPB | termios.CRTSCTS
        cooked[3] |= termios.ICANON | termios.ECHO | termios.ISIG
        cooked[4] = cooked[5] = termios.B9600
        termios.tcsetattr(self.slave, termios.TCSANOW, cooked)
        self.open_configured()

        iflag, oflag, cflag, lflag, ispeed, ospeed, _ = termios.tcgetattr(self.slave)
        self.assertEqual((ispeed, ospeed), (termios.B38400, termios.B38400))
        self.assertEqual(cflag & termios.CSIZE, termios.CS8)
        self.assertEqual(cflag & (termios.PARENB | termios.CSTOPB | termios.CRTSCTS), 0)
        self.assertEqual(iflag & (termios.IXON | termios.ICRNL | termios.ISTRIP), 0)
        self.assertEqual(oflag & termios.OPOST, 0)
        self.assertEqual(lflag & (termios.ICANON | termios.ECHO | termios.ISIG), 0)

        # CR, LF, XON, XOFF, ^C and the high bit are where a cooked line bites.
        os.write(self.master, bytes(range(256)))
        time.sleep(0.2)
        read = [self.probe.ask("read") for _ in range(257)]
        self.assertEqual([a.split()[1] for a in read[:256]], [str(b) for b in range(256)])
        self.assertTrue(read[256].startswith("none"))

        self.assertEqual(self.probe.ask("write " + FRAME.hex(" ")), "wrote 69")
        self.assertEqual(self.read_master(70, 1.0), FRAME, "the frame whole and alone")

    def test_a_read_on_an_empty_line_returns_at_once(self):
        self.open_configured()
        answer = self.probe.ask("read")
        self.assertTrue(answer.startswith("none"), answer)
        self.assertLess(ms_of(answer), 10.0)

    def test_the_wait_lasts_its_time_or_ends_with_the_first_byte_which_is_read_next(self):
        self.open_configured()
        waited = ms_of(self.probe.ask("wait 300"))
        self.assertGreaterEqual(waited, 280.0)  # GetTickCount's grain
        self.assertLess(waited, 1000.0)

        mcu = threading.Timer(0.1, lambda: os.write(self.master, b"\x23\x55"))
        mcu.start()
        waited = ms_of(self.probe.ask("wait 5000"))
        mcu.join()
        self.assertGreaterEqual(waited, 80.0)
        self.assertLess(waited, 1000.0)
        self.assertTrue(self.probe.ask("read").startswith("byte %d in" % 0x23))
        self.assertTrue(self.probe.ask("read").startswith("byte %d in" % 0x55))
        self.assertTrue(self.probe.ask("read").startswith("none"))

        os.write(self.master, b"#UK")
        time.sleep(0.1)
        self.assertEqual(self.probe.ask("purge"), "purged")
        self.assertTrue(self.probe.ask("read").startswith("none"), "purged input is gone")

    def test_a_missing_port_does_not_open(self):
        missing = Probe("COM%d:" % (self.number + 1))
        try:
            self.assertEqual(missing.ask("open"), "open failed")
        finally:
            missing.close()


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
