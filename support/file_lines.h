#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace tarn {

// Calls `Line` with each line of the file `Name`, in order: LF or CR LF ends a line (the line
// is handed on without them), and text after the last line end is one more line. A file that
// cannot be opened gives no line. The view is valid for the call only.
//
// The file is read `BlockSize` bytes at a time and cut at LF, so a file of many lines costs a
// few reads, and a line within a block is handed on where it stands: only a line that runs over
// the end of a block is put together in memory. Lines are never longer in memory than in the
// file, whatever the block size.
void ForEachFileLine(const std::string &Name, const std::function<void(std::string_view)> &Line,
                     std::size_t BlockSize = std::size_t(64) * 1024);

} // namespace tarn
