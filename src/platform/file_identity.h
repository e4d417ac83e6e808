#pragma once
// Which file a name reaches, however it is spelled, through whichever links: the volume and the
// file's number on it. Two names reach the same file exactly when their identities are equal, so
// a long list of names is searched for repeats by sorting their identities.

#include <compare>
#include <cstdint>
#include <optional>
#include <string>

namespace fenwix {

struct FileIdentity {
  uint64_t volume = 0;
  uint64_t file = 0;

  auto operator<=>(const FileIdentity&) const = default;
};

// The identity of the existing file a UTF-8 path names; nothing when it cannot be told (no such
// file, no permission).
std::optional<FileIdentity> IdentifyFile(const std::string& path);

}  // namespace fenwix
