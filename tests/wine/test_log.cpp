// The diagnostic log on the C: drive of the prefix, through the real C runtime and
// file system: CR LF line ends, the time-stamp prefix, two writer processes, and a
// log that can't be opened.
#include <gtest/gtest.h>

#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

#include "settings/run_state.h"
#include "system/files.h"
#include "system/log.h"
#include "security/permissions.h"
#include "tests/wine/platform_wine_util.h"
#include "tests/wine/wine_test_support.h"

namespace {

const char kLog[] = "c:\\vespra.log";

std::string Prefix(const SYSTEMTIME &t) {
    char buf[32];
    snprintf(buf, sizeof buf, "%02u/%02u/%02u %02u:%02u:%02u: ", t.wMonth, t.wDay, t.wYear % 100,
             t.wHour, t.wMinute, t.wSecond);
    return buf;
}

// The file cut into lines at each CR LF; a bare LF or CR anywhere fails the test.
std::vector<std::string> CrLfLines(const std::string &contents) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < contents.size()) {
        const size_t end = contents.find("\r\n", start);
        EXPECT_NE(std::string::npos, end) << "last line without CR LF";
        if (end == std::string::npos)
            break;
        std::string line = contents.substr(start, end - start);
        EXPECT_EQ(std::string::npos, line.find_first_of("\r\n")) << "stray line end in " << line;
        lines.push_back(line);
        start = end + 2;
    }
    return lines;
}

class LogWine : public ::testing::Test {
protected:
    void SetUp() override {
        WriteStatusValue("logfile", 1);
        ForgetLogSwitches();
        DeleteFileA(kLog);
        RemoveDirectoryA(kLog);
        ASSERT_FALSE(pw::FileThere(kLog));
    }
    void TearDown() override {
        WriteStatusValue("logfile", 0);
        ForgetLogSwitches();
        DeleteFileA(kLog);
        RemoveDirectoryA(kLog);
    }
    // Writes one line and returns the prefixes it may carry.
    std::pair<std::string, std::string> Write(const std::string &text) {
        SYSTEMTIME before, after;
        GetLocalTime(&before);
        WriteLog(text);
        GetLocalTime(&after);
        return {Prefix(before), Prefix(after)};
    }
};

TEST_F(LogWine, LinesEndInCrLfExactlyOnce) {
    const auto p1 = Write("Showing warning");
    const auto p2 = Write("text with its own line feed\n");
    const auto p3 = Write("");
    const std::vector<std::string> lines = CrLfLines(wt::ReadWholeFile(kLog));
    ASSERT_EQ(3u, lines.size());
    const std::pair<std::string, std::string> prefixes[] = {p1, p2, p3};
    const char *const texts[] = {"Showing warning", "text with its own line feed", ""};
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(lines[i] == prefixes[i].first + texts[i] ||
                    lines[i] == prefixes[i].second + texts[i])
            << lines[i];
    }
}

TEST_F(LogWine, TwoProcessesInterleaveInWritingOrder) {
    HANDLE turnA = CreateEventA(nullptr, FALSE, FALSE, "VespraLogTurnA");
    HANDLE turnB = CreateEventA(nullptr, FALSE, FALSE, "VespraLogTurnB");
    ASSERT_TRUE(turnA && turnB);
    // The service host's stand-in hands over to the scheduler's, which hands back.
    const std::string tool = wt::ToolPath("log_writer_tool.exe");
    wt::Process a = wt::StartProcess(tool, "log_writer_tool host 3 VespraLogTurnA VespraLogTurnB");
    wt::Process b =
        wt::StartProcess(tool, "log_writer_tool scheduler 3 VespraLogTurnB VespraLogTurnA");
    ASSERT_TRUE(a.Valid() && b.Valid());
    WriteLog("test begins");
    SetEvent(turnA);
    ASSERT_TRUE(a.WaitForExit(60000));
    ASSERT_TRUE(b.WaitForExit(60000));
    EXPECT_EQ(0u, a.ExitCode());
    EXPECT_EQ(0u, b.ExitCode());
    WriteLog("test ends");
    CloseHandle(turnA);
    CloseHandle(turnB);

    const std::vector<std::string> lines = CrLfLines(wt::ReadWholeFile(kLog));
    const char *const expected[] = {"test begins", "host 0", "scheduler 0", "host 1",
                                    "scheduler 1", "host 2", "scheduler 2", "test ends"};
    ASSERT_EQ(std::size(expected), lines.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        ASSERT_GT(lines[i].size(), 19u);
        EXPECT_EQ(expected[i], lines[i].substr(19)) << lines[i];
        EXPECT_EQ(": ", lines[i].substr(17, 2)) << lines[i];
    }
}

TEST_F(LogWine, SwitchOffWritesNothing) {
    WriteStatusValue("logfile", 0);
    ForgetLogSwitches();
    WriteLog("not written");
    WriteStatusValue("logfile", 1); // too late for this process
    WriteLog("not written either");
    EXPECT_FALSE(pw::FileThere(kLog));
}

TEST_F(LogWine, LogThatCannotBeOpenedIsSkipped) {
    // A folder in the way of the file: the open fails and the line is dropped.
    ASSERT_TRUE(CreateDirectoryA(kLog, nullptr));
    WriteLog("dropped");
    EXPECT_TRUE(GetFileAttributesA(kLog) & FILE_ATTRIBUTE_DIRECTORY);
    ASSERT_TRUE(RemoveDirectoryA(kLog)) << "the folder must be empty and not held open";

    WriteLog("kept");
    const std::vector<std::string> lines = CrLfLines(wt::ReadWholeFile(kLog));
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ("kept", lines[0].substr(19));
}

// What the log makes is made with its own DACL. Wine keeps a file's DACL only as its
// Unix mode, so what shows is that everyone lost what a file made without one gets.
TEST_F(LogWine, ANewLogCarriesItsOwnDacl) {
    WriteLog("made");
    const char kPlain[] = "c:\\vespra-plain.txt";
    ASSERT_TRUE(WriteWholeFile(kPlain, "plain"));
    const std::string plain = wt::StoredSddl(kPlain), stored = wt::StoredSddl(kLog);
    DeleteFileA(kPlain);
    EXPECT_NE(std::string::npos, plain.find(";;;WD)")) << plain;
    EXPECT_EQ(std::string::npos, stored.find(";;;WD)")) << stored;
    EXPECT_NE(std::string::npos, stored.find("(A;;FA;;;SY)")) << stored;
}

// A link a user made at the log's name is not followed: the line is dropped, the
// file the link points at keeps what it held. Wine 8 makes no link through the API,
// and sees a Unix one to a file as the file itself; the test makes one with ln.
TEST_F(LogWine, ALinkAtTheLogsNameIsNotFollowed) {
    typedef char *(CDECL * UnixNameFn)(LPCWSTR);
    auto unixName = reinterpret_cast<UnixNameFn>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    ASSERT_NE(nullptr, unixName);
    auto unixPath = [unixName](const wchar_t *path) {
        char *name = unixName(path);
        std::string out = name ? name : "";
        HeapFree(GetProcessHeap(), 0, name);
        return out;
    };
    const char kTarget[] = "c:\\vespra-link-target.txt";
    const std::string link = unixPath(L"c:\\vespra.log"), target = unixPath(L"c:\\vespra-link-target.txt");
    // Wine starts a Unix program without a handle to wait on: what it does is waited for.
    auto run = [](const char *program, std::string command) {
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi = {};
        const BOOL started = CreateProcessA(program, &command[0], nullptr, nullptr, FALSE, 0,
                                            nullptr, nullptr, &si, &pi);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        return started;
    };
    ASSERT_TRUE(WriteWholeFile(kTarget, "theirs\r\n"));
    ASSERT_TRUE(run("Z:\\bin\\ln", "/bin/ln -s " + target + " " + link));
    ASSERT_TRUE(wt::WaitUntil([] { return wt::ReadWholeFile(kLog) == "theirs\r\n"; }, 10000))
        << "no link at the log's name";

    WriteLog("not through the link");
    EXPECT_EQ("theirs\r\n", wt::ReadWholeFile(kTarget));
    // Wine's DeleteFileA would follow the link: both go the Unix way, the link first.
    ASSERT_TRUE(run("Z:\\bin\\rm", "/bin/rm -f " + link + " " + target));
    EXPECT_TRUE(wt::WaitUntil([&] { return !pw::FileThere(kTarget); }, 10000));
}

} // namespace
