#include "support/EscapedUnit.h"

#include "support/RCAnsiStr.h"

namespace {

int32_t DigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

char* EscapedUnit::Write(uint32_t unit, char* out)
{
    *out++ = kMark;
    for (int32_t shift = 4 * (kDigits - 1); shift >= 0; shift -= 4) {
        const uint32_t digit = (unit >> shift) & 0xF;
        *out++ = static_cast<char>(digit < 10 ? '0' + digit : 'A' + digit - 10);
    }
    return out;
}

bool EscapedUnit::Read(const char* text, uint32_t* unit)
{
    uint32_t value = 0;
    for (int32_t i = 1; i <= kDigits; ++i) {
        const int32_t digit = DigitValue(text[i]); // the terminator is no digit: reading stops there
        if (digit < 0)
            return false;
        value = value << 4 | static_cast<uint32_t>(digit);
    }
    *unit = value;
    return true;
}

bool EscapedUnit::FromUtf8(const char* utf8, RCAnsiStr& into, int32_t* units)
{
    into.Assign(nullptr);
    int32_t count = 0;
    const unsigned char* at = reinterpret_cast<const unsigned char*>(utf8);
    while (*at != 0) {
        char piece[2 * kBytes + 1]; // one character: two units at most
        char* out = piece;
        uint32_t c = *at++;
        ++count;
        if (c < 0x80) {
            *out++ = static_cast<char>(c);
        } else {
            // The lead byte tells the length. 80-BF continue a character
            // and start none; C0 and C1 could only start overlong forms of
            // ASCII; F5-FF would start values beyond U+10FFFF.
            if (c < 0xC2 || c > 0xF4)
                return false;
            int32_t more = 1 + (c >= 0xE0) + (c >= 0xF0);
            c &= 0x3Fu >> more;
            // The least value of each length (of two bytes: any, C2 on).
            const uint32_t least = 1u << (5 * more + 1);
            do {
                // A sequence cut short: the terminator or another lead
                // comes where a continuation byte must.
                if ((*at & 0xC0) != 0x80)
                    return false;
                c = c << 6 | (*at++ & 0x3Fu);
            } while (--more > 0);
            // Overlong (a shorter form exists), beyond U+10FFFF (F4 90 and
            // above), or a surrogate (ED A0 to ED BF), which UTF-8 never holds.
            if (c < least || c > 0x10FFFF || (c & 0xFFFFF800u) == 0xD800)
                return false;
            if (c >= 0x10000) {
                out = Write(0xD7C0 + (c >> 10), out); // 0xD800 + ((c - 0x10000) >> 10)
                c = 0xDC00 | (c & 0x3FF);
                ++count;
            }
            out = Write(c, out);
        }
        *out = '\0';
        into.Append(piece);
    }
    *units = count;
    return true;
}
