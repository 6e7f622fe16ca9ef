// Interrupted by the user: Ctrl-C, SIGTERM or SIGHUP during a conversion
// leave the data file whole, remove temp.vrx, and end the tool by that signal.
#include "harness.h"

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

using SignalTest = ToolTest;

// Long enough that the conversion is still going when the signal comes.
std::string large_body() {
    std::string line = "a line of the body that the tool will have to give a CR\n";
    std::string body;
    body.reserve(64 << 20);
    while (body.size() < (64 << 20))
        body += line;
    return body;
}

// Under an emulator, SIGINT arrives as the console's Ctrl-C, and the process
// ends with the exit code the emulator gives it.
TEST_F(SignalTest, AnInterruptedConversionLeavesTheFileWholeAndNoTempFile) {
    const std::string small = "200\r\n1\r\nsmall\r\n";
    const std::string large = "200\r\n2\r\n" + large_body();
    const std::vector<int> signals =
        tool_is_foreign() ? std::vector<int>{SIGINT} : std::vector<int>{SIGINT, SIGTERM, SIGHUP};
    for (int signal_number : signals) {
        put("vuro000.vrx", small);
        put("vuro001.vrx", large);
        StartedRun started = start();
        // A temp.vrx larger than vuro000.vrx is vuro001.vrx's, under way.
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        struct stat st;
        while ((lstat(path("temp.vrx").c_str(), &st) != 0 || st.st_size < (1 << 20)) &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        ASSERT_EQ(kill(started.pid, signal_number), 0);
        ToolRun result = finish(started);
        if (!tool_is_foreign()) {
            EXPECT_EQ(result.status, 128 + signal_number) << strsignal(signal_number);
        }
        EXPECT_EQ(get("vuro000.vrx"), "210 1 0\r\nsmall\r\n") << strsignal(signal_number);
        EXPECT_TRUE(get("vuro001.vrx") == large) << strsignal(signal_number);
        EXPECT_EQ(list(), (std::vector<std::string>{"vuro000.vrx", "vuro001.vrx"}))
            << strsignal(signal_number);
    }
}

TEST_F(SignalTest, AHangupIgnoredByWhoeverStartedTheToolStaysIgnored) {
    if (tool_is_foreign()) GTEST_SKIP() << "signals are sent the POSIX way";
    const std::string large = "200\r\n2\r\n" + large_body();
    put("vuro001.vrx", large);
    // As nohup starts a program: the ignored disposition is inherited.
    struct sigaction ignore = {}, previous = {};
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(sigaction(SIGHUP, &ignore, &previous), 0);
    StartedRun started = start();
    sigaction(SIGHUP, &previous, nullptr);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!exists("temp.vrx") && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    ASSERT_EQ(kill(started.pid, SIGHUP), 0);
    ToolRun result = finish(started);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, listing({"vuro001.vrx"}));
    EXPECT_TRUE(get("vuro001.vrx").starts_with("210 2 1\r\na line of the body"));
    EXPECT_FALSE(exists("temp.vrx"));
}

} // namespace
