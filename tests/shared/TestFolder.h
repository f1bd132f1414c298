// A test program's own scratch folder: under the system's temporary folder
// on Linux, C:\qmtest\<name>-<process id> in the Wine prefix on Windows
// (never Z:, the Linux root). Made empty on construction; removed with
// everything in it on destruction. Uses the plain system calls, never the
// code under test.
#pragma once
#include <string>

class TestFolder {
public:
    explicit TestFolder(const char* name);
    ~TestFolder();
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;

    bool Made() const { return !path_.empty(); }
    const std::string& Path() const { return path_; }
    // Path() + separator + relative; relative uses the platform's separator
    // ("\" on Windows, "/" elsewhere).
    std::string Join(const std::string& relative) const;

    // Makes the folder and every missing one on the way.
    bool MakeFolder(const std::string& relative) const;
    // Writes bytes to a file, making its folders first.
    bool WriteFile(const std::string& relative, const std::string& bytes) const;
    // A name that no file of the folder has had from this object ("n1",
    // "n2", ...), and bytes written to a file of such a name: its path, or
    // an empty text when that failed.
    std::string NewName();
    std::string WriteNew(const std::string& bytes);

    // Every missing folder of an absolute path, Shift-JIS names included.
    static bool MakeFolders(const std::string& path);
    // The whole content of a file; false when it cannot be opened or read.
    static bool ReadFile(const std::string& path, std::string* bytes);
    // Removes a file, or a folder with everything in it (links as links).
    static void RemoveAll(const std::string& path);

private:
    std::string path_;
    int named_ = 0;
};
