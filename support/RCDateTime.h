// RCDateTime: the calendar date and the time of day of a folder entry, as
// plain numbers (UTC in listings; no time zone, no milliseconds). SetDate and
// SetTime store their values unchecked.
#pragma once
#include <cstdint>

#include "support/RCRoot.h"

class RCDateTime : public RCRoot {
public:
    RCDateTime();             // year 0, 1 January, 00:00:00
    ~RCDateTime() override;
    RCDateTime(const RCDateTime&) = delete;
    RCDateTime& operator=(const RCDateTime&) = delete;

    void SetDate(int32_t year, int32_t month, int32_t day);
    void SetTime(int32_t hour, int32_t minute, int32_t second);

    int32_t Year() const { return year_; }
    int32_t Month() const { return month_; }
    int32_t Day() const { return day_; }
    int32_t Hour() const { return hour_; }
    int32_t Minute() const { return minute_; }
    int32_t Second() const { return second_; }

private:
    int32_t year_ = 0;
    int32_t month_ = 1;
    int32_t day_ = 1;
    int32_t hour_ = 0;
    int32_t minute_ = 0;
    int32_t second_ = 0;
};
