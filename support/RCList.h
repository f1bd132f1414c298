// RCList: a growable list of object pointers, optionally owning them.
// Storage grows by the growth step when full and gives a step back when two
// steps are unused (RCListBase: one copy of that code for every element
// type). Every list in this program owns its elements, keeps their order
// and grows by 10.
#pragma once
#include <cstdint>

#include "support/RCListBase.h"

template <typename T>
class RCList : public RCListBase {
public:
    // A growth step below 1 counts as 1: a full list must always gain room.
    explicit RCList(bool ownsElements = true, bool keepsOrder = true, int32_t growthStep = 10)
        : RCListBase(&DestroyElement, ownsElements, keepsOrder, growthStep)
    {
    }
    ~RCList() override = default;

    // Takes the element (owned when the list owns its elements); returns its index.
    int32_t Add(T* element) { return AddElement(element); }
    T* Item(int32_t index) const { return static_cast<T*>(ElementAt(index)); }

private:
    static void DestroyElement(void* element) { delete static_cast<T*>(element); }
};
