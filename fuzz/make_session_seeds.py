#!/usr/bin/env python3
"""Writes the session-file seeds of fuzz_session into corpus/fuzz_session.

Each seed is a whole session file as the program saves it (settings block
version 4, macro block version 2, capture block); `trellium-cli show` reads
every one of them without complaint. A version-0 file and a long address
(three-byte length prefix) are included too.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "corpus", "fuzz_session")


def counted(text):
    n = len(text)
    if n < 255:
        return bytes([n]) + text
    if n < 0xFFFE:
        return b"\xff" + struct.pack("<H", n) + text
    return b"\xff\xff\xff" + struct.pack("<I", n) + text


def comm_info(port_id=254, baud=9600, conn=1, address=b"127.0.0.1", port=80,
              mode=0, stamp=0, min_interval=500, options=0):
    out = struct.pack("<iiiiii", -234, 4, port_id, baud, 8, 10)
    out += b"N" + struct.pack("<iii", 0, mode, conn)
    out += counted(address) + struct.pack("<ii", port, 0)
    out += struct.pack("<i", 1) + struct.pack("<7I", 0, 0xFF00, 0xFFFF, 0x7F7F7F, 0, 0, 0)
    out += struct.pack("<iii", 1, stamp, min_interval) + struct.pack("<i", options)
    return out


def macros(keys):
    out = struct.pack("<I", (2 << 16) | len(keys))
    for key, shift, ctrl, label, data, repeat, interval, auto in keys:
        out += bytes([key]) + struct.pack("<iii", shift, ctrl, 0)
        out += counted(label) + counted(b"") + counted(data)
        out += struct.pack("<iii", repeat, interval, 1 if auto else 0) + counted(auto)
    return out


def capture(auto_begin=0, name=b""):
    return struct.pack("<i", auto_begin) + counted(name)


SEEDS = {
    "default.trw": comm_info() + macros([]) + capture(),
    "serial-com3.trw": comm_info(port_id=2, baud=115200, conn=0, mode=1, stamp=1)
    + macros([(0, 0, 0, b"Go", b"GO^M", 0, 0, b"")]) + capture(),
    "tcp-server-macros.trw": comm_info(port_id=255, conn=2, port=23, mode=2, stamp=5,
                                       options=0x4000)
    + macros([
        (0, 0, 0, b"Sum", b"%02~|CHK-SUM|~ABC~|CHK-OUTHEXSTR|~%03", 3, 500, b""),
        (1, 1, 0, b"Modbus", b"~|CHK-CRC-16/MODBUS|~123456789~|CHK-OUT|~", 0, 0, b"^M^J"),
        (11, 1, 1, b"Ans", b"OK^M", -1, 100, b"PING"),
    ]) + capture(0, b"/tmp/capture.txt"),
    "merge.trw": comm_info(port_id=258, conn=5, stamp=2) + macros([]) + capture(),
    "udp-long-address.trw": comm_info(port_id=256, conn=3, address=b"h" * 300, port=5000)
    + macros([(4, 0, 1, b"L" * 260, b"x", 2, 10, b"")]) + capture(),
    "version0.trw": struct.pack("<iiii", 0, 9600, 8, 10) + b"E" + struct.pack("<ii", 0, 1)
    + macros([]) + capture(),
}

os.makedirs(OUT, exist_ok=True)
for name, data in SEEDS.items():
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(data)
