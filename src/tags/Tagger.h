#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// Tags of song files, behind a small interface: writing what the iPod's record knows into
// a copy, and reading a file's own tags into a record.
//
// Writing completes the file's tags and never overrules them: a field the file already
// holds (not empty) is kept, and only the empty ones are filled from the record. Only
// the tag areas of the file change; its audio part (see AudioPart.h) stays as it was,
// which the writer checks after saving. Ratings and play counts go where players read
// them: in an ID3v2 tag (MP3, WAV, AIFF) as POPM and PCNT frames, the rating on the
// 1/64/128/196/255 scale of Windows Media Player; in a FLAC file as the FMPS_RATING
// (0.0 to 1.0) and FMPS_PLAYCOUNT comments; an MP4 file gets none, as no atom for them
// is read by players at large.

#include "musicdb/iPodcomponent.h"

#include <memory>
#include <string>

namespace korvello {

class IPlatform;

enum class TTagResult {
    Written,   // empty fields of the file were filled from the record
    Unchanged, // the file already held everything the record could give it
    NotTagged, // the file was left exactly as it was (unreadable, or a format not tagged)
    Failed,    // the save went wrong part way: the file may have changed
};

struct TTagOutcome {
    TTagResult result = TTagResult::NotTagged;
    std::string detail; // why, for NotTagged and Failed
};

class ITagger {
public:
    virtual ~ITagger() = default;

    // Completes the tags of the file at `path` (a program path) from `song`.
    virtual TTagOutcome WriteTags(const std::string& path, const TSong& song) = 0;

    // Fills `song` from the tags and stream properties of the file at `path`: title,
    // artist, album, album artist, genre, composer, comment, grouping, year, track and
    // disc with their counts, compilation, duration, bitrate, sample rate and file type.
    // Fields the file has no value for are left as they were. False, with `error` set
    // and `song` untouched, when the file cannot be read as a song.
    virtual bool ReadTags(const std::string& path, TSong& song, std::string& error) = 0;
};

// The TagLib implementation; files are reached through `platform`'s path translation.
std::unique_ptr<ITagger> MakeTagLibTagger(IPlatform& platform);

// The POPM rating (0 to 255) that Windows Media Player gives the record's rating
// (0 to 100, 20 per star): 0 for no rating, then 1, 64, 128, 196, 255 for one to five
// stars; a half star counts up.
int PopmRating(int rating);

} // namespace korvello
