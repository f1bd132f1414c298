// A scratch folder of a test's own on the C: drive of the Wine prefix
// (never on Z:, the Linux root): made empty on construction, removed with
// everything in it on destruction. Uses the plain Windows calls, not the
// code under test.
#pragma once
#include <string>

class ScratchFolder {
public:
    // C:\qmtest\<name>-<process id>
    explicit ScratchFolder(const char* name);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& Path() const { return path_; }
    // Path() + "\" + relative
    std::string Join(const std::string& relative) const;

    // Helpers for fixtures: write a file (creating its folders), read one back.
    bool WriteFile(const std::string& relative, const std::string& bytes) const;
    static bool ReadFile(const std::string& path, std::string* bytes);
    static void RemoveAll(const std::string& path);

private:
    std::string path_;
};
