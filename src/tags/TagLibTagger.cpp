// SPDX-License-Identifier: GPL-3.0-or-later
// The tagger on TagLib. The file's format is found from its content (a copy's temporary
// name has no useful extension), then the matching TagLib file type is opened.

#include "platform/Platform.h"
#include "platform/Text.h"
#include "tags/AudioPart.h"
#include "tags/Tagger.h"

#include <taglib/aifffile.h>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/popularimeterframe.h>
#include <taglib/tiostream.h>
#include <taglib/tpropertymap.h>
#include <taglib/unknownframe.h>
#include <taglib/wavfile.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvello {

namespace {

// The name Windows Media Player gives its ratings; players that read POPM at all read
// the frame of this name.
constexpr const char* kPopmEmail = "Windows Media Player 9 Series";

// A file as TagLib sees it, read and written with pread/pwrite. TagLib's own file stream
// moves everything after a tag that grows through a 1 KiB buffer, a seek, a read, a seek
// and a write per KiB; this one moves it in blocks of a megabyte. Write failures are not
// reported to TagLib (it has no way to take them); the caller's audio check finds them.
class TTagFileStream final : public TagLib::IOStream {
public:
    explicit TTagFileStream(std::string name)
        : name_(std::move(name)), fd_(::open(name_.c_str(), O_RDWR | O_CLOEXEC)) {}
    ~TTagFileStream() override {
        if (fd_ >= 0)
            ::close(fd_);
    }
    TTagFileStream(const TTagFileStream&) = delete;
    TTagFileStream& operator=(const TTagFileStream&) = delete;

    TagLib::FileName name() const override { return name_.c_str(); }
    bool readOnly() const override { return false; }
    bool isOpen() const override { return fd_ >= 0; }

    TagLib::ByteVector readBlock(unsigned long length) override {
        const long available = std::max(0L, this->length() - position_);
        TagLib::ByteVector data(static_cast<unsigned int>(std::min<unsigned long>(
                                    length, static_cast<unsigned long>(available))),
                                '\0');
        const long got = ReadAt(data.data(), data.size(), position_);
        data.resize(static_cast<unsigned int>(got));
        position_ += got;
        return data;
    }
    void writeBlock(const TagLib::ByteVector& data) override {
        WriteAt(data.data(), data.size(), position_);
        position_ += static_cast<long>(data.size());
    }
    void insert(const TagLib::ByteVector& data, unsigned long start,
                unsigned long replace) override {
        const auto at = static_cast<long>(start);
        const auto size = static_cast<long>(data.size());
        const auto replaced = static_cast<long>(replace);
        if (size < replaced) {
            removeBlock(start + data.size(), replace - data.size());
        } else if (size > replaced) {
            // The rest of the file moves back by the growth, its last block first.
            const long grow = size - replaced;
            const long end = length();
            for (long from = end; from > at + replaced;) {
                const long n = std::min<long>(kMoveBlock, from - (at + replaced));
                from -= n;
                ReadAt(buffer_.data(), static_cast<std::size_t>(n), from);
                WriteAt(buffer_.data(), static_cast<std::size_t>(n), from + grow);
            }
        }
        WriteAt(data.data(), data.size(), at);
        position_ = at + size;
    }
    void removeBlock(unsigned long start, unsigned long length) override {
        const auto at = static_cast<long>(start);
        const auto gone = static_cast<long>(length);
        const long end = this->length();
        for (long from = at + gone; from < end;) {
            const long n = std::min<long>(kMoveBlock, end - from);
            ReadAt(buffer_.data(), static_cast<std::size_t>(n), from);
            WriteAt(buffer_.data(), static_cast<std::size_t>(n), from - gone);
            from += n;
        }
        truncate(std::max(at, end - gone));
        position_ = at;
    }
    void seek(long offset, Position p) override {
        const long base = p == Beginning ? 0 : p == Current ? position_ : length();
        position_ = std::max(0L, base + offset);
    }
    long tell() const override { return position_; }
    long length() override {
        struct stat st {};
        return fd_ >= 0 && ::fstat(fd_, &st) == 0 ? static_cast<long>(st.st_size) : 0;
    }
    void truncate(long length) override {
        if (fd_ >= 0)
            static_cast<void>(::ftruncate(fd_, length));
    }

private:
    static constexpr long kMoveBlock = 1024 * 1024;

    long ReadAt(char* data, std::size_t count, long offset) {
        std::size_t got = 0;
        while (fd_ >= 0 && got < count) {
            const ssize_t n =
                ::pread(fd_, data + got, count - got, offset + static_cast<long>(got));
            if (n <= 0)
                break;
            got += static_cast<std::size_t>(n);
        }
        return static_cast<long>(got);
    }
    void WriteAt(const char* data, std::size_t count, long offset) {
        std::size_t done = 0;
        while (fd_ >= 0 && done < count) {
            const ssize_t n =
                ::pwrite(fd_, data + done, count - done, offset + static_cast<long>(done));
            if (n <= 0)
                return;
            done += static_cast<std::size_t>(n);
        }
    }

    std::string name_;
    int fd_;
    long position_ = 0;
    std::vector<char> buffer_ = std::vector<char>(kMoveBlock);
};

TagLib::String ToTagText(const std::u16string& text) {
    return TagLib::String(ToUtf8(text), TagLib::String::UTF8);
}

std::u16string FromTagText(const TagLib::String& text) {
    return ToUtf16(text.to8Bit(true));
}

bool IsBlank(const TagLib::String& text) {
    return text.stripWhiteSpace().isEmpty();
}

// "3", "3/12", "/12": the number and the count, 0 where missing or not a number.
std::pair<int, int> NumberAndCount(const TagLib::String& text) {
    const std::string value = text.to8Bit(true);
    const auto number = [](std::string_view part) {
        while (!part.empty() && part.front() == ' ')
            part.remove_prefix(1);
        int n = 0;
        std::from_chars(part.data(), part.data() + part.size(), n);
        return std::max(n, 0);
    };
    const std::size_t slash = value.find('/');
    if (slash == std::string::npos)
        return {number(value), 0};
    return {number(std::string_view(value).substr(0, slash)),
            number(std::string_view(value).substr(slash + 1))};
}

// The fields a file already holds and the record's values for the empty ones.
class TFieldFiller {
public:
    explicit TFieldFiller(TagLib::PropertyMap properties) : properties_(std::move(properties)) {}

    bool Has(const char* key) const {
        const auto it = properties_.find(key);
        if (it == properties_.end())
            return false;
        return std::any_of(it->second.begin(), it->second.end(),
                           [](const TagLib::String& s) { return !IsBlank(s); });
    }

    void Fill(const char* key, const TagLib::String& value) {
        if (IsBlank(value) || Has(key))
            return;
        properties_.replace(key, TagLib::StringList(value));
        changed_ = true;
    }
    void Fill(const char* key, const std::u16string& value) { Fill(key, ToTagText(value)); }
    void Fill(const char* key, int value) {
        if (value > 0)
            Fill(key, TagLib::String::number(value));
    }

    // A number with its count in one field, "3/12": each part the file lacks is taken
    // from the record, the part it has is kept as written.
    void FillNumberAndCount(const char* key, int number, int count) {
        const TagLib::String current = Has(key) ? properties_[key].front() : TagLib::String();
        const auto [hasNumber, hasCount] = NumberAndCount(current);
        if (hasNumber > 0 && (hasCount > 0 || count <= 0))
            return;
        TagLib::String value;
        if (hasNumber > 0) {
            const int slash = current.find("/");
            value = (slash < 0 ? current : current.substr(0, static_cast<unsigned>(slash))) + "/" +
                    TagLib::String::number(count);
        } else if (number > 0) {
            const int total = hasCount > 0 ? hasCount : count;
            value = TagLib::String::number(number);
            if (total > 0)
                value += "/" + TagLib::String::number(total);
        } else {
            return;
        }
        properties_.replace(key, TagLib::StringList(value));
        changed_ = true;
    }

    // The same as two fields, "3" and "12", as Vorbis comments keep them; a number field
    // that holds "3/12" has its count already.
    void FillNumberAndTotal(const char* key, const char* totalKey, int number, int count) {
        const bool hadCount = Has(key) && NumberAndCount(properties_[key].front()).second > 0;
        Fill(key, number);
        if (!hadCount)
            Fill(totalKey, count);
    }

    const TagLib::PropertyMap& Properties() const { return properties_; }
    bool Changed() const { return changed_; }

private:
    TagLib::PropertyMap properties_;
    bool changed_ = false;
};

// The common text fields, in the names TagLib's property maps use for every format.
void FillCommonFields(TFieldFiller& fields, const TSong& song) {
    fields.Fill("TITLE", song.Title);
    fields.Fill("ARTIST", song.Artist);
    fields.Fill("ALBUM", song.Album);
    fields.Fill("ALBUMARTIST", song.AlbumArtist);
    fields.Fill("GENRE", song.Genre);
    fields.Fill("COMPOSER", song.Composer);
    fields.Fill("COMMENT", song.Comment);
    fields.Fill("GROUPING", song.Grouping);
    fields.Fill("DATE", song.Year);
    if (song.Compilation)
        fields.Fill("COMPILATION", TagLib::String("1"));
}

// POPM with the rating and the play count, and PCNT with the play count, each added only
// where the tag has none of its own (a rating of 0 is none).
bool FillPlayFrames(TagLib::ID3v2::Tag& tag, const TSong& song) {
    bool changed = false;
    const int rating = PopmRating(song.Rating);
    const TagLib::ID3v2::FrameList& popm = tag.frameList("POPM");
    const bool hasRating = std::any_of(popm.begin(), popm.end(), [](TagLib::ID3v2::Frame* f) {
        const auto* frame = dynamic_cast<TagLib::ID3v2::PopularimeterFrame*>(f);
        return frame != nullptr && frame->rating() > 0;
    });
    if (rating > 0 && !hasRating) {
        TagLib::ID3v2::PopularimeterFrame* frame = nullptr;
        for (TagLib::ID3v2::Frame* f : popm) {
            auto* existing = dynamic_cast<TagLib::ID3v2::PopularimeterFrame*>(f);
            if (existing != nullptr && existing->email() == kPopmEmail)
                frame = existing;
        }
        if (frame == nullptr) {
            auto added = std::make_unique<TagLib::ID3v2::PopularimeterFrame>();
            added->setEmail(kPopmEmail);
            added->setCounter(static_cast<unsigned>(std::max(song.PlayCount, 0)));
            frame = added.get();
            tag.addFrame(added.release()); // the tag owns its frames
        }
        frame->setRating(rating);
        changed = true;
    }
    if (song.PlayCount > 0 && tag.frameList("PCNT").isEmpty()) {
        // TagLib has no class for the play counter: the frame is given whole, a header
        // (a 4-byte body needs no care for ID3v2.3 against 2.4 sizes) and a 32-bit count.
        TagLib::ByteVector data("PCNT", 4);
        data.append(TagLib::ByteVector::fromUInt(4));
        data.append(TagLib::ByteVector(2, '\0'));
        data.append(TagLib::ByteVector::fromUInt(static_cast<unsigned>(song.PlayCount)));
        tag.addFrame(std::make_unique<TagLib::ID3v2::UnknownFrame>(data).release());
        changed = true;
    }
    return changed;
}

// FLAC's comments carry the rating and count under freedesktop.org's FMPS field names.
void FillFlacPlayFields(TFieldFiller& fields, const TSong& song) {
    if (song.Rating > 0) {
        char text[16];
        std::snprintf(text, sizeof text, "%.1f", std::clamp(song.Rating, 0, 100) / 100.0);
        fields.Fill("FMPS_RATING", TagLib::String(text));
    }
    fields.Fill("FMPS_PLAYCOUNT", song.PlayCount);
}

// The version a new or rewritten ID3v2 tag is saved in: the one the file had, or 2.3,
// which every player that reads ID3v2 reads.
TagLib::ID3v2::Version SaveVersion(bool hasTag, const TagLib::ID3v2::Tag* tag) {
    return hasTag && tag != nullptr && tag->header()->majorVersion() == 4 ? TagLib::ID3v2::v4
                                                                          : TagLib::ID3v2::v3;
}

// What one format needs beyond the property map: where its play fields go and how it
// is saved.
struct TFormatSteps {
    std::function<bool(TFieldFiller&)> fillPlayFields; // true when a frame was added
    std::function<bool()> save;
};

class TTagLibTagger : public ITagger {
public:
    explicit TTagLibTagger(IPlatform& platform) : platform_(platform) {}

    TTagOutcome WriteTags(const std::string& path, const TSong& song) override;
    bool ReadTags(const std::string& path, TSong& song, std::string& error) override;

private:
    std::optional<TAudioProbe> Probe(const std::string& path) {
        std::string error;
        const std::unique_ptr<IFile> file = platform_.OpenRead(path, error);
        return file ? ProbeAudio(*file) : std::nullopt;
    }

    IPlatform& platform_;
};

template <class File>
TTagOutcome Complete(File& file, const TSong& song, const TFormatSteps& steps,
                     bool separateTotals = false) {
    TFieldFiller fields(file.properties());
    FillCommonFields(fields, song);
    if (separateTotals) {
        fields.FillNumberAndTotal("TRACKNUMBER", "TRACKTOTAL", song.TrackNumber, song.TrackCount);
        fields.FillNumberAndTotal("DISCNUMBER", "DISCTOTAL", song.DiscNumber, song.DiscCount);
    } else {
        fields.FillNumberAndCount("TRACKNUMBER", song.TrackNumber, song.TrackCount);
        fields.FillNumberAndCount("DISCNUMBER", song.DiscNumber, song.DiscCount);
    }
    bool changed = false;
    if (steps.fillPlayFields)
        changed = steps.fillPlayFields(fields);
    if (fields.Changed()) {
        file.setProperties(fields.Properties());
        changed = true;
    }
    if (!changed)
        return {TTagResult::Unchanged, {}};
    if (!steps.save())
        return {TTagResult::Failed, "the tags could not be saved"};
    return {TTagResult::Written, {}};
}

TTagOutcome WriteFormat(TAudioFormat format, TagLib::IOStream* where, const TSong& song) {
    auto* const frames = TagLib::ID3v2::FrameFactory::instance();
    switch (format) {
    case TAudioFormat::Mpeg: {
        TagLib::MPEG::File file(where, frames, false);
        if (!file.isValid() || file.readOnly())
            return {TTagResult::NotTagged, "TagLib cannot open it as MPEG audio"};
        const TagLib::ID3v2::Version version = SaveVersion(file.hasID3v2Tag(), file.ID3v2Tag());
        // Only the tags the file has are saved: no ID3v1 or APE tag is added.
        const int tags = TagLib::MPEG::File::ID3v2 |
                         (file.hasID3v1Tag() ? TagLib::MPEG::File::ID3v1 : 0) |
                         (file.hasAPETag() ? TagLib::MPEG::File::APE : 0);
        return Complete(file, song,
                        {[&](TFieldFiller&) { return FillPlayFrames(*file.ID3v2Tag(true), song); },
                         [&] {
                             return file.save(tags, TagLib::File::StripNone, version,
                                              TagLib::File::DoNotDuplicate);
                         }});
    }
    case TAudioFormat::Flac: {
        TagLib::FLAC::File file(where, frames, false);
        if (!file.isValid() || file.readOnly())
            return {TTagResult::NotTagged, "TagLib cannot open it as FLAC"};
        return Complete(file, song,
                        {[&](TFieldFiller& fields) {
                             FillFlacPlayFields(fields, song);
                             return false;
                         },
                         [&] {
                             return file.save();
                         }},
                        true);
    }
    case TAudioFormat::Mp4: {
        TagLib::MP4::File file(where, false);
        if (!file.isValid() || file.readOnly())
            return {TTagResult::NotTagged, "TagLib cannot open it as MP4"};
        return Complete(file, song, {{}, [&] {
                                         return file.save();
                                     }});
    }
    case TAudioFormat::Wav: {
        TagLib::RIFF::WAV::File file(where, false);
        if (!file.isValid() || file.readOnly())
            return {TTagResult::NotTagged, "TagLib cannot open it as WAV"};
        const TagLib::ID3v2::Version version = SaveVersion(file.hasID3v2Tag(), file.ID3v2Tag());
        return Complete(file, song,
                        {[&](TFieldFiller&) { return FillPlayFrames(*file.ID3v2Tag(), song); },
                         [&] {
                             return file.save(TagLib::RIFF::WAV::File::AllTags,
                                              TagLib::File::StripNone, version);
                         }});
    }
    case TAudioFormat::Aiff: {
        TagLib::RIFF::AIFF::File file(where, false);
        if (!file.isValid() || file.readOnly())
            return {TTagResult::NotTagged, "TagLib cannot open it as AIFF"};
        const TagLib::ID3v2::Version version = SaveVersion(file.hasID3v2Tag(), file.tag());
        return Complete(file, song,
                        {[&](TFieldFiller&) { return FillPlayFrames(*file.tag(), song); },
                         [&] {
                             return file.save(version);
                         }});
    }
    }
    return {TTagResult::NotTagged, "not a format that gets tags"};
}

TTagOutcome TTagLibTagger::WriteTags(const std::string& path, const TSong& song) {
    const std::string name = platform_.ToLinuxPath(path);
    if (name.empty())
        return {TTagResult::NotTagged, "the file's drive is unknown"};
    // The audio part before and after the save: TagLib writes tags in place and does not
    // report every failed write, so a save that touched the audio is caught here.
    const auto before = Probe(path);
    if (!before)
        return {TTagResult::NotTagged,
                "its audio data cannot be found, not a format that gets tags"};
    TTagOutcome outcome;
    try {
        TTagFileStream stream(name);
        if (!stream.isOpen())
            return {TTagResult::NotTagged, "it cannot be opened for writing"};
        outcome = WriteFormat(before->format, &stream, song);
    } catch (const std::exception& e) {
        outcome = {TTagResult::Failed, std::string("TagLib failed: ") + e.what()};
    }
    if (outcome.result == TTagResult::Written && Probe(path) != before)
        outcome = {TTagResult::Failed, "the audio data changed while the tags were saved"};
    return outcome;
}

// The file type as iTunes names it, from the format and, for MP4, the codec.
std::u16string FileTypeText(TAudioFormat format, TagLib::File& file) {
    switch (format) {
    case TAudioFormat::Mpeg:
        return u"MPEG audio file";
    case TAudioFormat::Flac:
        return u"FLAC audio file";
    case TAudioFormat::Wav:
        return u"WAV audio file";
    case TAudioFormat::Aiff:
        return u"AIFF audio file";
    case TAudioFormat::Mp4: {
        const auto* properties =
            dynamic_cast<const TagLib::MP4::Properties*>(file.audioProperties());
        if (properties != nullptr && properties->codec() == TagLib::MP4::Properties::ALAC)
            return u"Apple Lossless audio file";
        return u"AAC audio file";
    }
    }
    return {};
}

std::unique_ptr<TagLib::File> OpenForReading(TAudioFormat format, const char* name) {
    constexpr auto style = TagLib::AudioProperties::Average;
    switch (format) {
    case TAudioFormat::Mpeg:
        return std::make_unique<TagLib::MPEG::File>(name, true, style);
    case TAudioFormat::Flac:
        return std::make_unique<TagLib::FLAC::File>(name, true, style);
    case TAudioFormat::Mp4:
        return std::make_unique<TagLib::MP4::File>(name, true, style);
    case TAudioFormat::Wav:
        return std::make_unique<TagLib::RIFF::WAV::File>(name, true, style);
    case TAudioFormat::Aiff:
        return std::make_unique<TagLib::RIFF::AIFF::File>(name, true, style);
    }
    return nullptr;
}

bool TTagLibTagger::ReadTags(const std::string& path, TSong& song, std::string& error) {
    const std::string name = platform_.ToLinuxPath(path);
    std::optional<TAudioPart> part;
    if (!name.empty()) {
        std::string openError;
        if (const std::unique_ptr<IFile> opened = platform_.OpenRead(path, openError))
            part = FindAudioPart(*opened);
    }
    if (!part) {
        error = "not a song file Korvello can read";
        return false;
    }
    try {
        const std::unique_ptr<TagLib::File> file = OpenForReading(part->format, name.c_str());
        if (file == nullptr || !file->isValid()) {
            error = "TagLib cannot read it";
            return false;
        }
        const TagLib::PropertyMap properties = file->properties();
        TSong read = song;
        const auto text = [&](const char* key, std::u16string& field) {
            const auto it = properties.find(key);
            if (it != properties.end() && !it->second.isEmpty() && !IsBlank(it->second.front()))
                field = FromTagText(it->second.front());
        };
        const auto numbers = [&](const char* key, const char* totalKey, std::int32_t& number,
                                 std::int32_t& count) {
            const auto it = properties.find(key);
            if (it != properties.end() && !it->second.isEmpty()) {
                const auto [n, c] = NumberAndCount(it->second.front());
                if (n > 0)
                    number = n;
                if (c > 0)
                    count = c;
            }
            const auto total = properties.find(totalKey);
            if (total != properties.end() && !total->second.isEmpty()) {
                const int c = NumberAndCount(total->second.front()).first;
                if (c > 0)
                    count = c;
            }
        };
        text("TITLE", read.Title);
        text("ARTIST", read.Artist);
        text("ALBUM", read.Album);
        text("ALBUMARTIST", read.AlbumArtist);
        text("GENRE", read.Genre);
        text("COMPOSER", read.Composer);
        text("COMMENT", read.Comment);
        text("GROUPING", read.Grouping);
        numbers("TRACKNUMBER", "TRACKTOTAL", read.TrackNumber, read.TrackCount);
        numbers("DISCNUMBER", "DISCTOTAL", read.DiscNumber, read.DiscCount);
        if (const auto date = properties.find("DATE");
            date != properties.end() && !date->second.isEmpty()) {
            // "2001", "2001-05-02": the year leads.
            const int year = NumberAndCount(date->second.front()).first;
            if (year > 0 && year < 10000)
                read.Year = year;
        }
        if (const auto compilation = properties.find("COMPILATION");
            compilation != properties.end() && !compilation->second.isEmpty())
            read.Compilation = NumberAndCount(compilation->second.front()).first > 0;
        if (const TagLib::AudioProperties* audio = file->audioProperties()) {
            read.Duration = std::max(audio->lengthInMilliseconds(), 0);
            read.Bitrate = std::max(audio->bitrate(), 0);
            read.SampleRate = std::max(audio->sampleRate(), 0);
        }
        read.FileType = FileTypeText(part->format, *file);
        song = std::move(read);
        return true;
    } catch (const std::exception& e) {
        error = std::string("TagLib failed: ") + e.what();
        return false;
    }
}

} // namespace

int PopmRating(int rating) {
    if (rating <= 0)
        return 0;
    static constexpr int kScale[] = {1, 64, 128, 196, 255};
    const int stars = std::clamp((rating + 19) / 20, 1, 5);
    return kScale[stars - 1];
}

std::unique_ptr<ITagger> MakeTagLibTagger(IPlatform& platform) {
    return std::make_unique<TTagLibTagger>(platform);
}

} // namespace korvello
