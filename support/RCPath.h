// RCPath: a Windows path kept as a list of components and as the text joined
// from them, rebuilt after every change.
//
// SetPath splits a text into components, takes a relative text against the
// folder of the program's own executable (never the current directory), and
// applies "." and ".." components. Separators are backslashes, found by the
// Shift-JIS rules: the second byte of a double-byte character is never one.
// A relative text leaves the path empty when the program's own folder cannot
// be had (it is never taken as a server name or against another folder).
#pragma once
#include <cstdint>
#include <memory>

#include "support/RCAnsiStr.h"
#include "support/RCList.h"
#include "support/RCRoot.h"

class RCPath : public RCRoot {
public:
    explicit RCPath(const char* text = nullptr);
    ~RCPath() override;
    RCPath(const RCPath&) = delete;
    RCPath& operator=(const RCPath&) = delete;

    bool SetPath(const char* text);
    int32_t AppendComponent(const char* component);
    bool RemoveLast();

    int32_t Count() const;
    // The texts below belong to the path and stay valid until its next change.
    const char* Component(int32_t index) const;
    const char* Last() const;
    const char* Extension() const;
    const char* Text() const { return text_.Text(); }

private:
    void Rebuild();

    std::unique_ptr<RCList<RCAnsiStr>> components_;
    RCAnsiStr text_;
};

// Well-known folders. Buffers hold kMaxPath bytes, the Windows path limit.
constexpr int32_t kMaxPath = 260;

// Fills buffer with the file-system path of a shell special folder (empty
// when the shell knows none); false only when the shell's allocator could
// not be had, and then the buffer is untouched.
bool GetSpecialFolder(int32_t folder, char* buffer);
// The full name of the program's own executable (empty if it cannot be had).
bool SetToModuleFile(RCPath& path);
// The Windows directory.
bool SetToWindowsDirectory(RCPath& path);
// The current user's application-data folder, or the Windows directory when
// that cannot be found.
bool SetToAppDataFolder(RCPath& path);
