// SPDX-License-Identifier: GPL-3.0-or-later
// Destination names: what a title turns into, where the copy lands, and that no name
// grows past what the file system takes.
#include "copyout/Naming.h"

#include "platform/Text.h"

#include <gtest/gtest.h>

namespace korvello {
namespace {

TEST(Naming, CleanFileNameRemovesRefusedAndControlCharactersOnly) {
    EXPECT_EQ(CleanFileName("Rock/Roll"), "RockRoll");
    EXPECT_EQ(CleanFileName("Who? What?"), "Who What");
    EXPECT_EQ(CleanFileName("a;b=c+d<e>f/g\"h[i]j\\k'l*m?n|o:p"), "abcdefghijklmnop");
    EXPECT_EQ(CleanFileName(std::string("a\tb\nc\x01") + '\0' + "d\x1F" + "e\x7F"), "abcde");
    const std::string kept = "  Mr. Blue, & Caf\xC3\xA9 \xE2\x82\xAC. ";
    EXPECT_EQ(CleanFileName(kept), kept);
}

TEST(Naming, BuildTargetPathJoinsFolderCleanTitleAndSongExtension) {
    EXPECT_EQ(BuildTargetPath("D:\\Music", "Yesterday", "e:\\F03\\ABCD.mp3"),
              "D:\\Music\\Yesterday.mp3");
    EXPECT_EQ(BuildTargetPath("D:\\Music", "AC/DC: Live?", "e:\\F11\\QWER.m4a"),
              "D:\\Music\\ACDC Live.m4a");
    EXPECT_EQ(BuildTargetPath("D:\\Music", "Mr. Blue", "e:\\F00\\ZXCV.MP3"),
              "D:\\Music\\Mr. Blue.MP3");
    EXPECT_EQ(BuildTargetPath("D:\\A;B", "x", "e:a.b.m4a"), "D:\\A;B\\x.m4a");
}

TEST(Naming, NamesThatWouldBeHiddenAreMadeVisible) {
    // An empty title, one of removed characters only, and titles beginning with dots.
    EXPECT_EQ(BuildTargetPath("E:\\", "", "e:\\F00\\ZXCV.mp3"), "E:\\\\_.mp3");
    EXPECT_EQ(BuildTargetPath("D:\\M", "***", "e:\\F00.dir\\ZXCV"), "D:\\M\\_");
    EXPECT_EQ(BuildTargetPath("D:\\M", ".hidden", "x.mp3"), "D:\\M\\_.hidden.mp3");
    EXPECT_EQ(BuildTargetPath("D:\\M", "..", "x.mp3"), "D:\\M\\_...mp3");
    EXPECT_EQ(BuildTargetPath("D:\\M", ".", "x"), "D:\\M\\_.");
    EXPECT_EQ(BuildTargetPath("D:\\M", "...Baby One More Time", "x.m4a"),
              "D:\\M\\_...Baby One More Time.m4a");
    EXPECT_EQ(ProposedFileName(".hidden", "x.mp3"), "_.hidden.mp3");
    // A dot inside or at the end of a title is no hidden name.
    EXPECT_EQ(BuildTargetPath("D:\\M", "Mr. Blue.", "x.mp3"), "D:\\M\\Mr. Blue..mp3");
    // The mark is part of the cut: the extension still survives a long title.
    const std::string name = BuildTargetPath("D:", "." + std::string(300, 'a'), "x.mp3").substr(3);
    EXPECT_EQ(name.size(), kMaxFileNameBytes);
    EXPECT_EQ(name.substr(0, 2), "_.");
    EXPECT_EQ(name.substr(name.size() - 4), ".mp3");
}

TEST(Naming, OnlyAPlainExtensionIsTakenFromTheSongFile) {
    EXPECT_EQ(SongFileExt("e:\\F00\\ABCD.mp3"), ".mp3");
    EXPECT_EQ(SongFileExt("e:\\F00\\ABCD.M4A"), ".M4A");
    EXPECT_EQ(SongFileExt("e:\\F00.dir\\ABCD"), "");
    EXPECT_EQ(SongFileExt("e:a.b.m4a"), ".m4a");
    // A damaged database: separators of any kind end the file name, and an extension of
    // blanks, dots or more than 16 characters is none.
    EXPECT_EQ(SongFileExt(":iPod_Control:Music:F00:x./bin/tool"), "");
    EXPECT_EQ(SongFileExt("e:\\F00\\x.a/..\\y"), "");
    EXPECT_EQ(SongFileExt("e:\\F00\\x.m p3"), "");
    EXPECT_EQ(SongFileExt("e:\\F00\\x."), "");
    EXPECT_EQ(SongFileExt("e:\\F00\\x." + std::string(16, 'a')), "." + std::string(16, 'a'));
    EXPECT_EQ(SongFileExt("e:\\F00\\x." + std::string(17, 'a')), "");
    // The title "." with that location stays a file of the chosen folder.
    EXPECT_EQ(BuildTargetPath("D:\\M", ".", ":iPod_Control:Music:F00:x./bin/tool"), "D:\\M\\_.");
}

TEST(Naming, LongNamesAreCutAtACharacterBoundaryKeepingTheExtension) {
    std::string title; // 150 two-byte characters: 300 bytes
    for (int i = 0; i < 150; ++i)
        title += "\xC3\xA9";
    const std::string path = BuildTargetPath("D:", title, "e:\\F00\\ABCD.mp3");
    const std::string name = path.substr(3);
    EXPECT_EQ(name.size(), kMaxFileNameBytes - 1); // 250 bytes of title, then ".mp3"
    EXPECT_EQ(name.substr(name.size() - 4), ".mp3");
    EXPECT_EQ(ToUtf16(name).find(u'\uFFFD'), std::u16string::npos);

    const std::string fits(251, 'a');
    EXPECT_EQ(BuildTargetPath("D:", fits, "x.mp3"), "D:\\" + fits + ".mp3");
    EXPECT_EQ(ProposedFileName(std::string(400, 'a'), "x.m4a"), std::string(251, 'a') + ".m4a");
    EXPECT_EQ(FitFileName("song", "." + std::string(300, 'x')).size(), kMaxFileNameBytes);
}

TEST(Naming, DialogFolderKeepsADriveRootAndProposesTheCleanName) {
    EXPECT_EQ(DialogFolderPart("D:\\Music\\song.mp3"), "D:\\Music");
    EXPECT_EQ(DialogFolderPart("D:\\song.mp3"), "D:\\");
    EXPECT_EQ(DialogFolderPart("D:\\Music\\\\song.mp3"), "D:\\Music\\\\");
    EXPECT_EQ(DialogFolderPart("song.mp3"), "");
    EXPECT_EQ(ProposedFileName("AC/DC: Live?", "e:\\F11\\QWER.m4a"), "ACDC Live.m4a");
    EXPECT_EQ(DialogFilter("e:\\F11\\QWER.m4a"), "*.m4a");
    EXPECT_EQ(DialogFilter("e:\\F11\\QWER"), "*");
}

} // namespace
} // namespace korvello
