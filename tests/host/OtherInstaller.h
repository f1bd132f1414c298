// Test helper: installers as another builder might make them, for the
// builder's --list, --verify and --extract on Linux and on Windows: the test
// stub with its settings filled in ("run.exe" to run, filler left behind the
// zeros), followed by a payload that a few lines of code write, nothing
// padded. Names go into the payload as they are, so that hostile ones can.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "payload/PayloadWriter.h"
#include "tests/host/TestStub.h"
#include "tests/shared/StringSink.h"

inline std::string OtherInstaller(const std::function<void(PayloadWriter&)>& write)
{
    StringSink payload;
    {
        PayloadWriter w(payload);
        write(w);
    }
    std::string stub = TestStub().Bytes();
    const std::string offset = std::to_string(stub.size()); // 4 digits
    stub.replace(TestStub::kBlockAt, 50, std::string(offset.c_str(), offset.size() + 1) + "@@PayloadOffset@@!!!" +
                                             std::string("run.exe\0@@Installer@@!!!!!!!", 25));
    return stub + payload.bytes;
}

// Installers whose payload names an entry that would land outside the
// folder it is unpacked into, or on a device: the launcher refuses each one
// as damage, and so must every reader. Each entry is named "evil...", so a
// search for that name finds anything written.
struct HostileInstaller {
    const char* what;
    std::string bytes;
    const char* says = "the payload is damaged"; // the reader's fault
};

inline std::vector<HostileInstaller> HostileInstallers()
{
    auto file = [](const char* name) {
        return OtherInstaller([name](PayloadWriter& w) {
            w.File("run.exe", "MZ", 2, FileAttributeRecord());
            w.File(name, "evil", 4, FileAttributeRecord());
            w.Up();
        });
    };
    auto inFolder = [](const char* folder) {
        return OtherInstaller([folder](PayloadWriter& w) {
            w.File("run.exe", "MZ", 2, FileAttributeRecord());
            w.Folder(folder, FileAttributeRecord());
            w.File("evil.txt", "evil", 4, FileAttributeRecord());
            w.Up();
            w.Up();
        });
    };
    return {
        {"the folder above", file("..")},
        {"a folder above, then a file in it", inFolder("..")},
        {"two folders above in one name", file("..\\..\\evil.txt")},
        {"an absolute path", file("\\evil.txt")},
        {"a slash", file("../evil.txt")},
        {"a drive letter", file("C:evil.txt")},
        {"a drive root as a folder", inFolder("C:")},
        {"a stream", file("run.exe:evil")},
        {"a device", file("CON")},
        {"a device with an extension", file("nul.evil")},
        {"a numbered device", file("COM1.evil")},
        {"the console", file("CONOUT$")},
        {"a lone lead byte", file("evil\x83")},
        {"an empty name: the folder itself", file(""), "a File record without a name"},
    };
}
