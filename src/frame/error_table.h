// The constant table of error codes and their messages, and the lookup over it.
#ifndef XAVOKZ_FRAME_ERROR_TABLE_H
#define XAVOKZ_FRAME_ERROR_TABLE_H

#include <array>
#include <cstddef>

#include "XAVOKZ.h"

namespace kz {

struct CodeEntry {
    ErrorCode code;
    const char* message;
};

// 224 codes followed by the terminator {0xa601, "Unknown"}.
inline constexpr std::size_t kNumberOfCodeEntries = 225;

// In its fixed order, not sorted by code.
extern const std::array<CodeEntry, kNumberOfCodeEntries> codeTable;

// The message of the first entry whose code equals `code`, or "Unknown" once the walk reaches
// the terminator. Never null.
const char* codeString(ErrorCode code);

}  // namespace kz

#endif
