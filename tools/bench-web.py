"""Measures the page in headless Chromium and writes its part of
docs/performance.md (between its marker and the Windows part, or at the end).
Usage: bench-web.py HOST_BUILD PAGE_FOLDER DOCUMENT
Figures: the 448-block transfer at the line's own pace through the page,
against the same through the bridge alone with a host that answers at once
(the bridge's floor), run by run in turn; the answer latency inside the page;
the module's size; the page's load time from localhost."""
import asyncio
import os
import platform
import statistics
import subprocess
import sys
import time

host, page_folder, document = sys.argv[1:4]
sim = os.path.join(host, "sim", "vardel-mcu-sim")
sys.argv[1:] = [page_folder, sim, "bench"]
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "web"))
import web_harness as harness  # noqa: E402  (after its arguments are in place)
import websockets  # noqa: E402

RUNS = 3
# Each block is a 7-byte request and a 69-byte frame at 38,400 baud, 10 bits a byte.
IDEAL = 448 * (7 + 69) * 10 / 38400
STATUS_REPLIES = (b"KOK", b"ENG", b"KNG")


def page_run():
    mcu = harness.Mcu("--line-rate")
    page = harness.Page()
    page.choose_file(harness.FIRMWARE)
    page.choose_port(mcu)
    page.start()
    page.finish()
    harness.expect_clean(mcu)
    arrivals, writes = page.record("arrivals"), page.record("writes")
    latencies = []
    for at, length in writes:
        before = [arrival for arrival in arrivals if arrival <= at]
        if length == 69 and before:
            latencies.append(at - before[-1])
    ready = page.record("readyAt")
    page.close()
    return mcu.transfer_seconds(), latencies[:-1], ready  # the last 69 bytes are the reset frame


async def answer_at_once(image):
    """A host on the bridge that answers each request as soon as it is whole."""
    async with websockets.connect(harness.BRIDGE.url, max_size=None) as socket:
        if await socket.recv() != "open":
            harness.fail("the bridge did not open the terminal")
        await socket.send(b"#U\x02VKT")
        pending = b""
        while True:
            pending += await socket.recv()
            while len(pending) >= 5:
                if pending[:2] != b"#U":
                    pending = pending[1:]
                elif pending[2:5] in STATUS_REPLIES:
                    pending = pending[5:]
                elif len(pending) < 7:
                    break
                else:
                    block = pending[3] << 8 | pending[4]
                    pending = pending[7:]
                    if block == 0xFFFF:
                        await socket.send(b"#UR" + bytes(66))
                        return
                    data = image[block * 64:block * 64 + 64]
                    xor = 0
                    for byte in data:
                        xor ^= byte
                    await socket.send(b"#UD" + data + bytes([sum(data) & 0xFF, xor]))


def floor_run():
    mcu = harness.Mcu("--line-rate")
    harness.BRIDGE.link = mcu.link
    with open(harness.FIRMWARE, "rb") as file:
        asyncio.run(answer_at_once(file.read()))
    harness.expect_clean(mcu)
    return mcu.transfer_seconds()


def main():
    page_times, floor_times, latencies, loads = [], [], [], []
    for run in range(RUNS):
        seconds, answered, ready = page_run()
        page_times.append(seconds)
        latencies += answered
        loads.append(ready)
        floor_times.append(floor_run())
        print(f"run {run + 1}: page {seconds:.3f} s, bridge alone {floor_times[-1]:.3f} s")
    page_median, floor_median = statistics.median(page_times), statistics.median(floor_times)
    latencies.sort()
    latency_median = statistics.median(latencies)
    latency_p99 = latencies[int(len(latencies) * 0.99)]
    sizes = {name: os.path.getsize(os.path.join(page_folder, name))
             for name in ("vardel-engine.wasm", "vardel-engine.js", "vardel.js")}
    module = sizes["vardel-engine.wasm"] + sizes["vardel-engine.js"]
    chromium = subprocess.run(["/usr/bin/chromium", "--version"], capture_output=True,
                              text=True).stdout.strip()
    met = lambda ok: "yes" if ok else "no"  # noqa: E731
    runs = ", ".join(f"{t:.3f}" for t in page_times)
    floors = ", ".join(f"{t:.3f}" for t in floor_times)
    part = f"""<!-- web-part: written by `make bench-web` (tools/bench-web.py); `make bench` keeps it. -->
## In the browser: the page in Chromium

The figures come from `tools/bench-web.py`. It serves `build/web/` from localhost to Debian's Chromium, headless, driven by Selenium; the page's serial port is the tests' fake Web Serial port, whose bytes a bridge carries over a WebSocket to the simulated MCU's terminal. `make bench-web` builds the page and the Linux build, runs it and rewrites this part only.

- Command: `make bench-web`
- Machine: {os.cpu_count()} CPUs, {platform.system()} {platform.release()}, {chromium}
- Date: {time.strftime('%Y-%m-%d %H:%M UTC', time.gmtime())}

| measure | value | goal | met |
|---|---|---|---|
| Line-rate transfer of 448 blocks (28,672 bytes) at 38,400 baud both ways through the page, median of {RUNS} runs | {page_median:.3f} s = {page_median / IDEAL:.3f} × ideal {IDEAL:.3f} s (runs: {runs} s) | ≤ 1.06 × ideal | {met(page_median / IDEAL <= 1.06)} |
| The bridge's floor: the same through the bridge alone, with a host that answers each request as soon as it is whole, run by run in turn with the one above | {floor_median:.3f} s = {floor_median / IDEAL:.3f} × ideal (runs: {floors} s) | — | — |
| Answer latency inside the page: the chunk with a request's last byte reaching the page to the data frame handed to the port, {len(latencies)} answers | median {latency_median:.2f} ms, 99th percentile {latency_p99:.2f} ms, worst {latencies[-1]:.2f} ms | median ≤ 2 ms | {met(latency_median <= 2)} |
| The engine's module: WebAssembly and its script, uncompressed | {module:,} bytes ({sizes['vardel-engine.wasm']:,} + {sizes['vardel-engine.js']:,}); the page's own script {sizes['vardel.js']:,} bytes | < 150 KB | {met(module < 150 * 1024)} |
| Page load from localhost: navigation start to the module started and the page ready, median of {RUNS} loads | {statistics.median(loads):.0f} ms (loads: {', '.join(f'{t:.0f}' for t in loads)} ms) | — | — |

### How each browser figure is taken

- Line rate: the simulator (`vardel-mcu-sim --line-rate`) paces both directions at 38,400 baud, 10 bits a byte; the time is its own, from the enter-upgrade frame to the completion request. The ideal is the line time of the same bytes. The floor runs the same simulator and bridge with a small Python host in place of the page, so what the page adds is the difference between the two.
- Latency: the fake port notes when each chunk reaches the page (`performance.now()` as it is queued on the port's stream) and when each write reaches the port's sink; for each data frame, the time since the last chunk before it. A page that is not cross-origin isolated reads that clock in steps of 0.1 ms, so a median of 0.00 ms says that most answers leave within the step in which their request came. What the page's transfer takes beyond the floor is the fake port's own way, the browser's WebSocket between the page and the bridge, which a real port does not take.
- Size: the files as built (`-Os`, MinSizeRel), before any compression a server may add.
- The machine is shared with other work while these are taken; the figures are a snapshot, and the command above takes them again.
"""
    text = open(document, encoding="utf-8").read() if os.path.exists(document) else ""
    start = text.find("<!-- web-part:")
    end = text.find("<!-- windows-part:")
    if start >= 0:
        text = text[:start] + (text[end:] if end > start else "")
        end = text.find("<!-- windows-part:")
    if end >= 0:
        text = text[:end] + part + "\n" + text[end:]
    else:
        text = text.rstrip("\n") + "\n\n" + part
    with open(document, "w", encoding="utf-8") as out:
        out.write(text)
    print(part[part.index("| measure"):part.index("### How")])
    print(f"written to {document}")
    harness.clean_up()


main()
