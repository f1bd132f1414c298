// The launcher's exit status, for the tools that start installers without
// anyone watching (software distribution, scripts, build machines).
//
// When the installer program ran and was waited for, the launcher ends with
// the installer's own exit code, whatever it is (3386 too, after asking for
// the restart). Every failure of the launcher's own ends with one of the
// codes below, each a different one; the README lists them. They lie far
// from the codes that installer programs commonly use.
#pragma once
#include <cstdint>

namespace ExitStatus {

// The stub carries no payload (its payload offset is 0). Nothing is shown.
constexpr uint32_t kNoPayload = 9101;
// The launcher's own file: its path cannot be read (a message is shown), or
// it cannot be opened or positioned at the payload (nothing is shown).
constexpr uint32_t kOwnFileUnreadable = 9102;
// The work folder, or a folder of the payload, cannot be made.
constexpr uint32_t kFolderFailed = 9103;
// The payload is damaged.
constexpr uint32_t kDamaged = 9104;
// A file of the payload cannot be created.
constexpr uint32_t kFileCreateFailed = 9105;
// A file of the payload cannot be written completely.
constexpr uint32_t kFileWriteFailed = 9106;
// A file's attributes or times cannot be set.
constexpr uint32_t kAttributesFailed = 9107;
// The installer program cannot be started (or its elevation was declined).
constexpr uint32_t kCannotRun = 9108;
// The installer started, but its end or its exit code cannot be had.
constexpr uint32_t kWaitFailed = 9109;
// Memory ran out.
constexpr uint32_t kOutOfMemory = 9110;
// The launcher's windows cannot be made.
constexpr uint32_t kNoWindow = 9111;
// A Windows function that the launcher binds after start-up is missing.
constexpr uint32_t kLateImports = 9112;

} // namespace ExitStatus
