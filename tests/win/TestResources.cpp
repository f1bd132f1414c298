// The resources of the built stub: version record, manifest, icon, form.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "ProductVersion.h"
#include "tests/win/WatchedRun.h"
#include "tests/win/WineHelpers.h"

using testwin::OwnFolder;

namespace {

std::string Stub()
{
    return OwnFolder() + "\\..\\launcher\\quillimark-stub.exe";
}

// The stub mapped as data: its resources without running any of it.
class StubImage : public ::testing::Test {
protected:
    void SetUp() override
    {
        module_ = LoadLibraryExA(Stub().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(module_, nullptr) << Stub();
    }
    void TearDown() override
    {
        if (module_ != nullptr)
            FreeLibrary(module_);
    }

    std::string Resource(LPCSTR name, LPCSTR type) const
    {
        HRSRC found = FindResourceA(module_, name, type);
        if (found == nullptr)
            return std::string();
        HGLOBAL loaded = LoadResource(module_, found);
        const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
        return bytes != nullptr ? std::string(static_cast<const char*>(bytes), SizeofResource(module_, found))
                                : std::string();
    }

    HMODULE module_ = nullptr;
};

TEST(StubVersion, JapaneseRecordWithTheFileAndProductVersions)
{
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(Stub().c_str(), &handle);
    ASSERT_GT(size, 0u);
    std::vector<char> data(size);
    ASSERT_TRUE(GetFileVersionInfoA(Stub().c_str(), 0, size, data.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00000001u);  // 0.1
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000012u);  // .0.18
    // The project's version (0.7.0 in the record as 0.7.0.0).
    EXPECT_EQ(fixed->dwProductVersionMS, uint32_t{QM_PRODUCT_VERSION_MAJOR} << 16 | QM_PRODUCT_VERSION_MINOR);
    EXPECT_EQ(fixed->dwProductVersionLS, uint32_t{QM_PRODUCT_VERSION_PATCH} << 16);

    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                               &length));
    ASSERT_EQ(length, 4u);
    EXPECT_EQ(translation[0], 0x0411); // Japanese
    EXPECT_EQ(translation[1], 932);    // Shift-JIS

    struct Field {
        const char* name;
        const char* value;
    };
    for (const Field& field : {Field{"FileVersion", "0.1.0.18"}, Field{"ProductVersion", QM_PRODUCT_VERSION_TEXT}}) {
        char* text = nullptr;
        std::string query = std::string("\\StringFileInfo\\041103A4\\") + field.name;
        ASSERT_TRUE(VerQueryValueA(data.data(), query.c_str(), reinterpret_cast<void**>(&text), &length)) << query;
        EXPECT_STREQ(text, field.value);
    }
}

TEST_F(StubImage, ManifestRunsAsInvokerOnVistaToTen)
{
    std::string manifest = Resource(MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    ASSERT_FALSE(manifest.empty());
    EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
    for (const char* os : {"{e2011457-1546-43c5-a5fe-008deee3d3f0}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
                           "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
                           "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"})
        EXPECT_NE(manifest.find(std::string("<supportedOS Id=\"") + os + "\"/>"), std::string::npos) << os;
}

TEST_F(StubImage, IconInTwoSizesAndTheFormResource)
{
    // The group lists its images: 6-byte header, 14-byte entries.
    std::string group = Resource("MAINICON", MAKEINTRESOURCEA(14));
    ASSERT_GE(group.size(), 6u);
    size_t count = static_cast<unsigned char>(group[4]) | static_cast<unsigned char>(group[5]) << 8;
    ASSERT_EQ(group.size(), 6 + 14 * count);
    std::vector<int> sizes;
    for (size_t i = 0; i < count; ++i)
        sizes.push_back(static_cast<unsigned char>(group[6 + 14 * i]));
    EXPECT_EQ(sizes, (std::vector<int>{32, 16}));
    HANDLE icon = LoadImageA(module_, "MAINICON", IMAGE_ICON, 32, 32, 0);
    EXPECT_NE(icon, nullptr);
    if (icon != nullptr)
        DestroyIcon(static_cast<HICON>(icon));

    EXPECT_FALSE(Resource("TMAINFORM", MAKEINTRESOURCEA(5)).empty());
}

} // namespace
