#pragma once
// Messages of the command-line program: formatted as fmt::print would, written through
// WriteText, so that a standard error or output that cannot be written (a full disk, a closed
// pipe) loses the message and never ends the run.

#include <fmt/format.h>

#include <cstdio>
#include <string>
#include <utility>

#include "platform/console.h"

namespace fenwix {

template <typename... T>
void PrintText(std::FILE* stream, fmt::format_string<T...> format, T&&... args) {
  WriteText(stream, fmt::format(format, std::forward<T>(args)...));
}

}  // namespace fenwix
