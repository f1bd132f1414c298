// The launcher's own command line, as Windows hands it over: the program's
// name, then whatever the user or a deployment tool passed it.
#pragma once

// Where the arguments begin in commandLine: after the program's name, read
// by the rules that Windows' C runtime uses for the first argument (a
// double quote opens or closes a quoted part, in which blanks and tabs
// belong to the name; no backslash escapes anything), and after the blanks
// and tabs that follow it. The arguments are taken from there unchanged.
// Byte texts in Shift-JIS are safe: neither a quote nor a blank nor a tab is
// ever the second byte of a double-byte character. A null text counts as
// the empty one.
const char* SkipProgramName(const char* commandLine);
