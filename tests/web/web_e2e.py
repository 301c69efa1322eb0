"""The page in a real (headless) Chromium against the simulated MCU: one case
per run, named by the third argument. Usage:
web_e2e.py PAGE_FOLDER VARDEL_MCU_SIM CASE"""
import atexit
import os

from web_harness import (CASE, FIRMWARE, PAGE, IDC_START, IDC_STATUS, IDC_STEP, Mcu, Page,
                         clean_up, expect_clean, fail, image)

atexit.register(clean_up)

LINE = {"baudRate": 38400, "dataBits": 8, "parity": "none", "stopBits": 1, "flowControl": "none"}


def started(*options, **fake):
    """A simulated MCU with these options, and the page with the firmware and
    the port chosen and the start pressed."""
    mcu = Mcu(*options, seconds=fake.pop("seconds", 60))
    page = Page(**fake)
    page.choose_file(FIRMWARE)
    page.choose_port(mcu)
    page.start()
    return mcu, page


def expect_status(page, text):
    if text not in page.record("statuses"):
        fail(f"the status never read {text!r}: {page.record('statuses')}")


def upgrade():
    """A whole upgrade, byte-exact, with the MCU's status replies shown, a
    request split across two chunks, and the reset frame on 完成重启."""
    mcu, page = started("--status-at-start", "KOK,ENG,KNG", "--split=3", "--split-pause", "40")
    page.finish()
    expect_clean(mcu)
    if asks_before_leaving(page):
        fail("leaving the page asks after the upgrade")
    if page.record("opens") != [LINE]:
        fail(f"the port was opened with {page.record('opens')}")
    for text in ("串口打开成功!", "擦除成功", "擦除失败", "芯片被加密", "通信建立，开始传输数据!",
                 "正在升级......, 请稍后, 不要断电!!!", "升级成功!"):
        expect_status(page, text)


def background_tab():
    """With its timers slowed to once a second, as in a tab in the background,
    the page still answers every request as it comes: the whole upgrade takes
    about as long as in front, not 448 seconds."""
    mcu, page = started(backgroundTimers=True)
    page.finish()
    expect_clean(mcu)


def silent_mcu():
    """An MCU that stops asking: the window stays at its block, and leaving
    the page asks first."""
    mcu, page = started("--silent-after", "200")
    page.wait(lambda: page.text(1003) == "44%", "block 199")
    page.driver.save_screenshot(page_screenshot())
    if not asks_before_leaving(page):
        fail("leaving the page mid-upgrade does not ask first")
    if page.text(IDC_STEP) != "Step = 3" or page.control(IDC_START).is_enabled():
        fail(f"after the MCU fell silent the window shows {page.shown()}")


def asks_before_leaving(page):
    """What the page's beforeunload handler answers. (A real reload is not
    asked about under WebDriver, which accepts such questions by itself.)"""
    return page.js("const event = new Event('beforeunload', {cancelable: true});"
                   "window.dispatchEvent(event); return event.defaultPrevented;")


def page_screenshot():
    return os.path.join(os.environ.get("VARDEL_WEB_SHOTS", "."), "web.png")


def bad_request():
    """A request for a block beyond the file is refused with the design's text;
    the upgrade goes on."""
    mcu, page = started("--beyond", "1")
    page.finish()
    expect_clean(mcu)
    expect_status(page, "MCU请求数据出错!")


def choices_mid_upgrade():
    """Mid-upgrade, choosing the port in use again keeps it, one that does not
    open leaves the upgrade on the port it had, and another file is not
    taken; the image arrives whole, and the port is let go when the window
    closes."""
    mcu, page = started("--flash-delay", "10")
    page.wait(lambda: page.text(IDC_STEP) == "Step = 3", "the transfer")
    page.js("window.__vardelFake.samePort = true")
    page.choose_port(mcu)
    page.wait(lambda: "already in use" in page.state("port"), "the same port kept")
    page.js("window.__vardelFake.samePort = false")
    page.choose_port(link="/nonexistent/tty")
    page.wait(lambda: "Still using" in page.state("port"), "the failed choice told")
    page.choose_file(image("other.bin", 4096))
    page.wait(lambda: "Not used: other.bin" in page.state("firmware"), "the file refused")
    page.finish()
    expect_clean(mcu)
    page.key("\ue00c")  # Escape
    page.wait(lambda: page.record("openPorts") == 0, "the port closed with the window")


def file_checks():
    """A file under 1,024 bytes is refused with its reason and nothing is sent;
    a ragged or oversized one is taken with a warning of what is not sent."""
    page = Page()
    page.choose_file(image("short.bin", 1000))
    if "1,000 bytes, fewer than the 1,024 an image needs" not in page.state("firmware"):
        fail(f"a short file: {page.state('firmware')}")
    mcu = Mcu("--handshake-timeout", "1500")
    page.choose_port(mcu)
    page.start()
    page.wait(lambda: page.text(IDC_STATUS) == "打开Q9升级文件KD51A.BIN失败!", "the open failure")
    if mcu.verdict()[0] != 2:
        fail("something was sent without a usable file")
    page.choose_file(image("ragged.bin", 70000))
    for warning in ("70,000 bytes; only the first 65,536 are used", ):
        if warning not in page.state("firmware"):
            fail(f"an oversized file: {page.state('firmware')}")
    huge = image("huge.bin", 0)
    os.truncate(huge, 2**31)
    page.choose_file(huge)
    if "2,147,483,648 bytes; only the first 65,536 are used" not in page.state("firmware"):
        fail(f"a 2 GB file: {page.state('firmware')}")
    page.choose_file(image("tail.bin", 1030))
    if "the last 6 bytes, shorter than a 64-byte block, will not be sent" not in page.state("firmware"):
        fail(f"a ragged file: {page.state('firmware')}")


def write_fails():
    """A write the port refuses is told as 发送数据失败!; the MCU asks again and
    the image still arrives whole."""
    mcu, page = started("--data-timeout", "500", failWrite=40)
    page.finish()
    expect_clean(mcu)
    expect_status(page, "发送数据失败!")


def port_lost():
    """The adapter goes away mid-transfer: the page says so at once, the port
    is chosen again, and the image arrives byte-exact."""
    mcu, page = started("--drop-after", "150", "--back-after", "300")
    page.wait(lambda: "went away" in page.state("port"), "the lost port")
    if page.text(IDC_STEP) != "Step = 3":
        fail(f"after the port went away: {page.shown()}")
    page.wait(lambda: _reopened(page, mcu), "the port chosen again", timeout=10)
    page.finish()
    expect_clean(mcu)
    if len(page.record("opens")) < 2:
        fail("the port was not opened again")


def _reopened(page, mcu):
    page.choose_port(mcu)
    page.wait(lambda: "went away" not in page.state("port") or "did not open" in page.state("port"),
              "an answer to the choice")
    return "open at 38,400" in page.state("port")


def no_web_serial():
    """A browser without Web Serial, or the page opened as a file: the page
    says so, and no port can be chosen."""
    page = Page(noWebSerial=True)
    support = page.driver.find_element("id", "support")
    if not support.is_displayed() or "no Web Serial" not in support.text:
        fail(f"the page without Web Serial says {support.text!r}")
    if page.driver.find_element("id", "choose-port").is_enabled():
        fail("a port can be chosen without Web Serial")
    page = Page(url="file://" + os.path.join(PAGE, "index.html"))
    page.wait(lambda: "opened as a file" in page.driver.find_element("id", "support").text,
              "the page opened as a file told to be served")


def keys():
    """Enter closes the window as OK while it waits for the start; Escape as
    Cancel in the middle of the transfer, and the MCU hears nothing more."""
    mcu = Mcu()
    page = Page()
    page.choose_file(FIRMWARE)
    page.choose_port(mcu)
    page.wait(lambda: page.text(IDC_STEP) == "Step = 1", "the ready step")
    page.key("\ue007")  # Enter
    page.wait(lambda: "(OK)" in page.driver.find_element("id", "ended").text, "the end by Enter")
    page.close()
    mcu.proc.kill()
    mcu, page = started("--flash-delay", "20", seconds=8)
    page.wait(lambda: page.text(IDC_STEP) == "Step = 3", "the transfer")
    page.key("\ue00c")  # Escape
    page.wait(lambda: "(Cancel)" in page.driver.find_element("id", "ended").text, "the end by Escape")
    _, verdict = mcu.verdict()
    if "image identical" in verdict or "reset received" in verdict:
        fail(f"the transfer went on after Escape: {verdict}")


CASES = {case.__name__: case for case in
         (upgrade, background_tab, silent_mcu, bad_request, choices_mid_upgrade, file_checks,
          write_fails, port_lost, no_web_serial, keys)}
CASES[CASE]()
print("PASS")
