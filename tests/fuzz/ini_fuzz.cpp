// Fuzz target: ReadIni over an INI file of arbitrary bytes (through the profile
// stand-in on a real file). Checks that reading stays in bounds, that the file
// WriteIni makes from the record read gives the same record back, and that a write
// failing at any step leaves the file exactly as it was.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "framework/text.h"
#include "resources/resource.h"
#include "scheduler/scheduler.h"
#include "settings/ini_store.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/support/fake_all.h"
#include "tests/support/fake_files.h"
#include "tests/support/fake_platform.h"
#include "tests/support/fake_registry.h"
#include "tests/support/fake_ui.h"
#include "tests/support/settings_record.h"

namespace {

std::string g_dir;

void RemoveDir() {
    std::error_code ec;
    std::filesystem::remove_all(g_dir, ec);
}

// A time the INI form writes and reads back as it is.
bool Writable(int hour, int minute) {
    return hour >= 0 && minute >= 0;
}

// Leaves the stand-ins empty after each input: what an input leaves allocated makes
// libFuzzer run a leak scan after it, which slows the run down many times over.
struct ResetStandIns {
    ResetStandIns() { Reset(); }
    ~ResetStandIns() { Reset(); }
    static void Reset() { fake::ResetAll(); }
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    // All lower case: the store lower-cases the path it derives from the program's.
    // In memory where the system offers it: every input writes and reads the file
    // many times over.
    std::error_code ec;
    const char *base = std::filesystem::is_directory("/dev/shm", ec) ? "/dev/shm" : "/tmp";
    g_dir = std::string(base) + "/vespra-ini-fuzz-" + std::to_string(getpid());
    std::filesystem::create_directories(g_dir);
    atexit(RemoveDir);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    ResetStandIns standIns;
    fake::Files().programPath = g_dir + "/vespra.exe";
    const std::string ini = g_dir + "/vespra.ini";
    fake::WriteFile(ini, std::string(reinterpret_cast<const char *>(data), size));

    CVespraDlg first(nullptr, FALSE, FALSE, FALSE);
    if (!first.ReadIni())
        return 0;
    Check(first.m_bWelcome == (first.m_nWelcomeTime != 0));
    Check(first.m_bLimit == (first.m_nLimitHours != 0));
    // Whatever was read, a password is written back only as a record we can check.
    Check(first.m_sPassword.Record().empty() || IsValidPasswordRecord(first.m_sPassword.Record()));

    // Some inputs meet a file system that fails, by the input's length.
    static const char *const kFailures[] = {"create", "write", "replace"};
    const size_t failure = size % 8;
    if (failure < 3)
        fake::Files().fail.insert(kFailures[failure]);
    first.WriteIni();
    Check(!fake::State().boxes.empty());
    if (fake::State().boxes.back().text == LoadStr(IDS_INI_PASSWORD_NOT_STORED) || failure < 3) {
        // Refused or failed: the file left as it was, no part-written file beside it.
        Check(fake::ReadFile(ini) == std::string(reinterpret_cast<const char *>(data), size));
        Check(!fake::FileThere(IniTempPath(ini)));
        return 0;
    }
    Check(!fake::FileThere(IniTempPath(ini)));
    CVespraDlg second(nullptr, FALSE, FALSE, FALSE);
    second.m_sPassword = first.m_sPassword.IsSet() ? PasswordLock("unread") : PasswordLock();
    Check(second.ReadIni());
    // A time the file cannot hold is not written back as it was.
    for (int d = 0; d < kDays; ++d) {
        if (!Writable(first.m_nHour[d], first.m_nMinute[d])) {
            second.m_nHour[d] = first.m_nHour[d];
            second.m_nMinute[d] = first.m_nMinute[d];
        }
    }
    Check(DescribeSettings(second) == DescribeSettings(first));
    return 0;
}
