#include "platform.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr mode_t WRITE_BITS = S_IWUSR | S_IWGRP | S_IWOTH;
constexpr mode_t PERMISSION_BITS = 07777;

int fd_of(File file) {
    return static_cast<int>(file.handle);
}

// Read-only means no write bit at all, for root too; for anybody else the
// system's own access check counts as well.
bool is_writable(const char* name, mode_t mode) {
    return (mode & WRITE_BITS) != 0 && faccessat(AT_FDCWD, name, W_OK, AT_EACCESS) == 0;
}

bool is_absence(int error) {
    switch (error) {
    case EMFILE:
    case ENFILE:
    case ENOMEM:
    case EIO:
        return false;
    default:
        return true;
    }
}

} // namespace

void prepare_process() {
    // A standard stream left closed by the caller would hand its number to a
    // data file or to temp.vrx, and console output would land there.
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd)
        if (fcntl(fd, F_GETFD) < 0 && open("/dev/null", O_RDWR) != fd)
            break;
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
}

const char* first_argument(int argc, char** argv) {
    return argc > 1 ? argv[1] : nullptr;
}

OpenResult open_data_file(const char* name, File* file, FileInfo* info, SysError* error) {
    // Only regular files are ever opened: opening a device can have effects of
    // its own. O_NONBLOCK and O_NOFOLLOW keep a FIFO or link put in its place
    // meanwhile from blocking the open or leading elsewhere.
    struct stat st;
    if (lstat(name, &st) != 0 || !S_ISREG(st.st_mode)) return OpenResult::absent;
    int fd = open(name, O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        *error = errno;
        return is_absence(errno) ? OpenResult::absent : OpenResult::failed;
    }
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return OpenResult::absent;
    }
    fcntl(fd, F_SETFL, 0);
    file->handle = fd;
    *info =
        FileInfo{st.st_mode & PERMISSION_BITS, st.st_uid, st.st_gid, is_writable(name, st.st_mode)};
    return OpenResult::opened;
}

SysError create_temp_file(const char* name, const FileInfo& like, File* file) {
    struct stat st;
    if (lstat(name, &st) == 0) {
        if (S_ISDIR(st.st_mode)) return EISDIR;
        if (S_ISREG(st.st_mode) && !is_writable(name, st.st_mode)) return EACCES;
        if (unlink(name) != 0) return errno;
    } else if (errno != ENOENT) {
        return errno;
    }
    int fd = open(name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (fd < 0) return errno;
    // Ownership is kept where the system allows it (as root); otherwise the
    // file belongs to whoever runs the tool. The permission bits always stay.
    if (fchown(fd, like.owner, like.group) != 0) errno = 0;
    fchmod(fd, like.mode);
    file->handle = fd;
    return 0;
}

long read_file(File file, char* buffer, std::size_t size, SysError* error) {
    for (;;) {
        ssize_t got = read(fd_of(file), buffer, size);
        if (got >= 0) return static_cast<long>(got);
        if (errno != EINTR) {
            *error = errno;
            return -1;
        }
    }
}

SysError write_file(File file, const char* data, std::size_t size) {
    while (size > 0) {
        ssize_t put = write(fd_of(file), data, size);
        if (put < 0 && errno == EINTR) continue;
        if (put < 0) return errno;
        data += put;
        size -= static_cast<std::size_t>(put);
    }
    return 0;
}

SysError finish_file(File file) {
    SysError error = fsync(fd_of(file)) == 0 ? 0 : errno;
    if (close(fd_of(file)) != 0 && error == 0 && errno != EINTR) error = errno;
    return error;
}

void close_file(File file) {
    close(fd_of(file));
}

void remove_file(const char* name) {
    unlink(name);
}

SysError replace_file(const char* temp, const char* target) {
    return rename(temp, target) == 0 ? 0 : errno;
}

void sync_directory() {
    int fd = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

SysError access_denied_error() {
    return EACCES;
}

const char* error_text(SysError error) {
    switch (error) {
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
    case ETXTBSY:
    case EBUSY:
        return "Permission denied";
    case EMFILE:
    case ENFILE:
        return "Too many open files";
    case ENOSPC:
    case EDQUOT:
        return "No space left on device";
    case ENOMEM:
        return "Not enough space";
    case EFBIG:
        return "File too large";
    case EIO:
        return "Input/output error";
    case ENOENT:
    case ENOTDIR:
        return "No such file or directory";
    default:
        return "Invalid argument";
    }
}

bool is_terminal(Stream stream) {
    return isatty(stream == Stream::output ? STDOUT_FILENO : STDERR_FILENO) == 1;
}

void write_stream(Stream stream, const char* data, std::size_t size) {
    File file{stream == Stream::output ? STDOUT_FILENO : STDERR_FILENO};
    write_file(file, data, size);
}
