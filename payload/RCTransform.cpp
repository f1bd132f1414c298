#include "payload/RCTransform.h"

#include <cstring>

RCTransform::RCTransform(int32_t growStep) : growStep_(growStep < 0 ? 0 : growStep)
{
    ClearOutput();
}

RCTransform::~RCTransform()
{
    // The stream must not keep pointing at a stage that is gone.
    if (owner_ != nullptr)
        NotifyIfPresent(owner_, this, 0, 0, 0);
    ClearOutput();
}

int32_t RCTransform::Notify(RCRoot* sender, int32_t code, int32_t, int32_t)
{
    if (code == 0)
        owner_ = sender;
    else if (code == 1)
        owner_ = nullptr;
    return 0;
}

bool RCTransform::ClearOutput()
{
    outData_.reset();
    outCapacity_ = 0;
    outLength_ = 0;
    return true;
}

uint8_t* RCTransform::ReserveOutput(int32_t count)
{
    // outLength_ + count + growStep_ must stay a valid 32-bit size.
    if (count < 0 || count > INT32_MAX - growStep_ - outLength_)
        return nullptr;
    int32_t need = outLength_ + count;
    if (need > outCapacity_) {
        int32_t capacity = need + growStep_;
        std::unique_ptr<uint8_t[]> grown(new uint8_t[static_cast<size_t>(capacity)]);
        if (outLength_ > 0)
            std::memcpy(grown.get(), outData_.get(), static_cast<size_t>(outLength_));
        outData_ = std::move(grown);
        outCapacity_ = capacity;
    }
    return outData_.get() + outLength_;
}

int32_t RCTransform::AppendOutput(const uint8_t* bytes, int32_t count)
{
    if (count <= 0 || bytes == nullptr)
        return outLength_;
    uint8_t* room = ReserveOutput(count);
    if (room == nullptr)
        return -1;
    std::memcpy(room, bytes, static_cast<size_t>(count));
    outLength_ += count;
    return outLength_;
}
