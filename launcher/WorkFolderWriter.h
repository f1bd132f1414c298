// WorkFolderWriter: creates the folders and files of the payload archive on
// disk, inside the work folder, and keeps the progress window painted
// between records.
#pragma once
#include "payload/ArchiveReader.h"
#include "payload/RCFile.h"

class UserInterface;

class WorkFolderWriter : public ArchiveSink {
public:
    explicit WorkFolderWriter(UserInterface& ui) : ui_(ui) {}

    void BetweenRecords() override;
    bool CreateFolder(const char* path) override;
    void ApplyFolder(const char* path, const FileAttributeRecord& record) override;
    bool OpenFile(const char* path) override;
    int32_t WriteFile(const uint8_t* data, int32_t length) override;
    bool CloseFile() override;
    bool ApplyFile(const char* path, const FileAttributeRecord& record) override;

private:
    UserInterface& ui_;
    RCFile file_; // the writer: no transform
};
