#include "support/RCAnsiStr.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>

#ifdef _WIN32
#include <windows.h>
#else
#include "support/IconvHandle.h"
#endif

namespace {

int32_t TextLength(const char* text)
{
    return text == nullptr ? 0 : static_cast<int32_t>(std::strlen(text));
}

bool InTrailRange(unsigned char b)
{
    return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
}

// The class of a byte taken by itself, before the look-back for Trail.
int32_t ClassOfByte(unsigned char b)
{
    if (b >= 0xA0 && b <= 0xDF)
        return RCAnsiStr::Kana;
    if ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC))
        return RCAnsiStr::Lead;
    if (b < 0x20 || b == 0x7F)
        return RCAnsiStr::Control;
    return RCAnsiStr::Single;
}

// Walks a text from its start and tells the class of each byte. A byte is
// Trail when it is in the trail range and the byte before it is Lead; that
// forward scan gives the same answers as the rule's look-back.
class ClassScanner {
public:
    int32_t Next(unsigned char b)
    {
        int32_t cls = (previousLead_ && InTrailRange(b)) ? RCAnsiStr::Trail : ClassOfByte(b);
        previousLead_ = (cls == RCAnsiStr::Lead);
        return cls;
    }

private:
    bool previousLead_ = false;
};

int32_t SignedByte(char c)
{
    return static_cast<int32_t>(static_cast<signed char>(c));
}

#ifdef _WIN32
unsigned CodePageOf(int8_t tag)
{
    return tag == RCAnsiStr::kUtf8 ? CP_UTF8 : CP_ACP;
}
#else
// The host build takes the ANSI code page to be Shift-JIS (code page 932),
// the one this program is written for, and converts through iconv.
const char* CharsetOf(int8_t tag)
{
    return tag == RCAnsiStr::kUtf8 ? "UTF-8" : "CP932";
}

// Converts inLength bytes into out (zero-terminated). Fails on an invalid or
// incomplete sequence, on a character the target cannot hold, and when
// a non-empty input gives nothing (as a count of 0 does on Windows).
bool IconvConvert(const char* from, const char* to, const char* in, int32_t inLength,
                  std::unique_ptr<char[]>& out)
{
    IconvHandle cd(to, from);
    if (!cd.IsOpen())
        return false;
    // Either way between Shift-JIS and UTF-8 a byte becomes at most three.
    size_t room = static_cast<size_t>(inLength) * 4 + 4;
    std::unique_ptr<char[]> buffer(new char[room]);
    char* src = const_cast<char*>(in); // iconv's interface is not const-correct
    size_t srcLeft = static_cast<size_t>(inLength);
    char* dst = buffer.get();
    size_t dstLeft = room - 1;
    if (iconv(cd.Get(), &src, &srcLeft, &dst, &dstLeft) == static_cast<size_t>(-1))
        return false;
    if (srcLeft != 0 || dst == buffer.get())
        return false;
    *dst = '\0';
    out = std::move(buffer);
    return true;
}
#endif

int8_t AcceptedTag(int8_t tag, bool* accepted)
{
    if (tag == RCAnsiStr::kDefault)
        tag = RCAnsiStr::kAnsi;
    *accepted = (tag == RCAnsiStr::kRaw || tag == RCAnsiStr::kAnsi || tag == RCAnsiStr::kUtf8);
    return tag;
}

} // namespace

// A negative growth step would make a replacement buffer smaller than its
// content; it is taken as 0.
RCAnsiStr::RCAnsiStr(const char* initial, int32_t growth, int8_t encoding) : growth_(growth < 0 ? 0 : growth)
{
    bool accepted = false;
    int8_t tag = AcceptedTag(encoding, &accepted);
    encoding_ = accepted ? tag : kAnsi;
    Assign(initial);
}

RCAnsiStr::RCAnsiStr() : RCAnsiStr(nullptr) {}

RCAnsiStr::~RCAnsiStr()
{
    delete[] text_;
}

char* RCAnsiStr::Prepare(int32_t need, int32_t keep)
{
    if (text_ != nullptr && need <= capacity_ && need > capacity_ - 2 * growth_)
        return nullptr; // neither too small nor too large: reuse it
    int32_t capacity = need + growth_;
    char* buffer = new char[capacity];
    if (keep > 0)
        std::memcpy(buffer, text_, static_cast<size_t>(keep));
    buffer[keep] = '\0';
    char* old = text_;
    text_ = buffer;
    capacity_ = capacity;
    return old;
}

const char* RCAnsiStr::Assign(const char* text)
{
    int32_t n = TextLength(text);
    // The text may lie inside the old buffer: release it only after the copy.
    std::unique_ptr<char[]> old(Prepare(n + 1, 0));
    if (n > 0)
        std::memmove(text_, text, static_cast<size_t>(n));
    text_[n] = '\0';
    length_ = n;
    return text_;
}

const char* RCAnsiStr::Append(const char* text)
{
    if (text == nullptr)
        return text_;
    int32_t n = TextLength(text);
    std::unique_ptr<char[]> old(Prepare(length_ + n + 1, length_));
    if (n > 0)
        std::memmove(text_ + length_, text, static_cast<size_t>(n));
    length_ += n;
    text_[length_] = '\0';
    return text_;
}

const char* RCAnsiStr::Assign(const RCAnsiStr& other)
{
    if (&other == this || other.encoding_ == encoding_)
        return Assign(other.text_);
    int8_t own = encoding_;
    encoding_ = other.encoding_;
    Assign(other.text_);
    SetEncoding(own, true); // on failure the text stays under the other's tag
    return text_;
}

const char* RCAnsiStr::Append(const RCAnsiStr& other)
{
    if (&other == this || other.encoding_ == encoding_)
        return Append(other.text_);
    RCAnsiStr converted(nullptr, 10, encoding_);
    converted.Assign(other);
    return Append(converted.text_);
}

// The result is cut at kFormatBuffer - 1 bytes: never past the scratch buffer.
const char* RCAnsiStr::Format(const char* format, ...)
{
    if (format == nullptr)
        return Assign("");
    char scratch[kFormatBuffer];
    scratch[0] = '\0';
    va_list args;
    va_start(args, format);
#ifdef _WIN32
    // The C runtime's own formatter. Given kFormatBuffer - 1 it writes at
    // most that many bytes, without a terminator when it had to cut (or when
    // the result fills them exactly): the last byte is kept for it.
    _vsnprintf(scratch, kFormatBuffer - 1, format, args);
#else
    if (vsnprintf(scratch, kFormatBuffer, format, args) < 0)
        scratch[0] = '\0'; // an encoding error leaves the buffer undefined
#endif
    va_end(args);
    scratch[kFormatBuffer - 1] = '\0';
    return Assign(scratch);
}

bool RCAnsiStr::SetEncoding(int8_t tag, bool convert)
{
    bool accepted = false;
    tag = AcceptedTag(tag, &accepted);
    if (!accepted)
        return false;
    if (convert && !Convert(encoding_, tag))
        return false;
    encoding_ = tag;
    return true;
}

bool RCAnsiStr::Convert(int8_t from, int8_t to)
{
    if (length_ == 0 || from == to || from == kRaw)
        return true;
#ifdef _WIN32
    int wideCount = MultiByteToWideChar(CodePageOf(from), 0, text_, length_, nullptr, 0);
    if (wideCount == 0)
        return false;
    std::unique_ptr<wchar_t[]> wide(new wchar_t[wideCount + 1]);
    if (MultiByteToWideChar(CodePageOf(from), 0, text_, length_, wide.get(), wideCount) == 0)
        return false;
    unsigned target = CodePageOf(to);
    int count = WideCharToMultiByte(target, 0, wide.get(), wideCount, nullptr, 0, nullptr, nullptr);
    if (count == 0)
        return false;
    std::unique_ptr<char[]> bytes(new char[count + 1]);
    if (WideCharToMultiByte(target, 0, wide.get(), wideCount, bytes.get(), count, nullptr, nullptr) == 0)
        return false;
    bytes[count] = '\0';
    Assign(bytes.get());
    return true;
#else
    std::unique_ptr<char[]> bytes;
    if (!IconvConvert(CharsetOf(from), CharsetOf(to), text_, length_, bytes))
        return false;
    Assign(bytes.get());
    return true;
#endif
}

int32_t RCAnsiStr::Compare(const char* text) const
{
    int r = std::strcmp(text_, text == nullptr ? "" : text); // strcmp compares as unsigned char
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

bool RCAnsiStr::Equals(const char* text) const
{
    return Compare(text) == 0;
}

int32_t RCAnsiStr::ByteAt(int32_t pos) const
{
    if (pos < 0 || pos >= length_)
        return -1;
    return SignedByte(text_[pos]);
}

int32_t RCAnsiStr::CharAt(int32_t pos) const
{
    if (pos < 0 || pos >= length_ || CharClass(pos) == Trail)
        return -1;
    return SignedByte(text_[pos]);
}

int32_t RCAnsiStr::FirstByte() const
{
    return ByteAt(0);
}

int32_t RCAnsiStr::LastChar() const
{
    return CharAt(length_ - 1);
}

const char* RCAnsiStr::SetByteAt(int32_t pos, char byte)
{
    if (pos < 0 || pos >= length_)
        return nullptr;
    text_[pos] = byte;
    // A zero byte ends the text there: the length is always measured up to
    // the first zero, and the bytes after it would otherwise linger unseen.
    if (byte == '\0')
        length_ = pos;
    return text_;
}

int32_t RCAnsiStr::CharClass(int32_t pos) const
{
    if (pos < 0 || pos > length_)
        return -1;
    ClassScanner scanner;
    int32_t cls = Control;
    for (int32_t i = 0; i <= pos; ++i)
        cls = scanner.Next(static_cast<unsigned char>(text_[i]));
    return cls;
}

int32_t RCAnsiStr::FindChar(int32_t ch) const
{
    ClassScanner scanner;
    for (int32_t i = 0; i < length_; ++i) {
        if (scanner.Next(static_cast<unsigned char>(text_[i])) != Trail && SignedByte(text_[i]) == SignedByte(static_cast<char>(ch)))
            return i;
    }
    return -1;
}

int32_t RCAnsiStr::FindLastChar(int32_t ch) const
{
    ClassScanner scanner;
    int32_t found = -1;
    for (int32_t i = 0; i < length_; ++i) {
        if (scanner.Next(static_cast<unsigned char>(text_[i])) != Trail && SignedByte(text_[i]) == SignedByte(static_cast<char>(ch)))
            found = i;
    }
    return found;
}

int32_t RCAnsiStr::FindText(const char* needle, int32_t start) const
{
    if (needle == nullptr || start < 0 || start > length_)
        return -1;
    const char* hit = std::strstr(text_ + start, needle);
    return hit == nullptr ? -1 : static_cast<int32_t>(hit - text_);
}

int32_t RCAnsiStr::LeadOf(int32_t pos) const
{
    while (pos > 0 && CharClass(pos) == Trail)
        --pos;
    return pos;
}

void RCAnsiStr::Splice(int32_t headEnd, const char* middle, int32_t tailStart)
{
    // Built in a temporary and assigned back, so the buffer rule applies to
    // the final length.
    RCAnsiStr result(text_);
    result.text_[headEnd] = '\0';
    result.length_ = headEnd;
    result.Append(middle);
    result.Append(text_ + tailStart);
    Assign(result.text_);
}

const char* RCAnsiStr::DeleteChar(int32_t pos)
{
    if (pos < 0 || pos >= length_)
        return text_;
    int32_t lead = LeadOf(pos);
    int32_t end = lead + 1;
    while (end < length_ && CharClass(end) == Trail)
        ++end;
    Splice(lead, nullptr, end);
    return text_;
}

const char* RCAnsiStr::DeleteFirstChar()
{
    return DeleteChar(0);
}

const char* RCAnsiStr::DeleteLastChar()
{
    return DeleteChar(length_ - 1);
}

const char* RCAnsiStr::KeepAfter(int32_t pos)
{
    if (pos < 0)
        return text_;
    if (pos >= length_)
        return Assign("");
    // After a lead byte the next byte belongs to the character whatever its
    // class; from there every following trail byte does too.
    int32_t end = pos + (CharClass(pos) == Lead ? 2 : 1);
    if (end > length_)
        return Assign(""); // a lone lead byte ends the text
    while (end < length_ && CharClass(end) == Trail)
        ++end;
    Splice(0, nullptr, end);
    return text_;
}

const char* RCAnsiStr::KeepBefore(int32_t pos)
{
    if (pos >= length_)
        return text_;
    if (pos < 0)
        return Assign("");
    Splice(LeadOf(pos), nullptr, length_);
    return text_;
}

const char* RCAnsiStr::Insert(int32_t pos, const char* text)
{
    if (text == nullptr || *text == '\0')
        return text_;
    if (pos < 0)
        pos = 0;
    if (pos > length_)
        pos = length_;
    int32_t lead = LeadOf(pos);
    Splice(lead, text, lead);
    return text_;
}

int32_t RCAnsiStr::ToInt() const
{
    return ParseInt(text_);
}

int32_t RCAnsiStr::ParseInt(const char* text)
{
    if (text == nullptr)
        return 0;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-')
        negative = (*p++ == '-');
    uint32_t value = 0; // unsigned arithmetic: overflow wraps around
    while (*p >= '0' && *p <= '9')
        value = value * 10u + static_cast<uint32_t>(*p++ - '0');
    if (negative)
        value = 0u - value;
    return static_cast<int32_t>(value);
}
