#pragma once
// File names are UTF-8 everywhere in Fenwix. These hand them to the system: as the bytes they are
// on POSIX systems, as UTF-16 through the wide-character calls on Windows, so that a job in
// "Vermessung Höhe/Tag ü 1.xml" opens whatever code page the machine runs under.

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

namespace fenwix {

std::filesystem::path PathFromUtf8(std::string_view utf8);
std::string Utf8FromPath(const std::filesystem::path& path);

// std::fopen for a UTF-8 name; nullptr with errno set on failure.
std::FILE* OpenFile(const std::string& utf8_path, const char* mode);
// Removes a file (not a folder); false when it could not be removed or was not there.
bool RemoveFile(const std::string& utf8_path);

// Whether c ends a folder's name in a path: '/' everywhere, '\\' as well on Windows.
bool IsPathSeparator(char c);

}  // namespace fenwix
