// Interrupted system calls and short writes, produced for real: the tool's
// standard output is a socket that the test keeps full and reads slowly,
// while it sends a signal that has a handler without SA_RESTART in the tool.
// Blocked writes then fail with EINTR or return short, and not a byte of the
// listing may be lost or doubled.
#include "dataset.h"
#include "harness.h"

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using InterruptedCallTest = ToolTest;

// True when the process is in the middle of a write system call.
bool blocked_in_write(pid_t pid) {
    std::ifstream syscall("/proc/" + std::to_string(pid) + "/syscall");
    long number = -1;
    return syscall >> number && number == SYS_write;
}

void set_buffer(int fd, int option, int size) {
    setsockopt(fd, SOL_SOCKET, option, &size, sizeof size);
}

TEST_F(InterruptedCallTest, BlockedWritesInterruptedBySignalsLoseNothing) {
    if (tool_is_foreign()) GTEST_SKIP() << "needs a Linux preload library";
    setenv("LD_PRELOAD", INTERRUPTING_HANDLER_PATH, 1);
    use_tmpfs("size=64m");
    const DataSet set{225, 1};
    ASSERT_TRUE(write_data_set(dir, set));
    std::vector<std::string> names;
    for (int number = 0; number < set.files; ++number)
        names.push_back(data_file(number));
    const std::string expected = listing(names);

    constexpr int RUNS = 12;
    int signals = 0;
    for (int i = 0; i < RUNS; ++i) {
        int ends[2];
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
        set_buffer(ends[1], SO_SNDBUF, 1024);
        set_buffer(ends[0], SO_RCVBUF, 1024);
        // Filled before the tool starts, so its one write of the listing blocks.
        int flags = fcntl(ends[1], F_GETFL);
        fcntl(ends[1], F_SETFL, flags | O_NONBLOCK);
        std::string filler(256, '#');
        std::size_t prefilled = 0;
        for (ssize_t put; (put = write(ends[1], filler.data(), filler.size())) > 0;)
            prefilled += static_cast<std::size_t>(put);
        fcntl(ends[1], F_SETFL, flags);

        RunOptions options;
        options.stdout_fd = ends[1];
        StartedRun started =
            start(i % 2 ? std::vector<std::string>{"-r"} : std::vector<std::string>{}, options);
        close(ends[1]);
        // Once the tool is blocked writing its listing into the full socket,
        // it is sent signals and read from a few bytes at a time.
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!blocked_in_write(started.pid) && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        std::string received;
        char buffer[64];
        for (;;) {
            // Only while it is blocked is the handler surely in place: the
            // default action of the signal would end the tool.
            if (blocked_in_write(started.pid) && kill(started.pid, SIGUSR1) == 0) ++signals;
            std::this_thread::sleep_for(std::chrono::microseconds(300));
            ssize_t got = read(ends[0], buffer, sizeof buffer);
            if (got <= 0) break;
            received.append(buffer, static_cast<std::size_t>(got));
        }
        close(ends[0]);
        ToolRun result = finish(started);
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.err, "");
        ASSERT_EQ(received.substr(0, prefilled), std::string(prefilled, '#'));
        EXPECT_EQ(received.substr(prefilled), expected) << "run " << i;
        for (int number = 0; number < set.files; ++number)
            ASSERT_EQ(form_of(dir, set, number), i % 2 ? Form::downgraded : Form::upgraded);
    }
    unsetenv("LD_PRELOAD");
    std::printf("%d signals sent while the tool was blocked in write\n", signals);
    EXPECT_GT(signals, RUNS);
}

} // namespace
