#pragma once
// Why a file cannot be read or written, in the words a person reads after "Cannot read file"
// or "Cannot open file".

#include <string>

namespace fenwix {

// 0 when the file can be opened and read (an empty file can), otherwise the system's error
// number (EISDIR for a folder).
int ReadError(const std::string& path);

// The reason for an error number met on path: "no such file", "no such folder", "permission
// denied", "is a folder", or the system's own text for anything else.
std::string FileProblemText(int error_number, const std::string& path);

// True when path is a file whose first bytes (after a byte-order mark and blanks) open an XML
// tag: a field job or another XML document, never an adjustment file. Read only.
bool IsXmlDocument(const std::string& path);

}  // namespace fenwix
