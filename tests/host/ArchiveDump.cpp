#include "tests/host/ArchiveDump.h"

#include <cstdlib>
#include <zlib.h>

namespace {

class Inflater {
public:
    explicit Inflater(const std::string& raw) : raw_(raw) { ready_ = inflateInit(&zs_) == Z_OK; }
    ~Inflater() { inflateEnd(&zs_); }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    // Makes n more inflated bytes available; false when the input ran out
    // or inflate failed (error_ says which).
    bool Need(size_t n)
    {
        while (out_.size() - pos_ < n) {
            if (!ready_ || offset_ >= raw_.size()) {
                if (error_.empty())
                    error_ = "input ran out";
                return false;
            }
            size_t take = raw_.size() - offset_ < 8192 ? raw_.size() - offset_ : 8192;
            zs_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(raw_.data() + offset_));
            zs_.avail_in = static_cast<uInt>(take);
            offset_ += take;
            ++pieces_;
            while (zs_.avail_in > 0) {
                unsigned char buffer[16384];
                zs_.next_out = buffer;
                zs_.avail_out = sizeof buffer;
                int rc = inflate(&zs_, Z_SYNC_FLUSH);
                if (rc != Z_OK) {
                    error_ = "inflate result " + std::to_string(rc) + " in piece " + std::to_string(pieces_);
                    ready_ = false;
                    return false;
                }
                out_.append(reinterpret_cast<char*>(buffer), sizeof buffer - zs_.avail_out);
            }
        }
        return true;
    }
    bool Line(std::string& line)
    {
        for (;;) {
            size_t eol = out_.find_first_of("\r\n", pos_);
            if (eol != std::string::npos && eol + 1 < out_.size()) {
                line = out_.substr(pos_, eol - pos_);
                pos_ = eol + (out_[eol] == '\r' && out_[eol + 1] == '\n' ? 2 : 1);
                return true;
            }
            if (!Need(out_.size() - pos_ + 1)) // one byte more
                return false;
        }
    }
    bool Bytes(size_t n, std::string& bytes)
    {
        if (!Need(n))
            return false;
        bytes = out_.substr(pos_, n);
        pos_ += n;
        return true;
    }
    const std::string& Error() const { return error_; }
    int64_t Pieces() const { return pieces_; }
    uint64_t Left() const { return out_.size() - pos_; }

private:
    const std::string& raw_;
    z_stream zs_{};
    bool ready_ = false;
    size_t offset_ = 0;
    int64_t pieces_ = 0;
    std::string out_;
    size_t pos_ = 0;
    std::string error_;
};

std::string Join(const std::vector<std::string>& folders, const std::string& name)
{
    std::string path;
    for (const std::string& f : folders)
        path += f + "\\";
    return path + name;
}

} // namespace

ArchiveDump ArchiveDump::Read(const std::string& payload)
{
    ArchiveDump dump;
    Inflater in(payload);
    std::vector<std::string> folders;
    std::string tag;
    while (in.Line(tag)) {
        if (tag == "U") {
            if (folders.empty()) {
                dump.ok = true;
                dump.piecesRead = in.Pieces();
                dump.trailingOutput = in.Left();
                return dump;
            }
            folders.pop_back();
            continue;
        }
        if (tag != "F" && tag != "D") {
            if (dump.entries.empty())
                dump.firstLines.push_back(tag);
            continue;
        }
        DumpedEntry e;
        std::string name, size, record;
        if (!in.Line(name))
            break;
        e.folder = tag == "D";
        e.path = Join(folders, name);
        if (!e.folder) {
            if (!in.Line(size) || !in.Bytes(static_cast<size_t>(std::atoll(size.c_str())), e.content))
                break;
        }
        if (!in.Bytes(FileAttributeRecord::kSize, record))
            break;
        e.record = FileAttributeRecord::Decode(reinterpret_cast<const uint8_t*>(record.data()));
        dump.entries.push_back(e);
        if (e.folder)
            folders.push_back(name);
    }
    dump.error = in.Error().empty() ? "archive damaged" : in.Error();
    return dump;
}
