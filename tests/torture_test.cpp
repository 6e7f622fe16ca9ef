// The tool under abuse: killed at random moments, stopped and continued over
// and over, and given a file larger than 4 GiB. No file may ever be lost,
// cut short or mixed, and a rerun must always finish the job.
#include "dataset.h"
#include "harness.h"

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

class TortureTest : public ToolTest {
  protected:
    void SetUp() override {
        ToolTest::SetUp();
        if (tool_is_foreign()) GTEST_SKIP() << "kills and stops are sent the POSIX way";
    }

    std::string full_listing(const DataSet& set) const {
        std::vector<std::string> names;
        for (int number = 0; number < set.files; ++number)
            names.push_back(data_file(number));
        return listing(names);
    }

    // Every file of the set is in one of `allowed`; a failure names the first
    // file that is not.
    void expect_forms(const DataSet& set, std::initializer_list<Form> allowed,
                      const std::string& when) {
        for (int number = 0; number < set.files; ++number) {
            Form form = form_of(dir, set, number);
            bool ok = false;
            for (Form a : allowed)
                ok = ok || form == a;
            ASSERT_TRUE(ok) << data_file(number) << " is " << form_name(form) << " " << when;
        }
    }

    // A rerun goes through every file and leaves each in `target`.
    void expect_rerun_finishes(const DataSet& set, const std::vector<std::string>& args,
                               Form target) {
        ToolRun result = run(args);
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.out, full_listing(set));
        EXPECT_EQ(result.err, "");
        expect_forms(set, {target}, "after the rerun");
        EXPECT_FALSE(exists("temp.vrx"));
    }
};

unsigned seed_for_this_run() {
    const char* fixed = std::getenv("VRXPORT_TORTURE_SEED");
    unsigned seed = fixed && *fixed ? static_cast<unsigned>(std::strtoul(fixed, nullptr, 10))
                                    : std::random_device{}();
    std::printf("random seed %u (set VRXPORT_TORTURE_SEED to repeat)\n", seed);
    return seed;
}

TEST_F(TortureTest, KillsAtRandomMomentsLeaveEveryFileWholeOldOrWholeNew) {
    // Kills are about processes, not storage: a tmpfs behaves as a disk
    // would for them, and keeps the many passes over a large set quick.
    use_tmpfs("size=1200m");
    const DataSet set{225, 512}; // about 2.3 MiB a file, 520 MiB in all
    std::mt19937 random(seed_for_this_run());

    // One undisturbed pass tells how long a pass takes.
    ASSERT_TRUE(write_data_set(dir, set));
    Clock::time_point started_at = Clock::now();
    ASSERT_EQ(run().status, 0);
    const Clock::duration pass_time = Clock::now() - started_at;
    expect_forms(set, {Form::upgraded}, "after a whole pass");
    ASSERT_TRUE(write_data_set(dir, set));

    struct Round {
        std::vector<std::string> args;
        Form source;
        Form target;
    };
    const Round rounds[] = {
        {{}, Form::original, Form::upgraded},   {{"-r"}, Form::upgraded, Form::downgraded},
        {{}, Form::downgraded, Form::upgraded}, {{"-r"}, Form::upgraded, Form::downgraded},
        {{}, Form::downgraded, Form::upgraded}, {{"-r"}, Form::upgraded, Form::downgraded},
    };
    constexpr int RUNS_PER_ROUND = 60;
    int kills = 0, finished = 0, leftovers = 0;
    for (const Round& round : rounds) {
        const std::string direction = round.args.empty() ? "upgrade" : "downgrade";
        // Each run starts over at file 0, so the kills creep through the
        // whole set in about one pass's time; a delay of zero hits the start.
        std::uniform_int_distribution<Clock::rep> delay(0, 2 * pass_time.count() / RUNS_PER_ROUND);
        for (int i = 0; i < RUNS_PER_ROUND; ++i) {
            StartedRun started = start(round.args);
            std::this_thread::sleep_for(Clock::duration(delay(random)));
            kill(started.pid, SIGKILL);
            ToolRun result = finish(started);
            if (result.status == 128 + SIGKILL) {
                ++kills;
            } else {
                ASSERT_EQ(result.status, 0) << result.err;
                ++finished;
            }
            leftovers += exists("temp.vrx");
            expect_forms(set, {round.source, round.target},
                         "after run " + std::to_string(i) + " of a killed " + direction);
            if (HasFatalFailure()) return;
        }
        expect_rerun_finishes(set, round.args, round.target);
        if (HasFatalFailure()) return;
    }
    std::printf("%d runs killed, %d finished before their kill, %d left a temp.vrx; "
                "a pass took %.0f ms\n",
                kills, finished, leftovers,
                std::chrono::duration<double, std::milli>(pass_time).count());
    RecordProperty("kills", kills);
    EXPECT_GT(kills, RUNS_PER_ROUND);
    EXPECT_GT(leftovers, 0) << "no kill ever came during a conversion";
}

TEST_F(TortureTest, StopsAndContinuesNeverChangeTheOutcome) {
    use_tmpfs("size=700m");
    const DataSet set{225, 256};
    ASSERT_TRUE(write_data_set(dir, set));
    int stops = 0;
    for (const std::vector<std::string>& args : {std::vector<std::string>{}, {"-r"}, {}, {"-r"}}) {
        StartedRun started = start(args);
        siginfo_t info;
        for (;;) {
            info.si_pid = 0;
            if (waitid(P_PID, static_cast<id_t>(started.pid), &info, WEXITED | WNOHANG | WNOWAIT) !=
                    0 ||
                info.si_pid != 0)
                break;
            kill(started.pid, SIGSTOP);
            ++stops;
            std::this_thread::sleep_for(std::chrono::microseconds(300));
            kill(started.pid, SIGCONT);
            std::this_thread::sleep_for(std::chrono::microseconds(700));
        }
        ToolRun result = finish(started);
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.out, full_listing(set));
        EXPECT_EQ(result.err, "");
        expect_forms(set, {args.empty() ? Form::upgraded : Form::downgraded}, "");
        EXPECT_FALSE(exists("temp.vrx"));
    }
    std::printf("%d stops and continues\n", stops);
    EXPECT_GT(stops, 10);
}

// A file larger than 4 GiB: mostly a hole, with a header at the start, a line
// across the 4 GiB mark and a recognisable end after it.
constexpr off_t FOUR_GIB = off_t{1} << 32;
constexpr off_t BOUNDARY_AT = FOUR_GIB - 2; // "\nX\n" straddles 2^32
constexpr off_t TAIL_AT = FOUR_GIB + (off_t{1} << 20);
const std::string HEAD = "200\r\n77\r\nstart of the body\n";
const std::string BOUNDARY = "\nX\n";
const std::string TAIL = "end of the large file\n\x1a ignored after the end of the text";

// The converted file as pieces: text, or `zeros` NUL bytes when text is empty.
struct Piece {
    std::string text;
    off_t zeros;
};

std::vector<Piece> converted_large_file() {
    const std::string head = "210 77 0\r\nstart of the body\r\n";
    const off_t body_start = static_cast<off_t>(HEAD.size());
    return {
        {head, 0},
        {"", BOUNDARY_AT - body_start},
        {"\r\nX\r\n", 0},
        {"", TAIL_AT - BOUNDARY_AT - static_cast<off_t>(BOUNDARY.size())},
        {"end of the large file\r\n", 0},
    };
}

// Compares a file with its pieces as a stream, in fixed-size blocks.
::testing::AssertionResult matches_pieces(const std::string& file,
                                          const std::vector<Piece>& pieces) {
    int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return ::testing::AssertionFailure() << "cannot open " << file;
    std::vector<char> block(1 << 20);
    std::vector<char> expected(block.size());
    off_t offset = 0;
    ::testing::AssertionResult outcome = ::testing::AssertionSuccess();
    for (const Piece& piece : pieces) {
        off_t size = piece.text.empty() ? piece.zeros : static_cast<off_t>(piece.text.size());
        for (off_t done = 0; done < size && outcome;) {
            std::size_t n = static_cast<std::size_t>(
                std::min<off_t>(size - done, static_cast<off_t>(block.size())));
            if (piece.text.empty())
                std::memset(expected.data(), 0, n);
            else
                std::memcpy(expected.data(), piece.text.data() + done, n);
            ssize_t got = pread(fd, block.data(), n, offset);
            if (got != static_cast<ssize_t>(n) || std::memcmp(block.data(), expected.data(), n))
                outcome = ::testing::AssertionFailure() << "differs in the block at " << offset;
            done += static_cast<off_t>(n);
            offset += static_cast<off_t>(n);
        }
    }
    struct stat st;
    if (outcome && (fstat(fd, &st) != 0 || st.st_size != offset))
        outcome = ::testing::AssertionFailure() << "size " << st.st_size << ", not " << offset;
    close(fd);
    return outcome;
}

TEST_F(TortureTest, AFileLargerThan4GiBConvertsInTheMemoryOfASmallOne) {
    // The converted copy is written out in full, so it needs real space.
    struct statvfs fs;
    ASSERT_EQ(statvfs(dir.c_str(), &fs), 0);
    const double free_gib = static_cast<double>(fs.f_bavail) * fs.f_frsize / (1 << 30);
    if (free_gib < 10)
        GTEST_SKIP() << "only " << free_gib << " GiB free in " << dir << ", 10 GiB wanted";

    put("vuro000.vrx", HEAD);
    ToolRun small = run();
    ASSERT_EQ(small.status, 0);

    int fd = open(path("vuro000.vrx").c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(pwrite(fd, HEAD.data(), HEAD.size(), 0), static_cast<ssize_t>(HEAD.size()));
    ASSERT_EQ(pwrite(fd, BOUNDARY.data(), BOUNDARY.size(), BOUNDARY_AT),
              static_cast<ssize_t>(BOUNDARY.size()));
    ASSERT_EQ(pwrite(fd, TAIL.data(), TAIL.size(), TAIL_AT), static_cast<ssize_t>(TAIL.size()));
    close(fd);

    RunOptions options;
    options.timeout_ms = 10 * 60 * 1000;
    Clock::time_point started_at = Clock::now();
    ToolRun large = run({}, options);
    const double seconds = std::chrono::duration<double>(Clock::now() - started_at).count();
    ASSERT_EQ(large.status, 0) << large.err;
    EXPECT_EQ(large.out, listing({"vuro000.vrx"}));
    EXPECT_TRUE(matches_pieces(path("vuro000.vrx"), converted_large_file()));
    EXPECT_FALSE(exists("temp.vrx"));

    // Memory is reported, and checked against a bound with plenty of room:
    // the same fixed buffers serve every size of file.
    std::printf("peak memory: %ld KiB for a small file, %ld KiB for %.1f GiB (%.1f s)\n",
                small.max_rss_kib, large.max_rss_kib,
                static_cast<double>(TAIL_AT + TAIL.size()) / (1 << 30), seconds);
    RecordProperty("small_file_max_rss_kib", static_cast<int>(small.max_rss_kib));
    RecordProperty("large_file_max_rss_kib", static_cast<int>(large.max_rss_kib));
    EXPECT_LE(large.max_rss_kib, small.max_rss_kib + 1024);
    EXPECT_LE(large.max_rss_kib, 16 * 1024);
}

} // namespace
