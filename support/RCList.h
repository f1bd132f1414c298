// RCList: a growable list of object pointers, optionally owning them.
// Storage grows by the growth step when full and gives a step back when two
// steps are unused. Every list in this program owns its elements, keeps
// their order and grows by 10.
#pragma once
#include <cstdint>
#include <cstring>

#include "support/RCRoot.h"

template <typename T>
class RCList : public RCRoot {
public:
    // A growth step below 1 counts as 1: a full list must always gain room.
    explicit RCList(bool ownsElements = true, bool keepsOrder = true, int32_t growthStep = 10)
        : ownsElements_(ownsElements), keepsOrder_(keepsOrder), growthStep_(growthStep < 1 ? 1 : growthStep)
    {
    }
    ~RCList() override { Clear(); }
    RCList(const RCList&) = delete;
    RCList& operator=(const RCList&) = delete;

    // Takes the element (owned when the list owns its elements); returns its index.
    // Add and Clear stay out of line: inlined at each use they would repeat
    // the growth and the element destructors there.
    __attribute__((noinline)) int32_t Add(T* element)
    {
        if (count_ == capacity_)
            Resize(capacity_ + growthStep_);
        elements_[count_++] = element;
        return count_ - 1;
    }

    bool RemoveAt(int32_t index)
    {
        if (index < 0 || index >= count_)
            return false;
        bool held = elements_[index] != nullptr;
        if (ownsElements_)
            delete elements_[index];
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

    __attribute__((noinline)) void Clear()
    {
        if (ownsElements_) {
            for (int32_t i = 0; i < count_; ++i)
                delete elements_[i];
        }
        delete[] elements_;
        elements_ = nullptr;
        count_ = 0;
        capacity_ = 0;
    }

    T* Item(int32_t index) const { return (index < 0 || index >= count_) ? nullptr : elements_[index]; }
    int32_t Count() const { return count_; }
    int32_t Capacity() const { return capacity_; }

private:
    void Resize(int32_t capacity)
    {
        if (capacity <= 0) {
            delete[] elements_;
            elements_ = nullptr;
            capacity_ = 0;
            return;
        }
        T** elements = new T*[capacity];
        if (count_ > 0)
            std::memcpy(elements, elements_, sizeof(T*) * static_cast<size_t>(count_));
        delete[] elements_;
        elements_ = elements;
        capacity_ = capacity;
    }

    bool ownsElements_;
    bool keepsOrder_;
    T** elements_ = nullptr;
    int32_t count_ = 0;
    int32_t capacity_ = 0;
    int32_t growthStep_;
};
