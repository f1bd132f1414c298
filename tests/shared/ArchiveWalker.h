// ArchiveWalker: reads the records of a payload archive from a stream the
// way the launcher's extraction does, without touching the disk; for tests,
// the fuzzer and the benchmark.
//
// Tag, name and size lines are bounded to ArchiveFormat::kMaxLineLength,
// sizes are converted with ToInt (negative: damaged), content is read in
// pieces of up to kPieceSize bytes and each attribute record must come
// whole. A "U" at the top level ends the archive; unknown tags are skipped.
#pragma once
#include <cstdint>

#include "payload/RCStream.h"
#include "support/RCAnsiStr.h"

class ArchiveWalker {
public:
    enum Result { kComplete, kDamaged };

    // Told about every record as it is read; every hook may be left alone.
    class Visitor {
    public:
        virtual ~Visitor() = default;
        virtual void Folder(const RCAnsiStr& /*name*/, const uint8_t* /*record*/) {}
        virtual void Up() {}
        virtual void FileBegin(const RCAnsiStr& /*name*/, int32_t /*size*/) {}
        virtual void FileContent(const uint8_t* /*bytes*/, int32_t /*length*/) {}
        virtual void FileEnd(const uint8_t* /*record*/) {}
    };

    explicit ArchiveWalker(RCStream& reader);

    Result Walk(Visitor* visitor = nullptr);

    // Figures of the last walk.
    uint64_t Files() const { return files_; }
    uint64_t Folders() const { return folders_; }
    uint64_t ContentBytes() const { return contentBytes_; }

private:
    RCStream& reader_;
    uint64_t files_ = 0;
    uint64_t folders_ = 0;
    uint64_t contentBytes_ = 0;
};
