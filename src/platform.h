// The few operating system services the tool needs, behind one small
// interface. Exactly one implementation is built: platform-posix.cpp or
// platform-win32.cpp.
#pragma once

#include <cstddef>
#include <cstdint>

// An open file: a descriptor on POSIX, a HANDLE on Windows.
struct File {
    std::intptr_t handle;
};

// The system's error code for a failed operation (errno, or the Win32 error);
// 0 means success.
using SysError = long;

// What the tool needs to know of a data file it opened.
struct FileInfo {
    unsigned long mode; // permission bits (POSIX) or attributes (Windows) the converted file keeps
    unsigned long owner;
    unsigned long group;
    bool writable; // false when the file is read-only, whoever runs the tool
};

enum class OpenResult { opened, absent, failed };

// Prepares the process for the run. POSIX: makes sure the standard streams
// are open, and ignores the signals that would end the process where an error
// return is wanted instead (a closed pipe, a file size limit). Windows: turns
// off the system's dialog boxes for unreadable media.
void prepare_process();

// The first argument after the program's name, or nullptr when there is none.
// POSIX hands the arguments over as `argv`; on Windows the tool splits the
// process's command line itself, so that the same rules hold whatever C
// runtime it is linked with.
const char* first_argument(int argc, char** argv);

// Opens a data file for reading. A name that does not exist, is not a regular
// file or may not be opened counts as absent; `failed` means the system could
// not open it for another reason (no descriptors or memory left), in `*error`.
OpenResult open_data_file(const char* name, File* file, FileInfo* info, SysError* error);

// Creates the temporary file anew for writing, with the permissions of `like`.
// A leftover file of that name is removed first, so that nothing is ever
// written through a link or into a file that has another name too. A
// read-only leftover or a directory of that name is an access error.
SysError create_temp_file(const char* name, const FileInfo& like, File* file);

// Reads up to `size` bytes; returns how many, 0 at the end, -1 on failure.
long read_file(File file, char* buffer, std::size_t size, SysError* error);

// Writes all `size` bytes.
SysError write_file(File file, const char* data, std::size_t size);

// Flushes a written file to stable storage and closes it.
SysError finish_file(File file);

void close_file(File file);
void remove_file(const char* name);

// Puts `temp` in place of `target` in one atomic step: at every instant the
// target name holds either the old or the new content.
SysError replace_file(const char* temp, const char* target);

// Makes the renames in the working directory durable.
void sync_directory();

// The error code the tool reports for a read-only file.
SysError access_denied_error();

// The fixed text printed for an error code.
const char* error_text(SysError error);

enum class Stream { output, error };

bool is_terminal(Stream stream);

// Writes to standard output or standard error; failures are ignored, since
// nothing the tool prints is worth stopping a conversion for.
void write_stream(Stream stream, const char* data, std::size_t size);
