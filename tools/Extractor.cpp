#include "tools/Extractor.h"

#include <vector>

#include "support/RCPath.h"
#include "tools/HeldTree.h"
#include "tools/NameCodec.h"

namespace {

#ifdef _WIN32
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

// What a system refusal adds to a message: nothing when there was none.
std::string Reason(const std::string& why)
{
    return why.empty() ? std::string() : ": " + why;
}

} // namespace

Extractor::Extractor(NameCodec& codec, const char* archiveRoot)
    : codec_(codec), rootDepth_(RCPath(archiveRoot).Count()), tree_(new HeldTree)
{
}

Extractor::~Extractor() = default;

bool Extractor::Begin(const std::string& dir)
{
    std::string why;
    switch (tree_->Begin(dir, why)) {
    case HeldTree::Top::Held:
        return true;
    case HeldTree::Top::BadName:
        error_ = dir + ": not a usable folder name";
        break;
    case HeldTree::Top::CannotMake:
        error_ = dir + ": cannot make the folder" + Reason(why);
        break;
    case HeldTree::Top::NotAFolder:
        error_ = dir + ": not a folder" + Reason(why);
        break;
    case HeldTree::Top::NotEmpty:
        error_ = dir + ": not empty; --extract unpacks into a new or empty folder only";
        break;
    }
    return false;
}

std::string Extractor::Shown(const std::vector<std::string>& names) const
{
    std::string shown;
    for (const std::string& name : names)
        shown += (shown.empty() ? "" : std::string(1, kSeparator)) + codec_.Shown(name);
    return shown;
}

bool Extractor::Enter(const char* path, std::vector<std::string>& names)
{
    names.clear();
    RCPath full(path);
    for (int32_t i = rootDepth_; i < full.Count(); ++i)
        names.push_back(full.Component(i));
    if (!Finish())
        return false;
    // Held: DIR, then the folders that path lies in (or is), in order.
    size_t keep = 1;
    while (keep < tree_->Depth() && keep - 1 < names.size() && tree_->ArchiveName(keep) == names[keep - 1])
        ++keep;
    tree_->LetGo(keep);
    return true;
}

// Each name is decoded for the host, and must stay one plain component
// there (the record loop has refused every unsafe archive name already).
static bool NativeNameOf(NameCodec& codec, const std::string& archiveName, std::string& utf8)
{
    return codec.FromArchive(archiveName, utf8) && !utf8.empty() && utf8 != "." && utf8 != ".." &&
           utf8.find_first_of(std::string("/\\\0", 3)) == std::string::npos;
}

bool Extractor::EnterNew(const char* path, std::vector<std::string>& names, std::string& name)
{
    if (!Enter(path, names))
        return false;
    if (names.empty() || tree_->Depth() != names.size() || !NativeNameOf(codec_, names.back(), name)) {
        error_ = Shown(names) + ": cannot be made on this system (the name or its place is not valid here)";
        return false;
    }
    return true;
}

bool Extractor::CreateFolder(const char* path)
{
    std::vector<std::string> names;
    std::string name, why;
    if (!EnterNew(path, names, name))
        return false;
    if (!tree_->MakeFolder(name, names.back(), why)) {
        error_ = Shown(names) + ": cannot make the folder (is its name taken by a link or a file?)" + Reason(why);
        return false;
    }
    return true;
}

void Extractor::ApplyFolder(const char* path, const FileAttributeRecord& record)
{
    std::vector<std::string> names;
    if (!Enter(path, names))
        return;
    // A folder without its times is no failure, as in the launcher.
    if (!names.empty() && tree_->Depth() == names.size() + 1)
        tree_->ApplyToFolder(record);
}

bool Extractor::OpenFile(const char* path)
{
    std::vector<std::string> names;
    std::string name, why;
    if (!EnterNew(path, names, name))
        return false;
    // Created new, never opened: a name that is taken (a link planted
    // there) is refused.
    if (!tree_->MakeFile(name, why)) {
        error_ = Shown(names) + ": cannot make the file (is its name taken?)" + Reason(why);
        return false;
    }
    fileShown_ = Shown(names);
    fileFailed_ = false;
    return true;
}

int32_t Extractor::WriteFile(const uint8_t* data, int32_t length)
{
    if (fileFailed_)
        return 0;
    int32_t written = 0;
    std::string why;
    if (!tree_->WriteFile(data, length, &written, why)) {
        fileFailed_ = true;
        if (error_.empty())
            error_ = fileShown_ + ": cannot write the file" + Reason(why);
    }
    return written;
}

bool Extractor::CloseFile()
{
    // Written unbuffered: what could not be written has been reported.
    return !fileFailed_;
}

bool Extractor::ApplyFile(const char*, const FileAttributeRecord& record)
{
    std::string why;
    if (tree_->ApplyToFile(record, why))
        return true;
    error_ = fileShown_ + ": cannot give the file its times and attributes" + Reason(why);
    return false;
}

bool Extractor::Finish()
{
    std::string why;
    if (tree_->CloseFile(why))
        return true;
    if (error_.empty())
        error_ = fileShown_ + ": cannot write the file" + Reason(why);
    return false;
}

std::string Extractor::Discard()
{
    if (!tree_->HasFile())
        return std::string();
    return tree_->RemoveFile() ? fileShown_ : std::string();
}
