#include "support/RCDateTime.h"

// Out of line: a listing makes three for every entry.
RCDateTime::RCDateTime() = default;

RCDateTime::~RCDateTime() = default;

void RCDateTime::SetDate(int32_t year, int32_t month, int32_t day)
{
    year_ = year;
    month_ = month;
    day_ = day;
}

void RCDateTime::SetTime(int32_t hour, int32_t minute, int32_t second)
{
    hour_ = hour;
    minute_ = minute;
    second_ = second;
}
