// SPDX-License-Identifier: GPL-3.0-or-later
// gpod-dump MOUNTPOINT: reads an iPod folder with libgpod, an independent reader of the
// iPod's database, and prints what it found, one line per track and per playlist, so
// that the tests can hold the output of our own database writer against it.
//
//   T <tab> id=.. <tab> title=.. <tab> ... (every field libgpod read, in a fixed order)
//   P <tab> name=.. <tab> kind=master|smart|podcast|ordinary <tab> rules=N <tab> ids=1,2,3
//
// libgpod merges the "Play Counts" file into the tracks and gives the On-The-Go files
// as playlists of their own, as it does for any program that uses it. Exit status 1 when
// libgpod refuses the database.

#include <gpod/itdb.h>

#include <cstdio>
#include <string>

namespace {

std::string Text(const char* text) {
    return text ? text : "";
}

void PrintTrack(const Itdb_Track* t) {
    std::printf("T\tid=%u\ttitle=%s\talbum=%s\tartist=%s\talbumartist=%s\tcomposer=%s"
                "\tsorttitle=%s\tsortartist=%s\tsortalbum=%s\tsortalbumartist=%s"
                "\tsortcomposer=%s\ttrack=%d/%d\tdisc=%d/%d\tyear=%d\tcompilation=%u"
                "\trating=%u\tplays=%u\tskips=%u\tlastplayed=%lld\tlastskipped=%lld"
                "\tadded=%lld\tduration=%d\tbitrate=%d\tsamplerate=%u\tmediatype=%u"
                "\tsize=%u\tpath=%s\n",
                t->id, Text(t->title).c_str(), Text(t->album).c_str(), Text(t->artist).c_str(),
                Text(t->albumartist).c_str(), Text(t->composer).c_str(),
                Text(t->sort_title).c_str(), Text(t->sort_artist).c_str(),
                Text(t->sort_album).c_str(), Text(t->sort_albumartist).c_str(),
                Text(t->sort_composer).c_str(), t->track_nr, t->tracks, t->cd_nr, t->cds, t->year,
                static_cast<unsigned>(t->compilation), t->rating, t->playcount, t->skipcount,
                static_cast<long long>(t->time_played), static_cast<long long>(t->last_skipped),
                static_cast<long long>(t->time_added), t->tracklen, t->bitrate,
                static_cast<unsigned>(t->samplerate), t->mediatype, t->size,
                Text(t->ipod_path).c_str());
}

void PrintPlaylist(const Itdb_Playlist* p) {
    const char* kind = "ordinary";
    if (itdb_playlist_is_mpl(const_cast<Itdb_Playlist*>(p)))
        kind = "master";
    else if (itdb_playlist_is_podcasts(const_cast<Itdb_Playlist*>(p)))
        kind = "podcast";
    else if (p->is_spl)
        kind = "smart";
    std::string ids;
    for (const GList* m = p->members; m; m = m->next) {
        if (!ids.empty())
            ids += ',';
        ids += std::to_string(static_cast<const Itdb_Track*>(m->data)->id);
    }
    std::printf("P\tname=%s\tkind=%s\trules=%u\tmatch=%u\tids=%s\n", Text(p->name).c_str(), kind,
                g_list_length(p->splrules.rules), p->splrules.match_operator, ids.c_str());
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: gpod-dump MOUNTPOINT\n");
        return 2;
    }
    GError* error = nullptr;
    Itdb_iTunesDB* db = itdb_parse(argv[1], &error);
    if (!db) {
        std::fprintf(stderr, "gpod-dump: %s\n", error ? error->message : "not read");
        if (error)
            g_error_free(error);
        return 1;
    }
    for (const GList* t = db->tracks; t; t = t->next)
        PrintTrack(static_cast<const Itdb_Track*>(t->data));
    for (const GList* p = db->playlists; p; p = p->next)
        PrintPlaylist(static_cast<const Itdb_Playlist*>(p->data));
    itdb_free(db);
    return 0;
}
