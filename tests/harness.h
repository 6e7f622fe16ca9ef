// Runs the built tool in scratch directories and looks at what it left.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

struct ToolRun {
    int status = -1; // exit status, or 128 + signal
    std::string out;
    std::string err;
};

struct RunOptions {
    long file_size_limit = -1;         // RLIMIT_FSIZE in bytes, -1 for none
    long open_file_limit = -1;         // RLIMIT_NOFILE, -1 for none
    bool stdout_closed = false;        // standard output is a pipe nobody reads
    const char* stdout_path = nullptr; // standard output goes to this file
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
    std::string path(const std::string& name) const { return dir + "/" + name; }
    void put(const std::string& name, const std::string& bytes);
    std::string get(const std::string& name) const;
    bool exists(const std::string& name) const;
    // Every file in the directory, sorted by name.
    std::vector<std::string> list() const;

    std::string dir;
};

// Standard output of a run that lists `names`: the banner, then the names.
std::string listing(const std::vector<std::string>& names);

extern const char BANNER_LINE[];
extern const char USAGE_LINES[];
