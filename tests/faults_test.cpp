// Faults: every failure is reported, ends the pass with status 1 and leaves
// every data file whole; odd leftovers and names are handled safely.
#include "harness.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

const std::string VER210_FILE = "210 42 0\r\nkeep\r\n";
const std::string VER200_FILE = "200\r\n42\r\nbody\r\n";
const std::string CONVERTED_FILE = "210 42 2\r\nbody\r\n";

// vuro000.vrx is not converted by an upgrade; vuro002.vrx is the first
// file that is, and vuro003.vrx would be the next.
class FaultTest : public ToolTest {
  protected:
    void put_set(const std::string& body2 = "body\r\n") {
        put("vuro000.vrx", VER210_FILE);
        put("vuro002.vrx", "200\r\n42\r\n" + body2);
        put("vuro003.vrx", VER200_FILE);
    }

    // The pass stopped at vuro002.vrx with `error` and changed nothing.
    void expect_stopped_at_first_conversion(const ToolRun& result, const std::string& error,
                                            const std::string& body2 = "body\r\n") {
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out, listing({"vuro000.vrx", "vuro002.vrx"}));
        EXPECT_EQ(result.err, error + "\r\n");
        EXPECT_EQ(get("vuro000.vrx"), VER210_FILE);
        EXPECT_EQ(get("vuro002.vrx"), "200\r\n42\r\n" + body2);
        EXPECT_EQ(get("vuro003.vrx"), VER200_FILE);
    }
};

// Cases that need a Linux facility, or that Wine cannot show the Windows build,
// run natively only: each skips under a runner with a line saying why.

TEST_F(FaultTest, ATempFileThatCannotBeWrittenStopsThePass) {
    put_set();
    ASSERT_EQ(chmod(path("vuro000.vrx").c_str(), 0444), 0); // read-only but not converted
    put("temp.vrx", "read-only leftover");
    ASSERT_EQ(chmod(path("temp.vrx").c_str(), 0444), 0);
    expect_stopped_at_first_conversion(run(), "temp.vrx: Permission denied");
    EXPECT_EQ(get("temp.vrx"), "read-only leftover");

    ASSERT_EQ(chmod(path("temp.vrx").c_str(), 0644), 0);
    ASSERT_EQ(unlink(path("temp.vrx").c_str()), 0);
    ASSERT_EQ(mkdir(path("temp.vrx").c_str(), 0755), 0);
    expect_stopped_at_first_conversion(run(), "temp.vrx: Permission denied");
}

TEST_F(FaultTest, AReadOnlyDataFileIsNeverReplaced) {
    put_set();
    ASSERT_EQ(chmod(path("vuro002.vrx").c_str(), 0444), 0);
    expect_stopped_at_first_conversion(run(), "vuro002.vrx: Permission denied");
    EXPECT_FALSE(exists("temp.vrx"));
}

TEST_F(FaultTest, AFullDiskLeavesTheDataFileWhole) {
    if (geteuid() != 0) GTEST_SKIP() << "mounting a tmpfs needs root";
    ASSERT_EQ(mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=64k"), 0);
    // Bare LF lines grow by a CR each: the converted copy cannot fit beside them.
    std::string body;
    while (body.size() < 40000)
        body += "a line of the body\n";
    put_set(body);
    ToolRun result = run();
    expect_stopped_at_first_conversion(result, "temp.vrx: No space left on device", body);
    EXPECT_FALSE(exists("temp.vrx"));
    // Detached lazily: Wine's server may not yet have let go of the directory
    // its process ran in.
    EXPECT_EQ(umount2(dir.c_str(), MNT_DETACH), 0);
}

TEST_F(FaultTest, AFileSizeLimitLeavesTheDataFileWhole) {
    if (tool_is_foreign()) GTEST_SKIP() << "needs a Linux resource limit (RLIMIT_FSIZE)";
    const std::string body(20000, 'b');
    put_set(body);
    RunOptions options;
    options.file_size_limit = 10000;
    expect_stopped_at_first_conversion(run({}, options), "temp.vrx: File too large", body);
    EXPECT_FALSE(exists("temp.vrx"));
}

TEST_F(FaultTest, RunningOutOfFileDescriptorsIsReported) {
    if (tool_is_foreign()) GTEST_SKIP() << "needs a Linux resource limit (RLIMIT_NOFILE)";
    put_set();
    RunOptions options;
    options.open_file_limit = 4; // standard streams and the data file
    expect_stopped_at_first_conversion(run({}, options), "temp.vrx: Too many open files");
}

TEST_F(FaultTest, LeftoverTempNamesAreReplacedNeverWrittenThrough) {
    const std::string outside = dir + "-outside";
    struct Leftover {
        const char* what;
        int (*make)(const std::string& target, const std::string& temp);
        // Why the case cannot run under Wine, or nullptr.
        const char* not_under_wine;
    };
    const Leftover leftovers[] = {
        {"symbolic link",
         [](const std::string& target, const std::string& temp) {
             return symlink(target.c_str(), temp.c_str());
         },
         "Wine 8 shows a Unix symbolic link as the file it points to, and deleting it deletes "
         "that file"},
        {"hard link to a data file",
         [](const std::string&, const std::string& temp) {
             return link((temp.substr(0, temp.size() - 8) + "vuro000.vrx").c_str(), temp.c_str());
         },
         nullptr},
        {"FIFO",
         [](const std::string&, const std::string& temp) { return mkfifo(temp.c_str(), 0644); },
         "Wine 8 can neither look at nor delete a FIFO through the Win32 API"},
    };
    for (const Leftover& leftover : leftovers) {
        if (tool_is_foreign() && leftover.not_under_wine) {
            std::printf("skipped under Wine, %s: %s\n", leftover.what, leftover.not_under_wine);
            continue;
        }
        put_set();
        {
            std::FILE* file = std::fopen(outside.c_str(), "wb");
            ASSERT_NE(file, nullptr);
            std::fputs("outside", file);
            std::fclose(file);
        }
        ASSERT_EQ(leftover.make(outside, path("temp.vrx")), 0) << leftover.what;
        ToolRun result = run();
        EXPECT_EQ(result.status, 0) << leftover.what;
        EXPECT_EQ(get("vuro000.vrx"), VER210_FILE) << leftover.what;
        EXPECT_EQ(get("vuro002.vrx"), CONVERTED_FILE) << leftover.what;
        EXPECT_FALSE(exists("temp.vrx")) << leftover.what;
        std::FILE* file = std::fopen(outside.c_str(), "rb");
        char text[16] = {};
        ASSERT_NE(file, nullptr);
        EXPECT_EQ(std::fread(text, 1, sizeof text, file), 7u);
        std::fclose(file);
        EXPECT_STREQ(text, "outside") << leftover.what;
        unlink(outside.c_str());
    }
}

TEST_F(FaultTest, NamesThatAreNotRegularFilesCountAsAbsent) {
    ASSERT_EQ(mkfifo(path("vuro000.vrx").c_str(), 0644), 0);
    ASSERT_EQ(mkdir(path("vuro001.vrx").c_str(), 0755), 0);
    put("vuro004.vrx", VER200_FILE);
    ToolRun result = run();
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, listing({"vuro004.vrx"}));
    EXPECT_EQ(get("vuro004.vrx"), "210 42 4\r\nbody\r\n");
}

TEST_F(FaultTest, ALinkInTheFileSetCountsAsAbsent) {
    if (tool_is_foreign())
        GTEST_SKIP() << "Wine 8 shows a Unix symbolic link as the file it points to";
    put("vuro004.vrx", VER200_FILE);
    ASSERT_EQ(symlink("vuro004.vrx", path("vuro003.vrx").c_str()), 0);
    ToolRun result = run();
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, listing({"vuro004.vrx"}));
    EXPECT_EQ(get("vuro004.vrx"), "210 42 4\r\nbody\r\n");
    char target[32] = {};
    ASSERT_GT(readlink(path("vuro003.vrx").c_str(), target, sizeof target - 1), 0);
    EXPECT_STREQ(target, "vuro004.vrx");
}

TEST_F(FaultTest, TheConvertedFileKeepsPermissionsAndOwner) {
    if (tool_is_foreign()) GTEST_SKIP() << "permission bits and owners are POSIX ones";
    put_set();
    ASSERT_EQ(chmod(path("vuro002.vrx").c_str(), 0640), 0);
    bool root = geteuid() == 0;
    if (root) {
        ASSERT_EQ(chown(path("vuro002.vrx").c_str(), 1234, 5678), 0);
    }
    EXPECT_EQ(run().status, 0);
    struct stat st;
    ASSERT_EQ(stat(path("vuro002.vrx").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    if (root) {
        EXPECT_EQ(st.st_uid, 1234u);
        EXPECT_EQ(st.st_gid, 5678u);
    }
    EXPECT_EQ(get("vuro002.vrx"), CONVERTED_FILE);
}

TEST_F(FaultTest, OutputThatCannotBeWrittenNeverCutsThePassShort) {
    for (int closed = 0; closed < 2; ++closed) {
        put_set();
        RunOptions options;
        options.stdout_closed = closed == 1;
        options.stdout_path = closed == 1 ? nullptr : "/dev/full";
        ToolRun result = run({}, options);
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(get("vuro002.vrx"), CONVERTED_FILE);
        EXPECT_EQ(get("vuro003.vrx"), "210 42 3\r\nbody\r\n");
    }
}

} // namespace
