// What Windows reads from the three programs' files before running them: the version
// resource (as Explorer's Properties and installers show it) and the application
// manifest (common controls 6, DPI awareness, no elevation). This test program carries
// the same manifest, so it also checks that the manifest takes effect.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

#include "system/event_log.h"
#include "tests/wine/wine_test_support.h"

namespace {

struct ProgramCase {
    const char *file;
    const char *description;
};

const ProgramCase kPrograms[] = {
    {"vespra.exe", "Vespra scheduler"},
    {"vesprasv.exe", "Vespra service host"},
    {"vesprasi.exe", "Vespra service installer"},
};

std::string ProgramPath(const char *file) {
    const std::string scheduler = wt::VespraExePath();
    return scheduler.substr(0, scheduler.find_last_of('\\') + 1) + file;
}

class VersionInfo {
public:
    explicit VersionInfo(const std::string &path) {
        DWORD handle = 0;
        const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
        if (size == 0)
            return;
        m_data.resize(size);
        if (!GetFileVersionInfoA(path.c_str(), 0, size, m_data.data()))
            m_data.clear();
    }
    bool Valid() const { return !m_data.empty(); }
    // A string of the US English, Unicode block the programs declare.
    std::string String(const char *name) {
        const std::string query = std::string("\\StringFileInfo\\040904b0\\") + name;
        char *value = nullptr;
        UINT length = 0;
        if (!VerQueryValueA(m_data.data(), query.c_str(), reinterpret_cast<void **>(&value),
                            &length) ||
            !value)
            return "<missing>";
        return std::string(value, length && value[length - 1] == '\0' ? length - 1 : length);
    }
    VS_FIXEDFILEINFO Fixed() {
        VS_FIXEDFILEINFO *info = nullptr;
        UINT length = 0;
        if (!VerQueryValueA(m_data.data(), "\\", reinterpret_cast<void **>(&info), &length) ||
            !info)
            return VS_FIXEDFILEINFO{};
        return *info;
    }
    // The first language and code page of the translation table.
    DWORD Translation() {
        WORD *pair = nullptr;
        UINT length = 0;
        if (!VerQueryValueA(m_data.data(), "\\VarFileInfo\\Translation",
                            reinterpret_cast<void **>(&pair), &length) ||
            length < 4)
            return 0;
        return MAKELONG(pair[1], pair[0]);
    }

private:
    std::vector<char> m_data;
};

TEST(ProgramResources, EachProgramCarriesItsVersionResource) {
    for (const ProgramCase &p : kPrograms) {
        VersionInfo info(ProgramPath(p.file));
        ASSERT_TRUE(info.Valid()) << p.file;
        EXPECT_EQ(info.String("ProductName"), "Vespra") << p.file;
        EXPECT_EQ(info.String("CompanyName"), "The Vespra Project") << p.file;
        EXPECT_EQ(info.String("FileDescription"), p.description) << p.file;
        EXPECT_EQ(info.String("OriginalFilename"), p.file) << p.file;
        EXPECT_EQ(info.String("LegalCopyright"), "Copyright 2026") << p.file;
        EXPECT_EQ(info.String("FileVersion"), "4.0.5.0") << p.file;
        EXPECT_EQ(info.String("ProductVersion"), "4.0.5") << p.file;
        EXPECT_EQ(info.String("Comments"), sizeof(void *) == 8 ? "x64 build" : "x86 build") << p.file;
        const VS_FIXEDFILEINFO fixed = info.Fixed();
        EXPECT_EQ(fixed.dwSignature, 0xFEEF04BDu) << p.file;
        EXPECT_EQ(fixed.dwFileVersionMS, DWORD(MAKELONG(0, 4))) << p.file;
        EXPECT_EQ(fixed.dwFileVersionLS, DWORD(MAKELONG(0, 5))) << p.file;
        EXPECT_EQ(fixed.dwProductVersionMS, fixed.dwFileVersionMS) << p.file;
        EXPECT_EQ(fixed.dwProductVersionLS, fixed.dwFileVersionLS) << p.file;
        EXPECT_EQ(fixed.dwFileType, DWORD(VFT_APP)) << p.file;
        EXPECT_EQ(info.Translation(), DWORD(MAKELONG(1200, 0x0409))) << p.file;
    }
}

TEST(ProgramResources, EachProgramCarriesTheManifest) {
    const char *required[] = {
        "Microsoft.Windows.Common-Controls",
        "6595b64144ccf1df",
        "level=\"asInvoker\"",
        ">true/PM</dpiAware>",
        ">PerMonitorV2, PerMonitor</dpiAwareness>",
        "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", // Windows 7
        "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", // Windows 8
        "{1f676c76-80e1-4239-95bb-83d0f6d0da78}", // Windows 8.1
        "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}", // Windows 10 and 11
    };
    for (const ProgramCase &p : kPrograms) {
        HMODULE exe =
            LoadLibraryExA(ProgramPath(p.file).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(exe, nullptr) << p.file;
        HRSRC found =
            FindResourceA(exe, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24) /* RT_MANIFEST */);
        ASSERT_NE(found, nullptr) << p.file;
        const char *bytes = static_cast<const char *>(LockResource(LoadResource(exe, found)));
        const std::string manifest(bytes, SizeofResource(exe, found));
        for (const char *text : required)
            EXPECT_NE(manifest.find(text), std::string::npos) << p.file << ": " << text;
        FreeLibrary(exe);
    }
}

TEST(ProgramResources, TheManifestGivesCommonControlsSix) {
    // The dialogs of this program are made with the controls the manifest asks for:
    // comctl32 comes from the side-by-side assembly of common controls 6, not from
    // the system directory. (Wine's copy of it reports 5.81 from DllGetVersion, so
    // the assembly, not that number, tells.)
    InitCommonControls();
    ACTCTX_SECTION_KEYED_DATA redirect = {};
    redirect.cbSize = sizeof redirect;
    EXPECT_TRUE(FindActCtxSectionStringA(0, nullptr, ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION,
                                         "comctl32.dll", &redirect));
    HMODULE comctl = GetModuleHandleA("comctl32.dll");
    ASSERT_NE(comctl, nullptr);
    char path[MAX_PATH] = {};
    GetModuleFileNameA(comctl, path, MAX_PATH);
    std::string lower = path;
    CharLowerA(&lower[0]);
    EXPECT_NE(lower.find("\\winsxs\\"), std::string::npos) << path;
    EXPECT_NE(lower.find("microsoft.windows.common-controls_6595b64144ccf1df_6."),
              std::string::npos)
        << path;
}

// The Event Log's texts, as Event Viewer reads them: vespra.exe, the source's
// EventMessageFile, has a message for every event id the programs write.
TEST(ProgramResources, TheSchedulerCarriesTheEventMessages) {
    using namespace event_id;
    HMODULE file =
        LoadLibraryExA(ProgramPath("vespra.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, file);
    for (DWORD id : {kText, kSchedulerStarted, kUserCancelled, kWrongPassword, kClockChanged,
                     kTimeZoneChanged, kShutdownRequested, kShutdownFailed, kSettingsChanged,
                     kAgentNotStarted, kServiceStopped}) {
        char text[512] = {};
        EXPECT_NE(0u, FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS,
                                     file, id, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), text,
                                     sizeof text, nullptr))
            << std::hex << id;
        EXPECT_TRUE(id != kShutdownFailed ||
                    std::string(text) == "Vespra's %2 request to %1 failed with error %3.\r\n")
            << text;
    }
    FreeLibrary(file);
}

} // namespace
