#pragma once
// Getting a written file onto the disk: all of it before it replaces an older output, and, for a
// large output, window by window while it is written.

#include <cstdint>
#include <cstdio>

namespace fenwix {

// Flushes the stream and waits until the system has its bytes on the disk; false on failure.
bool SyncFile(std::FILE* stream);

// Starts writing bytes [offset, offset + length) of the stream's file to the disk without
// waiting. 0, or the system's error number; ENOSYS where the system has no such call.
int StartWriteback(std::FILE* stream, int64_t offset, int64_t length);
// Waits until bytes [offset, offset + length) are on the disk and lets their pages leave the
// cache. 0, or the system's error number (an error writing them included); ENOSYS as above.
int FinishWriteback(std::FILE* stream, int64_t offset, int64_t length);

}  // namespace fenwix
