// SPDX-License-Identifier: GPL-3.0-or-later
// Where the audio part lies in files laid out byte by byte: every tag, block, chunk and
// atom the walk steps over, and files whose structure leads nowhere.

#include "tags/AudioPart.h"
#include "platform/posix/PosixPlatform.h"
#include "support/MachineFixture.h"

#include <gtest/gtest.h>

namespace korvello::test {
namespace {

std::string Be32(std::uint32_t v) {
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
            static_cast<char>(v)};
}
std::string Le32(std::uint32_t v) {
    return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
            static_cast<char>(v >> 24)};
}
std::string Id3v2(std::size_t body, char flags = 0) {
    std::string tag = std::string("ID3\x04\x00", 5) + flags;
    for (int shift : {21, 14, 7, 0})
        tag += static_cast<char>((body >> shift) & 0x7F);
    return tag + std::string(body, 'T') + (flags & 0x10 ? "3DI" + std::string(7, 'F') : "");
}
const std::string kFrames = "\xFF\xFB\x90\x64" + std::string(1000, 'a');

class AudioPartTest : public ::testing::Test {
protected:
    std::optional<TAudioPart> PartOf(const std::string& content) {
        WriteFile(machine.root + "/f.bin", content);
        std::string error;
        const auto file = machine.platform->OpenRead("c:\\f.bin", error);
        return file ? FindAudioPart(*file) : std::nullopt;
    }

    MachineFixture machine;
};

TEST_F(AudioPartTest, MpegAudioLiesBetweenItsTags) {
    EXPECT_EQ(PartOf(kFrames), (TAudioPart{TAudioFormat::Mpeg, 0, 1004}));
    // ID3v2 tags (one with a footer) before, APEv2 with a header and ID3v1 after.
    const std::string ape = "APETAGEX" + Le32(2000) + Le32(50 + 32) + Le32(1) + Le32(0x80000000u) +
                            std::string(8, '\0');
    const std::string file = Id3v2(100) + Id3v2(20, 0x10) + kFrames + ape + std::string(50, 'i') +
                             ape + "TAG" + std::string(125, 'v');
    EXPECT_EQ(PartOf(file), (TAudioPart{TAudioFormat::Mpeg, 110 + 40, 1004}));
    // A tag that claims more than the file holds leads nowhere.
    EXPECT_EQ(PartOf(Id3v2(100).substr(0, 60)), std::nullopt);
    // Bytes that are neither a tag nor a frame are no MPEG audio.
    EXPECT_EQ(PartOf(std::string(2000, 'x')), std::nullopt);
}

TEST_F(AudioPartTest, FlacAudioFollowsTheLastMetadataBlock) {
    const std::string blocks = std::string("\x00\x00\x00\x22", 4) + std::string(34, 's') +
                               std::string("\x84\x00\x00\x10", 4) + std::string(16, 'c');
    EXPECT_EQ(PartOf("fLaC" + blocks + "AUDIO"), (TAudioPart{TAudioFormat::Flac, 62, 5}));
    EXPECT_EQ(PartOf(Id3v2(10) + "fLaC" + blocks + "AUDIO" + "TAG" + std::string(125, 'v')),
              (TAudioPart{TAudioFormat::Flac, 82, 5}));
    // No block says it is the last one.
    EXPECT_EQ(PartOf("fLaC" + std::string("\x00\x00\x00\x02", 4) + "xx"), std::nullopt);
}

TEST_F(AudioPartTest, WavAndAiffAudioIsTheirSampleChunk) {
    const std::string wav = "RIFF" + Le32(100) + "WAVE" + "fmt " + Le32(3) + "abc" + '\0' + "data" +
                            Le32(6) + "123456" + "id3 " + Le32(2) + "zz";
    EXPECT_EQ(PartOf(wav), (TAudioPart{TAudioFormat::Wav, 32, 6}));
    const std::string aiff = "FORM" + Be32(100) + "AIFF" + "COMM" + Be32(18) +
                             std::string(18, 'c') + "SSND" + Be32(12) + std::string(12, 's');
    EXPECT_EQ(PartOf(aiff), (TAudioPart{TAudioFormat::Aiff, 46, 12}));
    // A sample chunk longer than the file is cut at its end.
    EXPECT_EQ(PartOf("RIFF" + Le32(100) + "WAVE" + "data" + Le32(1000) + "123"),
              (TAudioPart{TAudioFormat::Wav, 20, 3}));
    EXPECT_EQ(PartOf("RIFF" + Le32(100) + "WAVE" + "fmt " + Le32(4) + "abcd"), std::nullopt);
}

TEST_F(AudioPartTest, Mp4AudioIsItsOneMediaAtom) {
    const std::string ftyp = Be32(16) + "ftypM4A " + Be32(0);
    const std::string moov = Be32(12) + "moov" + "xxxx";
    const std::string mdat = Be32(13) + "mdat" + "AUDIO";
    EXPECT_EQ(PartOf(ftyp + moov + mdat), (TAudioPart{TAudioFormat::Mp4, 36, 5}));
    // A 64-bit size, and a last atom of size 0 that runs to the end.
    EXPECT_EQ(PartOf(ftyp + Be32(1) + "mdat" + Be32(0) + Be32(21) + "AUDIO" + moov),
              (TAudioPart{TAudioFormat::Mp4, 32, 5}));
    EXPECT_EQ(PartOf(ftyp + moov + Be32(0) + "mdat" + "AUDIO"),
              (TAudioPart{TAudioFormat::Mp4, 36, 5}));
    // Media split over two atoms, an atom running past the end, an atom shorter than its
    // own header: no part.
    EXPECT_EQ(PartOf(ftyp + mdat + moov + mdat), std::nullopt);
    EXPECT_EQ(PartOf(ftyp + Be32(400) + "mdat" + "AUDIO"), std::nullopt);
    EXPECT_EQ(PartOf(ftyp + Be32(4) + "mdat" + "AUDIO"), std::nullopt);
}

// A file of nothing but tiny chunks is walked only so far: the answer comes quickly and
// is "none", not a read of every chunk.
TEST_F(AudioPartTest, AHostileChainOfChunksIsGivenUpOn) {
    std::string wav = "RIFF" + Le32(0) + "WAVE";
    for (int i = 0; i < 100000; ++i)
        wav += "junk" + Le32(0);
    wav += "data" + Le32(4) + "1234";
    EXPECT_EQ(PartOf(wav), std::nullopt);
}

} // namespace
} // namespace korvello::test
