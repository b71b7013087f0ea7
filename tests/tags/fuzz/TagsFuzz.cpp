// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer entry for `bash scripts/fuzz.sh MINUTES tags`: any bytes, as a song file on the
// iPod, go through the tagger's reading of a file's own tags (the audio part found by the
// program itself, then TagLib), under AddressSanitizer and UBSan. Beyond what the
// sanitizers catch, an input stops the run when the reading fails without saying why or
// yields a record out of proportion to the file: texts longer than the file could spell,
// negative numbers.
#include "platform/Text.h"
#include "platform/posix/PosixPlatform.h"
#include "tags/Tagger.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include <unistd.h>

using namespace korvello;

namespace {

struct Harness {
    std::string folder;
    std::unique_ptr<PosixPlatform> platform;
    std::unique_ptr<ITagger> tagger;

    Harness() {
        char name[] = "/tmp/korvello-fuzz-tags-XXXXXX";
        if (mkdtemp(name) == nullptr)
            std::abort();
        folder = name;
        PosixRoots roots;
        roots.rootDir = folder; // c: is the temporary folder
        roots.configHome = folder;
        roots.dataHome = folder;
        platform = std::make_unique<PosixPlatform>(roots);
        tagger = MakeTagLibTagger(*platform);
    }
};

Harness& TheHarness() {
    static Harness harness;
    return harness;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Harness& harness = TheHarness();
    const std::string file = harness.folder + "/song";
    FILE* out = std::fopen(file.c_str(), "wb");
    if (out == nullptr)
        std::abort();
    if (size > 0 && std::fwrite(data, 1, size, out) != size)
        std::abort();
    std::fclose(out);

    TSong song;
    std::string error;
    if (!harness.tagger->ReadTags("c:\\song", song, error)) {
        if (error.empty() || song != TSong())
            std::abort(); // a refusal says why and leaves the record alone
        return 0;
    }
    // A tag's text is spelt by the file's bytes: UTF-8 takes at most three bytes for each
    // of them (Latin-1 two, UTF-16 three per two bytes).
    const std::size_t most = 3 * size + 64;
    for (const std::u16string* text : {&song.Title, &song.Artist, &song.Album, &song.AlbumArtist,
                                       &song.Genre, &song.Composer, &song.Comment, &song.Grouping})
        if (ToUtf8(*text).size() > most)
            std::abort();
    if (song.Duration < 0 || song.Bitrate < 0 || song.SampleRate < 0 || song.TrackNumber < 0 ||
        song.DiscNumber < 0 || song.Year < 0 || song.FileType.empty())
        std::abort();
    return 0;
}
