// Run-state values in the settings key, and the FILETIME layout of the last
// shut-down time, against the in-memory registry.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "framework/datetime.h"
#include "settings/local_filetime.h"
#include "settings/run_state.h"
#include "tests/support/fake_registry.h"
#include "tests/support/fake_ui.h"

namespace {

const char kKey[] = "SOFTWARE\\Vespra";

class RunStateTest : public ::testing::Test {
protected:
    void SetUp() override {
        fake::Reset();
        fake::ResetRegistry();
    }
    void ExpectKeysClosed() { EXPECT_EQ(fake::Reg().opens, fake::Reg().closes); }
};


// --- Status values -----------------------------------------------------------

TEST_F(RunStateTest, StatusValueRoundTripsAsDword) {
    WriteStatusValue("curr_settings", 1);
    WriteStatusValue("already_canceled", 0xDEADBEEF);
    EXPECT_EQ(DWORD(REG_DWORD), fake::GetType(kKey, "curr_settings"));
    EXPECT_EQ(1u, ReadStatusValue("curr_settings"));
    EXPECT_EQ(0xDEADBEEFu, ReadStatusValue("already_canceled"));
    ExpectKeysClosed();
}

TEST_F(RunStateTest, MissingValueOrKeyReadsZero) {
    EXPECT_EQ(0u, ReadStatusValue("status")); // no key at all
    EXPECT_FALSE(fake::Reg().keys.count("software\\vespra")) << "reading must not create the key";
    fake::PutDword(kKey, "beep", 1);
    EXPECT_EQ(0u, ReadStatusValue("logfile"));
    fake::Reg().failOpenRead.insert("software\\vespra");
    EXPECT_EQ(0u, ReadStatusValue("beep"));
    ExpectKeysClosed();
}

TEST_F(RunStateTest, ValueOfAnotherTypeReadsZero) {
    fake::PutString(kKey, "logfile", "1");
    fake::PutRaw(kKey, "beep", REG_BINARY, {1, 0, 0, 0});
    fake::PutRaw(kKey, "status", REG_DWORD, {1, 0}); // too short to be a DWORD
    fake::PutRaw(kKey, "restart", REG_DWORD, {1, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(0u, ReadStatusValue("logfile"));
    EXPECT_EQ(0u, ReadStatusValue("beep"));
    EXPECT_EQ(0u, ReadStatusValue("status"));
    EXPECT_EQ(0u, ReadStatusValue("restart"));
}

TEST_F(RunStateTest, UnwritableKeyIsSilent) {
    fake::Reg().failOpenWrite.insert("software\\vespra");
    WriteStatusValue("curr_settings", 1);
    WriteCurrShutdownTime("tonight");
    WriteLastShutdownTime();
    EXPECT_FALSE(fake::HasValue(kKey, "curr_settings"));
    EXPECT_FALSE(fake::HasValue(kKey, "curr_shutdowntime"));
    EXPECT_FALSE(fake::HasValue(kKey, "lastshutdowntime_lo"));
    EXPECT_TRUE(fake::State().boxes.empty());
}

// --- curr_shutdowntime ---------------------------------------------------------

TEST_F(RunStateTest, ShutdownTextRoundTripsWithItsNul) {
    const std::string text = "tonight at 11:00 PM";
    WriteCurrShutdownTime(text);
    EXPECT_EQ(DWORD(REG_SZ), fake::GetType(kKey, "curr_shutdowntime"));
    const auto &stored = fake::Reg().keys["software\\vespra"].values["curr_shutdowntime"].data;
    EXPECT_EQ(text.size() + 1, stored.size());
    EXPECT_EQ(0, stored.back());

    std::string read = "old";
    ReadCurrShutdownTime(read);
    EXPECT_EQ(text, read);
    ExpectKeysClosed();
}

TEST_F(RunStateTest, ShutdownTextUpTo499CharactersFitsTheBuffer) {
    const std::string text(499, 'x');
    WriteCurrShutdownTime(text);
    std::string read;
    ReadCurrShutdownTime(read);
    EXPECT_EQ(text, read);
}

TEST_F(RunStateTest, OverlongShutdownTextReadsEmpty) {
    fake::PutString(kKey, "curr_shutdowntime", std::string(500, 'y')); // 501 bytes with NUL
    std::string read = "old";
    ReadCurrShutdownTime(read);
    EXPECT_EQ("", read);

    fake::PutString(kKey, "curr_shutdowntime", std::string(5000, 'z'));
    read = "old";
    ReadCurrShutdownTime(read);
    EXPECT_EQ("", read);
}

TEST_F(RunStateTest, ShutdownTextWithoutNulIsNotOverrun) {
    fake::PutRaw(kKey, "curr_shutdowntime", REG_SZ, std::vector<unsigned char>(500, 'q'));
    std::string read;
    ReadCurrShutdownTime(read);
    EXPECT_EQ(std::string(500, 'q'), read);

    fake::PutRaw(kKey, "curr_shutdowntime", REG_SZ, {'a', 'b', 0, 'c', 0});
    ReadCurrShutdownTime(read);
    EXPECT_EQ("ab", read);
}

TEST_F(RunStateTest, MissingOrNonTextShutdownTimeReadsEmptyButMissingKeyKeepsCallersText) {
    std::string read = "caller's";
    ReadCurrShutdownTime(read); // no key
    EXPECT_EQ("caller's", read);

    fake::PutDword(kKey, "status", 1); // the key now exists, the value does not
    ReadCurrShutdownTime(read);
    EXPECT_EQ("", read);

    fake::PutDword(kKey, "curr_shutdowntime", 7);
    read = "caller's";
    ReadCurrShutdownTime(read);
    EXPECT_EQ("", read);

    fake::Reg().failOpenRead.insert("software\\vespra");
    read = "caller's";
    ReadCurrShutdownTime(read);
    EXPECT_EQ("caller's", read);
}

// --- Last shut-down time -----------------------------------------------------

TEST_F(RunStateTest, LastShutdownTimeIsFileTimeOfLocalFieldsLowHalfFirst) {
    fake::SetNow(CTime(2024, 3, 15, 23, 59, 30).GetTime());
    WriteLastShutdownTime();

    // 2024-03-15 23:59:30 counted from 1601-01-01, no time zone applied.
    EXPECT_EQ(0xd1a35d00u, fake::GetDword(kKey, "lastshutdowntime_lo"));
    EXPECT_EQ(0x01da7734u, fake::GetDword(kKey, "lastshutdowntime_hi"));
    EXPECT_EQ(DWORD(REG_DWORD), fake::GetType(kKey, "lastshutdowntime_lo"));
    EXPECT_EQ(DWORD(REG_DWORD), fake::GetType(kKey, "lastshutdowntime_hi"));
    EXPECT_EQ((std::vector<std::string>{"lastshutdowntime_lo", "lastshutdowntime_hi"}),
              fake::Reg().keys["software\\vespra"].writeOrder);
    ExpectKeysClosed();
}

TEST_F(RunStateTest, LastShutdownTimeRoundTripsToTheSameLocalSecond) {
    const CTime written(2024, 3, 15, 23, 59, 30);
    fake::SetNow(written.GetTime());
    WriteLastShutdownTime();

    fake::SetNow(written.GetTime() + 3600);
    CTime read;
    ReadLastShutdownTime(read);
    EXPECT_EQ(written, read);
    EXPECT_EQ(2024, read.GetYear());
    EXPECT_EQ(3, read.GetMonth());
    EXPECT_EQ(15, read.GetDay());
    EXPECT_EQ(23, read.GetHour());
    EXPECT_EQ(59, read.GetMinute());
    EXPECT_EQ(30, read.GetSecond());
}

TEST_F(RunStateTest, NothingRecordedIsLongPast) {
    const CTime now(2024, 6, 1, 8, 0, 0);
    const auto withinAMinute = [&](const CTime &last) { return last + CTimeSpan(60) >= now; };
    CTime read(now.GetTime());
    ReadLastShutdownTime(read); // no key
    EXPECT_FALSE(withinAMinute(read));

    fake::PutDword(kKey, "status", 1); // key without either half
    read = now;
    ReadLastShutdownTime(read);
    EXPECT_FALSE(withinAMinute(read));

    fake::PutDword(kKey, "lastshutdowntime_lo", 0x12345678); // high half 0: year 1601
    read = now;
    ReadLastShutdownTime(read);
    EXPECT_FALSE(withinAMinute(read));

    fake::PutDword(kKey, "lastshutdowntime_hi", 0xFFFFFFFF); // beyond any SYSTEMTIME
    read = now;
    ReadLastShutdownTime(read);
    EXPECT_FALSE(withinAMinute(read));
}

TEST_F(RunStateTest, MissingLowHalfCountsAsZero) {
    const CTime written(2024, 3, 15, 23, 59, 30);
    fake::PutDword(kKey, "lastshutdowntime_hi", 0x01da7734u);
    CTime read;
    ReadLastShutdownTime(read);
    // Dropping the low 32 bits moves the time back by less than 2^32 * 100 ns.
    const int64_t back = (written - read).GetTotalSeconds();
    EXPECT_GE(back, 0);
    EXPECT_LT(back, 430);
    // The low half was 351.7 s; the reading drops the fraction of the whole value.
    EXPECT_EQ(written.GetTime() - 352, read.GetTime());
}

// --- The FILETIME arithmetic ---------------------------------------------------

TEST(LocalFileTime, KnownInstants) {
    EXPECT_EQ(0u, FileTimeFromFields(MakeTm(1601, 1, 1, 0, 0, 0, 0)));
    EXPECT_EQ(116444736000000000ull, FileTimeFromFields(MakeTm(1970, 1, 1, 0, 0, 0, 0)));
    EXPECT_EQ(125962992000000000ull, FileTimeFromFields(MakeTm(2000, 2, 29, 12, 0, 0, 0)));
    // 2100 is no leap year: 1 March follows 28 February.
    EXPECT_EQ(157520160000000000ull, FileTimeFromFields(MakeTm(2100, 3, 1, 0, 0, 0, 0)));
    EXPECT_EQ(157520160000000000ull - 864000000000ull,
              FileTimeFromFields(MakeTm(2100, 2, 28, 0, 0, 0, 0)));
    EXPECT_EQ(2650467743990000000ull, FileTimeFromFields(MakeTm(9999, 12, 31, 23, 59, 59, 0)));
}

TEST(LocalFileTime, FieldsRoundTripEveryFewDaysOverCenturies) {
    for (int64_t day = 0; day < 146097 * 2; day += 13) {
        const uint64_t ft = (uint64_t(day) * 86400 + 86399) * 10000000ull;
        struct tm f;
        ASSERT_TRUE(FieldsFromFileTime(ft, f));
        EXPECT_EQ(ft, FileTimeFromFields(f)) << day;
        ASSERT_EQ(23, f.tm_hour);
        ASSERT_EQ(59, f.tm_min);
        ASSERT_EQ(59, f.tm_sec);
    }
}

TEST(LocalFileTime, BackToFieldsDropsMillisecondsAndKnowsTheWeekday) {
    struct tm f;
    ASSERT_TRUE(FieldsFromFileTime(133550207700000000ull + 9999999, f));
    EXPECT_EQ(2024 - 1900, f.tm_year);
    EXPECT_EQ(2, f.tm_mon);
    EXPECT_EQ(15, f.tm_mday);
    EXPECT_EQ(23, f.tm_hour);
    EXPECT_EQ(59, f.tm_min);
    EXPECT_EQ(30, f.tm_sec);
    EXPECT_EQ(5, f.tm_wday); // a Friday
    EXPECT_EQ(31 + 29 + 14, f.tm_yday);
    EXPECT_EQ(-1, f.tm_isdst);

    ASSERT_TRUE(FieldsFromFileTime(0, f));
    EXPECT_EQ(1, f.tm_wday); // 1601-01-01 was a Monday
}

TEST(LocalFileTime, ValuesBeyond63BitsDoNotConvert) {
    struct tm f;
    ASSERT_TRUE(FieldsFromFileTime(0x7FFFFFFFFFFFFFFFull, f));
    EXPECT_EQ(30828 - 1900, f.tm_year);
    EXPECT_EQ(8, f.tm_mon);
    EXPECT_EQ(14, f.tm_mday);
    EXPECT_EQ(2, f.tm_hour);
    EXPECT_EQ(48, f.tm_min);
    EXPECT_EQ(5, f.tm_sec);
    EXPECT_FALSE(FieldsFromFileTime(0x8000000000000000ull, f));
}

} // namespace
