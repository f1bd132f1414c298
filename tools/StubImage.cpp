#include "tools/StubImage.h"

#include <algorithm>
#include <cstring>

#include "payload/StubSettings.h"
#include "tools/HostFile.h"
#include "tools/PeFile.h"

int StubImage::CountBlocks(const std::vector<uint8_t>& bytes, size_t* firstAt)
{
    const uint8_t* block = reinterpret_cast<const uint8_t*>(StubSettings::kDefaultBlock);
    const uint8_t* blockEnd = block + StubSettings::kBlockSize;
    int count = 0;
    auto at = bytes.begin();
    for (;;) {
        at = std::search(at, bytes.end(), block, blockEnd);
        if (at == bytes.end())
            break;
        if (count == 0 && firstAt != nullptr)
            *firstAt = static_cast<size_t>(at - bytes.begin());
        ++count;
        ++at; // overlapping copies count too: none may be ambiguous
    }
    return count;
}

bool StubImage::Load(const std::string& path, std::string& error)
{
    if (!HostFile::ReadAll(path, bytes_, error))
        return false;
    PeLayout layout;
    std::string why;
    if (!PeFile::Read(bytes_.data(), bytes_.size(), layout, why)) {
        error = "stub " + path + ": " + why;
        return false;
    }
    // Filling in the settings would break a signature anyway, and the
    // finished installer is signed as a whole.
    if (layout.certSize != 0) {
        error = "stub " + path + " is already signed; give the unsigned stub (the finished installer can be signed with --sign-cert)";
        return false;
    }
    int blocks = CountBlocks(bytes_, &blockAt_);
    if (blocks == 0) {
        error = "stub " + path + " holds no untouched settings block (is it an installer already, or not the launcher stub?)";
        return false;
    }
    if (blocks > 1) {
        error = "stub " + path + " holds the settings block " + std::to_string(blocks) + " times; it must hold it once";
        return false;
    }
    // The launcher converts the offset with atoi: it must be a positive
    // 32-bit number.
    if (bytes_.size() > 0x7FFFFFFFu) {
        error = "stub " + path + " is too large (2 GiB or more)";
        return false;
    }
    return true;
}

bool StubImage::Patch(const std::string& installerName, std::string& error)
{
    constexpr size_t kArea = StubSettings::kAreaSize;
    std::string offset = std::to_string(PayloadOffset());
    constexpr size_t kLongest = StubSettings::kMaxInstallerName;
    if (installerName.empty() || installerName.size() > kLongest || installerName.find('\0') != std::string::npos) {
        error = "the installer name must be 1 to " + std::to_string(kLongest) + " bytes in code page 932";
        return false;
    }
    uint8_t* area = bytes_.data() + blockAt_;
    // Only the bytes up to the zero count; the filler after it is cleared
    // so that no trace of the defaults stays behind.
    std::memset(area, 0, 2 * kArea);
    std::memcpy(area, offset.data(), offset.size());
    std::memcpy(area + kArea, installerName.data(), installerName.size());
    return true;
}
