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
    EXPECT_EQ(BuildTargetPath("E:\\", "", "e:\\F00\\ZXCV.mp3"), "E:\\\\.mp3");
    EXPECT_EQ(BuildTargetPath("D:\\M", "***", "e:\\F00.dir\\ZXCV"), "D:\\M\\");
    EXPECT_EQ(BuildTargetPath("D:\\A;B", "x", "e:a.b.m4a"), "D:\\A;B\\x.m4a");
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
