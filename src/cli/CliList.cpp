// SPDX-License-Identifier: GPL-3.0-or-later
// korvello-cli list: the catalogue of one iPod as tab-separated values.
#include "cli/Cli.h"

#include "core/ErrorLog.h"
#include "musicdb/iPodcomponent.h"
#include "platform/Platform.h"
#include "platform/Text.h"

#include <cerrno>
#include <ostream>
#include <system_error>

#include <unistd.h>

namespace korvello::cli {

int RunList(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const Options options = ParseOptions(args, kDriveOption | kFolderOption);
    if (options.help) {
        out << "usage: korvello-cli list [--drive e: | --folder PATH]\n"
               "Lists every song of an iPod's database, tab-separated, one line a song.\n"
               "  --drive e:     the iPod on this drive (see korvello-cli drives)\n"
               "  --folder PATH  a folder holding an iPod's contents, mapped as drive e:\n"
               "                 for this run only (your drives folder is left alone)\n"
               "Without an option the first iPod the program itself would find is listed.\n";
        return kExitOk;
    }
    if (!options.arguments.empty())
        throw UsageError("list takes no argument '" + options.arguments.front() + "'");

    Session session(options);
    const std::string drive = session.ChooseIpod();
    TiPod ipod(session.Platform());
    LoadIpodDatabase(session, drive, ipod);

    WriteRow(out, {"SongId", "Title", "Location", "FileSize", "Album", "Artist", "Genre",
                   "FileType", "Comment", "EQSetting", "Composer", "Grouping"});
    // Locations in the user's terms: the Linux path of the song's file under the mount
    // point or folder ("/media/ipod/iPod_Control/Music/F05/UKEX.m4a"); a song without a
    // file has none.
    IPlatform& platform = session.Platform();
    auto shownLocation = [&](const std::u16string& location) {
        return location.size() <= 3 ? std::string() : platform.DisplayPath(ToUtf8(location));
    };
    for (std::int32_t i = 0; i < ipod.SongCount() && out; ++i) {
        const TSong& s = ipod.SongAt(i);
        WriteRow(out, {std::to_string(s.SongId), ToUtf8(s.Title), shownLocation(s.Location),
                       ToUtf8(s.FileSize), ToUtf8(s.Album), ToUtf8(s.Artist), ToUtf8(s.Genre),
                       ToUtf8(s.FileType), ToUtf8(s.Comment), ToUtf8(s.EQSetting),
                       ToUtf8(s.Composer), ToUtf8(s.Grouping)});
    }
    out.flush();
    if (!out) {
        // A reader that closed the pipe early (list | head) wanted no more; anything else,
        // a full disk say, is worth a word.
        if (errno == EPIPE || ReaderHasGone(STDOUT_FILENO))
            return kExitOk;
        err << "korvello-cli list: cannot write the list: "
            << ErrorCodeText({errno, std::generic_category()}) << '\n';
        return kExitNotFound;
    }
    return kExitOk;
}

} // namespace korvello::cli
