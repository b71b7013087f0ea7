// SPDX-License-Identifier: GPL-3.0-or-later
// korvello-cli list and playlists: the catalogue of one iPod as tab-separated values (or
// JSON lines), the whole of it or the songs of chosen playlists, and the iPod's playlists.
#include "cli/Cli.h"

#include "core/ErrorLog.h"
#include "musicdb/iPodcomponent.h"
#include "platform/Platform.h"
#include "platform/Text.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <functional>
#include <initializer_list>
#include <ostream>
#include <system_error>

#include <unistd.h>

namespace korvello::cli {

namespace {

// One value of a song for --fields: its text, and whether JSON writes it as a number.
struct FieldValue {
    std::string text;
    bool number = false;
    bool empty = false; // an unset number or time: an empty value, JSON null
};

FieldValue Text(const std::u16string& value) {
    return {ToUtf8(value), false, false};
}
FieldValue Number(std::int64_t value) {
    return {std::to_string(value), true, false};
}
// 0 is "not set" for these numbers (a track without a year has year 0).
FieldValue NumberOrEmpty(std::int64_t value) {
    return value == 0 ? FieldValue{"", true, true} : Number(value);
}
FieldValue Time(std::int64_t unixSeconds) {
    if (unixSeconds == 0)
        return {"", false, true};
    const auto seconds = static_cast<std::time_t>(unixSeconds);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return {text, false, false};
}

FieldValue MediaType(std::uint32_t type) {
    switch (type) {
    case 0:
        return {"", false, true};
    case TMediaType::Audio:
        return {"audio", false, false};
    case TMediaType::Video:
        return {"video", false, false};
    case TMediaType::Podcast:
        return {"podcast", false, false};
    case TMediaType::VideoPodcast:
        return {"video podcast", false, false};
    case TMediaType::Audiobook:
        return {"audiobook", false, false};
    case TMediaType::MusicVideo:
        return {"music video", false, false};
    case TMediaType::TvShow:
        return {"tv show", false, false};
    default:
        return {std::to_string(type), false, false};
    }
}

using FieldReader = std::function<FieldValue(const TSong&, IPlatform&)>;

struct Field {
    const char* name;
    FieldReader read;
};

const std::vector<Field>& Fields() {
    static const std::vector<Field> fields = {
        {"id",
         [](const TSong& s, IPlatform&) {
             return Number(s.SongId);
         }},
        {"title",
         [](const TSong& s, IPlatform&) {
             return Text(s.Title);
         }},
        {"location",
         [](const TSong& s, IPlatform& p) {
             return FieldValue{p.ToLinuxPath(ToUtf8(s.Location)), false, false};
         }},
        {"size",
         [](const TSong& s, IPlatform&) {
             return s.FileBytes < 0 ? FieldValue{"", true, true} : Number(s.FileBytes);
         }},
        {"album",
         [](const TSong& s, IPlatform&) {
             return Text(s.Album);
         }},
        {"artist",
         [](const TSong& s, IPlatform&) {
             return Text(s.Artist);
         }},
        {"albumartist",
         [](const TSong& s, IPlatform&) {
             return Text(s.AlbumArtist);
         }},
        {"genre",
         [](const TSong& s, IPlatform&) {
             return Text(s.Genre);
         }},
        {"filetype",
         [](const TSong& s, IPlatform&) {
             return Text(s.FileType);
         }},
        {"comment",
         [](const TSong& s, IPlatform&) {
             return Text(s.Comment);
         }},
        {"composer",
         [](const TSong& s, IPlatform&) {
             return Text(s.Composer);
         }},
        {"grouping",
         [](const TSong& s, IPlatform&) {
             return Text(s.Grouping);
         }},
        {"track",
         [](const TSong& s, IPlatform&) {
             return NumberOrEmpty(s.TrackNumber);
         }},
        {"tracks",
         [](const TSong& s, IPlatform&) {
             return NumberOrEmpty(s.TrackCount);
         }},
        {"disc",
         [](const TSong& s, IPlatform&) {
             return NumberOrEmpty(s.DiscNumber);
         }},
        {"discs",
         [](const TSong& s, IPlatform&) {
             return NumberOrEmpty(s.DiscCount);
         }},
        {"year",
         [](const TSong& s, IPlatform&) {
             return NumberOrEmpty(s.Year);
         }},
        {"compilation",
         [](const TSong& s, IPlatform&) {
             return Number(s.Compilation ? 1 : 0);
         }},
        {"rating",
         [](const TSong& s, IPlatform&) {
             return Number(s.Rating / 20);
         }},
        {"plays",
         [](const TSong& s, IPlatform&) {
             return Number(s.PlayCount);
         }},
        {"skips",
         [](const TSong& s, IPlatform&) {
             return Number(s.SkipCount);
         }},
        {"lastplayed",
         [](const TSong& s, IPlatform&) {
             return Time(s.LastPlayed);
         }},
        {"lastskipped",
         [](const TSong& s, IPlatform&) {
             return Time(s.LastSkipped);
         }},
        {"added",
         [](const TSong& s, IPlatform&) {
             return Time(s.DateAdded);
         }},
        {"duration",
         [](const TSong& s, IPlatform&) {
             return NumberOrEmpty(s.Duration);
         }},
        {"bitrate",
         [](const TSong& s, IPlatform&) {
             return NumberOrEmpty(s.Bitrate);
         }},
        {"samplerate",
         [](const TSong& s, IPlatform&) {
             return NumberOrEmpty(s.SampleRate);
         }},
        {"mediatype",
         [](const TSong& s, IPlatform&) {
             return MediaType(s.MediaType);
         }},
        {"source",
         [](const TSong& s, IPlatform&) {
             return FieldValue{s.Source == TSong::TSource::Files ? "files" : "database", false,
                               false};
         }},
    };
    return fields;
}

std::string FieldNames() {
    std::string names;
    for (const Field& field : Fields())
        names += (names.empty() ? "" : " ") + std::string(field.name);
    return names;
}

// The fields named in "a,b,c", in that order.
std::vector<const Field*> ChosenFields(const std::string& list) {
    std::vector<const Field*> chosen;
    std::size_t start = 0;
    while (start <= list.size()) {
        const std::size_t comma = std::min(list.find(',', start), list.size());
        const std::string name = list.substr(start, comma - start);
        const Field* found = nullptr;
        for (const Field& field : Fields())
            if (name == field.name)
                found = &field;
        if (found == nullptr)
            throw UsageError("--fields: no field '" + name + "' (fields: " + FieldNames() + ")");
        chosen.push_back(found);
        start = comma + 1;
    }
    return chosen;
}

// JSON string: quotes, backslashes and control characters escaped; other UTF-8 as is.
std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char code[8];
                std::snprintf(code, sizeof code, "\\u%04x", static_cast<unsigned>(c));
                out += code;
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

struct ListRequest {
    std::optional<std::string> fields;
    bool json = false;
    std::vector<std::string> playlists;
};

std::vector<std::string> TakeListOptions(const std::vector<std::string>& args,
                                         ListRequest& request) {
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const auto equals = arg.find('=');
        const bool hasValue = equals != std::string::npos;
        const std::string name = arg.rfind("--", 0) == 0 ? arg.substr(0, equals) : std::string();
        if (name != "--fields" && name != "--format" && name != "--playlist") {
            rest.push_back(arg);
            // The value of a shared option is passed on with it.
            if ((name == "--drive" || name == "--folder") && !hasValue && i + 1 < args.size())
                rest.push_back(args[++i]);
            continue;
        }
        std::string value;
        if (hasValue)
            value = arg.substr(equals + 1);
        else if (i + 1 < args.size())
            value = args[++i];
        else
            throw UsageError(name + " needs a value");
        if (name == "--fields") {
            request.fields = value;
        } else if (name == "--playlist") {
            request.playlists.push_back(value);
        } else if (value == "json" || value == "tsv") {
            request.json = value == "json";
        } else {
            throw UsageError("--format takes tsv or json, not '" + value + "'");
        }
    }
    return rest;
}

// The songs to list: every song, or the songs of the named playlists in their order.
std::vector<std::int32_t> SongsToList(const TiPod& ipod, const std::vector<std::string>& names) {
    if (!names.empty())
        return SongsOfPlaylists(ipod, names);
    std::vector<std::int32_t> songs(static_cast<std::size_t>(ipod.SongCount()));
    for (std::int32_t i = 0; i < ipod.SongCount(); ++i)
        songs[static_cast<std::size_t>(i)] = i;
    return songs;
}

// A row as WriteRow writes it, added to `line` so that it goes out in one write.
void AppendRow(std::string& line, std::initializer_list<std::string> values) {
    bool first = true;
    for (const std::string& value : values) {
        if (!first)
            line += '\t';
        first = false;
        line += EscapeField(value);
    }
    line += '\n';
}

void WriteSong(std::ostream& out, const TSong& s, const std::vector<const Field*>& fields,
               bool json, IPlatform& platform) {
    if (json) {
        std::string line = "{";
        for (const Field* field : fields) {
            const FieldValue value = field->read(s, platform);
            if (line.size() > 1)
                line += ",";
            line += JsonString(field->name) + ":" +
                    (value.empty    ? "null"
                     : value.number ? value.text
                                    : JsonString(value.text));
        }
        out << line << "}\n";
        return;
    }
    std::vector<std::string> values;
    values.reserve(fields.size());
    for (const Field* field : fields)
        values.push_back(field->read(s, platform).text);
    WriteRow(out, values);
}

// Ends a listing: a reader that closed the pipe early (list | head) wanted no more;
// anything else, a full disk say, is worth a word.
int FinishOutput(std::ostream& out, std::ostream& err, const char* command) {
    out.flush();
    if (out)
        return kExitOk;
    if (errno == EPIPE || ReaderHasGone(STDOUT_FILENO))
        return kExitOk;
    err << "korvello-cli " << command
        << ": cannot write the list: " << ErrorCodeText({errno, std::generic_category()}) << '\n';
    return kExitNotFound;
}

const char* KindName(TPlaylist::TKind kind) {
    switch (kind) {
    case TPlaylist::TKind::Smart:
        return "smart";
    case TPlaylist::TKind::Podcast:
        return "podcast";
    case TPlaylist::TKind::OnTheGo:
        return "otg";
    case TPlaylist::TKind::Ordinary:
        break;
    }
    return "playlist";
}

} // namespace

int RunList(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    ListRequest request;
    const Options options = ParseOptions(TakeListOptions(args, request),
                                         kDriveOption | kFolderOption | kUnlistedOption);
    if (options.help) {
        out << "usage: korvello-cli list [--drive e: | --folder PATH] [--fields F,F,...]\n"
               "                         [--format tsv|json] [--playlist NAME]...\n"
               "                         [--with-unlisted]\n"
               "Lists every song of an iPod's database, tab-separated, one line a song.\n"
               "An iPod without a readable database has its songs read from the files in\n"
               "its music folders (field source: files instead of database).\n"
               "  --drive e:       the iPod on this drive (see korvello-cli drives)\n"
               "  --folder PATH    a folder holding an iPod's contents, mapped as drive e:\n"
               "                   for this run only (your drives folder is left alone)\n"
               "  --fields F,...   these fields, in this order, under a header of their names:\n"
               "                   " +
                   FieldNames() +
                   "\n"
                   "  --format json    one JSON object a song (all fields without --fields)\n"
                   "  --playlist NAME  only the songs of this playlist, in its order (may be\n"
                   "                   given again; see korvello-cli playlists)\n"
                   "  --with-unlisted  also the song files the database does not name (default:\n"
                   "                   the setting stored by the program, off)\n"
                   "Without an option the first iPod the program itself would find is listed.\n";
        return kExitOk;
    }
    if (!options.arguments.empty())
        throw UsageError("list takes no argument '" + options.arguments.front() + "'");
    std::vector<const Field*> fields;
    if (request.fields) {
        fields = ChosenFields(*request.fields);
    } else if (request.json) {
        for (const Field& field : Fields())
            fields.push_back(&field);
    }

    Session session(options);
    const std::string drive = session.ChooseIpod();
    TiPod ipod(session.Platform());
    bool complete = true;
    {
        // Files that cannot be read are noted in the user's own error log.
        TLogClass::SetPlatform(&session.Platform());
        TLogClass::SetAppFolder(session.Platform().AppFolder());
        struct LogOff {
            ~LogOff() { TLogClass::SetPlatform(nullptr); }
        } logOff;
        complete = LoadIpodSongs(session, drive, ipod, options.withUnlisted, "list", err);
    }
    const std::vector<std::int32_t> songs = SongsToList(ipod, request.playlists);

    if (fields.empty()) {
        // The columns of the song table, as they have always been, with locations in the
        // user's terms: the Linux path of the song's file under the mount point or folder
        // ("/media/ipod/iPod_Control/Music/F05/UKEX.m4a"); a song without a file has none.
        IPlatform& platform = session.Platform();
        auto shownLocation = [&](std::int32_t index, const std::u16string& location) {
            if (location.size() <= 3)
                return std::string();
            // Where the load found the file under the names as written, those names are
            // its path: no second look-up on the disk for each song.
            return ipod.FoundAsGiven(index) ? platform.LinuxPathAsGiven(ToUtf8(location))
                                            : platform.DisplayPath(ToUtf8(location));
        };
        WriteRow(out, {"SongId", "Title", "Location", "FileSize", "Album", "Artist", "Genre",
                       "FileType", "Comment", "EQSetting", "Composer", "Grouping"});
        std::string line;
        for (std::size_t i = 0; i < songs.size() && out; ++i) {
            const TSong& s = ipod.SongAt(songs[i]);
            line.clear();
            AppendRow(line,
                      {std::to_string(s.SongId), ToUtf8(s.Title),
                       shownLocation(songs[i], s.Location), ToUtf8(s.FileSize), ToUtf8(s.Album),
                       ToUtf8(s.Artist), ToUtf8(s.Genre), ToUtf8(s.FileType), ToUtf8(s.Comment),
                       ToUtf8(s.EQSetting), ToUtf8(s.Composer), ToUtf8(s.Grouping)});
            out.write(line.data(), static_cast<std::streamsize>(line.size()));
        }
    } else {
        if (!request.json) {
            std::vector<std::string> names;
            for (const Field* field : fields)
                names.emplace_back(field->name);
            WriteRow(out, names);
        }
        for (std::size_t i = 0; i < songs.size() && out; ++i)
            WriteSong(out, ipod.SongAt(songs[i]), fields, request.json, session.Platform());
    }
    const int status = FinishOutput(out, err, "list");
    if (status != kExitOk)
        return status;
    return ReportDamagedDatabase(ipod, "list", err) && complete ? kExitOk : kExitNotFound;
}

int RunPlaylists(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const Options options = ParseOptions(args, kDriveOption | kFolderOption);
    if (options.help) {
        out << "usage: korvello-cli playlists [--drive e: | --folder PATH]\n"
               "Lists the iPod's playlists, one line each: name, kind (playlist, smart,\n"
               "podcast, otg) and number of songs, tab-separated. The list of all songs (the\n"
               "iPod's master playlist) is not among them; On-The-Go playlists made on the\n"
               "iPod are named On-The-Go 1, On-The-Go 2, ...\n";
        return kExitOk;
    }
    if (!options.arguments.empty())
        throw UsageError("playlists takes no argument '" + options.arguments.front() + "'");
    Session session(options);
    const std::string drive = session.ChooseIpod();
    TiPod ipod(session.Platform());
    LoadIpodDatabase(session, drive, ipod);
    for (const TPlaylist& playlist : ipod.Playlists()) {
        if (!out)
            break;
        WriteRow(out, {ToUtf8(playlist.Name), KindName(playlist.Kind),
                       std::to_string(playlist.Songs.size())});
    }
    const int status = FinishOutput(out, err, "playlists");
    if (status != kExitOk)
        return status;
    return ReportDamagedDatabase(ipod, "playlists", err) ? kExitOk : kExitNotFound;
}

} // namespace korvello::cli
