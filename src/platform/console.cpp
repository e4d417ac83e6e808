#include "platform/console.h"

#include <cstdlib>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
// windows.h first: shellapi.h relies on its types.
#include <shellapi.h>
#else
#include <unistd.h>
#endif

namespace fenwix {

bool WriteText(std::FILE* stream, std::string_view text) {
  const bool written = std::fwrite(text.data(), 1, text.size(), stream) == text.size();
  const bool flushed = std::fflush(stream) == 0;
  // A failed write leaves the stream's error flag set; the next message tries afresh.
  std::clearerr(stream);
  return written && flushed;
}

#ifdef _WIN32

namespace {

std::string Utf8FromWide(const wchar_t* wide) {
  const int length = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (length <= 1) return {};
  std::string text(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, -1, text.data(), length, nullptr, nullptr);
  text.pop_back();  // the terminating zero
  return text;
}

HANDLE ConsoleOf(std::FILE* stream) {
  const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  DWORD mode = 0;
  if (handle == INVALID_HANDLE_VALUE || GetConsoleMode(handle, &mode) == 0) return nullptr;
  return handle;
}

// The code pages belong to the console, which outlives the program: they are put back at exit.
UINT saved_output_code_page = 0;
UINT saved_input_code_page = 0;

void RestoreCodePages() {
  SetConsoleOutputCP(saved_output_code_page);
  SetConsoleCP(saved_input_code_page);
}

}  // namespace

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return std::vector<std::string>(argv + 1, argv + argc);
  std::vector<std::string> args;
  for (int i = 1; i < count; ++i) args.push_back(Utf8FromWide(wide[i]));
  LocalFree(wide);
  return args;
}

void UseUtf8Console() {
  saved_output_code_page = GetConsoleOutputCP();
  saved_input_code_page = GetConsoleCP();
  // Zero: no console (output to a file or a pipe); nothing to change.
  if (saved_output_code_page == 0 || saved_input_code_page == 0) return;
  SetConsoleOutputCP(CP_UTF8);
  SetConsoleCP(CP_UTF8);
  std::atexit(RestoreCodePages);
}

bool IsTerminal(std::FILE* stream) {
  return ConsoleOf(stream) != nullptr;
}

bool EnableEscapeCodes(std::FILE* stream) {
  const HANDLE console = ConsoleOf(stream);
  DWORD mode = 0;
  if (console == nullptr || GetConsoleMode(console, &mode) == 0) return false;
  if ((mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0) return true;
  return SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

#else

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  return std::vector<std::string>(argv + 1, argv + argc);
}

void UseUtf8Console() {}

bool IsTerminal(std::FILE* stream) {
  return isatty(fileno(stream)) != 0;
}

bool EnableEscapeCodes(std::FILE* stream) {
  return IsTerminal(stream);
}

#endif

}  // namespace fenwix
