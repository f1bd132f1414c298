#include "launcher/WorkFolderWriter.h"

#include "launcher/UserInterface.h"
#include "support/FileSystem.h"

namespace {
constexpr uint8_t kCreateOrTruncate = 1; // "wb"
}

void WorkFolderWriter::BetweenRecords()
{
    // The only place where messages are handled while the archive is read.
    ui_.ProcessMessages();
}

bool WorkFolderWriter::CreateFolder(const char* path)
{
    return CreateDirectoryTree(path);
}

void WorkFolderWriter::ApplyFolder(const char* path, const FileAttributeRecord& record)
{
    ApplyFolderRecord(path, record); // a folder without its times is no failure
}

bool WorkFolderWriter::OpenFile(const char* path)
{
    return file_.Open(path, kCreateOrTruncate);
}

int32_t WorkFolderWriter::WriteFile(const uint8_t* data, int32_t length)
{
    return file_.Write(data, length);
}

bool WorkFolderWriter::CloseFile()
{
    return file_.Close(); // false: buffered content was lost
}

bool WorkFolderWriter::ApplyFile(const char* path, const FileAttributeRecord& record)
{
    return ApplyFileRecord(path, record);
}
