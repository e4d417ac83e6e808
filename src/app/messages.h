#pragma once
// The string table and the formatting of numbered messages.

#include <cstdint>
#include <string>
#include <string_view>

#include <fmt/printf.h>

#include "app/message_id.h"
#include "app/user_interface.h"

namespace fenwix {

// Message and string numbers.
inline constexpr MessageId MSG_ABOUT_MENU{101};
inline constexpr MessageId MSG_WRITE_ERROR{1001};
inline constexpr MessageId MSG_NO_MEMORY{1002};
inline constexpr MessageId STR_XML_FILTER{2001};
inline constexpr MessageId STR_XML_TITLE{2002};
inline constexpr MessageId STR_OUTPUT_FILTER{2003};
inline constexpr MessageId STR_OUTPUT_TITLE{2004};
inline constexpr MessageId MSG_SEED_NOT_FOUND{2111};
inline constexpr MessageId MSG_NO_XML_NAME{2112};
inline constexpr MessageId MSG_NO_OUTPUT_NAME{2113};
inline constexpr MessageId MSG_CANNOT_OPEN{2114};
inline constexpr MessageId MSG_CANNOT_READ{2115};
inline constexpr MessageId MSG_READ_INCOMPLETE{2116};
inline constexpr MessageId MSG_OUTPUT_IS_INPUT{2117};
inline constexpr MessageId MSG_PACKED_ANGLE{2118};
inline constexpr MessageId MSG_NO_SEED_NAME{2119};
inline constexpr MessageId MSG_SETTINGS_NOT_SAVED{2120};
inline constexpr MessageId MSG_INPUT_TWICE{2131};
inline constexpr MessageId MSG_OUTPUT_IS_XML{2132};
inline constexpr MessageId MSG_FILES_INCOMPLETE{2133};
// Job files.
inline constexpr MessageId MSG_JOB_REFUSED{2141};
inline constexpr MessageId MSG_LEAVE_OUT_NOT_FOUND{2142};
inline constexpr MessageId MSG_FIELD_FILE_CHANGED{2143};
inline constexpr MessageId MSG_NAME_CLASH{2144};
inline constexpr MessageId MSG_MERGE_NO_STATION{2145};
inline constexpr MessageId MSG_SUCCESS_APPROX{2211};
inline constexpr MessageId MSG_CANCELLED{2212};
inline constexpr MessageId MSG_SUCCESS{2213};
inline constexpr MessageId MSG_ENTER_NUMBER{61713};
inline constexpr MessageId MSG_NUMBER_RANGE{61715};
inline constexpr MessageId MSG_TOO_LONG{61716};
// What a text is shown under when it is not one of the table's (a refused field's Status): it
// is about no name and is no success.
inline constexpr MessageId MSG_NO_NUMBER{0};

// Longest formatted message, in bytes, without its terminator.
inline constexpr size_t MAX_MESSAGE_BYTES = 519;

// The text of a string-table entry; empty for an unknown number.
std::string_view MessageText(MessageId id);

// Which of the names a conversion was asked to use a message is about, so that a front end can
// point at it.
enum class MessageSubject { None, FieldFiles, OutputFile };
MessageSubject SubjectOf(MessageId id);

// Whether the message is the final word of a conversion that wrote its output (the person's
// news, not a warning).
bool IsSuccessMessage(MessageId id);

// Cuts text to at most max_bytes without splitting a UTF-8 character.
std::string CutUtf8(std::string text, size_t max_bytes);

// Formats the entry printf-style, cut to 519 bytes.
template <typename... Args>
std::string FormatMessage(MessageId id, const Args&... args) {
  const std::string_view format = MessageText(id);
  return CutUtf8(fmt::sprintf(fmt::string_view(format.data(), format.size()), args...),
                 MAX_MESSAGE_BYTES);
}

// Formats the entry and shows it to the person.
template <typename... Args>
void FormatMessageBox(UserInterface& ui, MessageId id, const Args&... args) {
  ui.ShowMessage(id, FormatMessage(id, args...));
}

// The field validation messages use %1 and %2 placeholders.
std::string FormatFieldMessage(MessageId id, std::string_view first = {},
                               std::string_view second = {});

}  // namespace fenwix
