// Extractor: the sink that --extract reads an installer's payload into: a
// folder DIR on the host (Linux or Windows), names decoded from Shift-JIS
// (or UTF-8, as the record loop gives them: NameCodec::FromArchive),
// times and attributes applied where the platform can.
//
// Nothing is ever written outside DIR. The record loop refuses unsafe names
// (absolute, "..", drive letters, streams, device names) as the launcher
// does, and every entry's path lies inside the archive's root. Here, as in
// the launcher's WorkFolderWriter, every folder that is written into is
// held open from the moment it is made (or, DIR itself, taken), opened
// without following a link at its name and checked to be a real folder,
// and entries are made through those folders (tools/HeldTree.h, the
// platform's own calls). Files are only ever created new, so a link
// planted under a file's name is refused, never written through; a
// folder's name that is taken must be a real folder.
//
// A file is kept open from its creation until the next entry, so that a
// file whose check line fails (or whose content ends early) can be removed
// through the read's fault: DIR never keeps a file known to be damaged.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "payload/ArchiveReader.h"

class HeldTree;
class NameCodec;

class Extractor : public ArchiveSink {
public:
    // archiveRoot: the folder that the record loop is told the archive's top
    // level stands for; the paths handed to the sink begin with it.
    Extractor(NameCodec& codec, const char* archiveRoot);
    ~Extractor() override;
    Extractor(const Extractor&) = delete;
    Extractor& operator=(const Extractor&) = delete;

    // Makes the folder dir (its parent must exist), or takes it when it is
    // an empty folder already, and holds it. False, with Error(), for
    // anything else: a folder that is not empty, a file.
    bool Begin(const std::string& dir);
    // After a complete read: closes the last file. False, with Error(), when
    // it could not be written.
    bool Finish();
    // After a failed read: removes the file that was being written or
    // that was written last, if any (the fault lies at or after it).
    // Returns its path (UTF-8, relative to DIR), or empty.
    std::string Discard();

    // What failed, naming the entry (in UTF-8, relative to DIR).
    const std::string& Error() const { return error_; }

    void BetweenRecords() override {}
    bool CreateFolder(const char* path) override;
    void ApplyFolder(const char* path, const FileAttributeRecord& record) override;
    bool OpenFile(const char* path) override;
    int32_t WriteFile(const uint8_t* data, int32_t length) override;
    bool CloseFile() override;
    bool ApplyFile(const char* path, const FileAttributeRecord& record) override;

private:
    // Splits path into the archive names below the root, lets go of the
    // held folders that it does not lie in, and closes the pending file.
    // False (with error_) when a name cannot be decoded or the pending
    // file could not be finished.
    bool Enter(const char* path, std::vector<std::string>& names);
    // Enter, for an entry to be made: also that its folder is held and its
    // own name can be made on this system, into name (UTF-8). False with
    // error_.
    bool EnterNew(const char* path, std::vector<std::string>& names, std::string& name);
    std::string Shown(const std::vector<std::string>& names) const;

    NameCodec& codec_;
    int32_t rootDepth_;
    std::unique_ptr<HeldTree> tree_;
    std::string fileShown_; // the file being written, as messages show it
    bool fileFailed_ = false;
    std::string error_;
};
