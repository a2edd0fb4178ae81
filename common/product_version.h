// The running program's product version text, from its own version resource.
#pragma once

#include <string>
#include <string_view>

// "10, 6, 5, 1" -> "10.6.5.1": every comma becomes a point, every blank goes.
std::wstring NormalizeVersionText(std::wstring_view text);

// The ProductVersion string of the program file's version resource, under
// its first translation (language and code page), normalised. Empty when
// the resource, the translation table or the string is missing (and always
// in the portable build, which has no version resources).
std::wstring GetProductVersion();

// The same string read under a fixed query path such as
// "\StringFileInfo\041904b0\ProductVersion" (the frame's displayed version),
// normalised; empty when any step fails. `modulePath` empty: the running
// program's file.
std::wstring ReadFixedProductVersion(std::wstring_view queryPath,
                                     std::wstring_view modulePath = {});

// The same as GetProductVersion for another file (tests, tools).
std::wstring ReadProductVersionOf(std::wstring_view modulePath);
