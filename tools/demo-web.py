"""The page's demo: its whole run in headless Chromium against the simulated
MCU at the line's own pace, the window's labels printed as they change, and
the simulator's verdict at the end; status 0 only when the image arrived
identical and the reset frame came.
Usage: demo-web.py HOST_BUILD PAGE_FOLDER
The page's serial port is the tests' fake one, bridged to the simulator's
terminal: the browser gives a headless page no real port."""
import os
import subprocess
import sys
import time

host, page_folder = sys.argv[1:3]
sim = os.path.join(host, "sim", "vardel-mcu-sim")
sys.argv[1:] = [page_folder, sim, "demo"]
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "web"))
import web_harness as harness  # noqa: E402  (after its arguments are in place)

image = os.path.join(harness.DIR, "KD51A.BIN")
subprocess.run([sim, "--write-demo-image", image], check=True)
print(f"demo image: 28672 bytes (448 blocks), {image}")
mcu = harness.Mcu("--line-rate", firmware=image)
print(f"simulated MCU on {mcu.link}; the page from {harness.URL} in headless Chromium")
page = harness.Page()
print(f"page loaded in {page.load_seconds * 1000:.0f} ms")
page.choose_file(image)
print("file:", page.state("firmware"))
page.choose_port(mcu)
page.wait(lambda: "open at" in page.state("port"), "the port")
print("port:", page.state("port"))

shown = {}


def show_changes():
    for name, text in page.shown().items():
        if shown.get(name) != text:
            shown[name] = text
            print(f"  {name:8} {text}")


show_changes()
page.start()
print("pressed 开始升级")
while not (page.text(harness.IDC_START) == "完成重启" and page.control(harness.IDC_START).is_enabled()):
    show_changes()
    time.sleep(0.25)
show_changes()
page.finish()
print("pressed 完成重启")
status, verdict = mcu.verdict()
print(verdict)
page.close()
harness.clean_up()
ok = status == 0 and harness.CLEAN in verdict and "reset received" in verdict
print("demo:", "the image arrived identical and the reset frame came" if ok else "FAILED")
sys.exit(0 if ok else 1)
