#include "launcher/WorkFolderWriter.h"

#include <windows.h>

#include "launcher/UserInterface.h"
#include "support/FileSystem.h"
#include "support/SystemPath.h"

namespace {

// Whether path lies inside folder (byte for byte below it; a path that
// shares folder's bytes ends there at a character boundary).
bool Inside(const char* path, const char* folder)
{
    while (*folder != '\0' && *path == *folder) {
        ++path;
        ++folder;
    }
    return *folder == '\0' && *path == '\\';
}
} // namespace

WorkFolderWriter::WorkFolderWriter(UserInterface& ui) : ui_(ui)
{
}

WorkFolderWriter::~WorkFolderWriter()
{
    // Innermost first, so that no chain of destructors runs as deep as the
    // archive's folders.
    while (innermost_)
        innermost_ = std::move(innermost_->outer);
}

bool WorkFolderWriter::Begin(const char* workFolder)
{
    // Local disks keep their speed: their closes report what was lost.
    flush_ = !OnLocalFixedDisk(workFolder);
    return Hold(workFolder);
}

void WorkFolderWriter::ReleaseFoldersOutside(const char* path)
{
    // The work folder, the outermost, is kept whatever comes.
    while (innermost_ && innermost_->outer && !Inside(path, innermost_->handle.Path()))
        innermost_ = std::move(innermost_->outer);
}

bool WorkFolderWriter::Hold(const char* path)
{
    std::unique_ptr<HeldFolder> folder(new HeldFolder);
    if (!folder->handle.Open(path, RCEntryHandle::kHold) || folder->handle.GetKind() != RCEntryHandle::kFolder)
        return false;
    folder->outer = std::move(innermost_);
    innermost_ = std::move(folder);
    return true;
}

void WorkFolderWriter::BetweenRecords()
{
    // The only place where messages are handled while the archive is read.
    ui_.ProcessMessages();
}

bool WorkFolderWriter::CreateFolder(const char* path)
{
    ReleaseFoldersOutside(path);
    // The folder is made (or found) by name, then checked and held: a link
    // planted under its name is refused, not written through. Its parent is
    // the held folder it lies in, so only the folder itself is made.
    return CreateLeafDirectory(path) && Hold(path);
}

void WorkFolderWriter::ApplyFolder(const char* path, const FileAttributeRecord& record)
{
    ApplyFolderRecord(path, record); // a folder without its times is no failure
}

bool WorkFolderWriter::OpenFile(const char* path)
{
    ReleaseFoldersOutside(path);
    // Created new and held: the name leads to this very file until its
    // record is applied.
    return file_.CreateNewFile(path);
}

int32_t WorkFolderWriter::WriteFile(const uint8_t* data, int32_t length)
{
    return file_.Write(data, length);
}

bool WorkFolderWriter::CloseFile()
{
    // Written through unbuffered: nothing is left here. The system may still
    // hold writes back; the handle's close reports them (ReleaseFile).
    return true;
}

bool WorkFolderWriter::ApplyFile(const char*, const FileAttributeRecord& record)
{
    // A new file has no read-only attribute to clear. The times, then the
    // record's attributes last, on the file still held; a new file carries
    // the archive attribute alone, so a record that asks for just that
    // needs no write.
    return file_.SetTimes(record.creationTime, record.lastAccessTime, record.lastWriteTime) &&
           (record.attributes == FILE_ATTRIBUTE_ARCHIVE || file_.SetAttributes(record.attributes));
}

bool WorkFolderWriter::TakesName(const char* name)
{
    // On every code page: a name that code page 932 does not assign has no
    // right form on any Windows.
    return SystemPath::IsShiftJis(name);
}

void WorkFolderWriter::NamesAreUtf8()
{
    // On every code page, 932 included: no ANSI code page holds them all.
    SystemPath::RequireWide();
}

bool WorkFolderWriter::ReleaseFile()
{
    // Closed whatever the flush says: the file is not kept open.
    const bool flushed = !flush_ || file_.Flush();
    return file_.Close() && flushed;
}
