#pragma once
// Reading a whole small file and the SHA-256 fingerprint of a file, by UTF-8 path, on POSIX
// systems and on Windows. The fingerprint tells when a field file changed after a job file
// recorded edits that point at its lines.

#include <cstdio>
#include <optional>
#include <string>

namespace fenwix {

// The error number given for a name that is not a regular file or folder (errno values are
// positive).
constexpr int NOT_A_REGULAR_FILE = -1;

// Opens an existing file for binary reading, without ever waiting on it: a FIFO, a device, a
// socket (NOT_A_REGULAR_FILE) or a folder (EISDIR) is refused from the opened file itself, so a
// name swapped between a check and the open changes nothing. With no_links a symbolic link at
// the name is refused too (ELOOP). nullptr with the error number set when it cannot be read.
// Every file the program reads is opened here.
std::FILE* OpenForReading(const std::string& path, int& error, bool no_links = false);

// Reads the file into text. False, with the system's error number, when it cannot be read.
bool ReadWholeFile(const std::string& path, std::string& text, int& error);

// The SHA-256 of the file's bytes as 64 lower-case hexadecimal digits, or nothing with the
// system's error number when the file cannot be read.
std::optional<std::string> FileSha256(const std::string& path, int& error);

// The system's description of an error number.
std::string SystemErrorText(int error);

}  // namespace fenwix
