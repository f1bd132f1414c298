// Test helper (POSIX hosts): a fresh folder under the temporary directory,
// removed with everything in it when the object goes.
#pragma once
#include <cstdint>
#include <string>

class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& Path() const { return path_; }
    std::string Join(const std::string& relative) const { return path_ + "/" + relative; }

    // Makes the folders on the way; relative paths use "/".
    bool MakeFolder(const std::string& relative) const;
    bool WriteFile(const std::string& relative, const std::string& bytes) const;
    static bool ReadFile(const std::string& path, std::string* bytes);

private:
    std::string path_;
};
