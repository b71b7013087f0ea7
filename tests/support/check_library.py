#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Reads an exported library file with Python's own property-list parser and compares it
# with what the test expects.
#
#   check_library.py LIBRARY EXPECTED.json [--exist] [--some-keys]
#
# EXPECTED.json: {"tracks": {PATH: {KEY: VALUE, ...}}, "playlists": [{"Name": ..,
# "items": [PATH, ...]}]}; dates as "YYYY-MM-DDTHH:MM:SSZ". Tracks are matched by the path
# their Location URL names. --exist: every location must be an existing file.
# --some-keys: keys the test did not name may be present. Prints what differs; exit 1.
import datetime
import json
import os
import plistlib
import sys
import urllib.parse

ALWAYS = {"Track ID", "Persistent ID", "Track Type", "Location"}


def shown(value):
    if isinstance(value, datetime.datetime):
        return value.strftime("%Y-%m-%dT%H:%M:%SZ")
    return value


def main():
    with open(sys.argv[1], "rb") as f:
        library = plistlib.load(f)
    with open(sys.argv[2], encoding="utf-8") as f:
        expected = json.load(f)
    must_exist = "--exist" in sys.argv[3:]
    some_keys = "--some-keys" in sys.argv[3:]
    errors = []
    path_of = {}
    for key, track in library["Tracks"].items():
        if str(track.get("Track ID")) != key:
            errors.append(f"track {key}: Track ID {track.get('Track ID')}")
        url = urllib.parse.urlsplit(track["Location"])
        if url.scheme != "file" or url.netloc not in ("", "localhost"):
            errors.append(f"track {key}: not a file URL: {track['Location']}")
        path = urllib.parse.unquote(url.path, errors="strict")
        path_of[track["Track ID"]] = path
        if must_exist and not os.path.isfile(path):
            errors.append(f"{path}: no such file")
        want = expected["tracks"].get(path)
        if want is None:
            errors.append(f"{path}: a track the test did not expect")
            continue
        for name, value in want.items():
            if shown(track.get(name)) != value:
                errors.append(f"{path}: {name} is {shown(track.get(name))!r}, expected {value!r}")
        extra = set(track) - set(want) - ALWAYS
        if extra and not some_keys:
            errors.append(f"{path}: keys the test did not expect: {sorted(extra)}")
    for path in sorted(set(expected["tracks"]) - set(path_of.values())):
        errors.append(f"{path}: missing from the library")

    playlists = library["Playlists"]
    masters = [p for p in playlists if p.get("Master")]
    if len(masters) != 1:
        errors.append(f"{len(masters)} master playlists")
    elif sorted(i["Track ID"] for i in masters[0]["Playlist Items"]) != sorted(path_of):
        errors.append("the master playlist does not hold every track once")
    if "playlists" in expected:
        got = [
            {"Name": p["Name"], "items": [path_of.get(i["Track ID"]) for i in p["Playlist Items"]]}
            for p in playlists
            if not p.get("Master")
        ]
        if got != expected["playlists"]:
            errors.append(f"playlists are {got!r}, expected {expected['playlists']!r}")
    for error in errors:
        print(error)
    print(f"{len(path_of)} tracks, {len(playlists)} playlists read")
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
