#include "support/RCListBase.h"

#include <cstring>

RCListBase::RCListBase(Destroy destroy, bool ownsElements, bool keepsOrder, int32_t growthStep)
    : destroy_(destroy), ownsElements_(ownsElements), keepsOrder_(keepsOrder),
      growthStep_(growthStep < 1 ? 1 : growthStep)
{
}

RCListBase::~RCListBase()
{
    Clear();
}

int32_t RCListBase::AddElement(void* element)
{
    if (count_ == capacity_)
        Resize(capacity_ + growthStep_);
    elements_[count_++] = element;
    return count_ - 1;
}

bool RCListBase::RemoveAt(int32_t index)
{
    if (index < 0 || index >= count_)
        return false;
    bool held = elements_[index] != nullptr;
    if (ownsElements_ && held)
        destroy_(elements_[index]);
    --count_;
    if (keepsOrder_) {
        for (int32_t i = index; i < count_; ++i)
            elements_[i] = elements_[i + 1];
    } else {
        elements_[index] = elements_[count_];
    }
    if (capacity_ - count_ >= 2 * growthStep_)
        Resize(capacity_ - growthStep_);
    return held;
}

void RCListBase::Clear()
{
    if (ownsElements_) {
        for (int32_t i = 0; i < count_; ++i) {
            if (elements_[i] != nullptr)
                destroy_(elements_[i]);
        }
    }
    delete[] elements_;
    elements_ = nullptr;
    count_ = 0;
    capacity_ = 0;
}

void RCListBase::Resize(int32_t capacity)
{
    if (capacity <= 0) {
        delete[] elements_;
        elements_ = nullptr;
        capacity_ = 0;
        return;
    }
    void** elements = new void*[capacity];
    if (count_ > 0)
        std::memcpy(elements, elements_, sizeof(void*) * static_cast<size_t>(count_));
    delete[] elements_;
    elements_ = elements;
    capacity_ = capacity;
}
