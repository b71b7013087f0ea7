// SPDX-License-Identifier: GPL-3.0-or-later
// Naming templates: the fields and their fallbacks, square brackets, albums of one and of
// several discs, long albums, hostile tags and the templates that are refused.
#include "copyout/CopyNaming.h"
#include "copyout/Naming.h"
#include "platform/Text.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace korvello::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

const char* const kAlbumTemplate = "{albumartist}\\{album}\\[{disc}-][{track} ]{title}";

TCopyNaming Template(std::string_view text) {
    std::string why;
    const std::optional<TCopyNaming> naming = TCopyNaming::Parse(text, why);
    EXPECT_TRUE(naming) << text << ": " << why;
    return naming.value_or(TCopyNaming());
}

// Why `text` is refused; empty when it is not.
std::string Refusal(std::string_view text) {
    std::string why;
    const bool taken = TCopyNaming::Parse(text, why).has_value();
    return taken ? std::string() : why;
}

// A track of a plain two-disc studio album.
TSong Track() {
    TSong song;
    song.Title = u"Something";
    song.Artist = u"The Beatles";
    song.AlbumArtist = u"The Beatles";
    song.Album = u"Abbey Road";
    song.Genre = u"Rock";
    song.Composer = u"George Harrison";
    song.FileType = u"MPEG audio file";
    song.Year = 1969;
    song.TrackNumber = 2;
    song.TrackCount = 17;
    song.DiscNumber = 1;
    song.DiscCount = 2;
    song.Location = u"e:\\iPod_Control\\Music\\F07\\QWER.mp3";
    return song;
}

std::vector<std::string> Names(std::string_view text, const TSong& song) {
    return Template(text).Names(song);
}

std::string One(std::string_view text, const TSong& song) {
    const std::vector<std::string> names = Names(text, song);
    std::string joined;
    for (const std::string& name : names)
        joined += (joined.empty() ? "" : "\\") + name;
    return joined;
}

TEST(NamingTemplate, EveryFieldGivesItsValue) {
    const TSong song = Track();
    EXPECT_EQ(One("{title}|{artist}|{album}|{albumartist}", song),
              "SomethingThe BeatlesAbbey RoadThe Beatles.mp3")
        << "the bar is cleaned away like any character a title may not hold";
    EXPECT_EQ(One("{genre} {composer} {filetype} {year}", song),
              "Rock George Harrison MPEG audio file 1969.mp3");
    EXPECT_EQ(One("{track} of {tracks}, disc {disc} of {discs}", song),
              "02 of 17, disc 1 of 2.mp3");
    // Field names in any letter case.
    EXPECT_EQ(One("{TITLE} {Year}", song), "Something 1969.mp3");
    // "/" and "\" both separate folders.
    EXPECT_THAT(Names("{artist}/{album}\\{title}", song),
                ElementsAre("The Beatles", "Abbey Road", "Something.mp3"));
}

TEST(NamingTemplate, ArtistsAndAlbumsFallBackWhenEmpty) {
    TSong song = Track();
    song.AlbumArtist.clear();
    EXPECT_EQ(One("{albumartist}", song), "The Beatles.mp3") << "the artist stands in";
    song.Compilation = true;
    song.Artist = u"Guest";
    EXPECT_EQ(One("{albumartist}", song), "Various Artists.mp3");
    song.AlbumArtist = u"Soundtrack Band";
    EXPECT_EQ(One("{albumartist}", song), "Soundtrack Band.mp3") << "its own album artist wins";
    song = Track();
    song.AlbumArtist = u"  ";
    song.Artist = u"???";
    song.Album = u"";
    EXPECT_EQ(One("{albumartist}\\{artist}\\{album}", song),
              "Unknown Artist\\Unknown Artist\\Unknown Album.mp3");
    // Fields without a fallback are empty.
    song.Genre = u" ";
    song.Composer.clear();
    song.Year = 0;
    EXPECT_EQ(One("{title}{genre}{composer}{year}", song), "Something.mp3");
}

TEST(NamingTemplate, BracketsLeaveOutAPartWhoseFieldIsEmpty) {
    TSong twoDiscs = Track();
    EXPECT_EQ(One("[{disc}-][{track} ]{title}", twoDiscs), "1-02 Something.mp3");
    TSong oneDisc = Track();
    oneDisc.DiscNumber = 1;
    oneDisc.DiscCount = 1;
    EXPECT_EQ(One("[{disc}-][{track} ]{title}", oneDisc), "02 Something.mp3");
    oneDisc.DiscCount = 0; // a disc count the database does not carry
    EXPECT_EQ(One("[{disc}-][{track} ]{title}", oneDisc), "02 Something.mp3");
    oneDisc.DiscNumber = 0;
    oneDisc.TrackNumber = 0;
    EXPECT_EQ(One("[{disc}-][{track} ]{title}", oneDisc), "Something.mp3");
    // Disc 2 of an album whose disc count is unknown is still a second disc.
    TSong second = Track();
    second.DiscNumber = 2;
    second.DiscCount = 0;
    EXPECT_EQ(One("[{disc}-]{title}", second), "2-Something.mp3");
    // A group is left out when any field in it is empty, and kept with text alone.
    TSong noYear = Track();
    noYear.Year = 0;
    EXPECT_EQ(One("{album}[ ({year}, {genre})][ live]\\{title}", noYear),
              "Abbey Road live\\Something.mp3");
    EXPECT_EQ(One("{album}[ ({year}, {genre})]\\{title}", Track()),
              "Abbey Road (1969, Rock)\\Something.mp3");
    // A folder that comes out empty is left out: the song goes one folder up.
    EXPECT_THAT(Names("{album}\\[Disc {disc}]\\{title}", twoDiscs),
                ElementsAre("Abbey Road", "Disc 1", "Something.mp3"));
    EXPECT_THAT(Names("{album}\\[Disc {disc}]\\{title}", oneDisc),
                ElementsAre("Abbey Road", "Something.mp3"));
    EXPECT_THAT(Names("{genre}\\{title}", TSong{}), ElementsAre("_"));
}

TEST(NamingTemplate, TrackNumbersHaveTheDigitsOfTheAlbumsTrackCount) {
    TSong song = Track();
    song.TrackNumber = 7;
    song.TrackCount = 9;
    EXPECT_EQ(One("{track}", song), "07.mp3");
    song.TrackCount = 99;
    EXPECT_EQ(One("{track}", song), "07.mp3");
    song.TrackCount = 100;
    EXPECT_EQ(One("{track}", song), "007.mp3");
    song.TrackNumber = 100;
    EXPECT_EQ(One("{track}", song), "100.mp3");
    // A count the database does not carry: two digits, more when the number has them.
    song.TrackCount = 0;
    song.TrackNumber = 123;
    EXPECT_EQ(One("{track}", song), "123.mp3");
    EXPECT_EQ(One("{title}[ of {tracks}]", song), "Something.mp3");
    song.TrackNumber = -4;
    EXPECT_EQ(One("[{track} ]{title}", song), "Something.mp3");
}

TEST(NamingTemplate, HostileTagsStayInsideTheirOwnName) {
    TSong song = Track();
    song.AlbumArtist = u"..";
    song.Album = u"../../etc";
    song.Title = u"a/b\\c:d\u0001e\u007F";
    EXPECT_THAT(Names(kAlbumTemplate, song), ElementsAre("_..", "_....etc", "1-02 abcde.mp3"));
    song.Album = u".";
    song.AlbumArtist = u"\\";
    song.Artist = u"/";
    EXPECT_THAT(Names(kAlbumTemplate, song), ElementsAre("Unknown Artist", "_.", "1-02 abcde.mp3"));
    // 300-byte tags: every name is cut on a character boundary, the file keeps its type.
    std::u16string longText;
    for (int i = 0; i < 150; ++i)
        longText += u"é"; // two bytes each in UTF-8
    song.AlbumArtist = longText;
    song.Album = longText;
    song.Title = longText;
    const std::vector<std::string> names = Names(kAlbumTemplate, song);
    ASSERT_EQ(names.size(), 3u);
    EXPECT_EQ(names[0].size(), 254u);
    EXPECT_EQ(names[1], names[0]);
    EXPECT_LE(names[2].size(), kMaxFileNameBytes);
    EXPECT_TRUE(names[2].starts_with("1-02 é"));
    EXPECT_TRUE(names[2].ends_with("é.mp3"));
    // A hostile extension never makes it into the name (as for titles).
    song = Track();
    song.Location = u"e:\\F00\\x.m/../p3";
    EXPECT_EQ(One("{title}", song), "Something");
}

TEST(NamingTemplate, TodaysNamingsAndPresetsGiveTheirPaths) {
    const TSong song = Track();
    EXPECT_EQ(BuildNamedTargetPath("D:\\Music", PresetNaming(0), song),
              BuildTargetPath("D:\\Music", "Something", ToUtf8(song.Location)));
    EXPECT_EQ(BuildNamedTargetPath("D:\\Music", PresetNaming(3), song),
              "D:\\Music\\The Beatles\\Abbey Road\\1-02 Something.mp3");
    EXPECT_EQ(BuildNamedTargetPath("D:\\", PresetNaming(4), song),
              "D:\\The Beatles\\Abbey Road (1969)\\1-02 Something.mp3");
    TSong compilation = Track();
    compilation.AlbumArtist.clear();
    compilation.Compilation = true;
    compilation.Year = 0;
    compilation.DiscCount = 1;
    EXPECT_EQ(BuildNamedTargetPath("D:\\M", PresetNaming(4), compilation),
              "D:\\M\\Various Artists\\Abbey Road\\02 Something.mp3");
    EXPECT_EQ(ProposedNamedFileName(PresetNaming(3), song), "1-02 Something.mp3");
    // The presets are what the options window lists, and each parses.
    for (std::size_t i = 0; i < kNamingPresets.size(); ++i) {
        EXPECT_EQ(PresetNaming(i).Text(), kNamingPresets[i].text);
        EXPECT_EQ(PresetIndex(PresetNaming(i)), i);
    }
    EXPECT_EQ(PresetIndex(Template("{title} ({year})")), std::nullopt);
}

TEST(NamingTemplate, SettingWordsAndStoredTemplates) {
    std::string why;
    // Today's three words and their stored form.
    EXPECT_EQ(CopyNamingWord(PresetNaming(0)), "title");
    EXPECT_EQ(CopyNamingWord(PresetNaming(2)), "artist-album-title");
    // The two new presets and the user's own templates are stored as their templates.
    EXPECT_EQ(CopyNamingWord(PresetNaming(3)), kAlbumTemplate);
    EXPECT_EQ(CopyNamingWord(Template("{year}/{title}")), "{year}/{title}");
    for (const std::string& text : std::vector<std::string>{
             "title", "artist-title", "artist-album-title", kAlbumTemplate, "{genre}/{title}"}) {
        const std::optional<TCopyNaming> naming = ParseCopyNaming(text, why);
        ASSERT_TRUE(naming) << text;
        EXPECT_EQ(CopyNamingWord(*naming), text);
    }
    EXPECT_EQ(CopyNamingLabel(Template("{genre}/{title}")), "{genre}/{title}");
    EXPECT_EQ(CopyNamingLabel(PresetNaming(4)), "Album Artist\\Album (Year)\\Track Title");
}

TEST(NamingTemplate, BadTemplatesAreRefusedWithAReason) {
    EXPECT_THAT(Refusal("{artist}/{albm}/{title}"), HasSubstr("unknown field {albm}"));
    EXPECT_THAT(Refusal("{artist}/{albm}/{title}"), HasSubstr("{albumartist}"))
        << "the message lists the fields";
    EXPECT_THAT(Refusal("{}"), HasSubstr("unknown field {}"));
    EXPECT_THAT(Refusal("{artist/{title}"), HasSubstr("not closed"));
    EXPECT_THAT(Refusal("{title"), HasSubstr("not closed"));
    EXPECT_THAT(Refusal("title}"), HasSubstr("has no \"{\""));
    EXPECT_THAT(Refusal("[{track} {title}"), HasSubstr("\"[\" is not closed"));
    EXPECT_THAT(Refusal("{track}] {title}"), HasSubstr("\"]\" has no \"[\""));
    EXPECT_THAT(Refusal("[[{disc}]-]{title}"), HasSubstr("inside square brackets"));
    EXPECT_THAT(Refusal("[{disc}\\]{title}"), HasSubstr("cannot hold"));
    EXPECT_THAT(Refusal(""), HasSubstr("empty"));
    EXPECT_THAT(Refusal("{artist}\\"), HasSubstr("names no file"));
    EXPECT_THAT(Refusal("\\{title}"), HasSubstr("empty folder name"));
    EXPECT_THAT(Refusal("{artist}//{title}"), HasSubstr("empty folder name"));
    EXPECT_THAT(Refusal("[{track}]"), HasSubstr("can come out empty"));
    EXPECT_THAT(Refusal("{artist}\\..\\{title}"), HasSubstr("\"..\" cannot be"));
    EXPECT_THAT(Refusal("./{title}"), HasSubstr("\".\" cannot be"));
    EXPECT_THAT(Refusal("by genre"), HasSubstr("no field"));
    // Good ones, including text that only looks odd.
    for (const char* good : {"{title}", "..{title}", "[{track}]{title}", "{artist} - {title}",
                             "x/{title}", "{album}[ ({year})]/{title}"})
        EXPECT_EQ(Refusal(good), "") << good;
}

TEST(NamingTemplate, AVeryLongTemplateIsReadInOnePass) {
    // Thousands of fields and brackets: parsing and naming stay linear.
    std::string text;
    for (int i = 0; i < 20000; ++i)
        text += "[{track}]{title}";
    const TCopyNaming naming = Template(text);
    const std::vector<std::string> names = naming.Names(Track());
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(names[0].size(), kMaxFileNameBytes);
    EXPECT_TRUE(names[0].ends_with(".mp3"));
}

} // namespace
} // namespace korvello::test
