// RCListBase: the storage of RCList, the same for every element type: a
// growable array of untyped element pointers that grows by the growth step
// when full and gives a step back when two steps are unused. RCList puts
// the element type on top; this keeps one copy of the code for all of them.
#pragma once
#include <cstdint>

#include "support/RCRoot.h"

class RCListBase : public RCRoot {
public:
    // Deletes one element (of the type the list holds).
    using Destroy = void (*)(void* element);

    ~RCListBase() override;
    RCListBase(const RCListBase&) = delete;
    RCListBase& operator=(const RCListBase&) = delete;

    bool RemoveAt(int32_t index);
    void Clear();
    int32_t Count() const { return count_; }
    int32_t Capacity() const { return capacity_; }

protected:
    // A growth step below 1 counts as 1: a full list must always gain room.
    RCListBase(Destroy destroy, bool ownsElements, bool keepsOrder, int32_t growthStep);

    int32_t AddElement(void* element);
    void* ElementAt(int32_t index) const { return (index < 0 || index >= count_) ? nullptr : elements_[index]; }

private:
    void Resize(int32_t capacity);

    Destroy destroy_;
    bool ownsElements_;
    bool keepsOrder_;
    void** elements_ = nullptr;
    int32_t count_ = 0;
    int32_t capacity_ = 0;
    int32_t growthStep_;
};
