#pragma once
// How a core operation that can fail says so: a Status with its kind, its text for the person
// and, where the fault has one, the place in a file it was found. An operation that gives back a
// value returns a Result, which holds either the value or the Status of its failure. The core
// never shows a Status; the front ends turn it into words, a message box or an exit status.

#include <optional>
#include <string>
#include <utility>
#include <variant>

#include "model/source_location.h"

namespace fenwix {

enum class StatusKind {
  Ok,
  Refused,      // what was asked cannot be used: a name, a value, a file's content
  Unreadable,   // a file cannot be read
  WriteFailed,  // a file cannot be written to its end
  OutOfMemory,  // nothing half-written is left behind
  Cancelled,    // the person stopped it
};

class [[nodiscard]] Status {
 public:
  // Success.
  Status() = default;
  Status(StatusKind kind, std::string text, std::optional<SourceLocation> at = std::nullopt)
      : kind_(kind), text_(std::move(text)), at_(at) {}
  static Status Refused(std::string text, std::optional<SourceLocation> at = std::nullopt) {
    return Status(StatusKind::Refused, std::move(text), at);
  }

  bool ok() const { return kind_ == StatusKind::Ok; }
  bool failed() const { return kind_ != StatusKind::Ok; }
  StatusKind kind() const { return kind_; }
  // The sentence for the person, whole: it names the file and, where there is one, the line.
  const std::string& text() const { return text_; }
  // Where in a file the fault was found, when it was found in one.
  const std::optional<SourceLocation>& at() const { return at_; }

 private:
  StatusKind kind_ = StatusKind::Ok;
  std::string text_;
  std::optional<SourceLocation> at_;
};

template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : held_(std::move(value)) {}           // NOLINT: a value converts to its result
  Result(Status failure) : held_(std::move(failure)) {}  // NOLINT: so does a failure

  bool ok() const { return std::holds_alternative<T>(held_); }
  // The value; only when ok().
  const T& value() const& { return std::get<T>(held_); }
  T& value() & { return std::get<T>(held_); }
  T&& value() && { return std::get<T>(std::move(held_)); }
  // The failure; a success Status when ok().
  Status status() const { return ok() ? Status() : std::get<Status>(held_); }

 private:
  std::variant<T, Status> held_;
};

}  // namespace fenwix
