#include "platform.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr mode_t WRITE_BITS = S_IWUSR | S_IWGRP | S_IWOTH;
constexpr mode_t PERMISSION_BITS = 07777;

constexpr int INTERRUPTING_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP};

// The descriptor of the working directory that holds its lock, or -1.
int directory_lock_fd = -1;

// The temporary file a conversion has under way, for the signal handler.
std::atomic<const char*> temp_under_way{nullptr};
static_assert(std::atomic<const char*>::is_always_lock_free);

// Async-signal-safe: removes the temporary file under way, then lets the
// signal end the process as it would have without a handler, so that the
// parent sees the usual status. The data file is whole at every instant, as
// the replacement is one rename.
extern "C" void end_by_signal(int signal_number) {
    if (const char* name = temp_under_way.load()) unlink(name);
    std::signal(signal_number, SIG_DFL);
    raise(signal_number);
}

bool is_under_way(const char* name) {
    const char* guarded = temp_under_way.load();
    return guarded && std::strcmp(guarded, name) == 0;
}

void install_interrupt_handlers() {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = end_by_signal;
    sigemptyset(&action.sa_mask);
    for (int signal_number : INTERRUPTING_SIGNALS)
        sigaddset(&action.sa_mask, signal_number);
    for (int signal_number : INTERRUPTING_SIGNALS) {
        // A signal ignored by whoever started the tool (nohup) stays ignored.
        struct sigaction previous;
        if (sigaction(signal_number, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN)
            continue;
        sigaction(signal_number, &action, nullptr);
    }
}

int fd_of(File file) {
    return static_cast<int>(file.handle);
}

// open() retried when a signal interrupts it.
int open_retrying(const char* name, int flags, mode_t mode = 0) {
    int fd = -1;
    do
        fd = open(name, flags, mode);
    while (fd < 0 && errno == EINTR);
    return fd;
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
        if (fcntl(fd, F_GETFD) < 0 && open("/dev/null", O_RDWR) != fd) break;
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
    install_interrupt_handlers();
}

SysError lock_working_directory() {
    // The lock lasts as long as the descriptor is open: a killed run's lock
    // goes with it.
    int fd = open_retrying(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return errno;
    int result = -1;
    do
        result = flock(fd, LOCK_EX | LOCK_NB);
    while (result != 0 && errno == EINTR);
    if (result == 0) {
        directory_lock_fd = fd;
        return 0;
    }
    int error = errno == EWOULDBLOCK ? EACCES : errno;
    close(fd);
    return error;
}

void unlock_working_directory() {
    if (directory_lock_fd >= 0) close(directory_lock_fd);
    directory_lock_fd = -1;
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
    int fd = open_retrying(name, O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
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
    // Guarded before it exists, so that no signal can leave it behind.
    temp_under_way.store(name);
    int fd = open_retrying(name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                           S_IRUSR | S_IWUSR);
    if (fd < 0) {
        int error = errno;
        temp_under_way.store(nullptr);
        return error;
    }
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
    int result = -1;
    do
        result = fsync(fd_of(file));
    while (result != 0 && errno == EINTR);
    SysError error = result == 0 ? 0 : errno;
    if (close(fd_of(file)) != 0 && error == 0 && errno != EINTR) error = errno;
    return error;
}

void close_file(File file) {
    close(fd_of(file));
}

void remove_file(const char* name) {
    unlink(name);
    if (is_under_way(name)) temp_under_way.store(nullptr);
}

SysError replace_file(const char* temp, const char* target) {
    if (rename(temp, target) != 0) return errno;
    // Gone under its own name: a signal from here on has nothing to remove.
    if (is_under_way(temp)) temp_under_way.store(nullptr);
    return 0;
}

void sync_directory() {
    int fd = open_retrying(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
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
