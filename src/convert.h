// The conversion passes: each walks the file set once, in ascending order,
// and rewrites every data file that is in its source layout.
#pragma once

#include <cstddef>

// The passes read a data file in blocks of this size and convert each block
// as a whole; the converted block is written with one call.
inline constexpr std::size_t READ_BLOCK_SIZE = 256 * 1024;

// VER200 files to VER210. Returns the run status: 0 when every file number
// was dealt with, 1 when the pass stopped at a failure it reported.
int upgrade_files();

// VER210 files to VER200, with the same statuses.
int downgrade_files();
