#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// A file's bytes mapped read-only into memory, in place of reading a copy of them.
//
// Mapped pages come straight from the page cache: no copy, and no zero-filled memory that
// a read would overwrite. The catch is that a mapped file that another program shrinks
// would end this one with SIGBUS at the first access past the new end. A handler of that
// signal, installed with the first mapping, puts zero-filled pages in the place of the
// lost part of any mapping made here and lets the access go on, so the reader sees zeros
// (what a cut-short file gives it anyway) and never crashes. A SIGBUS at any other address
// goes to the handler that was there before, or ends the program as it would have.

#include "platform/Platform.h"

#include <cstdint>
#include <memory>

namespace korvello::posix {

// Maps the first `size` bytes (more than 0) of the open file `fd`; nullptr where the file
// cannot be mapped (the caller reads it instead). The descriptor may be closed afterwards.
std::unique_ptr<IFileMapping> MapFile(int fd, std::int64_t size);

} // namespace korvello::posix
