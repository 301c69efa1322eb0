#!/usr/bin/env python3
"""Writes the seed corpora of the two fuzz targets: a few inputs that walk
the parser and the engine down the roads a real MCU takes, so that fuzzing
starts from a whole upgrade run instead of from nothing."""
import pathlib

HERE = pathlib.Path(__file__).resolve().parent


def request(block, good=True):
    h, l = block >> 8, block & 0xFF
    return bytes([0x23, 0x55, 0x52, h, l, 0xFF - h, (0xFF - l) if good else l])


def parser_seed(frames, step_ms=1):
    """clock word, ms per clock read, then (delay, count-1, bytes) chunks of up to 9 bytes."""
    out = bytearray(b"\xff\xff\xff\x00" + bytes([step_ms - 1]))
    for delay, frame in frames:
        for i in range(0, len(frame), 9):
            part = frame[i:i + 9]
            out += bytes([delay if i == 0 else 0, len(part) - 1]) + part
    return bytes(out)


def engine_seed(blocks, image_steps=15):
    tick, start, ask = 7, 0, 3
    out = bytearray(b"\x00\x00\x10\x00")  # clock
    out += bytes([0, 1, 1, image_steps])  # ms per clock read, port there, settings taken, image size
    out += bytes([tick, start, tick])
    for b in blocks:
        out += bytes([ask, 1, b, 1, 0, tick, tick])
    out += bytes([ask, 0, 0xFF, 0xFF, 0xFF, 0xFF, 1, 0, tick, tick, 6])
    return bytes(out)


def main():
    parser = HERE / "corpus" / "parser"
    engine = HERE / "corpus" / "engine"
    parser.mkdir(parents=True, exist_ok=True)
    engine.mkdir(parents=True, exist_ok=True)
    seeds = {
        "status_replies": [(0, b"#UKOK"), (5, b"#UENG"), (5, b"#UKNG")],
        "requests": [(0, request(0)), (5, request(5)), (5, request(5, good=False))],
        "completion": [(0, request(0)), (9, request(0xFFFF))],
        "split_frame": [(0, request(7)[:2]), (250, request(7)[2:])],
        "spells_status": [(0, bytes([0x23, 0x55, 0x4B, 0x4F, 0x4B, 0xB0, 0xB4]))],
        "noise": [(0, b"\x00\x23\x23\x55KOK"), (3, request(1))],
    }
    for name, frames in seeds.items():
        (parser / name).write_bytes(parser_seed(frames))
    (engine / "in_order").write_bytes(engine_seed(range(16)))
    (engine / "repeats_and_beyond").write_bytes(engine_seed([0, 1, 1, 2, 250, 3]))


if __name__ == "__main__":
    main()
