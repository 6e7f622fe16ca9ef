#include "platform.h"

#include "command-line.h"
#include "format.h"

#include <windows.h>

namespace {

// Other processes may read and write the tool's files while it has them open,
// but not delete or rename them.
constexpr DWORD SHARE_MODE = FILE_SHARE_READ | FILE_SHARE_WRITE;

// Attributes a converted file takes over from the data file it replaces.
constexpr DWORD KEPT_ATTRIBUTES = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN |
                                  FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// A virus scanner or an indexer may hold a file for a moment; a replacement
// refused for that is tried again for about a second.
constexpr DWORD REPLACE_RETRY_DELAY_MS = 50;
constexpr int REPLACE_ATTEMPTS = 20;

// The longest command line Windows passes is 32767 UTF-16 units; each takes
// at most three bytes of UTF-8.
constexpr int COMMAND_LINE_SIZE = 3 * 32768;

// The tool's file names are short and ASCII: widening them is a plain copy.
constexpr std::size_t WIDE_NAME_SIZE = 16;
static_assert(NAME_BUFFER_SIZE <= WIDE_NAME_SIZE && sizeof TEMP_FILE_NAME <= WIDE_NAME_SIZE);

struct WideName {
    wchar_t text[WIDE_NAME_SIZE];
};

WideName widen(const char* name) {
    WideName wide{};
    for (std::size_t i = 0; name[i] != '\0' && i + 1 < WIDE_NAME_SIZE; ++i)
        wide.text[i] = static_cast<unsigned char>(name[i]);
    return wide;
}

HANDLE handle_of(File file) {
    return reinterpret_cast<HANDLE>(file.handle);
}

File file_of(HANDLE handle) {
    return File{reinterpret_cast<std::intptr_t>(handle)};
}

// A data file that cannot be opened is absent, unless the system ran out of
// something it needs to open any file at all.
bool is_absence(DWORD error) {
    switch (error) {
    case ERROR_TOO_MANY_OPEN_FILES:
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
    case ERROR_NO_SYSTEM_RESOURCES:
        return false;
    default:
        return true;
    }
}

HANDLE open_for_reading(const WideName& name, DWORD flags) {
    return CreateFileW(name.text, GENERIC_READ, SHARE_MODE, nullptr, OPEN_EXISTING,
                       flags | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

enum class Kind { file, link, other_reparse_point, not_a_file };

// What an open handle refers to. A link (symbolic link or junction) counts as
// such itself, as it does on POSIX; other reparse points, such as files
// stored in the cloud, are files the system must be allowed to see through.
Kind kind_of(HANDLE handle, DWORD* attributes) {
    FILE_ATTRIBUTE_TAG_INFO info;
    if (GetFileType(handle) != FILE_TYPE_DISK ||
        !GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &info, sizeof info))
        return Kind::not_a_file;
    *attributes = info.FileAttributes;
    if (info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return IsReparseTagNameSurrogate(info.ReparseTag) ? Kind::link : Kind::other_reparse_point;
    if (info.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) return Kind::not_a_file;
    return Kind::file;
}

// Removes a leftover of the temporary file's name, whatever it is, unless it
// is a file the tool may not write or a real directory.
DWORD remove_leftover(const WideName& name) {
    DWORD attributes = GetFileAttributesW(name.text);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND ? 0 : error;
    }
    bool link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (!link && (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)))
        return ERROR_ACCESS_DENIED;
    // A link to a directory is removed as a directory; its target stays.
    bool removed = (attributes & FILE_ATTRIBUTE_DIRECTORY) ? RemoveDirectoryW(name.text)
                                                           : DeleteFileW(name.text);
    return removed ? 0 : GetLastError();
}

bool is_transient_refusal(DWORD error) {
    return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ||
           error == ERROR_LOCK_VIOLATION;
}

HANDLE std_handle(Stream stream) {
    return GetStdHandle(stream == Stream::output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}

} // namespace

void prepare_process() {
    // No dialog boxes for a missing or unreadable medium: the call fails instead.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
}

const char* first_argument(int, char**) {
    static char line[COMMAND_LINE_SIZE];
    static char text[COMMAND_LINE_SIZE];
    // UTF-8 splits exactly as UTF-16 does: the characters the rules look at
    // are ASCII, and no byte of a longer UTF-8 sequence is.
    // A command line that cannot be read holds no option: the usage text.
    if (WideCharToMultiByte(CP_UTF8, 0, GetCommandLineW(), -1, line, COMMAND_LINE_SIZE, nullptr,
                            nullptr) == 0)
        return "";
    const char* args[2];
    return split_command_line(line, text, args, 2) > 1 ? args[1] : nullptr;
}

OpenResult open_data_file(const char* name, File* file, FileInfo* info, SysError* error) {
    WideName wide = widen(name);
    HANDLE handle = open_for_reading(wide, FILE_FLAG_OPEN_REPARSE_POINT);
    DWORD attributes = 0;
    Kind kind = Kind::not_a_file;
    if (handle != INVALID_HANDLE_VALUE) kind = kind_of(handle, &attributes);
    if (kind == Kind::other_reparse_point) {
        CloseHandle(handle);
        handle = open_for_reading(wide, 0);
        if (handle != INVALID_HANDLE_VALUE) kind = kind_of(handle, &attributes);
        if (kind == Kind::other_reparse_point) kind = Kind::file;
    }
    if (handle == INVALID_HANDLE_VALUE) {
        DWORD failure = GetLastError();
        *error = static_cast<SysError>(failure);
        return is_absence(failure) ? OpenResult::absent : OpenResult::failed;
    }
    if (kind != Kind::file) {
        CloseHandle(handle);
        return OpenResult::absent;
    }
    *file = file_of(handle);
    *info =
        FileInfo{attributes & KEPT_ATTRIBUTES, 0, 0, (attributes & FILE_ATTRIBUTE_READONLY) == 0};
    return OpenResult::opened;
}

SysError create_temp_file(const char* name, const FileInfo& like, File* file) {
    WideName wide = widen(name);
    if (DWORD error = remove_leftover(wide)) return static_cast<SysError>(error);
    DWORD attributes = like.mode & KEPT_ATTRIBUTES;
    HANDLE handle = CreateFileW(wide.text, GENERIC_WRITE, SHARE_MODE, nullptr, CREATE_NEW,
                                attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return static_cast<SysError>(GetLastError());
    *file = file_of(handle);
    return 0;
}

long read_file(File file, char* buffer, std::size_t size, SysError* error) {
    DWORD got = 0;
    DWORD wanted = size > MAXDWORD ? MAXDWORD : static_cast<DWORD>(size);
    if (ReadFile(handle_of(file), buffer, wanted, &got, nullptr)) return static_cast<long>(got);
    if (GetLastError() == ERROR_HANDLE_EOF) return 0;
    *error = static_cast<SysError>(GetLastError());
    return -1;
}

SysError write_file(File file, const char* data, std::size_t size) {
    while (size > 0) {
        DWORD put = 0;
        DWORD wanted = size > MAXDWORD ? MAXDWORD : static_cast<DWORD>(size);
        if (!WriteFile(handle_of(file), data, wanted, &put, nullptr))
            return static_cast<SysError>(GetLastError());
        if (put == 0) return ERROR_WRITE_FAULT;
        data += put;
        size -= put;
    }
    return 0;
}

SysError finish_file(File file) {
    SysError error = FlushFileBuffers(handle_of(file)) ? 0 : GetLastError();
    if (!CloseHandle(handle_of(file)) && error == 0) error = GetLastError();
    return error;
}

void close_file(File file) {
    CloseHandle(handle_of(file));
}

void remove_file(const char* name) {
    DeleteFileW(widen(name).text);
}

SysError replace_file(const char* temp, const char* target) {
    WideName from = widen(temp);
    WideName to = widen(target);
    DWORD error = 0;
    for (int attempt = 1;; ++attempt) {
        if (MoveFileExW(from.text, to.text, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return 0;
        error = GetLastError();
        if (!is_transient_refusal(error) || attempt == REPLACE_ATTEMPTS) break;
        Sleep(REPLACE_RETRY_DELAY_MS);
    }
    return static_cast<SysError>(error);
}

void sync_directory() {
    // MOVEFILE_WRITE_THROUGH has already made every rename durable.
}

SysError access_denied_error() {
    return ERROR_ACCESS_DENIED;
}

const char* error_text(SysError error) {
    switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
        return "Permission denied";
    case ERROR_TOO_MANY_OPEN_FILES:
        return "Too many open files";
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return "No space left on device";
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return "Not enough space";
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return "No such file or directory";
    default:
        return "Invalid argument";
    }
}

bool is_terminal(Stream stream) {
    DWORD mode = 0;
    return GetConsoleMode(std_handle(stream), &mode) != 0;
}

void write_stream(Stream stream, const char* data, std::size_t size) {
    HANDLE handle = std_handle(stream);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
    write_file(file_of(handle), data, size);
}
