// Destination names: what a title turns into, where the copy lands, and that no name
// grows past what the file system takes.
#include "copyout/Naming.h"

#include "platform/Text.h"

#include <gtest/gtest.h>

#include <string>

namespace korvello {
namespace {

// True when `text` decodes as UTF-8 without a replacement character appearing.
bool IsValidUtf8(const std::string& text) {
    return ToUtf16(text).find(u'\uFFFD') == std::u16string::npos;
}

TEST(CleanFileName, RemovesTheRefusedCharactersWithoutLeavingGaps) {
    EXPECT_EQ(CleanFileName("Rock/Roll"), "RockRoll");
    EXPECT_EQ(CleanFileName("Who? What?"), "Who What");
    EXPECT_EQ(CleanFileName(";=+<>/\"[]\\'*?|:"), "");
    EXPECT_EQ(CleanFileName("a;b=c+d<e>f/g\"h[i]j\\k'l*m?n|o:p"), "abcdefghijklmnop");
}

TEST(CleanFileName, KeepsEverythingElseAsItIs) {
    const std::string text = "  Mr. Blue, & Café Ü. ";
    EXPECT_EQ(CleanFileName(text), text);
}

TEST(CleanFileName, RemovesControlCharacters) {
    EXPECT_EQ(CleanFileName(std::string("a\tb\nc\x01") + '\0' + "d\x1F" + "e\x7F"), "abcde");
    // Bytes of multi-byte characters are never mistaken for control characters.
    EXPECT_EQ(CleanFileName("\xC3\xA9t\xC3\xA9"), "\xC3\xA9t\xC3\xA9");
}

TEST(ExtractFileExt, TakesTheLastDotOfTheFileNameOnly) {
    EXPECT_EQ(ExtractFileExt("e:\\iPod_Control\\Music\\F03\\ABCD.mp3"), ".mp3");
    EXPECT_EQ(ExtractFileExt("F00\\ZXCV.MP3"), ".MP3");
    EXPECT_EQ(ExtractFileExt("a.b.c.m4a"), ".m4a");
    EXPECT_EQ(ExtractFileExt("e:\\Music.dir\\ABCD"), "");
    EXPECT_EQ(ExtractFileExt("e:ABCD"), "");
    EXPECT_EQ(ExtractFileExt(""), "");
}

TEST(BuildTargetPath, FormsFolderCleanTitleAndTheSongFilesExtension) {
    EXPECT_EQ(BuildTargetPath("D:\\Music", "Yesterday", "e:\\F03\\ABCD.mp3"),
              "D:\\Music\\Yesterday.mp3");
    EXPECT_EQ(BuildTargetPath("D:\\Music", "AC/DC: Live?", "e:\\F11\\QWER.m4a"),
              "D:\\Music\\ACDC Live.m4a");
    EXPECT_EQ(BuildTargetPath("D:\\Music", "Mr. Blue", "e:\\F00\\ZXCV.MP3"),
              "D:\\Music\\Mr. Blue.MP3");
    EXPECT_EQ(BuildTargetPath("E:\\", "", "e:\\F00\\ZXCV.mp3"), "E:\\\\.mp3");
    EXPECT_EQ(BuildTargetPath("D:\\Music", "***", "e:\\F00\\ZXCV.mp3"), "D:\\Music\\.mp3");
    EXPECT_EQ(BuildTargetPath("D:\\Music", "Intro", "e:\\F00\\ZXCV"), "D:\\Music\\Intro");
    // The folder is taken as the dialog gave it.
    EXPECT_EQ(BuildTargetPath("D:\\A;B", "x", "y.mp3"), "D:\\A;B\\x.mp3");
}

TEST(BuildTargetPath, CutsLongTitlesAtACharacterBoundaryAndKeepsTheExtension) {
    // 150 two-byte characters: 300 bytes, far over the limit, with the cut falling
    // inside a character unless it is made with care.
    std::string title;
    for (int i = 0; i < 150; ++i)
        title += "\xC3\xA9";
    const std::string path = BuildTargetPath("D:\\Music", title, "e:\\F00\\ABCD.mp3");
    const std::string name = path.substr(std::string("D:\\Music\\").size());
    EXPECT_LE(name.size(), kMaxFileNameBytes);
    EXPECT_GE(name.size(), kMaxFileNameBytes - 1);
    EXPECT_EQ(name.substr(name.size() - 4), ".mp3");
    EXPECT_TRUE(IsValidUtf8(name));

    const std::string shortTitle(251, 'a'); // exactly fits with ".mp3"
    EXPECT_EQ(BuildTargetPath("D:", shortTitle, "x.mp3"), "D:\\" + shortTitle + ".mp3");
}

TEST(FitFileName, CutsAnExtensionThatAloneIsTooLong) {
    const std::string extension = "." + std::string(300, 'x');
    EXPECT_EQ(FitFileName("song", extension).size(), kMaxFileNameBytes);
}

TEST(DialogFolderPart, KeepsTheBackslashOfADriveRoot) {
    EXPECT_EQ(DialogFolderPart("D:\\Music\\song.mp3"), "D:\\Music");
    EXPECT_EQ(DialogFolderPart("D:\\song.mp3"), "D:\\");
    EXPECT_EQ(DialogFolderPart("D:\\Music\\\\song.mp3"), "D:\\Music\\\\");
    EXPECT_EQ(DialogFolderPart("D:\\A\\B\\C\\x"), "D:\\A\\B\\C");
    EXPECT_EQ(DialogFolderPart("song.mp3"), "");
}

TEST(ProposedFileName, IsTheCleanedTitleWithTheExtensionAndItsFilter) {
    EXPECT_EQ(ProposedFileName("AC/DC: Live?", "e:\\F11\\QWER.m4a"), "ACDC Live.m4a");
    EXPECT_EQ(ProposedFileName("", "e:\\F11\\QWER.m4a"), ".m4a");
    EXPECT_EQ(DialogFilter("e:\\F11\\QWER.m4a"), "*.m4a");
    EXPECT_EQ(DialogFilter("e:\\F11\\QWER"), "*");

    const std::string name = ProposedFileName(std::string(400, 'a'), "e:\\F11\\QWER.m4a");
    EXPECT_EQ(name.size(), kMaxFileNameBytes);
    EXPECT_EQ(name.substr(name.size() - 4), ".m4a");
}

} // namespace
} // namespace korvello
