// The file seam through the real API (OpenFile, MoveFileA, DeleteFileA and the
// directory queries), and program disabling, which the NT family leaves alone.
#include <gtest/gtest.h>

#include <string>

#include "system/files.h"
#include "system/platform.h"
#include "system/program_disable.h"
#include "tests/wine/platform_wine_util.h"
#include "tests/wine/wine_test_support.h"

namespace {

void Put(const std::string &path, const std::string &contents) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h) << path;
    DWORD written = 0;
    WriteFile(h, contents.data(), DWORD(contents.size()), &written, nullptr);
    CloseHandle(h);
}

TEST(FilesWine, DirectoriesAndProgramPath) {
    const std::string sys = GetSystemDir(), win = GetWindowsDir();
    ASSERT_FALSE(sys.empty());
    ASSERT_FALSE(win.empty());
    EXPECT_TRUE(GetFileAttributesA(sys.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_TRUE(FileExists(sys + "\\kernel32.dll"));
    EXPECT_TRUE(FileExists(win + "\\regedit.exe"));

    std::string self = GetProgramPath();
    CharLowerA(&self[0]);
    ASSERT_GT(self.size(), 22u);
    EXPECT_EQ("test_program_files.exe", self.substr(self.size() - 22));
    EXPECT_EQ(wt::ExeDir().size() + 23, self.size());
}

TEST(FilesWine, ExistsMoveAndDeleteWithWin32Semantics) {
    pw::ScratchDir dir;
    ASSERT_FALSE(dir.Path().empty());
    const std::string a = dir / "timedate.cpl", b = dir / "vsp32tim.exe";
    EXPECT_FALSE(FileExists(a));
    Put(a, "A");
    EXPECT_TRUE(FileExists(a));

    EXPECT_TRUE(MoveFilePath(a, b));
    EXPECT_FALSE(FileExists(a));
    EXPECT_EQ("A", wt::ReadWholeFile(b));

    // MoveFileA never replaces a file.
    Put(a, "new");
    EXPECT_FALSE(MoveFilePath(b, a));
    EXPECT_EQ("new", wt::ReadWholeFile(a));
    EXPECT_EQ("A", wt::ReadWholeFile(b));

    EXPECT_TRUE(DeleteFilePath(b));
    EXPECT_FALSE(FileExists(b));
    EXPECT_FALSE(DeleteFilePath(b));
}

TEST(FilesWine, SearchPathFindsTheCurrentFolderAndTheSystem) {
    pw::ScratchDir dir;
    ASSERT_FALSE(dir.Path().empty());
    char old[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, old);
    ASSERT_TRUE(SetCurrentDirectoryA(dir.Path().c_str()));
    EXPECT_FALSE(FileFoundOnSearchPath("vespra_probe.ini"));
    Put(dir / "vespra_probe.ini", "[Vespra]\r\n");
    EXPECT_TRUE(FileFoundOnSearchPath("vespra_probe.ini"));
    EXPECT_TRUE(FileFoundOnSearchPath("notepad.exe"));
    EXPECT_FALSE(FileFoundOnSearchPath("no_such_vespra_program.exe"));
    SetCurrentDirectoryA(old);
}

TEST(ProgramDisableWine, NtFamilyTouchesNoFile) {
    ASSERT_TRUE(IsWindowsNT());
    const std::string sys = GetSystemDir(), win = GetWindowsDir();
    // Make sure both programs are there to be renamed, were renaming wrongly allowed.
    const std::string cpl = sys + "\\timedate.cpl";
    const bool madeCpl = !pw::FileThere(cpl);
    if (madeCpl)
        Put(cpl, "cpl");
    const std::string msconfig = sys + "\\msconfig.exe";
    const bool madeMsconfig = !pw::FileThere(msconfig);
    if (madeMsconfig)
        Put(msconfig, "msconfig");

    for (bool enable : {false, true}) {
        EnableDateTimeControlPanel(enable);
        EnableRegistryPrograms(enable);
        EXPECT_TRUE(pw::FileThere(cpl));
        EXPECT_TRUE(pw::FileThere(msconfig));
        EXPECT_TRUE(pw::FileThere(win + "\\regedit.exe"));
        EXPECT_FALSE(pw::FileThere(sys + "\\vsp32tim.exe"));
        EXPECT_FALSE(pw::FileThere(sys + "\\vsp32msc.exe"));
        EXPECT_FALSE(pw::FileThere(win + "\\vsp32reg.exe"));
    }
    if (madeCpl)
        DeleteFileA(cpl.c_str());
    if (madeMsconfig)
        DeleteFileA(msconfig.c_str());
}

} // namespace
