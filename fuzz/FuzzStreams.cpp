// Feeds arbitrary bytes, as a file, through RCFile and the RCDecompress
// stage, and reads archive records from them the way extraction does; then
// reads the same bytes as records without the stage, for the line and block
// reading by itself.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

#include "payload/RCDecompress.h"
#include "payload/RCFile.h"
#include "tests/shared/ArchiveWalker.h"

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
        ArchiveWalker(reader).Walk();
        reader.SetInputTransform(nullptr);
    }
    if (reader.Seek(0))
        ArchiveWalker(reader).Walk();
    return 0;
}
