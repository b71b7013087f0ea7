// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/SafeFile.h"

#include "copyout/CopyThread.h"

namespace korvello {

namespace {

// Writes go out in pieces of this size: big enough for few system calls, small enough
// that a library of 100,000 songs is never held in memory whole.
constexpr std::size_t kBufferBytes = 1 << 20;

} // namespace

TSafeFile::TSafeFile(IPlatform& platform, std::string path)
    : platform_(platform), path_(std::move(path)) {}

TSafeFile::~TSafeFile() {
    if (file_)
        file_->Close();
    if (!temp_.empty() && !placed_)
        platform_.DeleteFile(temp_);
}

bool TSafeFile::Open(std::string& error) {
    const std::size_t slash = path_.rfind('\\');
    const std::string folder =
        slash == std::string::npos ? std::string() : path_.substr(0, slash + 1);
    const std::string name = path_.substr(folder.size());
    // A temporary file left by a run that was killed keeps its name; the next free one
    // is taken instead.
    for (int n = 0; n <= 100; ++n) {
        const std::string temp =
            folder + "." + name + (n == 0 ? std::string() : "." + std::to_string(n)) + kPartSuffix;
        bool taken = false;
        file_ = platform_.CreateNew(temp, error, taken);
        if (file_) {
            temp_ = temp;
            buffer_.reserve(kBufferBytes);
            return true;
        }
        if (!taken)
            return false;
    }
    return false;
}

bool TSafeFile::Flush() {
    if (!writeError_.empty() || buffer_.empty())
        return writeError_.empty();
    const auto size = static_cast<std::int64_t>(buffer_.size());
    if (file_->Write(buffer_.data(), size) != size) {
        writeError_ = file_->ErrorText();
        if (writeError_.empty())
            writeError_ = "short write";
    }
    buffer_.clear();
    return writeError_.empty();
}

void TSafeFile::Write(std::string_view bytes) {
    if (!file_ || !writeError_.empty())
        return;
    buffer_.append(bytes);
    if (buffer_.size() >= kBufferBytes)
        Flush();
}

bool TSafeFile::Finish(std::string& error) {
    if (!file_) {
        error = "not open";
        return false;
    }
    const bool stored = Flush();
    const bool closed = file_->Close();
    if (stored && !closed) {
        writeError_ = file_->ErrorText();
        if (writeError_.empty())
            writeError_ = "close failed";
    }
    file_.reset();
    if (!writeError_.empty()) {
        error = writeError_;
        platform_.DeleteFile(temp_);
        temp_.clear();
        return false;
    }
    finished_ = true;
    return true;
}

RenameResult TSafeFile::PlaceAs(const std::string& path, bool replace, std::string& error) {
    if (!finished_ || placed_) {
        error = "nothing to place";
        return RenameResult::Failed;
    }
    const RenameResult result =
        platform_.RenameFile(temp_, path.empty() ? path_ : path, replace, error);
    if (result == RenameResult::Done)
        placed_ = true;
    else if (result == RenameResult::Failed) {
        platform_.DeleteFile(temp_);
        temp_.clear();
        finished_ = false;
    }
    return result;
}

bool WriteWholeFile(IPlatform& platform, const std::string& path, std::string_view text,
                    std::string& error) {
    if (const NameKind kind = platform.StatName(path).kind;
        kind == NameKind::Other || kind == NameKind::Folder) {
        error = "not a file";
        return false;
    }
    TSafeFile file(platform, path);
    if (!file.Open(error))
        return false;
    file.Write(text);
    return file.Finish(error) && file.PlaceAs({}, /*replace=*/true, error) == RenameResult::Done;
}

} // namespace korvello
