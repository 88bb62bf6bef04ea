// Run-state values through the real registry, checked with the registry API and
// with Wine's own "reg query", and the FILETIME arithmetic against the system's.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "framework/datetime.h"
#include "settings/local_filetime.h"
#include "settings/run_state.h"
#include "tests/wine/platform_wine_util.h"
#include "tests/wine/wine_test_support.h"

namespace {

const char kKey[] = "SOFTWARE\\Vespra";

std::string RegQuery(const std::string &name) {
    DWORD code = 0;
    std::string out =
        wt::RunAndCapture("reg query \"HKLM\\SOFTWARE\\Vespra\" /v " + name, 30000, &code);
    EXPECT_EQ(0u, code) << out;
    return out;
}

uint64_t SystemFileTime(SYSTEMTIME st) {
    st.wMilliseconds = 0;
    FILETIME ft;
    if (!SystemTimeToFileTime(&st, &ft))
        return 0;
    return uint64_t(ft.dwHighDateTime) << 32 | ft.dwLowDateTime;
}

LONG SetRaw(const char *name, DWORD type, const void *data, DWORD size) {
    HKEY key = nullptr;
    LONG rc =
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
    if (rc != ERROR_SUCCESS)
        return rc;
    rc = RegSetValueExA(key, name, 0, type, static_cast<const BYTE *>(data), size);
    RegCloseKey(key);
    return rc;
}

class RunStateWine : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(wt::DeleteSettingsKey()); }
    void TearDown() override { wt::DeleteSettingsKey(); }
};

TEST_F(RunStateWine, MissingKeyAndMissingValues) {
    EXPECT_EQ(0u, ReadStatusValue("status"));
    std::string text = "caller's";
    ReadCurrShutdownTime(text);
    EXPECT_EQ("caller's", text);
    CTime last(time_t(12345));
    ReadLastShutdownTime(last);
    EXPECT_EQ(0, last.GetTime());

    WriteStatusValue("curr_settings", 1);
    EXPECT_EQ(0u, ReadStatusValue("curr_restarting"));
    ReadCurrShutdownTime(text);
    EXPECT_EQ("", text);
    last = CTime(time_t(12345));
    ReadLastShutdownTime(last);
    EXPECT_EQ(0, last.GetTime());
}

TEST_F(RunStateWine, StatusValuesAreDwords) {
    WriteStatusValue("curr_useregistry", 1);
    WriteStatusValue("already_canceled", 0x89ABCDEF);
    EXPECT_EQ(1u, ReadStatusValue("curr_useregistry"));
    EXPECT_EQ(0x89ABCDEFu, ReadStatusValue("already_canceled"));
    const pw::RegLine line = pw::ParseRegQuery(RegQuery("already_canceled"), "already_canceled");
    EXPECT_EQ("REG_DWORD", line.type);
    EXPECT_EQ(0x89ABCDEFul, strtoul(line.data.c_str(), nullptr, 16)) << line.data;

    ASSERT_EQ(ERROR_SUCCESS, SetRaw("logfile", REG_SZ, "1", 2));
    ASSERT_EQ(ERROR_SUCCESS, SetRaw("beep", REG_BINARY, "\x01\x00\x00\x00", 4));
    EXPECT_EQ(0u, ReadStatusValue("logfile"));
    EXPECT_EQ(0u, ReadStatusValue("beep"));
}

TEST_F(RunStateWine, ShutdownTextReadsBackExactly) {
    const std::string text = "on Monday at 11:00 PM";
    WriteCurrShutdownTime(text);
    std::string read;
    ReadCurrShutdownTime(read);
    EXPECT_EQ(text, read);

    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &key));
    DWORD type = 0, size = 0;
    EXPECT_EQ(ERROR_SUCCESS,
              RegQueryValueExA(key, "curr_shutdowntime", nullptr, &type, nullptr, &size));
    RegCloseKey(key);
    EXPECT_EQ(DWORD(REG_SZ), type);
    EXPECT_EQ(text.size() + 1, size) << "stored with its terminating NUL";

    const pw::RegLine line = pw::ParseRegQuery(RegQuery("curr_shutdowntime"), "curr_shutdowntime");
    EXPECT_EQ("REG_SZ", line.type);
    EXPECT_EQ(text, line.data);
}

TEST_F(RunStateWine, ShutdownTextAtAndBeyondTheBuffer) {
    const std::string longest(499, 'x');
    WriteCurrShutdownTime(longest);
    std::string read;
    ReadCurrShutdownTime(read);
    EXPECT_EQ(longest, read);

    WriteCurrShutdownTime(std::string(500, 'y'));
    read = "old";
    ReadCurrShutdownTime(read);
    EXPECT_EQ("", read);

    WriteCurrShutdownTime(std::string(4000, 'z'));
    read = "old";
    ReadCurrShutdownTime(read);
    EXPECT_EQ("", read);
}

TEST_F(RunStateWine, LastShutdownTimeAsRegQueryShowsIt) {
    SYSTEMTIME before, after;
    GetLocalTime(&before);
    WriteLastShutdownTime();
    GetLocalTime(&after);

    const pw::RegLine lo =
        pw::ParseRegQuery(RegQuery("lastshutdowntime_lo"), "lastshutdowntime_lo");
    const pw::RegLine hi =
        pw::ParseRegQuery(RegQuery("lastshutdowntime_hi"), "lastshutdowntime_hi");
    ASSERT_EQ("REG_DWORD", lo.type);
    ASSERT_EQ("REG_DWORD", hi.type);
    const uint64_t stored = uint64_t(strtoul(hi.data.c_str(), nullptr, 16)) << 32 |
                            strtoul(lo.data.c_str(), nullptr, 16);
    // SystemTimeToFileTime of the local time, whole seconds.
    EXPECT_TRUE(stored == SystemFileTime(before) || stored == SystemFileTime(after))
        << std::hex << stored << " " << SystemFileTime(before);
    EXPECT_EQ(0u, stored % 10000000) << "whole seconds";

    CTime read;
    ReadLastShutdownTime(read);
    FILETIME ft{DWORD(stored), DWORD(stored >> 32)};
    SYSTEMTIME st;
    ASSERT_TRUE(FileTimeToSystemTime(&ft, &st));
    EXPECT_EQ(st.wYear, read.GetYear());
    EXPECT_EQ(st.wMonth, read.GetMonth());
    EXPECT_EQ(st.wDay, read.GetDay());
    EXPECT_EQ(st.wHour, read.GetHour());
    EXPECT_EQ(st.wMinute, read.GetMinute());
    EXPECT_EQ(st.wSecond, read.GetSecond());
}

TEST_F(RunStateWine, LastShutdownAt235930ReadsBackAsTheSameDay) {
    SYSTEMTIME st = {};
    st.wYear = 2024;
    st.wMonth = 3;
    st.wDay = 15;
    st.wHour = 23;
    st.wMinute = 59;
    st.wSecond = 30;
    const uint64_t ft = SystemFileTime(st);
    ASSERT_NE(0u, ft);
    const DWORD lo = DWORD(ft), hi = DWORD(ft >> 32);
    ASSERT_EQ(ERROR_SUCCESS, SetRaw("lastshutdowntime_lo", REG_DWORD, &lo, 4));
    ASSERT_EQ(ERROR_SUCCESS, SetRaw("lastshutdowntime_hi", REG_DWORD, &hi, 4));

    CTime read;
    ReadLastShutdownTime(read);
    EXPECT_EQ(CTime(2024, 3, 15, 23, 59, 30), read);
    EXPECT_EQ(15, read.GetDay());
    EXPECT_EQ(23, read.GetHour());
    EXPECT_EQ(59, read.GetMinute());
    EXPECT_EQ(30, read.GetSecond());
}

TEST(LocalFileTimeWine, MatchesTheSystemConversionBothWays) {
    // Every 7th day plus a few hours, from 1601 to beyond 9999, and the largest value.
    for (uint64_t seconds = 0; seconds < 266000000000ull; seconds += 7 * 86400 + 3 * 3600 + 17) {
        const uint64_t value = seconds * 10000000ull;
        FILETIME ft{DWORD(value), DWORD(value >> 32)};
        SYSTEMTIME st;
        ASSERT_TRUE(FileTimeToSystemTime(&ft, &st)) << value;
        struct tm f;
        ASSERT_TRUE(FieldsFromFileTime(value, f));
        ASSERT_EQ(st.wYear, f.tm_year + 1900) << value;
        ASSERT_EQ(st.wMonth, f.tm_mon + 1) << value;
        ASSERT_EQ(st.wDay, f.tm_mday) << value;
        ASSERT_EQ(st.wHour, f.tm_hour) << value;
        ASSERT_EQ(st.wMinute, f.tm_min) << value;
        ASSERT_EQ(st.wSecond, f.tm_sec) << value;
        ASSERT_EQ(st.wDayOfWeek, f.tm_wday) << value;
        ASSERT_EQ(value, FileTimeFromFields(f)) << value;
        ASSERT_EQ(SystemFileTime(st), FileTimeFromFields(f)) << value;
    }
    FILETIME last{0xFFFFFFFFu, 0x7FFFFFFFu};
    SYSTEMTIME st;
    struct tm f;
    ASSERT_TRUE(FileTimeToSystemTime(&last, &st));
    ASSERT_TRUE(FieldsFromFileTime(0x7FFFFFFFFFFFFFFFull, f));
    EXPECT_EQ(st.wYear, f.tm_year + 1900);
    EXPECT_EQ(st.wSecond, f.tm_sec);
    FILETIME beyond{0, 0x80000000u};
    EXPECT_FALSE(FileTimeToSystemTime(&beyond, &st));
    EXPECT_FALSE(FieldsFromFileTime(0x8000000000000000ull, f));
}

} // namespace
