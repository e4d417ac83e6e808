#pragma once
// The command line and the console at the edge of the command-line program.

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace fenwix {

// The program's arguments after its name, in UTF-8: argv itself on POSIX systems; on Windows
// the UTF-16 command line converted, as argv there holds the code page's approximations.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// Lets the console show the UTF-8 the program prints (a no-op outside Windows).
void UseUtf8Console();

// Whether the stream is a terminal a person types at or reads. On Windows only a console is;
// the NUL device, which the C library counts as a character device, is not.
bool IsTerminal(std::FILE* stream);

// Writes text to the stream as it is and flushes it. A message that cannot be written (standard
// error on a full disk, a closed pipe) is lost, never fatal: false then, and the run goes on to
// its own exit status.
bool WriteText(std::FILE* stream, std::string_view text);

// Whether the terminal of the stream acts on ANSI escape codes, turning that on in a Windows
// console that can do it; false when text must be redrawn without them.
bool EnableEscapeCodes(std::FILE* stream);

}  // namespace fenwix
