#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// How the copies of a job are named and sorted into folders: a naming template such as
// "{albumartist}\{album}\[{disc}-][{track} ]{title}", one of five presets or the user's
// own. The choice is a user setting ("CopyNaming") and korvello-cli copy --name takes it.
//
// Template syntax:
//   {field}     the song's field, cleaned as a title is (see CleanFileName); the fields are
//               title artist album albumartist genre composer year track tracks disc discs
//               filetype (letter case does not matter)
//   \ or /      between folders; the last part is the file name, the song file's
//               extension is added to it
//   [ ... ]     left out when a field inside it is empty: "[{disc}-]" gives "2-" on a
//               two-disc album and nothing on a one-disc one
//   other text  kept, cleaned like the fields
// Field values: {track} has two digits ("07"), three when the album has 100 or more
// tracks; {disc} is empty on an album of one disc (or an unknown number of discs and
// disc 1); {year}, {track}, {tracks}, {disc}, {discs} are empty when 0. {albumartist}
// falls back to "Various Artists" for a compilation, else to the artist, else to
// "Unknown Artist"; {artist} falls back to "Unknown Artist", {album} to "Unknown Album".
// A field that is only blanks once cleaned counts as empty.

#include "musicdb/iPodcomponent.h"
#include "platform/Platform.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvello {

// What a song's folders are called when its tag is empty (or nothing is left of it once
// it is cleaned).
inline constexpr const char* kUnknownArtist = "Unknown Artist";
inline constexpr const char* kUnknownAlbum = "Unknown Album";
inline constexpr const char* kVariousArtists = "Various Artists";

// A checked naming template. Default-constructed it is "{title}", the program's default.
class TCopyNaming {
public:
    TCopyNaming();

    // `text` as a template; nothing, with `why` set to a message for the user, when it is
    // not one: an unknown field, an unbalanced brace or bracket, brackets inside brackets
    // or around a "\", an empty folder or file name, "." or ".." as a name, or no field at
    // all (every song would get the same name).
    static std::optional<TCopyNaming> Parse(std::string_view text, std::string& why);

    // The template text as given.
    const std::string& Text() const { return text_; }
    bool operator==(const TCopyNaming& other) const { return text_ == other.text_; }

    // The names of `song`'s copy below the chosen folder, outermost first: its folders (a
    // folder that comes out empty is left out) and last its file name with the extension
    // of the song file. Every name is made visible (no leading ".") and cut to
    // kMaxFileNameBytes.
    std::vector<std::string> Names(const TSong& song) const;

    // One piece of a part: literal text, a field, or a bracketed group of both.
    struct Piece {
        enum class Kind { Text, Field, Group } kind = Kind::Text;
        std::string text;           // Text
        int field = 0;              // Field: index into the field table
        std::vector<Piece> members; // Group: texts and fields
    };

private:
    std::string text_;
    std::vector<std::vector<Piece>> parts_; // folders, then the file name
};

inline const TCopyNaming kDefaultCopyNaming{};

// The choices the options window offers, in its order: label, the word the setting stores
// for it (today's three words; the others store their template) and the template.
struct TNamingPreset {
    const char* label;
    const char* word; // nullptr: stored as its template
    const char* text;
};
inline constexpr std::array<TNamingPreset, 5> kNamingPresets{{
    {"Title", "title", "{title}"},
    {"Artist - Title", "artist-title", "{artist} - {title}"},
    {"Artist\\Album\\Title", "artist-album-title", "{artist}\\{album}\\{title}"},
    {"Album Artist\\Album\\Track Title", nullptr,
     "{albumartist}\\{album}\\[{disc}-][{track} ]{title}"},
    {"Album Artist\\Album (Year)\\Track Title", nullptr,
     "{albumartist}\\{album}[ ({year})]\\[{disc}-][{track} ]{title}"},
}};

// The preset `index` of kNamingPresets as a naming.
TCopyNaming PresetNaming(std::size_t index);
// The preset whose template `naming` is; nothing for the user's own template.
std::optional<std::size_t> PresetIndex(const TCopyNaming& naming);

// What the setting stores for `naming`: the preset's word, else the template.
std::string CopyNamingWord(const TCopyNaming& naming);
// The naming a stored or typed text names: one of the three words (ASCII letter case does
// not matter), or a template. Nothing, with `why` set, for a text that is neither.
std::optional<TCopyNaming> ParseCopyNaming(std::string_view text, std::string& why);
// The choice as the options window lists it: the preset's label, or the template itself.
std::string CopyNamingLabel(const TCopyNaming& naming);

// Destination of `song` under `naming`, below the chosen `folder` (program paths). A
// naming without folders gives BuildTargetPath(folder, ...) exactly; with folders, a
// drive root "D:\" gives "D:\Artist\...".
std::string BuildNamedTargetPath(const std::string& folder, const TCopyNaming& naming,
                                 const TSong& song);

// The file name the folder dialog proposes for the first marked song: the last name of
// its destination under `naming`.
std::string ProposedNamedFileName(const TCopyNaming& naming, const TSong& song);

// The chosen folder `linuxFolder` (an absolute Linux path) in program form, as the copy
// job names it: a drive root keeps its backslash ("c:\"), any other folder has none at
// its end. Empty when its program form would lead to another folder (a Linux name that
// holds "\") or no drive holds it: copying into what that leads to would be wrong.
std::string DestinationFolder(IPlatform& platform, const std::string& linuxFolder);

} // namespace korvello
