#include "harness.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <ftw.h>
#include <poll.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

const char BANNER_LINE[] = "vrxport - VURO data file header converter (VER200 <-> VER210)\r\n";
const char USAGE_LINES[] = "Usage: vrxport [-r]\r\nNo option : VERE200-->VER210\r\n"
                           "-r : VERE210-->VER200\r\n";

namespace {

constexpr int RUN_TIMEOUT_MS = 60000;

std::vector<std::string> split_words(const char* text) {
    std::vector<std::string> words;
    std::istringstream in(text ? text : "");
    for (std::string word; in >> word;)
        words.push_back(word);
    return words;
}

std::vector<std::string> command_for(const std::vector<std::string>& args) {
    std::vector<std::string> command = split_words(std::getenv("VRXPORT_RUNNER"));
    const char* tool = std::getenv("VRXPORT_TOOL");
    command.push_back(tool ? tool : "vrxport");
    command.insert(command.end(), args.begin(), args.end());
    return command;
}

void set_limit(int resource, long value) {
    if (value < 0) return;
    struct rlimit limit = {static_cast<rlim_t>(value), static_cast<rlim_t>(value)};
    setrlimit(resource, &limit);
}

[[noreturn]] void exec_child(const std::string& dir, const std::vector<std::string>& command,
                             const RunOptions& options, int out_fd, int err_fd) {
    int null_fd = open("/dev/null", O_RDONLY);
    dup2(null_fd, STDIN_FILENO);
    dup2(out_fd, STDOUT_FILENO);
    dup2(err_fd, STDERR_FILENO);
    closefrom(STDERR_FILENO + 1);
    signal(SIGPIPE, SIG_DFL);
    if (chdir(dir.c_str()) != 0) _exit(126);
    set_limit(RLIMIT_FSIZE, options.file_size_limit);
    set_limit(RLIMIT_NOFILE, options.open_file_limit);
    std::vector<char*> argv;
    for (const std::string& word : command)
        argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
}

// Collects both pipes until they close or the run takes too long.
void drain(int out_fd, int err_fd, ToolRun& result, pid_t child) {
    struct pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int open_count = 0;
    for (auto& fd : fds)
        open_count += fd.fd >= 0;
    while (open_count > 0) {
        if (poll(fds, 2, RUN_TIMEOUT_MS) == 0) {
            kill(child, SIGKILL);
            ADD_FAILURE() << "the tool did not finish in time";
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            char buffer[4096];
            ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(got));
            } else if (got == 0 || errno != EINTR) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open_count;
            }
        }
    }
    for (auto& fd : fds)
        if (fd.fd >= 0) close(fd.fd);
}

int remove_entry(const char* path, const struct stat*, int, struct FTW*) {
    chmod(path, 0700);
    remove(path);
    return 0;
}

} // namespace

bool tool_is_foreign() {
    const char* runner = std::getenv("VRXPORT_RUNNER");
    return runner && *runner;
}

void ToolTest::SetUp() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/vrxport-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr) << std::strerror(errno);
    dir = pattern;
}

void ToolTest::TearDown() {
    if (!dir.empty()) nftw(dir.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS);
}

ToolRun ToolTest::run(const std::vector<std::string>& args, const RunOptions& options) {
    int out_pipe[2], err_pipe[2];
    EXPECT_EQ(pipe2(out_pipe, O_CLOEXEC), 0);
    EXPECT_EQ(pipe2(err_pipe, O_CLOEXEC), 0);
    int out_fd = out_pipe[1];
    if (options.stdout_closed) {
        close(out_pipe[0]);
        out_pipe[0] = -1;
    } else if (options.stdout_path) {
        out_fd = open(options.stdout_path, O_WRONLY | O_CLOEXEC);
    }
    ToolRun result;
    pid_t child = fork();
    if (child == 0) exec_child(dir, command_for(args), options, out_fd, err_pipe[1]);
    close(out_pipe[1]);
    close(err_pipe[1]);
    if (out_fd != out_pipe[1]) close(out_fd);
    drain(out_pipe[0], err_pipe[0], result, child);
    int wait_status = 0;
    waitpid(child, &wait_status, 0);
    result.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128 + WTERMSIG(wait_status);
    return result;
}

void ToolTest::put(const std::string& name, const std::string& bytes) {
    std::ofstream file(path(name), std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(file.good()) << name;
}

std::string ToolTest::get(const std::string& name) const {
    std::ifstream file(path(name), std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

bool ToolTest::exists(const std::string& name) const {
    struct stat st;
    return lstat(path(name).c_str(), &st) == 0;
}

std::vector<std::string> ToolTest::list() const {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (struct dirent* entry = readdir(d))
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                names.push_back(entry->d_name);
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string listing(const std::vector<std::string>& names) {
    std::string out = BANNER_LINE;
    for (const std::string& name : names)
        out += name + "\r\n";
    return out;
}
