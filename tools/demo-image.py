#!/usr/bin/python3
"""Writes the demo's firmware image: 28,672 bytes (448 blocks) from our own
32-bit xorshift generator, the same every time.

    tools/demo-image.py FILE...
"""
import sys

state, image = 0x5EED1234, bytearray()
while len(image) < 28672:
    state ^= (state << 13) & 0xFFFFFFFF
    state ^= state >> 17
    state ^= (state << 5) & 0xFFFFFFFF
    image.append(state & 0xFF)
for path in sys.argv[1:]:
    with open(path, "wb") as out:
        out.write(image)
