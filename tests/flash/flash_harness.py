"""What the cases of flash_e2e.py share: the command line they were started
with, simulated MCUs on pseudo-terminals (or COM ports of a Wine prefix),
firmware images, vardel-flash runs, and the checks of what reached the wire.
Imported once, by flash_e2e.py, which its arguments belong to."""
import atexit
import fcntl
import os
import shlex
import shutil
import subprocess
import sys
import tempfile
import time

ARGS = sys.argv[1:]
PREFIX = ARGS[1] if ARGS[0] == "--wine" else None
FLASH, SIM, CASE = ARGS[2:5] if PREFIX else ARGS[0:3]
DIR = tempfile.mkdtemp(prefix="vardel-flash-")
SIMULATORS = []
# The COM number of each simulated unit under Wine, and a range of numbers for
# each case, so that cases run side by side; COM10 and above are named through
# the device namespace, as Windows wants them.
COM_NUMBERS = {"unit": 5, "u0": 6, "u1": 7, "u2": 8, "u3": 12, "missing": 9,
               "never": 6, "midway": 7, "healthy": 8}
CASE_COM_OFFSET = {"file_failures": 20, "stop": 30, "check": 40, "silent": 50}


@atexit.register
def clean_up():
    for proc in SIMULATORS:
        proc.kill()
        proc.wait()
    shutil.rmtree(DIR, ignore_errors=True)


CLEAN = "verdict: image identical, 448 blocks, 28672 bytes"
NOTHING_SENT = 2  # the simulator's status when no enter-upgrade frame came


def place(name):
    """Where a unit's terminal is linked, and the port name vardel-flash gets."""
    if not PREFIX:
        path = os.path.join(DIR, name)
        return path, path
    number = COM_NUMBERS[name] + CASE_COM_OFFSET.get(CASE, 0)
    link = os.path.join(PREFIX, "dosdevices", f"com{number}")
    return link, (f"\\\\.\\COM{number}" if number >= 10 else f"COM{number}")


def file_name(path):
    """A file as the program is given it: under Wine, by its Windows path."""
    return "Z:" + path.replace("/", "\\") if PREFIX else path


def command(*args):
    if not PREFIX:
        # A cross build's program runs under its emulator (empty for a native build).
        return [*shlex.split(os.environ.get("VARDEL_EMULATOR", "")), FLASH, *args], None
    env = dict(os.environ, WINEPREFIX=PREFIX, WINEDEBUG="-all",
               WINEDLLOVERRIDES="mscoree,mshtml=")
    return ["wine", FLASH, *args], env


def fail(message):
    print("FAIL:", message)
    sys.exit(1)


def image(name, size, seed=7):
    path = os.path.join(DIR, name)
    with open(path, "wb") as out:
        out.write(bytes((i * 131 + seed * 17 + (i >> 8)) & 0xFF for i in range(size)))
    return path


# Chinese letters in the name: Windows must take it from the wide command line.
FIRMWARE = image("固件 fw.bin", 28672)


class Mcu:
    """One simulated MCU behind a link in the scratch folder, or at `link`."""

    def __init__(self, name, *options, firmware=FIRMWARE, link=None):
        link, self.port = (link, link) if link else place(name)
        self.proc = subprocess.Popen(
            [SIM, "--image", firmware, "--link", link, "--ready", "--quiet",
             "--max-seconds", "30", *options],
            stdout=subprocess.PIPE, text=True)
        SIMULATORS.append(self.proc)
        ready = self.proc.stdout.readline()
        if not ready.startswith("ready "):
            fail(f"simulator for {name} not ready: {ready!r}")

    def verdict(self):
        out, _ = self.proc.communicate(timeout=40)
        return self.proc.returncode, out.strip()


def flash(*args, expect):
    argv, env = command(*args)
    run = subprocess.run(argv, env=env, capture_output=True, text=True, timeout=60)
    if run.returncode != expect:
        fail(f"{args}: status {run.returncode}, not {expect}\n{run.stdout}\n{run.stderr}")
    for line in run.stdout.splitlines():
        if "\r" in line or "\x1b" in line:
            fail(f"a control character in piped output: {line!r}")
    return run


def expect_in(text, wanted, what):
    if wanted not in text:
        fail(f"{what}: never saw {wanted!r} in\n{text}")


def expect_clean(mcu, reset=True):
    status, verdict = mcu.verdict()
    expect_in(verdict, CLEAN, mcu.port)
    if reset != ("reset received" in verdict):
        fail(f"{mcu.port}: reset frame {'missing' if reset else 'sent'}: {verdict}")


def expect_untouched(mcu):
    status, verdict = mcu.verdict()
    if status != NOTHING_SENT:
        fail(f"{mcu.port}: something was sent ({status}): {verdict}")


def started(mcu, settle=0.7):
    """vardel-flash on one unit, given `settle` seconds to be under way."""
    argv, env = command("-p", mcu.port, file_name(FIRMWARE))
    proc = subprocess.Popen(argv, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            text=True)
    time.sleep(settle)
    return proc


def signal_only_warns(sig, notice, flash_delay, settle=0.7):
    """A signal after which the unit goes on: it completes, status 0, and the
    notice is on standard error."""
    mcu = Mcu("unit", "--flash-delay", flash_delay)
    proc = started(mcu, settle)
    proc.send_signal(sig)
    out, err = proc.communicate(timeout=30)
    if proc.returncode != 0:
        fail(f"{sig.name} ended the run with {proc.returncode}: {out}{err}")
    expect_in(err, notice, sig.name)
    expect_clean(mcu)


class TimedMcu(Mcu):
    """A simulated MCU at the line's own pace that tells its transfer time."""

    def __init__(self, name, *options, firmware=FIRMWARE):
        self.name = name
        link, self.port = place(name)
        self.proc = subprocess.Popen(
            [SIM, "--image", firmware, "--link", link, "--ready", "--line-rate",
             "--max-seconds", "60", *options],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        SIMULATORS.append(self.proc)
        if not self.proc.stdout.readline().startswith("ready "):
            fail(f"simulator for {name} not ready")

    def transfer_seconds(self):
        """The simulator's own measure of the transfer, from its verdict's timing."""
        out, err = self.proc.communicate(timeout=60)
        expect_in(out, "verdict: image identical", self.port)
        self.worst_answer_ms = float(err.split(", max ")[1].split(" ms")[0])
        return float(err.split("timing: transfer ")[1].split(" s")[0])


def stalled_output():
    """A pipe for standard output that is full already: every write waits
    until the test reads."""
    read_end, write_end = os.pipe()
    fcntl.fcntl(write_end, fcntl.F_SETPIPE_SZ, 4096)
    os.set_blocking(write_end, False)
    try:
        while True:
            os.write(write_end, b"#" * 4096)
    except BlockingIOError:
        pass
    os.set_blocking(write_end, True)
    return read_end, write_end


# Each block is a 7-byte request and a 69-byte frame at 38,400 baud, 10 bits a
# byte.
LINE_TIME = 448 * (7 + 69) * 10 / 38400


def transfer_beside_paused_reader():
    """The transfer time and worst answer of a unit whose standard output
    nobody reads for its first 5 s."""
    mcu = TimedMcu("unit")
    read_end, write_end = stalled_output()
    proc = subprocess.Popen(command("-p", mcu.port, file_name(FIRMWARE))[0], stdout=write_end,
                            stderr=subprocess.DEVNULL)
    os.close(write_end)
    time.sleep(5)
    with os.fdopen(read_end, "rb") as out:
        shown = out.read()
    if proc.wait(timeout=30) != 0 or b"completed" not in shown:
        fail(f"status {proc.returncode}: {shown[-300:]}")
    return mcu.transfer_seconds(), mcu.worst_answer_ms
