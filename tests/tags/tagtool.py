#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The tag tests' independent side, on mutagen.

  tagtool.py read FILE          prints the file's tags as "key=value" lines, one field a
                                line, in names shared by every format
  tagtool.py tag FILE k=v ...   sets tags through mutagen's easy interface (MP3, FLAC, M4A)
  tagtool.py m4a FILE FRAMES    writes an M4A file: AAC-LC, 44.1 kHz mono, FRAMES silent
                                frames, the movie header before the media as iTunes lays
                                it out
"""
import struct
import sys

import mutagen
from mutagen.flac import FLAC
from mutagen.mp4 import MP4

ID3_TEXT = {"TIT2": "title", "TPE1": "artist", "TALB": "album", "TPE2": "albumartist",
            "TCON": "genre", "TCOM": "composer", "GRP1": "grouping", "TDRC": "date",
            "TRCK": "track", "TPOS": "disc", "TCMP": "compilation"}
MP4_TEXT = {"\xa9nam": "title", "\xa9ART": "artist", "\xa9alb": "album", "aART": "albumartist",
            "\xa9gen": "genre", "\xa9wrt": "composer", "\xa9cmt": "comment", "\xa9grp": "grouping",
            "\xa9day": "date"}
VORBIS = ["title", "artist", "album", "albumartist", "genre", "composer", "comment", "grouping",
          "date", "tracknumber", "tracktotal", "discnumber", "disctotal", "compilation",
          "fmps_rating", "fmps_playcount"]


def read(path):
    f = mutagen.File(path)
    out = {}
    if f is None:
        print("unreadable=1")
        return
    if isinstance(f, MP4):
        for key, name in MP4_TEXT.items():
            if key in f.tags:
                out[name] = f.tags[key][0]
        for key, name in (("trkn", "track"), ("disk", "disc")):
            if key in f.tags:
                n, c = f.tags[key][0]
                out[name] = "%d/%d" % (n, c) if c else "%d" % n
        if "cpil" in f.tags:
            out["compilation"] = "1" if f.tags["cpil"] else "0"
    elif isinstance(f, FLAC):
        for key in VORBIS:
            if f.tags is not None and key in f.tags:
                out[key] = f.tags[key][0]
    elif f.tags is not None:  # ID3 in MP3, WAV or AIFF
        out["id3version"] = "2.%d" % f.tags.version[1]
        for frame in f.tags.values():
            if frame.FrameID in ID3_TEXT:
                out[ID3_TEXT[frame.FrameID]] = str(frame.text[0])
            elif frame.FrameID == "COMM" and frame.desc == "":
                out["comment"] = frame.text[0]
            elif frame.FrameID == "POPM":
                out["popm:" + frame.email] = "%d/%d" % (frame.rating, getattr(frame, "count", 0))
            elif frame.FrameID == "PCNT":
                out["pcnt"] = str(frame.count)
    for key in sorted(out):
        print("%s=%s" % (key, out[key]))


def tag(path, pairs):
    f = mutagen.File(path, easy=True)
    if f.tags is None:
        f.add_tags()
    for pair in pairs:
        key, value = pair.split("=", 1)
        f[key] = value
    f.save()


def atom(kind, *parts):
    body = b"".join(parts)
    return struct.pack(">I", 8 + len(body)) + kind + body


def full(kind, *parts):
    return atom(kind, b"\0\0\0\0", *parts)


def descriptor(tag_id, body):
    return bytes([tag_id, len(body)]) + body


def m4a(path, frames):
    frame = b"\x21\x10\x04\x60\x8c\x1c"  # one silent AAC-LC mono frame
    rate, count = 44100, int(frames)
    duration = 1024 * count
    matrix = struct.pack(">9I", 0x10000, 0, 0, 0, 0x10000, 0, 0, 0, 0x40000000)
    esds = full(b"esds", descriptor(3, b"\0\0\0" + descriptor(
        4, b"\x40\x15" + b"\0\x01\0" + struct.pack(">II", 128000, 128000) +
        descriptor(5, b"\x12\x08")) + descriptor(6, b"\x02")))
    mp4a = atom(b"mp4a", b"\0" * 6, struct.pack(">HHH", 1, 0, 0), b"\0" * 4,
                struct.pack(">HHHHI", 1, 16, 0, 0, rate << 16), esds)

    def moov(media_offset):
        stbl = atom(b"stbl",
                    full(b"stsd", struct.pack(">I", 1), mp4a),
                    full(b"stts", struct.pack(">III", 1, count, 1024)),
                    full(b"stsc", struct.pack(">IIII", 1, 1, count, 1)),
                    full(b"stsz", struct.pack(">II", 0, count), struct.pack(">I", len(frame)) * count),
                    full(b"stco", struct.pack(">II", 1, media_offset)))
        minf = atom(b"minf", full(b"smhd", b"\0" * 4),
                    atom(b"dinf", full(b"dref", struct.pack(">I", 1),
                                       atom(b"url ", b"\0\0\0\x01"))), stbl)
        mdia = atom(b"mdia", full(b"mdhd", struct.pack(">IIIIHH", 0, 0, rate, duration, 0x55C4, 0)),
                    full(b"hdlr", b"\0" * 4, b"soun", b"\0" * 12, b"SoundHandler\0"), minf)
        trak = atom(b"trak", atom(b"tkhd", b"\0\0\0\x07", struct.pack(">IIIII", 0, 0, 1, 0, duration),
                                  b"\0" * 8, struct.pack(">HHHH", 0, 0, 0x100, 0), matrix,
                                  struct.pack(">II", 0, 0)), mdia)
        return atom(b"moov", full(b"mvhd", struct.pack(">IIII", 0, 0, rate, duration),
                                  struct.pack(">IH", 0x10000, 0x100), b"\0" * 10, matrix, b"\0" * 24,
                                  struct.pack(">I", 2)), trak)

    ftyp = atom(b"ftyp", b"M4A ", struct.pack(">I", 0), b"M4A mp42isom")
    header_size = len(ftyp) + len(moov(0))
    with open(path, "wb") as out:
        out.write(ftyp + moov(header_size + 8) + atom(b"mdat", frame * count))


if __name__ == "__main__":
    command, path = sys.argv[1], sys.argv[2]
    if command == "read":
        read(path)
    elif command == "tag":
        tag(path, sys.argv[3:])
    elif command == "m4a":
        m4a(path, sys.argv[3])
