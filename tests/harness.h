// Runs the built tool in scratch directories and looks at what it left.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <sys/types.h>
#include <vector>

struct ToolRun {
    int status = -1; // exit status, or 128 + signal
    std::string out;
    std::string err;
    long max_rss_kib = 0; // peak resident memory of the process
};

struct RunOptions {
    long file_size_limit = -1;         // RLIMIT_FSIZE in bytes, -1 for none
    long open_file_limit = -1;         // RLIMIT_NOFILE, -1 for none
    bool stdout_closed = false;        // standard output is a pipe nobody reads
    const char* stdout_path = nullptr; // standard output goes to this file
    int stdout_fd = -1;                // standard output is this descriptor, kept by the caller
    int gate_fd = -1;                  // the tool starts once it has read a byte from here
    int timeout_ms = 60000;            // the run is killed after this long without output
};

// A run going on in the background.
struct StartedRun {
    pid_t pid = -1;
    int out_fd = -1;
    int err_fd = -1;
    int timeout_ms = 0;
};

// True when the tool runs through VRXPORT_RUNNER (a Windows build under
// Wine), where Linux-only facilities such as resource limits do not apply.
bool tool_is_foreign();

// A fixture with a fresh scratch directory, removed afterwards.
class ToolTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    ToolRun run(const std::vector<std::string>& args = {}, const RunOptions& options = {});
    // `run` in two halves: `start` returns at once, `finish` collects the
    // output and waits for the end (and may come after a kill).
    StartedRun start(const std::vector<std::string>& args = {}, const RunOptions& options = {});
    static ToolRun finish(StartedRun& started);
    std::string path(const std::string& name) const { return dir + "/" + name; }
    void put(const std::string& name, const std::string& bytes);
    std::string get(const std::string& name) const;
    bool exists(const std::string& name) const;
    // Every file in the directory, sorted by name.
    std::vector<std::string> list() const;
    // Mounts a tmpfs of `size` ("size=256m") on the scratch directory where
    // that is possible (as root, tool native), for tests that convert a lot
    // and care about processes rather than storage. Unmounted afterwards.
    void use_tmpfs(const char* size);

    std::string dir;
    bool mounted = false;
};

// Standard output of a run that lists `names`: the banner, then the names.
std::string listing(const std::vector<std::string>& names);

extern const char BANNER_LINE[];
extern const char USAGE_LINES[];
