// NameCodec: turns host names (UTF-8) into archive names (Shift-JIS, code
// page 932) and archive names as the record loop gives them (Shift-JIS, with
// characters beyond it as escaped units, support/EscapedUnit.h) into UTF-8,
// and tells when Windows would take two names to be the same.
#pragma once
#include <memory>
#include <string>

class NameCodec {
public:
    NameCodec();
    ~NameCodec();
    NameCodec(const NameCodec&) = delete;
    NameCodec& operator=(const NameCodec&) = delete;

    // The code page 932 bytes of a UTF-8 name. False when the name is not
    // valid UTF-8, or holds a character that code page 932 cannot hold
    // exactly: one with no form there, or one that would read back as
    // another character (the yen sign would turn into a backslash, the
    // wave dash into a full-width tilde).
    bool ToArchive(const std::string& utf8, std::string& cp932);
    // The other way, for showing and making archive names, of either kind
    // as the record loop gives them: Shift-JIS with escaped units. False
    // when the bytes are not code page 932 or an escaped unit is broken (a
    // surrogate without its other half).
    bool FromArchive(const std::string& archive, std::string& utf8);
    // An archive name or path for a message or a listing: UTF-8 as
    // FromArchive gives it; bytes that are not code page 932 are shown as
    // "\xNN" (and a backslash that stands for itself stays one), so that
    // no raw Shift-JIS ever reaches the terminal.
    std::string Shown(const std::string& cp932);

    // A key that is equal for two names when Windows takes them to be the
    // same name: the name's characters in upper case as the file system
    // folds them, one UTF-16 unit at a time ("Setup.EXE" and "setup.exe",
    // full-width "Ａ" and "ａ", "É" and "é" share one key; a character beyond
    // U+FFFF keeps its case). On Windows the system's own rule; elsewhere the
    // C library's Unicode tables, newer than those of older Windows: a pair
    // that only a newer Windows folds (Georgian capitals, say) shares a key
    // too, so that no Windows meets two names for one. False when the name
    // is not valid UTF-8.
    bool FoldKey(const std::string& utf8, std::u32string& key);

private:
    // Code page 932 bytes into UTF-8; false when they are not code page 932.
    bool FromCp932(const std::string& cp932, std::string& utf8);

    struct Impl;
    std::unique_ptr<Impl> impl_;
};
