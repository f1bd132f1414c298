// Feeds arbitrary bytes, as a file, through RCFile and the RCDecompress
// stage into the archive record loop, the way extraction reads a payload;
// then reads the same bytes as records without the stage, for the line and
// block reading by itself. The sink creates nothing but checks what the
// loop hands it: every path lies inside the work folder, every component
// below it is a safe name, and files are opened and closed in pairs.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <unistd.h>

#include "payload/ArchiveName.h"
#include "payload/ArchiveReader.h"
#include "payload/RCDecompress.h"
#include "payload/RCFile.h"
#include "support/EscapedUnit.h"
#include "tests/shared/DiscardingSink.h"

namespace {

// The file that holds the input at hand; removed when the fuzzer exits.
class InputFile {
public:
    InputFile()
    {
        // Memory-backed when there is such a folder.
        const char* base = getenv("TMPDIR");
        std::string folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm"
                             : base != nullptr && base[0] != '\0' ? base
                                                                   : "/tmp";
        path_ = folder + "/qm-fuzz-streams-" + std::to_string(static_cast<long>(getpid())) + ".bin";
    }
    ~InputFile() { std::remove(path_.c_str()); }

    bool Put(const uint8_t* data, size_t size) const
    {
        // A new file each time: rewriting one in place makes some file
        // systems flush it to disk at every close.
        std::remove(path_.c_str());
        std::FILE* f = std::fopen(path_.c_str(), "wb");
        if (f == nullptr)
            return false;
        bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
        return std::fclose(f) == 0 && ok;
    }
    const char* Path() const { return path_.c_str(); }

private:
    std::string path_;
};

constexpr const char* kWork = "C:\\work";

// Aborts (a finding for the fuzzer) when the loop asks for anything unsafe.
class CheckingSink : public DiscardingSink {
public:
    bool CreateFolder(const char* path) override
    {
        Check(!fileOpen_ && Inside(path, false));
        folders_.insert(path);
        return DiscardingSink::CreateFolder(path);
    }
    void ApplyFolder(const char* path, const FileAttributeRecord& record) override
    {
        Check(!fileOpen_ && Inside(path, false));
        DiscardingSink::ApplyFolder(path, record);
    }
    bool OpenFile(const char* path) override
    {
        Check(!fileOpen_ && Inside(path, false));
        // An empty name leaves the path on its folder, which a file cannot
        // be created on: the disk refuses it, and so does this sink.
        if (folders_.count(path) != 0)
            return false;
        fileOpen_ = true;
        return DiscardingSink::OpenFile(path);
    }
    int32_t WriteFile(const uint8_t* data, int32_t length) override
    {
        Check(fileOpen_ && length >= 0 && length <= ArchiveReader::kContentBlock);
        return DiscardingSink::WriteFile(data, length);
    }
    bool CloseFile() override
    {
        Check(fileOpen_);
        fileOpen_ = false;
        return DiscardingSink::CloseFile();
    }
    bool ApplyFile(const char* path, const FileAttributeRecord& record) override
    {
        Check(!fileOpen_ && Inside(path, true));
        return DiscardingSink::ApplyFile(path, record);
    }
    void NamesAreUtf8() override
    {
        Check(folders_.size() == 1 && !fileOpen_); // before the first name
        utf8_ = true;
    }

private:
    static void Check(bool ok)
    {
        if (!ok)
            std::abort();
    }

    // The work folder itself, or below it with every component a safe name
    // (at least one component when below is required). A name read in
    // UTF-8 holds escaped units, each one character that is no ASCII one:
    // it stands as a half-width katakana in the Shift-JIS test.
    bool Inside(const char* path, bool below) const
    {
        const size_t root = std::strlen(kWork);
        if (std::strncmp(path, kWork, root) != 0)
            return false;
        if (path[root] == '\0')
            return !below;
        if (path[root] != '\\')
            return false;
        // Split at backslashes that are characters of their own.
        std::string component;
        for (const char* p = path + root + 1;; ++p) {
            unsigned char c = static_cast<unsigned char>(*p);
            if (c == '\0' || c == '\\') {
                if (!IsSafeArchiveName(component.c_str()))
                    return false;
                if (c == '\0')
                    return true;
                component.clear();
                continue;
            }
            uint32_t unit = 0;
            if (utf8_ && c == static_cast<unsigned char>(EscapedUnit::kMark)) {
                if (!EscapedUnit::Read(p, &unit) || unit < 0x80)
                    return false;
                component += '\xB1';
                p += EscapedUnit::kDigits;
                continue;
            }
            component += static_cast<char>(c);
            if (((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) && p[1] != '\0')
                component += *++p; // the second byte of a character, 0x5C included
        }
    }

    bool fileOpen_ = false;
    bool utf8_ = false;
    std::set<std::string> folders_{kWork};
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const InputFile input;
    if (!input.Put(data, size))
        return 0;

    RCFile reader;
    if (!reader.Open(input.Path(), RCFile::kRead))
        return 0;
    {
        RCDecompress stage(8192);
        reader.SetInputTransform(&stage);
        CheckingSink sink;
        ArchiveReader::Read(reader, kWork, sink);
        reader.SetInputTransform(nullptr);
    }
    if (reader.Seek(0)) {
        CheckingSink sink;
        ArchiveReader::Read(reader, kWork, sink);
    }
    return 0;
}
