#include "bench/PlainRemoval.h"

#include <windows.h>

bool PlainRemoveTree(const std::wstring& folder)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const wchar_t* name = found.cFileName;
            if (name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0')))
                continue;
            const std::wstring path = folder + L'\\' + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                PlainRemoveTree(path);
            } else {
                if (found.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
                    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    return RemoveDirectoryW(folder.c_str()) != 0;
}
