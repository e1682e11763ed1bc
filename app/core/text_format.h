#pragma once
// printf-style formatting of wide texts with the system library's rules, in
// which %s in a wide format takes a wide string (the texts of the resource
// library are written that way). The result is always null-terminated and cut
// to the buffer.
#include <stddef.h>

#include <string>

int FormatInto(wchar_t* buffer, size_t length, const wchar_t* format, ...);
// The same into a string of at most maxLength characters.
std::wstring FormatText(size_t maxLength, const wchar_t* format, ...);
