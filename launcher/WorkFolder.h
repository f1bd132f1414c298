// The work folder: the per-process folder that the payload is unpacked into
// and the installer is started from,
//   <application-data folder>\Orvane\Lumavex\Quillimark\<process id as %08X>
// Extraction and launch each build it with this one recipe, so the two agree.
#pragma once

class RCPath;

// Sets path to the work folder of the calling process. base names the folder
// that stands in for the user's application-data folder; null (the program's
// own use) means the real one, or the Windows directory when there is none.
void SetToWorkFolder(RCPath& path, const char* base = nullptr);
