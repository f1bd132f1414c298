#include "launcher/Extract.h"

#include "launcher/ExitStatus.h"
#include "launcher/Messages.h"
#include "launcher/UserInterface.h"
#include "launcher/WorkFolder.h"
#include "launcher/WorkFolderChain.h"
#include "launcher/WorkFolderWriter.h"
#include "payload/ArchiveReader.h"
#include "payload/RCDecompress.h"
#include "payload/RCFile.h"
#include "payload/StubSettings.h"
#include "support/RCPath.h"
#include "support/SystemPath.h"

namespace {

constexpr uint8_t kRead = 0; // "rb"

// Keeps the inflate stage attached to the reader for one scope: it is
// detached on every way out, before either of them goes.
class InputTransformScope {
public:
    InputTransformScope(RCStream& stream, RCTransform& stage) : stream_(stream)
    {
        stream_.SetInputTransform(&stage); // a failed start shows up as damage
    }
    ~InputTransformScope() { stream_.SetInputTransform(nullptr); }
    InputTransformScope(const InputTransformScope&) = delete;
    InputTransformScope& operator=(const InputTransformScope&) = delete;

private:
    RCStream& stream_;
};

// A failure of extraction: its message, and the status the program ends with.
void Fail(UserInterface& ui, const char* text, uint32_t status)
{
    ui.ShowMessage(nullptr, text, Messages::kErrorCaption, Messages::kErrorStyle);
    ui.SetExitStatus(status);
}

// The folders above the work folder first: real folders, held from here
// on; a link among them ends the run before anything is written or
// deleted. Then the work folders that ended launchers left behind (nothing
// there fails the preparation). Last the work folder itself, made new
// inside the held folders above it and held: under its own name, or
// another one when that is in use.
bool PrepareWorkFolder(const char* folder, WorkFolderChain& chain)
{
    if (!chain.HoldAncestors(folder))
        return false;
    RemoveStaleWorkFolders(folder);
    return MakeWorkFolder(folder, chain);
}

// What the user is told, and the status the program ends with, for each
// way the record loop can stop early.
struct Failure {
    ArchiveReader::Result result;
    const char* message;
    uint32_t status;
};
constexpr Failure kFailures[] = {
    {ArchiveReader::Result::FolderFailed, Messages::kFolderFailed, ExitStatus::kFolderFailed},
    {ArchiveReader::Result::FileCreateFailed, Messages::kFileCreateFailed, ExitStatus::kFileCreateFailed},
    {ArchiveReader::Result::FileWriteFailed, Messages::kFileWriteFailed, ExitStatus::kFileWriteFailed},
    {ArchiveReader::Result::AttributesFailed, Messages::kAttributesFailed, ExitStatus::kAttributesFailed},
    // Damaged, and a file whose content differs from its check line: a
    // damaged file all the same.
    {ArchiveReader::Result::Damaged, Messages::kDamaged, ExitStatus::kDamaged},
};

const Failure& FailureFor(ArchiveReader::Result result)
{
    for (const Failure& failure : kFailures) {
        if (failure.result == result)
            return failure;
    }
    return kFailures[sizeof kFailures / sizeof kFailures[0] - 1];
}

} // namespace

bool ExtractPayload(UserInterface& ui, const char* combinedFile, int32_t payloadOffset, const char* workFolder)
{
    WorkFolderChain chain;
    return ExtractPayload(ui, combinedFile, payloadOffset, workFolder, chain);
}

bool ExtractPayload(UserInterface& ui, const char* combinedFile, int32_t payloadOffset, const char* workFolder,
                    WorkFolderChain& chain)
{
    if (payloadOffset == 0) {
        ui.SetExitStatus(ExitStatus::kNoPayload);
        return false; // a stub without a payload: nothing to say
    }
    // Windows could not tell the program's own path (one too long for the
    // buffer, say): without it there is no payload to read.
    if (combinedFile == nullptr || *combinedFile == '\0') {
        Fail(ui, Messages::kDamaged, ExitStatus::kOwnFileUnreadable);
        return false;
    }

    // The work folder is held from here on: it stays the real folder that
    // was made, whatever else appears under its name.
    WorkFolderWriter writer(ui);
    if (!PrepareWorkFolder(workFolder, chain) || !writer.Begin(chain.WorkFolder())) {
        Fail(ui, Messages::kFolderFailed, ExitStatus::kFolderFailed);
        return false;
    }

    RCFile reader;
    if (!reader.Open(combinedFile, kRead) || !reader.Seek(payloadOffset)) {
        ui.SetExitStatus(ExitStatus::kOwnFileUnreadable);
        return false; // a negative offset ends here too
    }

    RCDecompress stage(RCDecompress::kExtractionChunk);
    InputTransformScope attached(reader, stage);
    ArchiveReader::Result result = ArchiveReader::Read(reader, chain.WorkFolder(), writer);
    if (result == ArchiveReader::Result::Complete)
        return true;
    const Failure& failure = FailureFor(result);
    Fail(ui, failure.message, failure.status);
    return false; // the work folder stays as it is
}

bool extract(UserInterface& ui, WorkFolderChain& chain)
{
    // An offset of 0 (a stub without a payload) ends in ExtractPayload.
    int32_t offset = StubSettings::PayloadOffset();
    RCPath workFolder;
    SetToWorkFolder(workFolder);
    // In the form of the program's paths, so that it opens on any system.
    RCAnsiStr self;
    SystemPath::ModuleFile(self);
    return ExtractPayload(ui, self.Text(), offset, workFolder.Text(), chain);
}
