// The service-control client through the real CreateProcessA and MessageBoxA: a
// program that calls UtilServiceControl is copied as "vespra.exe" into a folder,
// beside a stand-in "vesprasi.exe" that records how it was started.
#include <gtest/gtest.h>

#include <string>

#include "system/platform.h"

#include "tests/wine/platform_wine_util.h"
#include "tests/wine/wine_test_support.h"

namespace {

const DWORD kWaitMs = 30000;

class ServiceControl : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(m_dir.Path().empty());
        m_done = CreateEventA(nullptr, TRUE, FALSE, "VesprasiStandinDone");
        ASSERT_NE(nullptr, m_done);
        ResetEvent(m_done);
    }
    void TearDown() override { CloseHandle(m_done); }

    void PlaceProgram(const std::string &dir) {
        ASSERT_TRUE(CopyFileA(wt::ToolPath("service_control_tool.exe").c_str(),
                              (dir + "\\vespra.exe").c_str(), FALSE));
    }
    void PlaceInstaller(const std::string &dir) {
        ASSERT_TRUE(CopyFileA(wt::ToolPath("vesprasi_standin_tool.exe").c_str(),
                              (dir + "\\vesprasi.exe").c_str(), FALSE));
    }
    wt::Process Run(const std::string &dir, int command) {
        const std::string exe = dir + "\\vespra.exe";
        return wt::StartProcess(exe, "\"" + exe + "\" " + std::to_string(command));
    }
    // Waits for the program's message box, reads it and clicks OK.
    pw::BoxContents AnswerBox(const wt::Process &proc, HWND *owner = nullptr) {
        HWND box = wt::WaitForWindow("Vespra", kWaitMs, "#32770", proc.Id());
        if (!box)
            return pw::BoxContents();
        pw::BoxContents contents = pw::ReadMessageBox(box);
        if (owner)
            *owner = GetWindow(box, GW_OWNER);
        wt::ClickButton(box, IDOK);
        return contents;
    }

    pw::ScratchDir m_dir;
    HANDLE m_done = nullptr;
};

TEST_F(ServiceControl, StartsTheInstallerBesideTheProgramWithEachCommand) {
    PlaceProgram(m_dir.Path());
    PlaceInstaller(m_dir.Path());
    const struct {
        int command;
        const char *argument;
    } cases[] = {{0, "/stop"}, {1, "/start"}, {2, "/restart"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.argument);
        DeleteFileA((m_dir / "vesprasi_record.txt").c_str());
        ResetEvent(m_done);

        wt::Process proc = Run(m_dir.Path(), c.command);
        ASSERT_TRUE(proc.Valid());
        ASSERT_TRUE(proc.WaitForExit(kWaitMs)) << "the client must not wait for the installer";
        EXPECT_EQ(0u, proc.ExitCode());
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(m_done, kWaitMs)) << "installer not started";

        const std::string record = wt::ReadWholeFile(m_dir / "vesprasi_record.txt");
        // The folder's name has capitals: the client lower-cases the whole path, and the
        // file system still finds the installer.
        const size_t module = record.find("module=[");
        ASSERT_NE(std::string::npos, module) << record;
        const std::string started =
            record.substr(module + 8, record.find("]\n", module) - module - 8);
        EXPECT_EQ(0, lstrcmpiA(started.c_str(), (m_dir / "vesprasi.exe").c_str())) << started;
        // The command line is exactly one blank and the switch, without a program name;
        // the start-up code then gives the switch as the first argument.
        EXPECT_NE(std::string::npos, record.find(std::string("cmdline=[ ") + c.argument + "]\n"))
            << record;
        EXPECT_NE(std::string::npos, record.find("argc=2\n")) << record;
        EXPECT_NE(std::string::npos, record.find(std::string("argv1=[") + c.argument + "]\n"))
            << record;
    }
}

TEST_F(ServiceControl, MissingInstallerShowsTheFileNotFoundCode) {
    PlaceProgram(m_dir.Path());
    wt::Process proc = Run(m_dir.Path(), 0);
    ASSERT_TRUE(proc.Valid());
    HWND owner = reinterpret_cast<HWND>(1);
    const pw::BoxContents box = AnswerBox(proc, &owner);
    EXPECT_EQ("Internal Error:\nCreateProcess failed = 2", box.text);
    EXPECT_EQ(nullptr, owner);
    EXPECT_TRUE(proc.WaitForExit(kWaitMs));
}

TEST_F(ServiceControl, FolderNamedWithExeCutsThePathThere) {
    // d:\my.exe.files\vespra.exe asks for d:\mysi.exe, which is not there, even with
    // an installer beside the program.
    const std::string dir = m_dir / "my.exe.files";
    ASSERT_TRUE(CreateDirectoryA(dir.c_str(), nullptr));
    PlaceProgram(dir);
    PlaceInstaller(dir);
    wt::Process proc = Run(dir, 1);
    ASSERT_TRUE(proc.Valid());
    EXPECT_EQ("Internal Error:\nCreateProcess failed = 2", AnswerBox(proc).text);
    EXPECT_TRUE(proc.WaitForExit(kWaitMs));
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(m_done, 0));
}

TEST_F(ServiceControl, BadCommandShowsItsValueAndStartsNothing) {
    PlaceProgram(m_dir.Path());
    PlaceInstaller(m_dir.Path());
    for (int command : {3, -1}) {
        SCOPED_TRACE(command);
        wt::Process proc = Run(m_dir.Path(), command);
        ASSERT_TRUE(proc.Valid());
        HWND owner = reinterpret_cast<HWND>(1);
        const pw::BoxContents box = AnswerBox(proc, &owner);
        EXPECT_EQ("Internal Error:\nUtilServiceControl bad param = " + std::to_string(command),
                  box.text);
        EXPECT_EQ(nullptr, owner);
        EXPECT_TRUE(proc.WaitForExit(kWaitMs));
    }
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(m_done, 0));
    EXPECT_FALSE(pw::FileThere(m_dir / "vesprasi_record.txt"));
}

// Icons are objects of the process that loaded them, so the icon is compared in
// the process that shows the box: this test program, whose own name gives an
// installer path ("...\\test_service_controlsi.exe") that does not exist.
TEST_F(ServiceControl, MessagesCarryTheErrorIcon) {
    for (int command : {int(Start), 7}) {
        SCOPED_TRACE(command);
        pw::BoxContents box;
        HWND owner = reinterpret_cast<HWND>(1);
        wt::Thread watcher([&] {
            HWND hwnd = wt::WaitForWindow("Vespra", kWaitMs, "#32770", GetCurrentProcessId());
            if (!hwnd)
                return;
            box = pw::ReadMessageBox(hwnd);
            owner = GetWindow(hwnd, GW_OWNER);
            wt::ClickButton(hwnd, IDOK);
        });
        UtilServiceControl(command);
        watcher.join();
        EXPECT_EQ(command == Start
                      ? std::string("Internal Error:\nCreateProcess failed = 2")
                      : std::string("Internal Error:\nUtilServiceControl bad param = 7"),
                  box.text);
        EXPECT_TRUE(box.errorIcon);
        EXPECT_EQ(nullptr, owner);
    }
}

} // namespace
