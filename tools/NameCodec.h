// NameCodec: turns host names (UTF-8) into archive names (Shift-JIS, code
// page 932), and tells when Windows would take two names to be the same.
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
    // The other way, for showing archive names: false when the bytes are
    // not code page 932.
    bool FromArchive(const std::string& cp932, std::string& utf8);
    // An archive name or path for a message or a listing: UTF-8 as
    // FromArchive gives it; bytes that are not code page 932 are shown as
    // "\xNN" (and a backslash that stands for itself stays one), so that
    // no raw Shift-JIS ever reaches the terminal.
    std::string Shown(const std::string& cp932);

    // A key that is equal for two names exactly when Windows takes them
    // to be the same name: the name's characters in upper case ("Setup.EXE"
    // and "setup.exe", or full-width "Ａ" and "ａ", share one key). False
    // when the name is not valid UTF-8.
    bool FoldKey(const std::string& utf8, std::u32string& key);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
