#include "launcher/Extract.h"

#include "launcher/Messages.h"
#include "launcher/UserInterface.h"
#include "launcher/WorkFolder.h"
#include "launcher/WorkFolderWriter.h"
#include "payload/ArchiveFormat.h"
#include "payload/ArchiveReader.h"
#include "payload/RCDecompress.h"
#include "payload/RCFile.h"
#include "payload/StubSettings.h"
#include "support/FileSystem.h"
#include "support/RCDirectory.h"
#include "support/RCPath.h"

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

void ShowError(UserInterface& ui, const char* text)
{
    ui.ShowMessage(nullptr, text, Messages::kErrorCaption, Messages::kErrorStyle);
}

// Clears away a work folder or a file of the same name left by an earlier
// process with the same id, then creates the folder with its parents.
bool PrepareWorkFolder(const char* folder)
{
    if (PathExists(folder, true)) {
        RCDirectory directory;
        if (!directory.RemoveTree(folder, false, false))
            return false;
    }
    if (EntryExists(folder, true) && !DeleteFileRetry(folder, true))
        return false;
    return CreateDirectoryTree(folder);
}

const char* MessageFor(ArchiveReader::Result result)
{
    switch (result) {
    case ArchiveReader::Result::FolderFailed:
        return Messages::kFolderFailed;
    case ArchiveReader::Result::FileCreateFailed:
        return Messages::kFileCreateFailed;
    case ArchiveReader::Result::FileWriteFailed:
        return Messages::kFileWriteFailed;
    case ArchiveReader::Result::AttributesFailed:
        return Messages::kAttributesFailed;
    case ArchiveReader::Result::Damaged:
    case ArchiveReader::Result::CheckFailed: // a damaged file all the same
    case ArchiveReader::Result::Complete:
        break;
    }
    return Messages::kDamaged;
}

} // namespace

bool ExtractPayload(UserInterface& ui, const char* combinedFile, int32_t payloadOffset, const char* workFolder)
{
    if (payloadOffset == 0)
        return false; // a stub without a payload: nothing to say

    // The work folder is held from here on: it stays the real folder that
    // was made, whatever else appears under its name.
    WorkFolderWriter writer(ui);
    // Work folders that ended launchers left behind go first; nothing here
    // can fail the extraction.
    RemoveStaleWorkFolders(workFolder);
    if (!PrepareWorkFolder(workFolder) || !writer.Begin(workFolder)) {
        ShowError(ui, Messages::kFolderFailed);
        return false;
    }

    RCFile reader;
    if (!reader.Open(combinedFile, kRead) || !reader.Seek(payloadOffset))
        return false; // a negative offset ends here too

    RCDecompress stage(ArchiveFormat::kPieceSize);
    InputTransformScope attached(reader, stage);
    ArchiveReader::Result result = ArchiveReader::Read(reader, workFolder, writer);
    if (result == ArchiveReader::Result::Complete)
        return true;
    ShowError(ui, MessageFor(result));
    return false; // the work folder stays as it is
}

bool extract(UserInterface& ui)
{
    // An offset of 0 (a stub without a payload) ends in ExtractPayload.
    int32_t offset = StubSettings::PayloadOffset();
    RCPath workFolder;
    SetToWorkFolder(workFolder);
    RCPath self;
    SetToModuleFile(self);
    return ExtractPayload(ui, self.Text(), offset, workFolder.Text());
}
