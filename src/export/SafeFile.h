#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// A file written whole or not at all. The bytes go to a hidden temporary file beside the
// destination (".name.korvello-part"), which takes the destination's name in one rename
// only once every byte is stored and the file is closed; until then, and after any
// failure, an existing file of that name is untouched and the temporary file is removed.

#include "platform/Platform.h"

#include <memory>
#include <string>
#include <string_view>

namespace korvello {

class TSafeFile {
public:
    // `path` is a program path; nothing is created before Open.
    TSafeFile(IPlatform& platform, std::string path);
    ~TSafeFile();
    TSafeFile(const TSafeFile&) = delete;
    TSafeFile& operator=(const TSafeFile&) = delete;

    // Creates the temporary file (never opening an existing one). False with `error` set
    // when it cannot be made.
    bool Open(std::string& error);
    // Buffered; the first failure is kept and every later write is ignored.
    void Write(std::string_view bytes);
    // Stores what is buffered and closes the file; false with `error` set when a write or
    // the close failed (the temporary file is then removed).
    bool Finish(std::string& error);
    // After Finish: gives the file the name `path` (the one given at construction when
    // empty). Without `replace` an existing file keeps its name (NameTaken) and another
    // name may be tried; Failed removes the temporary file.
    RenameResult PlaceAs(const std::string& path, bool replace, std::string& error);

private:
    bool Flush();

    IPlatform& platform_;
    std::string path_;
    std::string temp_;
    std::unique_ptr<IFile> file_;
    std::string buffer_;
    std::string writeError_;
    bool finished_ = false;
    bool placed_ = false;
};

// `text` written to `path` whole through a TSafeFile, replacing an existing file; a
// folder of that name is refused ("not a file").
bool WriteWholeFile(IPlatform& platform, const std::string& path, std::string_view text,
                    std::string& error);

} // namespace korvello
