// A scheduler in another session: the mutexes seen across sessions, the hand-over
// of a log-on start, the access each installer command asks, the re-launch of a
// "/settings" start as an administrator, the silent uninstall check, the service
// host's boxes and the DOS-program killer where no DOS program can run.
#include "framework/text.h"
#include "installer/installer.h"
#include "resources/resource.h"
#include "scheduler/app.h"
#include "settings/run_state.h"
#include "system/process_walk.h"
#include "system/registry.h"
#include "tests/support/fake_processes.h"
#include "tests/support/fake_services.h"
#include "tests/unit/scheduler_fixture.h"

namespace {

using M = MutexOutcome;

class CrossSession : public SchedulerTest {
protected:
    void SetUp() override {
        SchedulerTest::SetUp();
        fake::UseTempLogFile();
        fake::PutDword(kSettingsKey, "logfile", 1);
    }
    int Start(const char *tail) {
        CVespraApp app;
        app.m_lpCmdLine = tail;
        EXPECT_FALSE(app.InitInstance());
        return app.m_nExitCode;
    }
    static bool Logged(const std::string &text) {
        for (const std::string &l : fake::LogLines())
            if (l.find(text) != std::string::npos)
                return true;
        return false;
    }
    static std::vector<std::string> Boxes() {
        std::vector<std::string> out;
        for (const auto &b : fake::State().boxes)
            out.push_back(b.text);
        for (const auto &b : fake::Svc().boxes)
            out.push_back(b.text);
        return out;
    }
};

TEST_F(CrossSession, EitherMutexMeansAnotherInstance) {
    const struct {
        bool globalNamespace;
        M global, local;
        BOOL running;
    } cases[] = {
        {true, M::Existed, M::Created, TRUE}, // the service's scheduler, seen from a session
        {true, M::Created, M::Existed, TRUE}, // one in this session only
        {true, M::Existed, M::Existed, TRUE},
        {true, M::Denied, M::Created, TRUE}, // there, but made by another account
        {true, M::Failed, M::Created, FALSE}, // no right to create a global name
        {true, M::Created, M::Failed, FALSE},
        {false, M::Existed, M::Created, FALSE}, // 95/98/Me, NT4: the local name alone
        {true, M::UserMade, M::Created, FALSE},  // a user made it first, to stop us
        {true, M::Created, M::UserMade, FALSE},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(int(&c - cases));
        fake::ResetOs();
        fake::OsState().mutexAnswers = {{"Global\\Vespra", c.global}, {"Vespra", c.local}};
        EXPECT_EQ(c.running, TakeInstanceMutexes(c.globalNamespace, true));
        EXPECT_EQ(fake::OsState().mutexNames.back(), "Vespra");
        EXPECT_EQ(fake::OsState().mutexNames.size(), c.globalNamespace ? 2u : 1u);
    }
    EXPECT_TRUE(Logged(": Ignoring mutex Global\\Vespra - not made by the system"));
    EXPECT_TRUE(Logged(": Ignoring mutex Vespra - not made by the system"));
}

// A user's start beside the service's scheduler, which only the global name shows.
TEST_F(CrossSession, SecondStartsSeeTheServicesScheduler) {
    fake::Plat().majorVersion = 6;
    const std::string tonight = std::string("tonight at 11:00") + NBSP + "PM";
    const struct {
        const char *tail;
        int exitCode;
        std::string box;
    } cases[] = {
        {"/logon", 0, ""},
        {"", 0, "This computer is scheduled to shut down " + tonight + "."},
        {"/uninstall", 1, LoadStr(IDS_UNINSTALL_ACTIVE)},
        {"/uninstall /quiet", 1, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.tail);
        SetUp();
        fake::Plat().majorVersion = 6;
        fake::OsState().mutexAnswers["Global\\Vespra"] = M::Denied;
        WriteStatusValue("curr_useregistry", 1);
        WriteCurrShutdownTime(tonight);
        EXPECT_EQ(c.exitCode, Start(c.tail));
        EXPECT_EQ(Boxes(), c.box.empty() ? std::vector<std::string>{}
                                         : std::vector<std::string>{c.box});
        EXPECT_TRUE(fake::Plat().starts.empty()); // no hand-over to the installer
        EXPECT_TRUE(fake::State().modalRuns.empty());
    }
    EXPECT_TRUE(Logged("Can't uninstall - Vespra is active"));
}

// A standard user's log-on: the installer only when it can start the service.
TEST_F(CrossSession, LogonHandOverNeverShowsABox) {
    const DWORD user = SERVICE_QUERY_STATUS | SERVICE_START;
    const struct {
        DWORD state, serviceRights;
        const char *log; // nullptr: the installer is started with " /start"
    } cases[] = {{SERVICE_STOPPED, user, nullptr},
                 {SERVICE_RUNNING, user, "the service is running already"},
                 {SERVICE_STOPPED, SERVICE_QUERY_STATUS, "OpenService() failed, error 5"}};
    for (const auto &c : cases) {
        SetUp();
        fake::Svc().installed = true;
        fake::Svc().state = c.state;
        fake::Svc().managerRights = SC_MANAGER_CONNECT;
        fake::Svc().serviceRights = c.serviceRights;
        Start("/logon");
        EXPECT_TRUE(Boxes().empty());
        EXPECT_EQ(fake::Plat().starts.size(), c.log ? 0u : 1u);
        EXPECT_TRUE(!c.log || Logged(c.log)) << c.log;
    }
}

TEST_F(CrossSession, EachInstallerCommandAsksTheLeastAccess) {
    using V = std::vector<std::string>;
    const V start = {"manager 0x1", "service 0x14"};
    const struct {
        const char *command;
        DWORD state;
        V asked;
    } cases[] = {
        // Creating also sets the DACL and the recovery, whose restarts need start.
        {"/install", SERVICE_STOPPED, {"manager 0x2", "create 0x50016"}},
        {"/start", SERVICE_STOPPED, start},
        {"/stop", SERVICE_RUNNING, {"manager 0x1", "service 0x104"}},
        // Then waits, asking only the state, until the scheduler has gone.
        {"/uninstall", SERVICE_RUNNING, {"manager 0x1", "service 0x10104", "manager 0x1", "service 0x4"}},
        {"/restart", SERVICE_RUNNING,
         {"manager 0x1", "service 0x104", "manager 0x1", "service 0x4", start[0], start[1]}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.command);
        fake::ResetServices();
        fake::Svc().installed = std::string(c.command) != "/install";
        fake::Svc().state = c.state;
        fake::Svc().queriesUntilStopped = 0;
        installer::RunInstaller(c.command);
        EXPECT_EQ(fake::Svc().accessAsked, c.asked);
        EXPECT_TRUE(fake::Svc().boxes.empty());
    }
    // A standard user holds just enough to start the service.
    fake::ResetServices();
    fake::Svc().installed = true;
    fake::Svc().managerRights = SC_MANAGER_CONNECT;
    fake::Svc().serviceRights = SERVICE_QUERY_STATUS | SERVICE_START;
    installer::RunInstaller("/start");
    EXPECT_TRUE(fake::Svc().boxes.empty());
    EXPECT_EQ(fake::Svc().state, DWORD(SERVICE_START_PENDING));
}

TEST_F(CrossSession, SettingsStartRelaunchesAsAdministratorWhenItCantWrite) {
    const DWORD kCancelled = 1223; // ERROR_CANCELLED: elevation refused
    const struct {
        bool writable, tried;
        DWORD relaunchError;
        size_t relaunches;
        bool refused; // message 109, nothing written, exit code 1
    } cases[] = {
        {true, false, 0, 0, false},
        {false, false, 0, 1, false},
        {false, false, kCancelled, 1, true},
        {false, true, 0, 0, true}, // the re-launched start can't write either
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.writable << c.tried << c.relaunchError);
        SetUp();
        fake::Plat().settingsWritable = c.writable;
        fake::Plat().elevationTried = c.tried;
        fake::Plat().relaunchError = c.relaunchError;
        EXPECT_EQ(Start("/Settings"), c.refused ? 1 : 0);
        EXPECT_EQ(fake::Plat().relaunches, std::vector<std::string>(c.relaunches, "/Settings"));
        EXPECT_EQ(Boxes(), c.refused ? std::vector<std::string>{LoadStr(IDS_SETTINGS_NEED_ADMIN)}
                                     : std::vector<std::string>{});
        // Only a writable start goes on: takes the mutexes, writes, runs the scheduler.
        EXPECT_EQ(fake::HasValue(kSettingsKey, "already_canceled"), c.writable);
        EXPECT_EQ(fake::State().modalRuns.empty(), !c.writable);
    }
}

// 64-bit Windows (the Wine test) or NT 6 and later: nothing ended, said once.
TEST_F(CrossSession, DosKillerEndsNothingFromVistaOn) {
    fake::Plat().majorVersion = 6;
    fake::AddProcess(1, "C:\\WINNT\\system32\\ntvdm.exe");
    fake::AddProcess(2, "C:\\WINNT\\system32\\cmd.exe");
    EXPECT_EQ(KillDosProcesses() + KillDosProcesses(), 0);
    EXPECT_TRUE(fake::Procs().terminatedPids.empty());
    EXPECT_EQ(fake::LogLines().size(), 1u);
    EXPECT_TRUE(Logged("No DOS programs on this system"));
}

} // namespace
