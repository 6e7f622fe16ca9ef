// The Windows build beside other programs that hold its files: share modes,
// locked files, the retried replacement and file attributes, through the
// Win32 API. Runs under Wine in the cross build, or on Windows.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

const char BANNER_LINE[] = "vrxport - VURO data file header converter (VER200 <-> VER210)\r\n";
const std::string VER200_FILE = "200\r\n42\r\nbody\r\n";

// The tool's files have ASCII names.
std::wstring widen(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

// VRXPORT_TOOL names vrxport.exe; a Unix path, as CTest gives it under Wine,
// is reached through drive Z:.
std::wstring tool_path() {
    const char* tool = std::getenv("VRXPORT_TOOL");
    std::string path = tool && *tool ? tool : "vrxport.exe";
    if (path[0] == '/') {
        path = "Z:" + path;
        std::replace(path.begin(), path.end(), '/', '\\');
    }
    return widen(path);
}

struct ToolRun {
    DWORD status = 0;
    std::string out;
    std::string err;
};

std::string read_all(HANDLE pipe) {
    std::string text;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0)
        text.append(buffer, got);
    return text;
}

class SharingTest : public ::testing::Test {
  protected:
    void SetUp() override {
        wchar_t base[MAX_PATH];
        ASSERT_GT(GetTempPathW(MAX_PATH, base), 0u);
        static int count = 0;
        dir = std::wstring(base) + L"vrxport-sharing-" + std::to_wstring(GetCurrentProcessId()) +
              L"-" + std::to_wstring(++count);
        ASSERT_TRUE(CreateDirectoryW(dir.c_str(), nullptr));
    }

    void TearDown() override {
        WIN32_FIND_DATAW entry;
        HANDLE find = FindFirstFileW((dir + L"\\*").c_str(), &entry);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                std::wstring file = dir + L"\\" + entry.cFileName;
                SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(file.c_str());
            } while (FindNextFileW(find, &entry));
            FindClose(find);
        }
        RemoveDirectoryW(dir.c_str());
    }

    std::wstring path(const char* name) const { return dir + L"\\" + widen(name); }

    void put(const char* name, const std::string& bytes) {
        HANDLE file = CreateFileW(path(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE) << name;
        DWORD put = 0;
        EXPECT_TRUE(WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr));
        CloseHandle(file);
    }

    std::string get(const char* name) const {
        HANDLE file = CreateFileW(path(name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return "(cannot be opened)";
        std::string text = read_all(file);
        CloseHandle(file);
        return text;
    }

    bool exists(const char* name) const {
        return GetFileAttributesW(path(name).c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    // Opens a file as another program would, and keeps it open.
    HANDLE hold(const char* name, DWORD access, DWORD share) const {
        HANDLE file = CreateFileW(path(name).c_str(), access, share, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_NE(file, INVALID_HANDLE_VALUE) << name;
        return file;
    }

    // Runs vrxport.exe in the scratch directory, its output in two pipes.
    ToolRun run(const std::wstring& args = L"") {
        ToolRun result;
        SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
        HANDLE out_read, out_write, err_read, err_write;
        EXPECT_TRUE(CreatePipe(&out_read, &out_write, &inherit, 0));
        EXPECT_TRUE(CreatePipe(&err_read, &err_write, &inherit, 0));
        SetHandleInformation(out_read, HANDLE_FLAG_INHERIT, 0);
        SetHandleInformation(err_read, HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = out_write;
        startup.hStdError = err_write;
        std::wstring command = L"\"" + tool_path() + L"\"" + args;
        PROCESS_INFORMATION process = {};
        bool started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                      dir.c_str(), &startup, &process);
        EXPECT_TRUE(started) << "cannot start the tool: error " << GetLastError();
        CloseHandle(out_write);
        CloseHandle(err_write);
        if (started) {
            result.out = read_all(out_read);
            result.err = read_all(err_read);
            WaitForSingleObject(process.hProcess, INFINITE);
            GetExitCodeProcess(process.hProcess, &result.status);
            CloseHandle(process.hProcess);
            CloseHandle(process.hThread);
        }
        CloseHandle(out_read);
        CloseHandle(err_read);
        return result;
    }

    std::wstring dir;
};

TEST_F(SharingTest, AFileLockedByAnotherProgramCountsAsAbsent) {
    put("vuro001.vrx", VER200_FILE);
    put("vuro002.vrx", VER200_FILE);
    HANDLE locked = hold("vuro001.vrx", GENERIC_READ, 0);
    ToolRun result = run();
    CloseHandle(locked);
    EXPECT_EQ(result.status, 0u);
    EXPECT_EQ(result.out, std::string(BANNER_LINE) + "vuro002.vrx\r\n");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(get("vuro001.vrx"), VER200_FILE);
    EXPECT_EQ(get("vuro002.vrx"), "210 42 2\r\nbody\r\n");
}

// Another program reading and writing the file does not keep the tool from
// reading it; but the file cannot be replaced while that program may not see
// it deleted, and after a bounded wait the pass stops with the file whole.
TEST_F(SharingTest, AFileHeldOpenElsewhereIsReadButNeverReplacedUnderIt) {
    put("vuro002.vrx", VER200_FILE);
    HANDLE held =
        hold("vuro002.vrx", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
    ToolRun result = run();
    CloseHandle(held);
    EXPECT_EQ(result.status, 1u);
    EXPECT_EQ(result.out, std::string(BANNER_LINE) + "vuro002.vrx\r\n");
    EXPECT_EQ(result.err, "vuro002.vrx: Permission denied\r\n");
    EXPECT_EQ(get("vuro002.vrx"), VER200_FILE);
    EXPECT_FALSE(exists("temp.vrx"));
}

// A virus scanner or an indexer holds the file for a moment: the replacement
// waits for it instead of failing.
TEST_F(SharingTest, AReplacementRefusedForAMomentIsTriedAgain) {
    put("vuro002.vrx", VER200_FILE);
    HANDLE held = hold("vuro002.vrx", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
    // Lets go shortly after the converted copy is there, while the tool is
    // trying to put it in place.
    std::thread release([&] {
        for (int wait = 0; wait < 3000 && !exists("temp.vrx"); ++wait)
            Sleep(10);
        Sleep(100);
        CloseHandle(held);
    });
    ToolRun result = run();
    release.join();
    EXPECT_EQ(result.status, 0u);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(get("vuro002.vrx"), "210 42 2\r\nbody\r\n");
    EXPECT_FALSE(exists("temp.vrx"));
}

TEST_F(SharingTest, ATempFileHeldElsewhereStopsThePass) {
    put("vuro002.vrx", VER200_FILE);
    put("temp.vrx", "in use");
    HANDLE held = hold("temp.vrx", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
    ToolRun result = run();
    CloseHandle(held);
    EXPECT_EQ(result.status, 1u);
    EXPECT_EQ(result.err, "temp.vrx: Permission denied\r\n");
    EXPECT_EQ(get("vuro002.vrx"), VER200_FILE);
    EXPECT_EQ(get("temp.vrx"), "in use");
}

TEST_F(SharingTest, TheReadOnlyAttributeKeepsAFileAsItIs) {
    put("vuro002.vrx", VER200_FILE);
    ASSERT_TRUE(SetFileAttributesW(path("vuro002.vrx").c_str(), FILE_ATTRIBUTE_READONLY));
    ToolRun result = run();
    EXPECT_EQ(result.status, 1u);
    EXPECT_EQ(result.err, "vuro002.vrx: Permission denied\r\n");
    EXPECT_EQ(get("vuro002.vrx"), VER200_FILE);
    ASSERT_TRUE(SetFileAttributesW(path("vuro002.vrx").c_str(), FILE_ATTRIBUTE_NORMAL));

    put("temp.vrx", "read-only");
    ASSERT_TRUE(SetFileAttributesW(path("temp.vrx").c_str(), FILE_ATTRIBUTE_READONLY));
    result = run();
    EXPECT_EQ(result.status, 1u);
    EXPECT_EQ(result.err, "temp.vrx: Permission denied\r\n");
    EXPECT_EQ(get("vuro002.vrx"), VER200_FILE);
    EXPECT_EQ(get("temp.vrx"), "read-only");
}

TEST_F(SharingTest, TheConvertedFileStaysHidden) {
    put("vuro002.vrx", VER200_FILE);
    ASSERT_TRUE(SetFileAttributesW(path("vuro002.vrx").c_str(), FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(run().status, 0u);
    EXPECT_EQ(get("vuro002.vrx"), "210 42 2\r\nbody\r\n");
    DWORD attributes = GetFileAttributesW(path("vuro002.vrx").c_str());
    EXPECT_NE(attributes & FILE_ATTRIBUTE_HIDDEN, 0u);
    EXPECT_EQ(attributes & FILE_ATTRIBUTE_READONLY, 0u);
}

} // namespace
