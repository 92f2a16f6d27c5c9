#!/usr/bin/env python3
"""Writes the hostile clipboard contents scripts/hostile.sh copies, into FOLDER, and a list
of the cases ("name|clipboard type|file" a line) as FOLDER/cases. Standard library only."""

import struct
import sys
import zlib
from pathlib import Path


def chunk(kind: bytes, data: bytes, broken: bool = False) -> bytes:
    crc = zlib.crc32(kind + data)
    if broken:
        crc ^= 0xFFFFFFFF
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", crc)


def zeros_compressed(row: bytes, rows: int) -> bytes:
    """rows copies of row, deflated as a stream, so they are never all in memory."""
    compressor = zlib.compressobj(9)
    block = row * max(1, (16 << 20) // len(row))
    per_block = len(block) // len(row)
    parts = []
    left = rows
    while left > 0:
        count = min(left, per_block)
        parts.append(compressor.compress(block[: count * len(row)]))
        left -= count
    parts.append(compressor.flush())
    return b"".join(parts)


def png(width: int, height: int, broken_crc: bool = False) -> bytes:
    header = struct.pack(">IIBBBBB", width, height, 8, 0, 0, 0, 0)  # 8-bit grey
    pixels = zeros_compressed(b"\0" + b"\x80" * width, height)
    return (
        b"\x89PNG\r\n\x1a\n"
        + chunk(b"IHDR", header)
        + chunk(b"IDAT", pixels, broken_crc)
        + chunk(b"IEND", b"")
    )


def tiff_bomb(width: int, height: int) -> bytes:
    """A grey TIFF whose one deflated strip unpacks to width x height bytes."""
    strip = zeros_compressed(b"\0" * width, height)
    entries = [
        (256, 4, width),  # ImageWidth, LONG
        (257, 4, height),  # ImageLength
        (258, 3, 8),  # BitsPerSample, SHORT
        (259, 3, 8),  # Compression: deflate
        (262, 3, 1),  # PhotometricInterpretation: black is zero
        (273, 4, 0),  # StripOffsets, filled in below
        (277, 3, 1),  # SamplesPerPixel
        (278, 4, height),  # RowsPerStrip
        (279, 4, len(strip)),  # StripByteCounts
    ]
    directory_size = 2 + 12 * len(entries) + 4
    strip_offset = 8 + directory_size
    directory = struct.pack("<H", len(entries))
    for tag, kind, value in entries:
        if tag == 273:
            value = strip_offset
        if kind == 3:
            directory += struct.pack("<HHIHH", tag, kind, 1, value, 0)
        else:
            directory += struct.pack("<HHII", tag, kind, 1, value)
    directory += struct.pack("<I", 0)
    return b"II*\0" + struct.pack("<I", 8) + directory + strip


def main() -> None:
    folder = Path(sys.argv[1])
    folder.mkdir(parents=True, exist_ok=True)
    cases = []

    def add(name: str, kind: str, data: bytes) -> None:
        (folder / name).write_bytes(data)
        cases.append(f"{name}|{kind}|{name}")

    line = b"The quick brown fox jumps over the lazy dog. " * 2 + b"\n"
    add("text-32MB", "UTF8_STRING", line * (32_000_000 // len(line)))
    add("png-20000x20000", "image/png", png(20000, 20000))
    add("tiff-bomb", "image/tiff", tiff_bomb(40000, 40000))
    add("png-broken-crc", "image/png", png(64, 48, broken_crc=True))
    urls = "".join(f"file:///tmp/hostile/file{i}.txt\r\n" for i in range(10000))
    add("file-urls-10000", "text/uri-list", urls.encode())
    add(
        "bidi-overrides",
        "UTF8_STRING",
        "invoice \u202egpj.exe\u202c \u2067\u05e9\u05dc\u05d5\u05dd\u2069 \u200f!".encode(),
    )
    add("combining-10000", "UTF8_STRING", ("a" + "\u0301" * 10000 + " end").encode())
    add(
        "control-characters",
        "UTF8_STRING",
        b"\x01\x02\x1b[31mred\x07\x08\x00 title\x7f\r\nsecond line",
    )
    add("almost-colour", "UTF8_STRING", b"#12345g")
    add("almost-colour-rgb", "UTF8_STRING", b"rgb(300, 0, 0")
    (folder / "cases").write_text("\n".join(cases) + "\n")


main()
