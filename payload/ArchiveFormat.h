// The payload archive's record tags and limits, shared by the reader and
// the writer.
#pragma once
#include <cstdint>

namespace ArchiveFormat {

constexpr const char* kFileTag = "F";    // name, size, content, attribute record
constexpr const char* kFolderTag = "D";  // name, attribute record; opens a folder
constexpr const char* kUpTag = "U";      // closes a folder; at the top, ends the archive

// Check lines. The letter alone as the archive's first line announces that
// every File record of the archive is followed by its check line: the
// letter and the CRC-32 of the file's content as exactly 8 hexadecimal
// digits ("C1A2B3C4D"). Readers that do not know them skip both as unknown
// lines. Every other tag line that starts with this letter is damage.
constexpr char kCheckTag = 'C';
constexpr int32_t kCheckDigits = 8;

// The names line: names are UTF-8. Without it, as in every archive from
// before it, names are Shift-JIS (code page 932). It stands among the
// archive's first lines, before its first record (after the check lines'
// announcement, which is the first line); anywhere else it is damage.
// Readers that do not know it skip it as an unknown line and read UTF-8 as
// Shift-JIS, so a builder writes it only behind a stub that holds this text
// (its terminator included) and so reads it.
constexpr const char* kUtf8NamesLine = "NUTF-8";

// A size line is plain decimal digits, at most this value.
constexpr int32_t kMaxFileSize = 0x7FFFFFFF;

// Raw input is read, and file content written, in pieces of this size.
constexpr int32_t kPieceSize = 8192;

// A tag, name or size line longer than this marks a damaged archive.
constexpr int32_t kMaxLineLength = 4096;

} // namespace ArchiveFormat
