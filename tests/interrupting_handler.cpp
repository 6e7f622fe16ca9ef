// Loaded into the tool with LD_PRELOAD by interrupted_calls_test: installs a
// handler for SIGUSR1 without SA_RESTART, as any library linked into a
// program may do, so that the test can interrupt the tool's blocked system
// calls for real. A blocked write then returns early: with EINTR when nothing
// was written yet, short when some was.
#include <csignal>
#include <cstring>

namespace {

void ignore_signal(int) {}

struct InstallHandler {
    InstallHandler() {
        struct sigaction action;
        std::memset(&action, 0, sizeof action);
        action.sa_handler = ignore_signal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0; // no SA_RESTART
        sigaction(SIGUSR1, &action, nullptr);
    }
} install_handler;

} // namespace
