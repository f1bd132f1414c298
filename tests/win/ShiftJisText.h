// Code page 932 (Shift-JIS) bytes as UTF-8, so that tests can compare the
// program's texts with readable literals.
#pragma once
#include <string>

std::string ShiftJisToUtf8(const std::string& bytes);
