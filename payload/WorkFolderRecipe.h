// The work folder's recipe, for the launcher that makes the folder and the
// builder that reckons with its length:
//   <application-data folder>\Orvane\Lumavex\Quillimark\<process id as %08X>
// docs/format.md shows it; test_format_doc_work_folder checks the document
// against this file.
#pragma once

// The folders between the application-data folder and the work folder, in
// order, as a list of string literals for X.
#define QM_WORK_FOLDER_PARENTS(X) X("Orvane") X("Lumavex") X("Quillimark")

namespace WorkFolderRecipe {

#define QM_WORK_FOLDER_LISTED(name) name,
constexpr const char* kParents[] = {QM_WORK_FOLDER_PARENTS(QM_WORK_FOLDER_LISTED)};
#undef QM_WORK_FOLDER_LISTED

// The work folder's own name: the process id in eight upper-case
// hexadecimal digits, zero-filled.
constexpr const char* kIdFormat = "%08X";
// When a folder of that name is in use (process ids are reused, and two
// machines that share a profile hand out the same ones), the launcher takes
// the first free one of the same name with ".1" to ".9" after it.
constexpr char kOtherNameMark = '.';
constexpr int kOtherNames = 9;

} // namespace WorkFolderRecipe

// The work folder below the application-data folder as one text, for a
// stand-in of the eight-digit name, backslash at the end:
// QM_WORK_FOLDER_BELOW("XXXXXXXX") is "Orvane\Lumavex\Quillimark\XXXXXXXX\".
#define QM_WORK_FOLDER_JOINED(name) name "\\"
#define QM_WORK_FOLDER_BELOW(id) QM_WORK_FOLDER_PARENTS(QM_WORK_FOLDER_JOINED) id "\\"
