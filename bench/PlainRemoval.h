// The plainest recursive delete, the limit that the launcher's clean-up is
// measured against: FindFirstFileW and FindNextFileW list a folder,
// DeleteFileW deletes its files (read-only ones after clearing that
// attribute), a folder's folders go the same way, then RemoveDirectoryW
// removes it. It checks no links and holds nothing.
#pragma once
#include <string>

// True when folder is gone afterwards.
bool PlainRemoveTree(const std::wstring& folder);
