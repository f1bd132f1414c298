#include "tools/NameCodec.h"

#include <cstdint>
#include <cstdio>
#include <vector>

#include "support/EscapedUnit.h"

#ifdef _WIN32
#include <windows.h>

#include "tools/WideText.h"

namespace {

// Code page 932 bytes as UTF-16; false when they are not code page 932.
bool WideFromCp932(const std::string& cp932, std::wstring& wide)
{
    const int length = static_cast<int>(cp932.size());
    int n = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, cp932.data(), length, nullptr, 0);
    if (n <= 0)
        return false;
    wide.assign(static_cast<size_t>(n), L'\0');
    return MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, cp932.data(), length, &wide[0], n) == n;
}

} // namespace

struct NameCodec::Impl {};

NameCodec::NameCodec() : impl_(new Impl) {}
NameCodec::~NameCodec() = default;

bool NameCodec::ToArchive(const std::string& utf8, std::string& cp932)
{
    cp932.clear();
    if (utf8.empty())
        return true;
    std::wstring wide = WideText::FromUtf8(utf8);
    if (wide.empty())
        return false;
    // No best-fit mapping: a character without an exact form sets usedDefault.
    BOOL usedDefault = FALSE;
    int n = WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                nullptr, &usedDefault);
    if (n <= 0 || usedDefault)
        return false;
    cp932.assign(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()), &cp932[0], n, nullptr,
                        &usedDefault);
    // Read back: the name must come out as it went in.
    std::wstring again;
    if (!WideFromCp932(cp932, again) || again != wide) {
        cp932.clear();
        return false;
    }
    return true;
}

bool NameCodec::FromCp932(const std::string& cp932, std::string& utf8)
{
    utf8.clear();
    if (cp932.empty())
        return true;
    std::wstring wide;
    if (!WideFromCp932(cp932, wide))
        return false;
    utf8 = WideText::ToUtf8(wide.c_str(), static_cast<int>(wide.size()));
    return true;
}

bool NameCodec::FoldKey(const std::string& utf8, std::u32string& key)
{
    key.clear();
    if (utf8.empty())
        return true;
    std::wstring wide = WideText::FromUtf8(utf8);
    if (wide.empty())
        return false;
    // Upper case as the file system compares names (its rule, not the
    // linguistic one), one UTF-16 unit at a time: the two units of a
    // character beyond U+FFFF keep their case, which some versions of
    // LCMapString would change for the pair.
    for (wchar_t c : wide) {
        wchar_t upper = c;
        if ((c < 0xD800 || c > 0xDFFF) && LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, &c, 1, &upper, 1) != 1)
            return false;
        key.push_back(static_cast<char32_t>(static_cast<uint16_t>(upper)));
    }
    return true;
}

#else
#include <cerrno>
#include <locale.h>
#include <wctype.h>

#include "support/IconvHandle.h"

namespace {

// One iconv conversion, reset before each use.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(to, from) {}

    // Whole input or nothing: false on an invalid or unconvertible byte.
    bool Run(const std::string& in, std::string& out)
    {
        out.clear();
        if (!cd_.IsOpen())
            return false;
        iconv(cd_.Get(), nullptr, nullptr, nullptr, nullptr);
        std::vector<char> buffer(in.size() * 4 + 16);
        char* src = const_cast<char*>(in.data());
        size_t srcLeft = in.size();
        char* dst = buffer.data();
        size_t dstLeft = buffer.size();
        if (iconv(cd_.Get(), &src, &srcLeft, &dst, &dstLeft) == static_cast<size_t>(-1) || srcLeft != 0)
            return false;
        // Shift states (none in these charsets, but flush as the rules ask).
        if (iconv(cd_.Get(), nullptr, nullptr, &dst, &dstLeft) == static_cast<size_t>(-1))
            return false;
        out.assign(buffer.data(), static_cast<size_t>(dst - buffer.data()));
        return true;
    }

private:
    IconvHandle cd_;
};

} // namespace

struct NameCodec::Impl {
    Converter toCp932{"CP932", "UTF-8"};
    Converter fromCp932{"UTF-8", "CP932"};
    Converter toUtf32{"UTF-32LE", "UTF-8"};
    // Unicode upper case; without the C.UTF-8 locale only ASCII letters fold.
    locale_t utf8Locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));

    ~Impl()
    {
        if (utf8Locale != static_cast<locale_t>(0))
            freelocale(utf8Locale);
    }
};

NameCodec::NameCodec() : impl_(new Impl) {}
NameCodec::~NameCodec() = default;

bool NameCodec::ToArchive(const std::string& utf8, std::string& cp932)
{
    std::string back;
    // iconv's CP932 table maps some characters one way only (U+00A5 to
    // 0x5C, U+301C to 0x8160): the round trip finds them.
    if (!impl_->toCp932.Run(utf8, cp932) || !impl_->fromCp932.Run(cp932, back) || back != utf8) {
        cp932.clear();
        return false;
    }
    return true;
}

bool NameCodec::FromCp932(const std::string& cp932, std::string& utf8)
{
    return impl_->fromCp932.Run(cp932, utf8);
}

bool NameCodec::FoldKey(const std::string& utf8, std::u32string& key)
{
    key.clear();
    std::string units;
    if (!impl_->toUtf32.Run(utf8, units))
        return false;
    for (size_t i = 0; i + 4 <= units.size(); i += 4) {
        const unsigned char* p = reinterpret_cast<const unsigned char*>(units.data() + i);
        uint32_t c = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                     static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
        // The file system folds one UTF-16 unit at a time: characters
        // beyond U+FFFF, a pair of surrogates, keep their case.
        if (c < 0x10000 && impl_->utf8Locale != static_cast<locale_t>(0))
            c = static_cast<uint32_t>(towupper_l(static_cast<wint_t>(c), impl_->utf8Locale));
        else if (c >= 'a' && c <= 'z')
            c -= 'a' - 'A';
        key.push_back(static_cast<char32_t>(c));
    }
    return true;
}
#endif

namespace {

void AppendUtf8(uint32_t c, std::string& utf8)
{
    if (c < 0x80) {
        utf8 += static_cast<char>(c);
        return;
    }
    const int more = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
    utf8 += static_cast<char>(((0xFF00u >> (more + 1)) & 0xFFu) | (c >> (6 * more))); // C0, E0, F0 and the top bits
    for (int shift = 6 * (more - 1); shift >= 0; shift -= 6)
        utf8 += static_cast<char>(0x80u | ((c >> shift) & 0x3Fu));
}

bool IsSurrogate(uint32_t unit, uint32_t first)
{
    return unit >= first && unit < first + 0x400;
}

} // namespace

bool NameCodec::FromArchive(const std::string& archive, std::string& utf8)
{
    utf8.clear();
    std::string run;
    size_t at = 0;
    while (at < archive.size()) {
        // Shift-JIS up to the next escaped unit, converted whole.
        size_t mark = archive.find(EscapedUnit::kMark, at);
        if (mark == std::string::npos)
            mark = archive.size();
        if (!FromCp932(archive.substr(at, mark - at), run))
            return false;
        utf8 += run;
        at = mark;
        if (at == archive.size())
            break;
        // One unit, or a surrogate pair: one character beyond U+FFFF.
        uint32_t unit = 0, low = 0;
        if (!EscapedUnit::Read(archive.c_str() + at, &unit) || IsSurrogate(unit, 0xDC00))
            return false;
        at += EscapedUnit::kBytes;
        if (IsSurrogate(unit, 0xD800)) {
            if (at >= archive.size() || archive[at] != EscapedUnit::kMark || !EscapedUnit::Read(archive.c_str() + at, &low) ||
                !IsSurrogate(low, 0xDC00))
                return false;
            at += EscapedUnit::kBytes;
            unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
        }
        AppendUtf8(unit, utf8);
    }
    return true;
}

std::string NameCodec::Shown(const std::string& cp932)
{
    std::string utf8;
    if (FromArchive(cp932, utf8))
        return utf8;
    std::string shown;
    for (char c : cp932) {
        const unsigned char b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b < 0x7F) {
            shown += c;
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", b);
            shown += escaped;
        }
    }
    return shown;
}
