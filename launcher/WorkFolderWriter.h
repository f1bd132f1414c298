// WorkFolderWriter: creates the folders and files of the payload archive on
// disk, inside the work folder, and keeps the progress window painted
// between records.
//
// The work folder lies in the user's profile, where any process of the same
// user can change it while the archive is read (between records the window
// handles its messages, and other programs run all along). So every folder
// that is written into has been checked through its own handle to be a
// real folder, not a link, and is held by that handle, which keeps it from
// being renamed or replaced, until its last entry is written: the work
// folder from Begin on, each archive folder while it is open. Files are
// only ever created new: a name that is taken already (by a link planted
// there, say) is refused, never opened. A file is written, and given its
// times and attributes, through the one handle that created it, and that
// handle's close is the file's last write: a close that fails is a failed
// write. Where the work folder does not lie on a local fixed disk (a
// redirected profile on a file server, say), a close may not report what
// the network redirector held back: there each file is also flushed before
// its close, and a failed flush is a failed write too. Names read in UTF-8
// hold characters that only the wide Windows functions can make: such an
// archive moves every path to the wide route, before its first name.
#pragma once
#include <memory>

#include "payload/ArchiveReader.h"
#include "support/RCEntryHandle.h"

class UserInterface;

class WorkFolderWriter : public ArchiveSink {
public:
    explicit WorkFolderWriter(UserInterface& ui);
    ~WorkFolderWriter() override;
    WorkFolderWriter(const WorkFolderWriter&) = delete;
    WorkFolderWriter& operator=(const WorkFolderWriter&) = delete;

    // Holds the (existing) work folder; false when it is not a real folder.
    bool Begin(const char* workFolder);

    void BetweenRecords() override;
    bool CreateFolder(const char* path) override;
    void ApplyFolder(const char* path, const FileAttributeRecord& record) override;
    bool OpenFile(const char* path) override;
    int32_t WriteFile(const uint8_t* data, int32_t length) override;
    bool CloseFile() override;
    bool ApplyFile(const char* path, const FileAttributeRecord& record) override;
    bool ReleaseFile() override;
    bool TakesName(const char* name) override;
    void NamesAreUtf8() override;

private:
    // One held folder, and the one it lies in (null for the work folder).
    struct HeldFolder {
        RCEntryHandle handle;
        std::unique_ptr<HeldFolder> outer;
    };

    // Lets go of the held folders that path does not lie in (those that the
    // archive has closed), innermost first.
    void ReleaseFoldersOutside(const char* path);
    // Holds path, which must be a real folder.
    bool Hold(const char* path);

    UserInterface& ui_;
    RCEntryHandle file_; // the file being written, until its record is applied
    bool flush_ = false; // each file is flushed before its close
    std::unique_ptr<HeldFolder> innermost_; // the innermost open folder; the work folder outermost
};
