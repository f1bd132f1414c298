// Extraction of the payload archive into the work folder.
#pragma once
#include <cstdint>

class UserInterface;
class WorkFolderChain;

// Unpacks the payload at the end of the program's own file into a fresh
// work folder. True on complete success; every failure but two (no payload
// offset; the program's own file cannot be opened or positioned) has been
// shown to the user when it returns false, and every failure has set the
// program's exit status (launcher/ExitStatus.h). chain holds the folders
// down to the work folder from then on, the work folder included once it
// is made, and names it (launch lets go of it for its removal).
bool extract(UserInterface& ui, WorkFolderChain& chain);

// The same with its inputs named: the combined file, the payload offset and
// the work folder's first name (launcher/WorkFolder.h: another one is
// taken when that is in use). extract passes the program's own file, the
// stub setting and the work folder of this process.
bool ExtractPayload(UserInterface& ui, const char* combinedFile, int32_t payloadOffset, const char* workFolder,
                    WorkFolderChain& chain);
// The same with a chain of its own, let go of on return.
bool ExtractPayload(UserInterface& ui, const char* combinedFile, int32_t payloadOffset, const char* workFolder);
