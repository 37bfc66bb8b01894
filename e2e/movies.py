"""Small, valid Flash movies made on the spot.

Each movie only sets its background colour and shows one frame, so a player
that plays it paints its stage in that colour and nothing else: a screenshot
tells which movie is playing.

Layout of an uncompressed movie (all numbers little-endian):
  "FWS", version (u8), file length (u32),
  frame rectangle (a bit field: 5 bits giving n, then x-min, x-max, y-min,
  y-max of n bits each, in twips, padded to a byte),
  frame rate (u16, 8.8 fixed point), frame count (u16),
  tags: a u16 header (code << 6 | length, length < 63) then the body.
"""

import struct

_TAG_END = 0
_TAG_SHOW_FRAME = 1
_TAG_SET_BACKGROUND_COLOR = 9


def _rectangle(width_twips, height_twips):
    values = (0, width_twips, 0, height_twips)
    bits = max(v.bit_length() for v in values) + 1  # signed fields
    stream = format(bits, "05b") + "".join(format(v, "0%db" % bits) for v in values)
    stream += "0" * (-len(stream) % 8)
    return bytes(int(stream[i:i + 8], 2) for i in range(0, len(stream), 8))


def _tag(code, body=b""):
    assert len(body) < 63
    return struct.pack("<H", code << 6 | len(body)) + body


def solid_movie(rgb, width=200, height=150, version=10):
    """A one-frame movie whose stage is filled with the colour rgb."""
    body = _rectangle(width * 20, height * 20)
    body += struct.pack("<HH", 24 << 8, 1)
    body += _tag(_TAG_SET_BACKGROUND_COLOR, bytes(rgb))
    body += _tag(_TAG_SHOW_FRAME)
    body += _tag(_TAG_END)
    header = b"FWS" + bytes([version])
    return header + struct.pack("<I", len(header) + 4 + len(body)) + body
