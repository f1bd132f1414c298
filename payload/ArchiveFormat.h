// The payload archive's record tags and limits, shared by the reader and
// the writer.
#pragma once
#include <cstdint>

namespace ArchiveFormat {

constexpr const char* kFileTag = "F";    // name, size, content, attribute record
constexpr const char* kFolderTag = "D";  // name, attribute record; opens a folder
constexpr const char* kUpTag = "U";      // closes a folder; at the top, ends the archive

// Raw input is read, and file content written, in pieces of this size.
constexpr int32_t kPieceSize = 8192;

// A tag, name or size line longer than this marks a damaged archive.
constexpr int32_t kMaxLineLength = 4096;

} // namespace ArchiveFormat
