// RCRoot: the polymorphic base of every RC class. Objects that link to one
// another (a stream and its transform stages) keep each other informed
// through Notify.
#pragma once
#include <cstdint>

class RCRoot {
public:
    RCRoot() = default;
    virtual ~RCRoot();
    // Returns 0 unless a derived class gives the code a meaning.
    virtual int32_t Notify(RCRoot* sender, int32_t code, int32_t value, int32_t extra);
};

// Sends Notify to target when there is one; -1 when target is null.
int32_t NotifyIfPresent(RCRoot* target, RCRoot* sender, int32_t code, int32_t value, int32_t extra);
