// The service installer against the stand-ins: the command line, the service's
// program path, and each command's calls and messages on both platform families.
#include <gtest/gtest.h>

#include <algorithm>

#include <string>
#include <vector>

#include "framework/text.h"
#include "installer/installer.h"
#include "security/permissions.h"
#include "tests/support/fake_all.h"
#include "tests/support/fake_files.h"
#include "tests/support/fake_platform.h"
#include "tests/support/fake_processes.h"
#include "tests/support/fake_registry.h"
#include "tests/support/fake_services.h"
#include "tests/support/fake_ui.h"

namespace {

using installer::Command;
using installer::RunInstaller;

const char kRunServices[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServices";
const char kCaption[] = "Vespra service installer";

class Installer : public ::testing::Test {
protected:
    void SetUp() override {
        fake::ResetAll();
        fake::ResetServices();
        fake::Files().programPath = "C:\\Program Files\\Vespra\\vesprasi.exe";
    }
    void TearDown() override {
        // Every handle opened is closed again, whatever the command's outcome.
        EXPECT_EQ(0, fake::Svc().openHandles);
        fake::ResetServices();
        fake::ResetPlatform();
        fake::ResetFiles();
    }
    void Installed(DWORD state) {
        fake::Svc().installed = true;
        fake::Svc().state = state;
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> out;
        for (const fake::Box &b : fake::Svc().boxes) {
            EXPECT_EQ(kCaption, b.caption) << b.text;
            out.push_back(b.text);
        }
        return out;
    }
    static std::vector<std::string> One(const char *text) { return {text}; }
};

TEST_F(Installer, CommandMatching) {
    const struct {
        std::string commandLine; // the whole command line the installer is started with
        Command command;
    } cases[] = {
        {"vesprasi.exe /install", Command::Install},
        {"vesprasi.exe /UNINSTALL", Command::Uninstall},
        {"vesprasi.exe /STOP", Command::Stop},
        {"\"c:\\program files\\vespra\\vesprasi.exe\" /Start", Command::Start},
        {"vesprasi.exe /restart", Command::Restart},
        {"vesprasi.exe /RemoveSettings", Command::RemoveSettings},
        // As the scheduler starts it: no program name, one blank, the switch.
        {" /stop", Command::Stop},
        {" /restart", Command::Restart},
        {"vesprasi.exe /stop ", Command::None},
        {"vesprasi.exe", Command::None},
        {"vesprasi.exe stop", Command::None},
        {"vesprasi.exe /stop /start", Command::None},
        {"vesprasi.exe /" + std::string(300, 's'), Command::None},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.command, installer::ParseCommand(CommandLineTail(c.commandLine)))
            << c.commandLine;
}

TEST_F(Installer, AnythingElseIsRefusedWithItsOwnCaption) {
    for (const std::string &argument :
         {std::string(), std::string("/stop "), "/install" + std::string(300, 'x')}) {
        fake::ResetServices();
        EXPECT_EQ(0, RunInstaller(argument));
        ASSERT_EQ(1u, fake::Svc().boxes.size());
        EXPECT_EQ("This program is needed by Vespra. It should not be run manually.",
                  fake::Svc().boxes[0].text);
        EXPECT_EQ("VESPRASI.EXE", fake::Svc().boxes[0].caption);
        EXPECT_TRUE(fake::Svc().calls.empty());
    }
}

TEST_F(Installer, ServiceProgramPath) {
    const struct {
        const char *installer, *image;
    } cases[] = {
        {"C:\\Program Files\\Vespra\\vesprasi.exe", "\"c:\\program files\\vespra\\vesprasv.exe\""},
        {"D:\\Tools\\VESPRASI.EXE", "\"d:\\tools\\vesprasv.exe\""},
        {"c:\\vesprasi.exe.d\\vesprasi.exe", "\"c:\\vesprasv.exe\""},
        {"C:\\Tools\\Setup.exe", "\"c:\\tools\\setup.exe\""},
        {"", ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.image, installer::ServiceImagePath(c.installer)) << c.installer;
}

TEST_F(Installer, InstallCreatesTheServiceOnce) {
    fake::PutString(kRunServices, "Vespra", "\"c:\\vespra\\vespra.exe\"");
    fake::PutString(kRunServices, "Other", "x");
    EXPECT_EQ(0, RunInstaller("/install"));
    EXPECT_TRUE(fake::Svc().boxes.empty());
    EXPECT_FALSE(fake::HasValue(kRunServices, "Vespra"));
    EXPECT_TRUE(fake::HasValue(kRunServices, "Other"));
    // The settings key the service host opens is there, if empty.
    EXPECT_EQ(1u, fake::Reg().keys.count("software\\vespra"));
    ASSERT_TRUE(fake::Svc().installed);
    EXPECT_EQ(0x110u, fake::Svc().config.serviceType);
    EXPECT_EQ(2u, fake::Svc().config.startType);
    EXPECT_EQ(0u, fake::Svc().config.errorControl);
    EXPECT_EQ("\"c:\\program files\\vespra\\vesprasv.exe\"", fake::Svc().config.binaryPath);
    EXPECT_EQ((std::vector<std::string>{"open manager", "create", "set dacl", "set recovery",
                                        "set recovery flag"}),
              fake::Svc().calls);
    EXPECT_EQ(kServiceSddl, fake::Svc().dacl);

    // Again: the message, and the service as it was.
    fake::Files().programPath = "D:\\Elsewhere\\vesprasi.exe";
    RunInstaller("/install");
    EXPECT_EQ(One("CreateService() failed (install)\n\nTo correct this problem, please "
                  "uninstall Vespra, then install it again."),
              Texts());
    EXPECT_EQ("\"c:\\program files\\vespra\\vesprasv.exe\"", fake::Svc().config.binaryPath);
}

TEST_F(Installer, OnlyASecuredServiceOfAProgramUsersCannotChangeIsInstalled) {
    static const char kServiceKey[] = "SYSTEM\\CurrentControlSet\\Services\\Vespra";
    const std::string program = "c:\\program files\\vespra\\vesprasv.exe";
    const struct {
        const char *what;
        void (*script)();
        bool installed, deleted;
        std::string dacl, box;
    } cases[] = {
        {"users may change the program",
         [] { fake::Svc().programChangeable = true; }, false, false, "",
         "The Vespra service was not installed: users who are not administrators can change " +
             program + " or its folder.\n\nInstall Vespra in a folder that only administrators "
             "can change, such as Program Files."},
        {"the DACL can't be set", [] { fake::Svc().daclFails = true; }, true, true, "",
         "SetServiceObjectSecurity() failed (install)"},
        {"installed from here before",
         [] {
             fake::Svc().installed = true;
             fake::PutString(kServiceKey, "ImagePath",
                             "\"C:\\Program Files\\Vespra\\vesprasv.exe\"");
         },
         true, false, kServiceSddl, ""},
        {"installed from here before, DACL refused",
         [] {
             fake::Svc().installed = true;
             fake::Svc().daclFails = true;
             fake::PutString(kServiceKey, "ImagePath", "c:\\program files\\vespra\\vesprasv.exe");
         },
         true, false, "", "SetServiceObjectSecurity() failed (install)"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        fake::ResetServices();
        fake::ResetRegistry();
        c.script();
        RunInstaller("/install");
        EXPECT_EQ(std::vector<std::string>{program}, fake::Svc().programsChecked);
        EXPECT_EQ(c.installed, fake::Svc().installed);
        EXPECT_EQ(c.deleted, fake::Svc().markedForDeletion);
        EXPECT_EQ(c.dacl, fake::Svc().dacl);
        EXPECT_EQ(c.box.empty() ? std::vector<std::string>{} : One(c.box.c_str()), Texts());
    }
}

// The package's step: only a folder no user can replace is secured, and the answer
// is the exit code alone.
TEST_F(Installer, SecureFolderSecuresOnlyASafeFolderAndSaysSoByItsExitCode) {
    const struct {
        const char *argument;
        bool aboveChangeable, daclFails;
        int exit;
        const char *secured; // "": nothing secured
    } cases[] = {
        {"/securefolder C:\\Program Files\\Vespra\\", false, false, 0, "C:\\Program Files\\Vespra"},
        {"/SecureFolder C:\\Tools\\Vespra", false, false, 0, "C:\\Tools\\Vespra"},
        {"/securefolder C:\\Open\\Vespra", true, false, 1, ""},
        {"/securefolder C:\\", false, false, 1, ""},
        {"/securefolder C:\\Program Files\\Vespra", false, true, 1, "C:\\Program Files\\Vespra"},
        {"/checkfolder C:\\Program Files\\Vespra", false, false, 0, ""},
    };
    for (const auto &c : cases) {
        fake::ResetServices();
        fake::Svc().folderAboveChangeable = c.aboveChangeable;
        fake::Svc().daclFails = c.daclFails;
        EXPECT_EQ(installer::RunInstaller(c.argument), c.exit) << c.argument;
        const auto &calls = fake::Svc().calls;
        const bool secured = std::find(calls.begin(), calls.end(),
                                       std::string("secure ") + c.secured) != calls.end();
        EXPECT_EQ(secured, *c.secured != 0) << c.argument;
        EXPECT_TRUE(fake::Svc().boxes.empty()) << c.argument;
    }
}

// What Windows keeps after each command: the recovery and its flag, the two Safe
// Mode entries with their descriptor, and the Event Log source, with the Network
// entry unless its own write fails. None of it is worth a box.
TEST_F(Installer, RecoveryAndSafeModeComeWithTheServiceAndGoWithIt) {
    const std::string minimal = "SYSTEM\\CurrentControlSet\\Control\\SafeBoot\\Minimal\\Vespra",
                      network = "SYSTEM\\CurrentControlSet\\Control\\SafeBoot\\Network\\Vespra";
    const std::string recovery = "86400: 1/10000 1/10000 1/60000 ";
    const struct {
        const char *command;
        void (*script)();
        std::string actions;
        bool flag, minimal, network;
        std::string logged;
    } cases[] = {
        {"/install", [] {}, recovery, true, true, true, ""},
        {"/install", [] { fake::Svc().noRecoveryFlag = true; }, recovery, false, true, true, ""},
        {"/install", [] { fake::Svc().recoveryFails = true; }, "0: ", false, true, true,
         "Service installer: Recovery actions not set - error 2"},
        {"/install", [] { fake::Reg().failOpenWrite.insert(ToLower(kEventSourceKey)); }, recovery,
         true, true, true, "Service installer: Event Log source not registered - error 5"},
        {"/install",
         [] { fake::Reg().failOpenWrite.insert(ToLower("SYSTEM\\CurrentControlSet\\Control\\"
                                                       "SafeBoot\\Minimal\\Vespra")); },
         recovery, true, false, true,
         "Service installer: Safe Mode entry SYSTEM\\CurrentControlSet\\Control\\SafeBoot\\"
         "Minimal\\Vespra not written - error 5"},
        {"/install", // installed from here before
         [] {
             fake::Svc().installed = true;
             fake::PutString("SYSTEM\\CurrentControlSet\\Services\\Vespra", "ImagePath",
                             "c:\\program files\\vespra\\vesprasv.exe");
         },
         recovery, true, true, true, ""},
        {"/uninstall", [] { RunInstaller("/install"); }, recovery, true, false, false, ""},
        {"/uninstall", // removed some other way
         [] {
             RunInstaller("/install");
             fake::Svc().installed = false;
         },
         recovery, true, false, false, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.actions + c.logged);
        fake::ResetServices();
        fake::ResetRegistry();
        fake::ResetPlatform();
        fake::PutDword("SOFTWARE\\Vespra", "logfile", 1);
        ASSERT_FALSE(fake::UseTempLogFile().empty());
        c.script();
        RunInstaller(c.command);
        std::string actions = std::to_string(fake::Svc().recoveryResetSeconds) + ": ";
        for (const RecoveryAction &a : fake::Svc().recovery)
            actions += std::to_string(a.type) + "/" + std::to_string(a.delayMs) + " ";
        EXPECT_EQ(c.actions, actions);
        EXPECT_EQ(c.flag, fake::Svc().recoveryOnErrorStops);
        for (const auto &entry : {std::make_pair(minimal, c.minimal), {network, c.network}}) {
            EXPECT_EQ(entry.second ? "Service" : "", fake::GetString(entry.first, ""));
            EXPECT_EQ(entry.second ? kSafeBootKeySddl : "", fake::Reg().keys[ToLower(entry.first)].sddl);
        }
        const bool source = c.network && c.logged.find("Event Log") == std::string::npos;
        EXPECT_EQ(source ? "C:\\Program Files\\Vespra\\vespra.exe 7" : " 0",
                  fake::GetString(kEventSourceKey, "EventMessageFile") + " " +
                      std::to_string(fake::GetDword(kEventSourceKey, "TypesSupported")));
        EXPECT_EQ(source ? kSafeBootKeySddl : "", fake::Reg().keys[ToLower(kEventSourceKey)].sddl);
        const std::vector<std::string> lines = fake::LogLines();
        EXPECT_EQ(c.logged, lines.empty() ? "" : lines[0].substr(lines[0].find(": ") + 2));
        EXPECT_GE(1u, lines.size());
        EXPECT_TRUE(fake::Svc().boxes.empty());
    }
    // A service that can't be deleted keeps its entries.
    fake::ResetServices();
    RunInstaller("/install");
    fake::Svc().deleteFails = true;
    RunInstaller("/uninstall");
    EXPECT_EQ("Service", fake::GetString(minimal, ""));
    EXPECT_EQ(One("DeleteService() failed (stop/uninstall)"), Texts());
}

TEST_F(Installer, InteractiveOnlyWhereWindowsStillHonoursIt) {
    for (const auto &c : {std::pair<DWORD, DWORD>{4, 0x110}, {5, 0x110}, {6, 0x10}, {10, 0x10}}) {
        fake::ResetServices();
        fake::Plat().majorVersion = c.first;
        RunInstaller("/install");
        EXPECT_EQ(c.second, fake::Svc().config.serviceType) << "NT " << c.first;
    }
}

TEST_F(Installer, InstallWithoutItsOwnPathInstallsNothing) {
    fake::Files().programPath = ""; // longer than the 260-character buffer
    RunInstaller("/install");
    EXPECT_FALSE(fake::Svc().installed);
    ASSERT_EQ(1u, Texts().size());
    EXPECT_EQ(0u, Texts()[0].find("CreateService() failed (install)"));
}

TEST_F(Installer, StartStartsOnlyAStoppedService) {
    Installed(SERVICE_STOPPED);
    RunInstaller("/start");
    EXPECT_EQ(std::vector<std::string>{"arg0"}, fake::Svc().startArguments);
    fake::Svc().queriesUntilStopped = -1;
    for (DWORD state : {SERVICE_RUNNING, SERVICE_START_PENDING, SERVICE_STOP_PENDING}) {
        fake::Svc().startArguments.clear();
        fake::Svc().state = state;
        RunInstaller("/start");
        EXPECT_TRUE(fake::Svc().startArguments.empty()) << state;
    }
    EXPECT_TRUE(fake::Svc().boxes.empty());
}

TEST_F(Installer, StopSends222AndUninstallAlsoDeletes) {
    Installed(SERVICE_RUNNING);
    RunInstaller("/stop");
    EXPECT_EQ(std::vector<DWORD>{222}, fake::Svc().controls);
    EXPECT_FALSE(fake::Svc().markedForDeletion);

    // Stopping or stopped already: nothing sent, but uninstall still deletes.
    for (DWORD state : {SERVICE_STOP_PENDING, SERVICE_STOPPED}) {
        fake::Svc().controls.clear();
        fake::Svc().state = state;
        RunInstaller("/stop");
        RunInstaller("/uninstall");
        EXPECT_TRUE(fake::Svc().controls.empty());
    }
    EXPECT_TRUE(fake::Svc().markedForDeletion);

    // Then it waits, as a restart does, until the scheduler has let go of its files.
    fake::ResetServices();
    Installed(SERVICE_RUNNING);
    fake::Svc().queriesUntilStopped = 2;
    fake::Svc().mutexFreeAfterMs = 300;
    RunInstaller("/uninstall");
    const std::vector<std::string> calls = fake::Svc().calls;
    ASSERT_LE(5u, calls.size());
    EXPECT_EQ((std::vector<std::string>{"open manager", "open", "query", "control", "delete"}),
              std::vector<std::string>(calls.begin(), calls.begin() + 5));
    EXPECT_TRUE(fake::Svc().markedForDeletion);
    EXPECT_EQ(2 * installer::kPollMs, fake::Svc().sleptMs);
    EXPECT_EQ((std::vector<std::string>{"Global\\Vespra", "Vespra"}), fake::Svc().mutexNames);
    EXPECT_TRUE(fake::Svc().boxes.empty());
}

TEST_F(Installer, RemoveSettingsTakesOnlyWhatVespraWrote) {
    const char kRun[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
    const std::string minimal = "SYSTEM\\CurrentControlSet\\Control\\SafeBoot\\Minimal\\Vespra";
    for (int present = 0; present < 2; ++present) {
        fake::ResetRegistry();
        fake::PutString(kRun, "Other", "x");
        fake::PutString(kRunServices, "Other", "x");
        if (present) {
            fake::PutString("SOFTWARE\\Vespra", "lock_hash", "h");
            fake::PutString(kRun, "Vespra", "c:\\vespra\\vespra.exe /logon");
            fake::PutString(kRunServices, "Vespra", "c:\\vespra\\vespra.exe");
            fake::PutString(minimal, "", "Service");
        }
        RunInstaller("/removesettings");
        EXPECT_EQ(0u, fake::Reg().keys.count("software\\vespra")) << present;
        EXPECT_EQ(0u, fake::Reg().keys.count(ToLower(minimal))) << present;
        EXPECT_FALSE(fake::HasValue(kRun, "Vespra"));
        EXPECT_FALSE(fake::HasValue(kRunServices, "Vespra"));
        EXPECT_TRUE(fake::HasValue(kRun, "Other"));
        EXPECT_TRUE(fake::HasValue(kRunServices, "Other"));
        EXPECT_TRUE(fake::Svc().boxes.empty());
    }
}

TEST_F(Installer, ControlFailures) {
    const struct {
        DWORD error;
        DWORD stateAfter; // how the service looks when asked again
        bool shown;
    } cases[] = {
        {ERROR_SERVICE_NOT_ACTIVE, SERVICE_STOPPED, false},
        // Refused because another stop got there first: what was asked for.
        {ERROR_SERVICE_CANNOT_ACCEPT_CTRL, SERVICE_STOP_PENDING, false},
        // Refused while the service is still starting: a failure.
        {ERROR_SERVICE_CANNOT_ACCEPT_CTRL, SERVICE_START_PENDING, true},
        {ERROR_ACCESS_DENIED, SERVICE_RUNNING, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.error);
        fake::ResetServices();
        Installed(SERVICE_RUNNING);
        fake::Svc().controlError = c.error;
        fake::Svc().stateAfterRefusal = c.stateAfter;
        RunInstaller("/uninstall");
        EXPECT_EQ(c.shown ? One("ControlService() failed (stop/uninstall)")
                          : std::vector<std::string>(),
                  Texts());
        EXPECT_EQ(!c.shown, fake::Svc().markedForDeletion);
    }
}

TEST_F(Installer, NotInstalledStopAndRestartDoNothingAndShowNothing) {
    for (const char *command : {"/stop", "/restart", "/uninstall"}) {
        fake::ResetServices();
        RunInstaller(command);
        EXPECT_EQ((std::vector<std::string>{"open manager", "open"}), fake::Svc().calls) << command;
        EXPECT_TRUE(fake::Svc().boxes.empty()) << command;
    }
    RunInstaller("/start");
    EXPECT_EQ(One("OpenService() failed (start)"), Texts());
}

TEST_F(Installer, ServiceManagerMessages) {
    const struct {
        const char *command;
        void (*script)();
        const char *text;
    } cases[] = {
        {"/install", [] { fake::Svc().openManagerFails = true; },
         "OpenSCManager() failed (install)"},
        {"/start", [] { fake::Svc().openManagerFails = true; }, "OpenSCManager() failed (start)"},
        {"/restart", [] { fake::Svc().openManagerFails = true; },
         "OpenSCManager() failed (stop/uninstall)"},
        {"/stop", [] { fake::Svc().openManagerFails = true; },
         "OpenSCManager() failed (stop/uninstall)"},
        {"/start", [] { fake::Svc().queryFails = true; }, "QueryServiceStatus() failed (start)"},
        {"/uninstall", [] { fake::Svc().queryFails = true; },
         "QueryServiceStatus() failed (stop/uninstall)"},
        {"/start", [] { fake::Svc().startFails = true; }, "StartService() failed (start)"},
        {"/uninstall", [] { fake::Svc().deleteFails = true; },
         "DeleteService() failed (stop/uninstall)"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        fake::ResetServices();
        Installed(SERVICE_STOPPED);
        c.script();
        EXPECT_EQ(0, RunInstaller(c.command));
        EXPECT_EQ(One(c.text), Texts());
    }
}

TEST_F(Installer, RestartWaitsForTheStopThenStarts) {
    Installed(SERVICE_RUNNING);
    fake::Svc().queriesUntilStopped = 3;
    fake::Svc().mutexFreeAfterMs = 500;
    RunInstaller("/restart");
    EXPECT_EQ(std::vector<DWORD>{222}, fake::Svc().controls);
    EXPECT_EQ(std::vector<std::string>{"arg0"}, fake::Svc().startArguments);
    EXPECT_EQ(3 * installer::kPollMs, fake::Svc().sleptMs);
    EXPECT_EQ(std::vector<DWORD>(2, installer::kSchedulerEndWaitMs), fake::Svc().mutexWaits);
    EXPECT_EQ((std::vector<std::string>{"Global\\Vespra", "Vespra"}), fake::Svc().mutexNames);
    EXPECT_TRUE(fake::Svc().boxes.empty());
}

TEST_F(Installer, RestartGivesUpWaitingAtItsBound) {
    Installed(SERVICE_RUNNING);
    fake::Svc().queriesUntilStopped = -1; // the stop never completes
    fake::Svc().mutexFreeAfterMs = -1;
    RunInstaller("/restart");
    EXPECT_EQ(installer::kStopWaitMs, fake::Svc().sleptMs);
    // The start step then finds the service stopping and leaves it alone.
    EXPECT_TRUE(fake::Svc().startArguments.empty());
    EXPECT_TRUE(fake::Svc().boxes.empty());
}

TEST_F(Installer, Windows9xHasNoServices) {
    fake::Plat().platformId = 1;
    fake::PutString(kRunServices, "Vespra", "x");
    fake::AddProcess(10, "C:\\VESPRA\\VESPRA.EXE");
    fake::AddProcess(11, "C:\\WINDOWS\\EXPLORER.EXE");
    fake::AddProcess(12, "C:\\VESPRA\\VESPRA.EXE").terminateFails = true;
    for (const char *command : {"/install", "/start"})
        RunInstaller(command);
    EXPECT_TRUE(fake::HasValue(kRunServices, "Vespra"));
    EXPECT_TRUE(fake::Procs().terminatedPids.empty());

    for (const char *command : {"/stop", "/uninstall", "/restart"}) {
        fake::Procs().terminatedPids.clear();
        for (fake::Process &p : fake::Processes())
            p.terminated = false;
        RunInstaller(command);
        EXPECT_EQ(std::vector<DWORD>{10}, fake::Procs().terminatedPids) << command;
    }
    // A failed termination, or no ToolHelp at all, says nothing either.
    fake::Procs().missingFunctions.insert("Process32Next");
    RunInstaller("/stop");
    EXPECT_TRUE(fake::Svc().calls.empty());
    EXPECT_TRUE(fake::Svc().boxes.empty());
    EXPECT_TRUE(fake::State().boxes.empty());
}

} // namespace
