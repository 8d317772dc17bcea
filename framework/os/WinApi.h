// <windows.h> as the project's Windows sources include it, and the UTF-8 /
// UTF-16 conversions they all need (the project's strings are UTF-8; the
// system's wide functions take UTF-16).
//
// Include it after the project's own headers: the system's macros that
// pick the ANSI or wide variant of a function (CreateWindow, MessageBox,
// RegisterWindowMessage) would rename the framework's functions and methods
// of the same names, so they are undefined here; call the ...W or ...A
// function by its full name.
//
// Thread rules: none. Errors: the conversions replace what cannot be
// converted by U+FFFD and never fail.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#undef CreateWindow
#undef MessageBox
#undef RegisterWindowMessage

#include <string>
#include <string_view>

std::wstring Utf8ToWide(std::string_view text);
std::string WideToUtf8(std::wstring_view text);
