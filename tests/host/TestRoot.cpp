// RCRoot and NotifyIfPresent: an absent target answers -1, a present one
// answers for itself (0 unless its class gives the code a meaning).
#include <gtest/gtest.h>

#include "support/RCRoot.h"

namespace {

class Listener : public RCRoot {
public:
    int32_t Notify(RCRoot* sender, int32_t code, int32_t value, int32_t extra) override
    {
        lastSender = sender;
        return code * 100 + value * 10 + extra;
    }
    RCRoot* lastSender = nullptr;
};

} // namespace

TEST(Root, NotifyIfPresent)
{
    RCRoot plain;
    Listener listener;
    EXPECT_EQ(NotifyIfPresent(nullptr, &plain, 1, 2, 3), -1);
    EXPECT_EQ(NotifyIfPresent(&plain, &listener, 1, 2, 3), 0);
    EXPECT_EQ(NotifyIfPresent(&listener, &plain, 1, 2, 3), 123);
    EXPECT_EQ(listener.lastSender, &plain);
}
