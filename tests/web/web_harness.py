"""What the browser cases share: the built page served from localhost, a
bridge that carries a fake Web Serial port's bytes over a WebSocket to a
simulated MCU's terminal, and headless Chromium driven by Selenium with the
fake put in place before the page's own script."""
import asyncio
import functools
import http.server
import json
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import tty

import websockets
from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By

PAGE, SIM, CASE = sys.argv[1:4]
HERE = os.path.dirname(os.path.abspath(__file__))
DIR = tempfile.mkdtemp(prefix="vardel-web-")
CLEAN = "verdict: image identical, 448 blocks, 28672 bytes"
IDC_START, IDC_PERCENT, IDC_STATUS, IDC_STEP = 1000, 1003, 1005, 1006


def fail(message):
    print("FAIL:", message)
    sys.exit(1)


def image(name, size):
    path = os.path.join(DIR, name)
    with open(path, "wb") as out:
        out.write(bytes((i * 131 + 119 + (i >> 8)) & 0xFF for i in range(size)))
    return path


FIRMWARE = image("firmware.bin", 28672)


class Mcu:
    """One simulated MCU behind a link in the scratch folder."""

    def __init__(self, *options, firmware=FIRMWARE, seconds=60):
        self.link = os.path.join(DIR, "mcu")
        self.proc = subprocess.Popen(
            [SIM, "--image", firmware, "--link", self.link, "--ready", "--max-seconds",
             str(seconds), *options], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        if not self.proc.stdout.readline().startswith("ready "):
            fail("the simulated MCU did not start")

    def verdict(self, timeout=40):
        out, err = self.proc.communicate(timeout=timeout)
        self.err = err
        return self.proc.returncode, out.strip()

    def transfer_seconds(self):
        """The simulator's own measure of the transfer (with --line-rate)."""
        return float(self.err.split("timing: transfer ")[1].split(" s")[0])


def expect_clean(mcu, reset=True):
    _, verdict = mcu.verdict()
    if CLEAN not in verdict or reset != ("reset received" in verdict):
        fail(f"verdict: {verdict}")


# --- the bridge: one WebSocket connection is one open of the terminal ---
class Bridge:
    def __init__(self):
        self.link = None
        self.loop = asyncio.new_event_loop()
        started = threading.Event()
        threading.Thread(target=self.run, args=(started,), daemon=True).start()
        started.wait()

    def run(self, started):
        asyncio.set_event_loop(self.loop)
        server = self.loop.run_until_complete(websockets.serve(self.carry, "127.0.0.1", 0))
        self.url = f"ws://127.0.0.1:{server.sockets[0].getsockname()[1]}/"
        started.set()
        self.loop.run_forever()

    async def carry(self, socket, _path=None):
        try:
            fd = os.open(self.link, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
        except OSError as error:
            await socket.send(f"refused: {error.strerror}")
            return
        tty.setraw(fd)
        await socket.send("open")
        # In the order read; None when the terminal hung up (the adapter went away).
        chunks = asyncio.Queue()

        def readable():
            try:
                data = os.read(fd, 4096)
            except BlockingIOError:
                return
            except OSError:
                data = b""
            if not data:
                self.loop.remove_reader(fd)
            chunks.put_nowait(data or None)

        self.loop.add_reader(fd, readable)
        tasks = [asyncio.ensure_future(self.to_terminal(socket, fd)),
                 asyncio.ensure_future(self.to_socket(socket, chunks))]
        await asyncio.wait(tasks, return_when=asyncio.FIRST_COMPLETED)
        for task in tasks:
            task.cancel()
        self.loop.remove_reader(fd)
        os.close(fd)
        await socket.close(1011, "the device has been lost")

    @staticmethod
    async def to_socket(socket, chunks):
        while (data := await chunks.get()) is not None:
            await socket.send(data)

    @staticmethod
    async def to_terminal(socket, fd):
        async for message in socket:
            view = memoryview(message)
            while view:
                try:
                    view = view[os.write(fd, view):]
                except BlockingIOError:
                    await asyncio.sleep(0.001)


BRIDGE = Bridge()


def serve(folder):
    class Quiet(http.server.SimpleHTTPRequestHandler):
        def log_message(self, *args):
            pass

    handler = functools.partial(Quiet, directory=folder)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return f"http://localhost:{server.server_address[1]}/"


URL = serve(PAGE)


# --- the browser ---
PAGES = []


class Page:
    """The page in a fresh headless Chromium, the fake port in place."""

    def __init__(self, url=None, **fake):
        options = webdriver.ChromeOptions()
        options.binary_location = "/usr/bin/chromium"
        for flag in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-quic",
                     "--no-first-run", "--disable-background-networking",
                     "--disable-component-update", "--disable-sync", "--window-size=1400,700",
                     f"--user-data-dir={tempfile.mkdtemp(dir=DIR)}"):
            options.add_argument(flag)
        service = Service(executable_path="/usr/bin/chromedriver")
        self.driver = webdriver.Chrome(options=options, service=service)
        PAGES.append(self)
        fake = dict(fake, bridge=BRIDGE.url)
        with open(os.path.join(HERE, "fake_serial.js"), encoding="utf-8") as script:
            source = f"window.__vardelFake = {json.dumps(fake)};\n" + script.read()
        self.driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": source})
        started = time.monotonic()
        self.driver.get(url or URL)
        if url:
            return
        self.wait(lambda: self.js("return document.body.dataset.ready") == "true", "page ready")
        self.load_seconds = time.monotonic() - started

    def js(self, script, *args):
        return self.driver.execute_script(script, *args)

    def wait(self, condition, what, timeout=20):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if condition():
                return
            time.sleep(0.05)
        fail(f"waited {timeout} s for {what}; the window shows {self.shown()}, "
             f"statuses {self.record('statuses')}")

    def control(self, control):
        return self.driver.find_element(By.ID, f"control-{control}")

    def text(self, control):
        return self.control(control).text

    def shown(self):
        return {name: self.text(control) for name, control in
                (("status", IDC_STATUS), ("percent", IDC_PERCENT), ("step", IDC_STEP),
                 ("button", IDC_START))}

    def record(self, name):
        return self.js(f"return window.__vardelRecord.{name}")

    def choose_file(self, path):
        self.driver.find_element(By.ID, "firmware").send_keys(path)
        self.wait(lambda: "No file" not in self.state("firmware"), "the file's check")

    def state(self, which):
        return self.driver.find_element(By.ID, f"{which}-state").text

    def choose_port(self, mcu=None, link=None):
        """The port the bridge opens is the MCU's terminal, or link."""
        BRIDGE.link = mcu.link if mcu else link
        self.driver.find_element(By.ID, "choose-port").click()

    def start(self):
        self.wait(lambda: self.control(IDC_START).is_enabled(), "the start button")
        self.control(IDC_START).click()

    def finish(self):
        """Waits for the upgrade's end and presses 完成重启."""
        self.wait(lambda: self.text(IDC_START) == "完成重启" and
                  self.control(IDC_START).is_enabled(), "the upgrade's end", timeout=40)
        if self.text(IDC_STATUS) != "升级成功!" or self.text(IDC_PERCENT) != "100%":
            fail(f"at the end the window shows {self.shown()}")
        self.control(IDC_START).click()

    def key(self, key):
        self.driver.find_element(By.TAG_NAME, "body").send_keys(key)

    def close(self):
        self.driver.quit()
        PAGES.remove(self)


def clean_up():
    for page in PAGES:
        page.driver.quit()
    shutil.rmtree(DIR, ignore_errors=True)
