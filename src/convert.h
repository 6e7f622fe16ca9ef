// The conversion passes: each walks the file set once, in ascending order,
// and rewrites every data file that is in its source layout.
#pragma once

// VER200 files to VER210. Returns the run status: 0 when every file number
// was dealt with, 1 when the pass stopped at a failure it reported.
int upgrade_files();

// VER210 files to VER200, with the same statuses.
int downgrade_files();
