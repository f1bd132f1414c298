// RCAnsiStr: a growable, zero-terminated byte string that owns its buffer.
//
// Character-level operations follow the Shift-JIS (code page 932) double-byte
// rules whatever the system's code page: a 0x5C that is the second byte of a
// double-byte character is never a backslash, and a double-byte character is
// never split. ByteAt, SetByteAt, FindText, Compare and Equals work on plain
// bytes. A null text argument counts as the empty text.
#pragma once
#include <cstdint>

#include "support/RCRoot.h"

class RCAnsiStr : public RCRoot {
public:
    // Encoding tags: what the bytes are.
    static constexpr int8_t kRaw = 0;      // taken as they are, never converted
    static constexpr int8_t kAnsi = 1;     // the ANSI code page
    static constexpr int8_t kUtf8 = 3;     // UTF-8
    static constexpr int8_t kDefault = -1; // stands for kAnsi

    // Character classes (CharClass).
    enum Class : int32_t { Single = 0, Lead = 1, Trail = 2, Kana = 3, Control = 4 };

    // Formatted results, terminator included, fit in this many bytes; Format
    // cuts a longer result.
    static constexpr int32_t kFormatBuffer = 8192;

    // Empty, growth 10, the ANSI code page; out of line, as most strings
    // start so.
    RCAnsiStr();
    explicit RCAnsiStr(const char* initial, int32_t growth = 10, int8_t encoding = kDefault);
    ~RCAnsiStr() override;
    RCAnsiStr(const RCAnsiStr&) = delete;
    RCAnsiStr& operator=(const RCAnsiStr&) = delete;

    const char* Text() const { return text_; }
    int32_t Length() const { return length_; }
    int32_t Capacity() const { return capacity_; }
    int8_t Encoding() const { return encoding_; }

    // Setting and growing; each returns the text after the change.
    const char* Assign(const char* text);
    const char* Assign(const RCAnsiStr& other);
    const char* Append(const char* text);
    const char* Append(const RCAnsiStr& other);
    const char* Format(const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;
    bool SetEncoding(int8_t tag, bool convert);

    // Comparing, byte-wise with bytes taken as unsigned.
    int32_t Compare(const char* text) const;
    bool Equals(const char* text) const;

    // Single bytes, returned as signed 8-bit values widened to int32 (so a
    // byte 0xFF reads as -1, the same as a missing one). SetByteAt returns
    // null when pos is out of range; writing a zero byte ends the text there.
    int32_t ByteAt(int32_t pos) const;
    int32_t CharAt(int32_t pos) const;
    int32_t FirstByte() const;
    int32_t LastChar() const;
    const char* SetByteAt(int32_t pos, char byte);
    int32_t CharClass(int32_t pos) const;

    // Searching; -1 when nothing is found.
    int32_t FindChar(int32_t ch) const;
    int32_t FindLastChar(int32_t ch) const;
    int32_t FindText(const char* needle, int32_t start) const;

    // Editing; a double-byte character is always one unit.
    const char* DeleteChar(int32_t pos);
    const char* DeleteFirstChar();
    const char* DeleteLastChar();
    const char* KeepAfter(int32_t pos);
    const char* KeepBefore(int32_t pos);
    const char* Insert(int32_t pos, const char* text);

    // The C atoi rules, with 32-bit wrap-around: leading white space, one
    // optional sign, decimal digits up to the first non-digit; 0 without
    // digits. ParseInt applies them to any text (null counts as empty).
    int32_t ToInt() const;
    static int32_t ParseInt(const char* text);

private:
    // Applies the buffer rule for a content of need bytes (terminator
    // included), keeping the first keep bytes of the content. Returns the
    // replaced buffer, for the caller to release once it has copied from it,
    // or null when the buffer was reused.
    char* Prepare(int32_t need, int32_t keep);
    bool Convert(int8_t from, int8_t to);
    int32_t LeadOf(int32_t pos) const;   // moves back to the lead byte
    void Splice(int32_t headEnd, const char* middle, int32_t tailStart);

    char* text_ = nullptr;
    int32_t capacity_ = 0;
    int32_t length_ = 0;
    int32_t growth_;
    int8_t encoding_ = kAnsi;
};
