// PayloadWriter: writes a payload archive as the launcher reads it.
//
// A zlib stream (header 0x78 0xDA at level 9, 0x78 0x01 at level 0, which
// stores) in which every piece ends with a sync flush: each tag, name and size line by itself, each CR LF by itself, file
// content in pieces of up to 8192 bytes, and each attribute record. The
// stream is never finished: the launcher stops at the closing "U" and treats
// the end of a zlib stream as damage.
//
// Unless turned off, the archive begins with the line "C", which announces
// check lines, and every File record is followed by its check line: "C" and
// the CRC-32 of the content in 8 upper-case hexadecimal digits. When asked,
// the line "NUTF-8" follows: the names are UTF-8.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

#include "payload/Crc32.h"
#include "support/FileAttributeRecord.h"

class PayloadWriter {
public:
    static constexpr int kDefaultLevel = 9;

    // Receives the compressed bytes in order.
    class Sink {
    public:
        virtual ~Sink() = default;
        virtual bool Put(const uint8_t* data, size_t length) = 0;
    };

    // level: zlib's compression level, 1 to 9 (9 gives the header 0x78 0xDA),
    // or 0: stored blocks, for content that is compressed already. Any
    // other level fails the writer.
    explicit PayloadWriter(Sink& sink, int level = kDefaultLevel);
    ~PayloadWriter();
    PayloadWriter(const PayloadWriter&) = delete;
    PayloadWriter& operator=(const PayloadWriter&) = delete;

    // Records. Each returns false once deflate or the sink has failed, and
    // refuses (failing the writer) what would make the archive unreadable:
    // a name holding CR or LF (a null name counts as empty), a record begun
    // inside an unfinished File, content that is not exactly `size` bytes.
    bool Folder(const char* name, const FileAttributeRecord& record);
    bool Up();
    bool File(const char* name, const void* content, int64_t size, const FileAttributeRecord& record);
    // The same File record in three calls, for content that comes in pieces.
    // A negative size writes its size line (which the launcher rejects) and
    // takes no content: for damaged archives.
    bool FileBegin(const char* name, int64_t size);
    bool FileContent(const void* content, size_t length);
    bool FileEnd(const FileAttributeRecord& record);

    // A line of any text (the reader skips unknown tags), and one piece of
    // bytes as it stands: for writers of unusual archives.
    bool Line(const char* text);
    bool Piece(const void* data, size_t length);

    // Appends empty deflate blocks, which inflate to nothing, until the
    // payload is a whole number of `piece`-byte pieces (piece at least 16),
    // so that whatever follows the payload starts in a piece of its own.
    // The stream stays open and valid; more records may follow.
    bool PadToPiece(uint32_t piece);

    // Check lines after File records, announced by the archive's first line
    // (written before the first Folder, Up or File unless something else was
    // written first). On unless turned off, for archives as builders wrote
    // them before check lines existed; set before the first record.
    void SetCheckLines(bool on) { checkLines_ = on; }
    // Names in UTF-8, said by the names line, which follows the check
    // lines' announcement before the first record (ArchiveFormat.h). Off
    // unless turned on: names in Shift-JIS. Set before the first record;
    // the names themselves go as they are given.
    void SetUtf8Names(bool on) { utf8Names_ = on; }

    bool Failed() const { return failed_; }
    // Bytes of archive (uncompressed) and of payload (compressed) so far.
    uint64_t ArchiveBytes() const { return archiveBytes_; }
    uint64_t PayloadBytes() const { return payloadBytes_; }

private:
    struct Deflater;
    bool LineText(const char* text);
    bool Crlf();
    bool Refuse();
    bool NameLine(const char* name);
    bool Announce();
    bool BeginRecord();

    // Content bytes still owed to the File record being written, or -1
    // outside a File record.
    int64_t fileRemaining_ = -1;

    Sink& sink_;
    std::unique_ptr<Deflater> deflater_;
    std::unique_ptr<Crc32> crc_; // of the File record's content so far
    bool checkLines_ = true;
    bool utf8Names_ = false;
    bool announced_ = false;
    bool failed_ = false;
    uint64_t archiveBytes_ = 0;
    uint64_t payloadBytes_ = 0;
};
