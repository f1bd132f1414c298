// HeldTree's steps that are the same on every platform: which folders are
// held. The platform's own are in HeldTreePosix.cpp and HeldTreeWin.cpp.
#include "tools/HeldTree.h"

size_t HeldTree::Depth() const
{
    return names_.size();
}

const std::string& HeldTree::ArchiveName(size_t level) const
{
    return names_[level];
}

bool HeldTree::WriteFile(const uint8_t* data, int32_t length, int32_t* written, std::string& why)
{
    *written = 0;
    while (*written < length) {
        int32_t some = 0;
        if (!WriteSome(data + *written, length - *written, &some, why))
            return false;
        *written += some;
    }
    return true;
}

void HeldTree::LetGo(size_t keep)
{
    while (names_.size() > keep) {
        DropInnermost();
        names_.pop_back();
    }
}
