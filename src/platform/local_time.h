#pragma once
// The calendar time of the machine's time zone.

#include <ctime>

namespace fenwix {

// The broken-down local time of t; all fields zero when the system cannot give it.
std::tm LocalTime(std::time_t t);

}  // namespace fenwix
