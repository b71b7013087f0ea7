#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// Real song files for the tag tests, made by the encoders Debian ships (sox, lame, flac)
// and, for M4A, by the tests' mutagen helper (tagtool.py), which lays out an AAC file as
// iTunes does; and the helper's independent reading of tags. A target that includes this
// defines KORVELLO_PYTHON3 and KORVELLO_TAGTOOL.

#include "support/TempDir.h"

#include <array>
#include <cstdio>
#include <map>
#include <string>
#include <sys/wait.h>

namespace korvello::test {

// Runs a shell command; its output, and whether it exited with 0.
inline bool RunCommand(const std::string& command, std::string* output = nullptr) {
    FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
    if (pipe == nullptr)
        return false;
    std::array<char, 4096> buffer{};
    std::size_t n = 0;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        if (output != nullptr)
            output->append(buffer.data(), n);
    const int status = pclose(pipe);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

inline std::string Quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

inline std::string TagTool() {
    return Quoted(KORVELLO_PYTHON3) + " " + Quoted(KORVELLO_TAGTOOL);
}

// Why the tools are missing, or empty when sox, lame, flac and mutagen are all there.
inline std::string MissingAudioTools() {
    for (const char* tool : {"sox", "lame", "flac"})
        if (!RunCommand(std::string("command -v ") + tool))
            return std::string(tool) + " is not installed (scripts/bootstrap.sh installs it)";
    if (!RunCommand(Quoted(KORVELLO_PYTHON3) + " -c 'import mutagen'"))
        return "python3-mutagen is not installed (scripts/bootstrap.sh installs it)";
    return {};
}

// The formats made here, by their extensions.
inline constexpr std::array<const char*, 5> kAudioExtensions = {"mp3", "flac", "m4a", "wav",
                                                                "aiff"};

// Writes a short song of the format `extension` to `path` (its own extension), with no
// tags; `seed` changes the tone, so two seeds give different audio. False on failure.
inline bool MakeSong(const std::string& path, const std::string& extension, int seed = 0) {
    const std::string tone = "synth 0.4 sine " + std::to_string(300 + 37 * seed);
    const std::string wav = path + ".src.wav";
    const auto sox = [&](const std::string& out) {
        return RunCommand("sox -n -r 22050 -c 1 -b 16 " + Quoted(out) + " " + tone);
    };
    if (extension == "wav" || extension == "aiff")
        return sox(path);
    if (extension == "m4a")
        return RunCommand(TagTool() + " m4a " + Quoted(path) + " " + std::to_string(10 + seed));
    if (!sox(wav))
        return false;
    bool ok = false;
    if (extension == "mp3")
        ok = RunCommand("lame --quiet -b 64 " + Quoted(wav) + " " + Quoted(path));
    else if (extension == "flac")
        ok = RunCommand("flac --silent --force -o " + Quoted(path) + " " + Quoted(wav));
    std::remove(wav.c_str());
    return ok;
}

// Sets tags through mutagen's easy names ("title=X", "tracknumber=5").
inline bool SetTagsWithMutagen(const std::string& path, const std::string& pairs) {
    return RunCommand(TagTool() + " tag " + Quoted(path) + " " + pairs);
}

// The file's tags as mutagen reads them, in tagtool.py's names.
inline std::map<std::string, std::string> ReadTagsWithMutagen(const std::string& path) {
    std::string out;
    std::map<std::string, std::string> tags;
    if (!RunCommand(TagTool() + " read " + Quoted(path), &out))
        return {{"failed", "1"}};
    std::size_t start = 0;
    while (start < out.size()) {
        std::size_t end = out.find('\n', start);
        if (end == std::string::npos)
            end = out.size();
        const std::string line = out.substr(start, end - start);
        const std::size_t eq = line.find('=');
        if (eq != std::string::npos)
            tags[line.substr(0, eq)] = line.substr(eq + 1);
        start = end + 1;
    }
    return tags;
}

// The decoded samples, by the format's own decoder (none for M4A, whose frames are
// placeholders); empty when the decoder failed.
inline std::string DecodedSamples(const std::string& path, const std::string& extension) {
    std::string command;
    if (extension == "mp3")
        command = "lame --quiet --decode -t " + Quoted(path) + " -";
    else if (extension == "flac")
        command = "flac --silent --decode --force-raw-format --endian=little --sign=signed -c " +
                  Quoted(path);
    else
        command = "sox -t " + extension + " " + Quoted(path) + " -t raw -";
    std::string out;
    return RunCommand(command, &out) ? out : std::string();
}

} // namespace korvello::test
