#include "payload/PayloadWriter.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <zlib.h>

#include "payload/ArchiveFormat.h"

struct PayloadWriter::Deflater {
    z_stream stream{};
    bool ready = false;
    uint8_t out[16384];

    explicit Deflater(int level)
    {
        // Level 9 gives the header 0x78 0xDA. Level 0 stores: each sync
        // flush ends a stored block and adds an empty one, never a last
        // block, as at every other level.
        ready = level >= 0 && level <= 9 && deflateInit(&stream, level) == Z_OK;
    }
    ~Deflater()
    {
        if (ready)
            deflateEnd(&stream);
    }
};

PayloadWriter::PayloadWriter(Sink& sink, int level) : sink_(sink), deflater_(new Deflater(level)), crc_(new Crc32)
{
    failed_ = !deflater_->ready;
}

PayloadWriter::~PayloadWriter() = default;

bool PayloadWriter::Piece(const void* data, size_t length)
{
    if (failed_)
        return false;
    // zlib counts input in 32 bits; nothing here comes near that.
    if (length > 0xFFFFFFFFu || (data == nullptr && length > 0))
        return Refuse();
    z_stream& zs = deflater_->stream;
    zs.next_in = static_cast<Bytef*>(const_cast<void*>(data));
    zs.avail_in = static_cast<uInt>(length);
    do {
        zs.next_out = deflater_->out;
        zs.avail_out = sizeof deflater_->out;
        int rc = deflate(&zs, Z_SYNC_FLUSH);
        if (rc != Z_OK && rc != Z_BUF_ERROR) {
            failed_ = true;
            return false;
        }
        size_t produced = sizeof deflater_->out - zs.avail_out;
        if (produced > 0 && !sink_.Put(deflater_->out, produced)) {
            failed_ = true;
            return false;
        }
        payloadBytes_ += produced;
    } while (zs.avail_out == 0 || zs.avail_in != 0);
    archiveBytes_ += length;
    return true;
}

bool PayloadWriter::Refuse()
{
    failed_ = true;
    return false;
}

bool PayloadWriter::LineText(const char* text)
{
    return text == nullptr || Piece(text, std::strlen(text));
}

bool PayloadWriter::Crlf()
{
    return Piece("\r\n", 2);
}

bool PayloadWriter::Line(const char* text)
{
    return LineText(text) && Crlf();
}

// A name line. The reader ends a line at CR or LF, so a name holding either
// would shift every record after it; an empty name is a line of its own.
bool PayloadWriter::NameLine(const char* name)
{
    if (name != nullptr && std::strpbrk(name, "\r\n") != nullptr)
        return Refuse();
    return Line(name);
}

// The archive's first lines, once, before the first record: the check
// lines' announcement, not when something else was written first (only
// the first line announces), then the names line.
bool PayloadWriter::Announce()
{
    if (announced_)
        return true;
    announced_ = true;
    char line[2] = {ArchiveFormat::kCheckTag, '\0'};
    return (!checkLines_ || archiveBytes_ != 0 || Line(line)) &&
           (!utf8Names_ || Line(ArchiveFormat::kUtf8NamesLine));
}

// Every record: refused after a failure and inside a File record's
// content; the announcement comes before the first.
bool PayloadWriter::BeginRecord()
{
    if (failed_ || fileRemaining_ >= 0)
        return Refuse();
    return Announce();
}

bool PayloadWriter::Folder(const char* name, const FileAttributeRecord& record)
{
    if (!BeginRecord())
        return false;
    uint8_t bytes[FileAttributeRecord::kSize];
    record.Encode(bytes);
    return Line(ArchiveFormat::kFolderTag) && NameLine(name) && Piece(bytes, sizeof bytes);
}

bool PayloadWriter::Up()
{
    return BeginRecord() && Line(ArchiveFormat::kUpTag);
}

bool PayloadWriter::FileBegin(const char* name, int64_t size)
{
    if (!BeginRecord())
        return false;
    char sizeText[32];
    std::snprintf(sizeText, sizeof sizeText, "%" PRId64, size);
    if (!(Line(ArchiveFormat::kFileTag) && NameLine(name) && Line(sizeText)))
        return false;
    fileRemaining_ = size > 0 ? size : 0;
    crc_->Reset();
    return true;
}

bool PayloadWriter::FileContent(const void* content, size_t length)
{
    if (failed_ || fileRemaining_ < 0 || length > static_cast<uint64_t>(fileRemaining_))
        return Refuse(); // outside a File record, or more than its size
    if (content == nullptr && length > 0)
        return Refuse();
    fileRemaining_ -= static_cast<int64_t>(length);
    const uint8_t* p = static_cast<const uint8_t*>(content);
    crc_->Update(p, length);
    while (length > 0) {
        size_t piece = length < static_cast<size_t>(ArchiveFormat::kPieceSize) ? length : ArchiveFormat::kPieceSize;
        if (!Piece(p, piece))
            return false;
        p += piece;
        length -= piece;
    }
    return !failed_;
}

bool PayloadWriter::FileEnd(const FileAttributeRecord& record)
{
    if (failed_ || fileRemaining_ != 0)
        return Refuse(); // outside a File record, or content still owed
    fileRemaining_ = -1;
    uint8_t bytes[FileAttributeRecord::kSize];
    record.Encode(bytes);
    if (!Piece(bytes, sizeof bytes))
        return false;
    if (!checkLines_)
        return true;
    char check[16];
    std::snprintf(check, sizeof check, "%c%08" PRIX32, ArchiveFormat::kCheckTag, crc_->Value());
    return Line(check);
}

bool PayloadWriter::File(const char* name, const void* content, int64_t size, const FileAttributeRecord& record)
{
    return FileBegin(name, size) && FileContent(content, size > 0 ? static_cast<size_t>(size) : 0) && FileEnd(record);
}

namespace {

// Writes deflate bits least significant first, as RFC 1951 packs them.
class BitPacker {
public:
    explicit BitPacker(uint8_t* out) : out_(out) {}
    void Bits(uint32_t value, int count)
    {
        for (int i = 0; i < count; ++i) {
            if (((value >> i) & 1u) != 0)
                out_[length_] = static_cast<uint8_t>(out_[length_] | (1u << bit_));
            if (++bit_ == 8) {
                bit_ = 0;
                out_[++length_] = 0;
            }
        }
    }
    void Align()
    {
        if (bit_ != 0) {
            bit_ = 0;
            out_[++length_] = 0;
        }
    }
    void Byte(uint8_t b) // only when aligned
    {
        out_[length_] = b;
        out_[++length_] = 0;
    }
    size_t Length() const { return length_; }

private:
    uint8_t* out_;
    size_t length_ = 0;
    int bit_ = 0;
};

// k empty fixed-Huffman blocks (header 0 01, end-of-block code 0000000: 10
// bits each), then one empty stored block (header 0 00, fill to the byte,
// LEN 0000, NLEN FFFF), from and to a byte boundary. k = 0 gives the 5 bytes
// 00 00 00 FF FF; k = 1, 2, 3 give 6, 7 and 9 bytes.
void EmptyBlocks(BitPacker& bits, int fixedBlocks)
{
    for (int i = 0; i < fixedBlocks; ++i) {
        bits.Bits(0, 1); // not the last block
        bits.Bits(1, 2); // fixed Huffman codes
        bits.Bits(0, 7); // end of block
    }
    bits.Bits(0, 3); // not the last block, stored
    bits.Align();
    bits.Byte(0x00);
    bits.Byte(0x00);
    bits.Byte(0xFF);
    bits.Byte(0xFF);
}

} // namespace

bool PayloadWriter::PadToPiece(uint32_t piece)
{
    if (failed_)
        return false;
    if (piece < 16) // too small to hold the longest group below
        return false;
    // Every sync-flushed piece ends on a byte boundary, so the blocks start
    // on one. Stored blocks come in 5 bytes; one group of fixed blocks in
    // front covers the rest of the division by 5. 1 to 4 and 8 bytes cannot
    // be made: those pad to the end of the following piece instead.
    uint64_t gap = (piece - payloadBytes_ % piece) % piece;
    if (gap == 0)
        return true;
    if (gap < 5 || gap == 8)
        gap += piece;
    // Groups by the remainder: 0 none; 1 k=1 (6 bytes); 2 k=2 (7);
    // 3 k=1 and k=2 (13); 4 k=3 (9).
    static const int kGroups[5][2] = {{-1, -1}, {1, -1}, {2, -1}, {1, 2}, {3, -1}};
    const int* groups = kGroups[gap % 5];
    std::unique_ptr<uint8_t[]> bytes(new uint8_t[gap + 1]);
    bytes[0] = 0;
    BitPacker bits(bytes.get());
    for (int g = 0; g < 2; ++g) {
        if (groups[g] >= 0)
            EmptyBlocks(bits, groups[g]);
    }
    while (bits.Length() < gap)
        EmptyBlocks(bits, 0);
    if (bits.Length() != gap || !sink_.Put(bytes.get(), gap)) {
        failed_ = true;
        return false;
    }
    payloadBytes_ += gap;
    return true;
}
