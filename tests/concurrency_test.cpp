// Runs at once in one directory: one of them has the directory, any other
// refuses before it touches or lists anything, and no file is ever lost,
// mixed or converted halfway.
#include "dataset.h"
#include "harness.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

const char REFUSAL[] = "temp.vrx: Permission denied\r\n";

// What a test can see of a directory entry without reading it.
struct EntryStamp {
    std::string name;
    ino_t inode;
    off_t size;
    struct timespec modified;
    struct timespec changed;

    bool operator==(const EntryStamp& other) const {
        return name == other.name && inode == other.inode && size == other.size &&
               modified.tv_sec == other.modified.tv_sec &&
               modified.tv_nsec == other.modified.tv_nsec &&
               changed.tv_sec == other.changed.tv_sec && changed.tv_nsec == other.changed.tv_nsec;
    }
};

class ConcurrencyTest : public ToolTest {
  protected:
    std::vector<EntryStamp> stamps() const {
        std::vector<EntryStamp> result;
        for (const std::string& name : list()) {
            struct stat st;
            if (lstat(path(name).c_str(), &st) == 0)
                result.push_back({name, st.st_ino, st.st_size, st.st_mtim, st.st_ctim});
        }
        return result;
    }
};

TEST_F(ConcurrencyTest, ARunThatFindsTheDirectoryTakenTouchesNothing) {
    if (tool_is_foreign()) GTEST_SKIP() << "the lock is taken here the Linux way";
    put("vuro000.vrx", "200\r\n1\r\nbody\r\n");
    put("vuro001.vrx", "210 2 1\r\nbody\r\n");
    put("temp.vrx", "left over");
    ASSERT_EQ(chmod(path("vuro001.vrx").c_str(), 0444), 0);
    const std::vector<EntryStamp> before = stamps();

    int held = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);
    for (const std::vector<std::string>& args : {std::vector<std::string>{}, {"-r"}}) {
        ToolRun result = run(args);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out, BANNER_LINE);
        EXPECT_EQ(result.err, REFUSAL);
        EXPECT_EQ(stamps(), before);
    }
    // The usage text needs no directory.
    EXPECT_EQ(run({"-x"}).err, "");
    close(held);

    ToolRun result = run();
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, listing({"vuro000.vrx", "vuro001.vrx"}));
    EXPECT_EQ(get("vuro000.vrx"), "210 1 0\r\nbody\r\n");
}

// Each group of runs is started together, many times over; the later runs
// are held back by a random delay of up to about one pass, so that they come
// at every moment of the first one's pass as well as at its very start.
TEST_F(ConcurrencyTest, RunsStartedTogetherNeverMixTheirWork) {
    use_tmpfs("size=256m"); // quick, and the lock does not depend on it
    const DataSet set{225, 4};
    ASSERT_TRUE(write_data_set(dir, set));
    ASSERT_EQ(run().status, 0);
    auto started_at = std::chrono::steady_clock::now();
    ASSERT_EQ(run({"-r"}).status, 0);
    const auto pass_time = std::chrono::steady_clock::now() - started_at;

    std::vector<std::string> all;
    for (int number = 0; number < set.files; ++number)
        all.push_back(data_file(number));
    const std::string full_listing = listing(all);

    const std::vector<std::vector<std::string>> groups = {
        {"", ""}, {"", "-r"}, {"-r", ""}, {"-r", "-r"}, {"", "-r", "", "-r"}};
    // A sanitized tool, or one run by an emulator, is slow: the release pass
    // of the native tool does the many repetitions.
#if defined(__SANITIZE_ADDRESS__)
    const int REPETITIONS = 4;
#else
    const int REPETITIONS = tool_is_foreign() ? 1 : 24;
#endif
    std::mt19937 random(std::random_device{}());
    int runs = 0, refused = 0;
    for (int repetition = 0; repetition < REPETITIONS; ++repetition) {
        for (const std::vector<std::string>& group : groups) {
            int gate[2];
            ASSERT_EQ(pipe2(gate, O_CLOEXEC), 0);
            std::vector<StartedRun> started;
            for (const std::string& direction : group) {
                RunOptions options;
                options.gate_fd = gate[0];
                started.push_back(start(direction.empty() ? std::vector<std::string>{}
                                                          : std::vector<std::string>{direction},
                                        options));
            }
            close(gate[0]);
            // The first run goes at once, the others one by one after it.
            ASSERT_EQ(write(gate[1], "g", 1), 1);
            for (std::size_t i = 1; i < group.size(); ++i) {
                std::uniform_int_distribution<long> delay(
                    0, repetition % 2 == 0 ? 0 : pass_time.count());
                std::this_thread::sleep_for(std::chrono::steady_clock::duration(delay(random)));
                ASSERT_EQ(write(gate[1], "g", 1), 1);
            }
            close(gate[1]);

            // Each run went through every file or refused before listing any.
            std::vector<Form> targets;
            for (std::size_t i = 0; i < group.size(); ++i) {
                ToolRun result = finish(started[i]);
                ++runs;
                if (result.status == 1 && result.err == REFUSAL) {
                    ++refused;
                    EXPECT_EQ(result.out, BANNER_LINE);
                    continue;
                }
                EXPECT_EQ(result.status, 0) << result.err;
                EXPECT_EQ(result.err, "");
                EXPECT_EQ(result.out, full_listing);
                targets.push_back(group[i].empty() ? Form::upgraded : Form::downgraded);
            }
            ASSERT_FALSE(targets.empty()) << "every run refused";

            // One pass after the other: the whole set is in the form of
            // whichever came last, and no file is in any other.
            Form first = form_of(dir, set, 0);
            EXPECT_NE(std::find(targets.begin(), targets.end(), first), targets.end())
                << form_name(first);
            for (int number = 1; number < set.files; ++number)
                ASSERT_EQ(form_of(dir, set, number), first)
                    << data_file(number) << " after runs " << ::testing::PrintToString(group)
                    << " of which " << targets.size() << " went through";
            ASSERT_FALSE(exists("temp.vrx"));
        }
    }
    std::printf("%d runs in %d groups started together, %d refused\n", runs,
                REPETITIONS * static_cast<int>(groups.size()), refused);
    RecordProperty("runs", runs);
    RecordProperty("refused", refused);
    EXPECT_GT(refused, 0) << "the runs never met";
}

} // namespace
