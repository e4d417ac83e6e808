#pragma once
// The number of a message or string of the table (app/messages.h).

#include <cstdint>

namespace fenwix {

// What a front end is told beside a message's text, and what it looks the message's subject up
// by. Only the table gives the numbers names.
enum class MessageId : int32_t {};

}  // namespace fenwix
