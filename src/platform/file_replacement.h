#pragma once
// Writing a file under a temporary name and putting it in place of the old one in one step, so
// that a failed, cancelled or killed run never leaves a truncated file where the previous
// output was.

#include <cstdio>
#include <string>

namespace fenwix {

// The error number that opening the file for writing would meet, found without touching it:
// EISDIR for a folder, EACCES for a write-protected file; 0 when it may be written or does not
// exist. Replacing a file by a rename would pass over both, so they are refused up front.
int WritableFileError(const std::string& utf8_path);

// A new file named prefix followed by 6 random letters and digits, open for binary writing and
// made only by this call. It gets the permissions of a file created normally, and is marked as
// in use while open (see RemoveIfUnused). nullptr with error set when it cannot be made.
std::FILE* CreateUniqueFile(const std::string& prefix, std::string& path, int& error);

// A new file at path, made only by this call (an existing name is EEXIST, a link is not
// followed), open for binary writing with the permissions of a file created normally; nullptr
// with error set when it cannot be made.
std::FILE* CreateNewFile(const std::string& path, int& error);

// Gives the open file the permissions of the file at from_path, which it is to replace (where
// the system keeps permission bits).
void KeepPermissions(std::FILE* stream, const std::string& from_path);

// Puts the closed file from in place of to, replacing an existing file in one step, the new
// name and contents on the disk when it returns. 0, or the system's error number, in which
// case both files are as they were.
int ReplaceWithFile(const std::string& from, const std::string& to);

// Removes a file made by CreateUniqueFile and left behind by a run that ended without cleaning
// up; a file still open in a running conversion is kept. True when it was removed.
bool RemoveIfUnused(const std::string& utf8_path);

}  // namespace fenwix
