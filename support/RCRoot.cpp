#include "support/RCRoot.h"

RCRoot::~RCRoot() = default;

int32_t RCRoot::Notify(RCRoot*, int32_t, int32_t, int32_t)
{
    return 0;
}

int32_t NotifyIfPresent(RCRoot* target, RCRoot* sender, int32_t code, int32_t value, int32_t extra)
{
    if (target == nullptr)
        return -1;
    return target->Notify(sender, code, value, extra);
}
