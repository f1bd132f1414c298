#include "payload/StubSettings.h"

#include "support/RCAnsiStr.h"

struct StubSettingsAreas {
    char payloadOffset[StubSettings::kAreaSize];
    char installerName[StubSettings::kAreaSize];
};

namespace {

static_assert(sizeof(StubSettingsAreas) == StubSettings::kBlockSize, "the areas lie directly behind each other");

constexpr StubSettingsAreas MakeDefaults()
{
    StubSettingsAreas areas{};
    for (int32_t i = 0; i < StubSettings::kAreaSize; ++i) {
        areas.payloadOffset[i] = StubSettings::kDefaultBlock[i];
        areas.installerName[i] = StubSettings::kDefaultBlock[StubSettings::kAreaSize + i];
    }
    return areas;
}

// True when area holds text, zero-ended, at its start.
constexpr bool AreaHolds(const char* area, const char* text)
{
    int32_t i = 0;
    for (; text[i] != '\0'; ++i) {
        if (i >= StubSettings::kAreaSize - 1 || area[i] != text[i])
            return false;
    }
    return area[i] == '\0';
}

static_assert(AreaHolds(StubSettings::kDefaultBlock, "594984"), "default payload offset");
static_assert(AreaHolds(StubSettings::kDefaultBlock + StubSettings::kAreaSize, "lvxrun.exe"), "default installer");

} // namespace

// Writable and with external linkage, so that the compiler cannot fold the
// defaults into the code: a builder changes these bytes in the program file.
extern StubSettingsAreas qm_stub_settings;
StubSettingsAreas qm_stub_settings = MakeDefaults();

namespace {

// Copies an area up to its first zero, never past its end, and ends the
// copy with a zero. Read through volatile: the compiler must not take the
// defaults it can see for the bytes a builder has put there.
void CopyArea(const char* area, char (&text)[StubSettings::kAreaSize + 1])
{
    const volatile char* source = area;
    int32_t n = 0;
    while (n < StubSettings::kAreaSize && source[n] != '\0') {
        text[n] = source[n];
        ++n;
    }
    text[n] = '\0';
}

// An area's text, copied as above, in a string.
void AssignArea(const char* area, RCAnsiStr& text)
{
    char copy[StubSettings::kAreaSize + 1];
    CopyArea(area, copy);
    text.Assign(copy);
}

} // namespace

// Converted from a local copy: reading the offset allocates nothing.
int32_t StubSettings::PayloadOffset()
{
    char text[kAreaSize + 1];
    CopyArea(qm_stub_settings.payloadOffset, text);
    return RCAnsiStr::ParseInt(text);
}

void StubSettings::PayloadOffsetText(RCAnsiStr& text)
{
    AssignArea(qm_stub_settings.payloadOffset, text);
}

void StubSettings::InstallerName(RCAnsiStr& name)
{
    AssignArea(qm_stub_settings.installerName, name);
}
