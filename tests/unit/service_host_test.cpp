// The service host against the stand-ins: its status reports in order, what it
// starts, what it posts, its messages and its exit codes.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "framework/datetime.h"
#include "service/restart_limit.h"
#include "service/service_host.h"
#include "tests/support/fake_all.h"
#include "tests/support/fake_files.h"
#include "tests/support/fake_platform.h"
#include "tests/support/fake_registry.h"
#include "tests/support/fake_services.h"
#include "tests/support/fake_ui.h"

namespace {

const char kKey[] = "SOFTWARE\\Vespra";
const char kCaption[] = "VESPRASV.EXE";

// One report as "state/checkpoint/wait hint/exit code/accepted".
std::string Describe(const ServiceStatusReport &r) {
    return std::to_string(r.currentState) + "/" + std::to_string(r.checkPoint) + "/" +
           std::to_string(r.waitHint) + "/" + std::to_string(r.win32ExitCode) + "/" +
           std::to_string(r.controlsAccepted);
}

const std::vector<std::string> kStartReports = {"2/1/5000/0/0", "2/2/1000/0/0", "2/3/5000/0/0",
                                                "4/0/0/0/4"};

class ServiceHost : public ::testing::Test {
protected:
    void SetUp() override {
        fake::ResetAll();
        fake::ResetServices();
        fake::Files().programPath = "C:\\Program Files\\Vespra\\vesprasv.exe";
        fake::PutDword(kKey, "status", 1);
        fake::PutDword(kKey, "restart", 0);
        fake::PutDword(kKey, "logfile", 0);
        Fresh();
    }
    // A fresh process; unless a test says otherwise, the installer's stop arrives
    // during the wait.
    static void Fresh() {
        fake::ResetServices();
        fake::Svc().whileWaiting = [] { ServiceCtrlHandler(222); };
    }
    void TearDown() override {
        fake::ResetServices();
        fake::ResetPlatform();
        fake::ResetFiles();
    }

    void Run(DWORD argc) {
        char name[] = "Vespra", arg[] = "arg0";
        char *argv[] = {name, arg, nullptr};
        ServiceMain(argc, argv);
    }
    std::vector<std::string> Reports() const {
        std::vector<std::string> out;
        for (const ServiceStatusReport &r : fake::Svc().reports) {
            EXPECT_EQ(0x10u, r.serviceType);
            EXPECT_EQ(0u, r.serviceSpecificExitCode);
            out.push_back(Describe(r));
        }
        return out;
    }
    static std::vector<std::string> Then(std::vector<std::string> a,
                                         const std::vector<std::string> &b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    }
};

TEST_F(ServiceHost, SchedulerPathBesideTheHost) {
    const struct {
        const char *host, *scheduler;
    } cases[] = {
        {"D:\\Tools\\VESPRASV.EXE", "d:\\tools\\vespra.exe"},
        {"c:\\program files\\vespra\\vesprasv.exe", "c:\\program files\\vespra\\vespra.exe"},
        // Cut at the first occurrence, even in a folder's name.
        {"c:\\vesprasv.exe.d\\vesprasv.exe", "c:\\vespra.exe"},
        {"C:\\Tools\\Service.EXE", "c:\\tools\\service.exe"},
        {"", ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.scheduler, SchedulerPathFor(c.host)) << c.host;
}

TEST_F(ServiceHost, ProgramEntry) {
    EXPECT_EQ(0, ServiceProgramMain());
    EXPECT_EQ(1, fake::Svc().dispatcherRuns);
    EXPECT_TRUE(fake::Svc().boxes.empty());

    fake::Svc().dispatcherFails = true; // run by hand
    EXPECT_EQ(0, ServiceProgramMain());
    ASSERT_EQ(1u, fake::Svc().boxes.size());
    EXPECT_EQ("StartServiceCtrlDispatcher() failed\n\nThis program is used by Windows to control "
              "Vespra. It should not be run manually. If it is run manually, errors may occur.",
              fake::Svc().boxes[0].text);
    EXPECT_EQ(kCaption, fake::Svc().boxes[0].caption);
}

TEST_F(ServiceHost, StartedByTheInstallerRunsTheSchedulerUntilControl222) {
    fake::PutDword(kKey, "status", 0); // action Off: the start argument still starts it
    fake::Svc().whileWaiting = [] {
        EXPECT_TRUE(fake::Svc().posts.empty());
        ServiceCtrlHandler(SERVICE_CONTROL_SHUTDOWN); // no effect at all
        EXPECT_EQ(4u, fake::Svc().reports.size());
        ServiceCtrlHandler(222);
    };
    Run(2);
    EXPECT_EQ(Then(kStartReports, {"3/1/5000/0/4", "1/0/0/0/4"}), Reports());
    EXPECT_EQ(std::vector<std::string>{"c:\\program files\\vespra\\vespra.exe| /service"},
              fake::Svc().launches);
    ASSERT_EQ(1u, fake::Svc().posts.size());
    EXPECT_EQ(4321u, fake::Svc().posts[0].first);
    EXPECT_EQ(1025u, fake::Svc().posts[0].second);
    EXPECT_EQ(1, fake::Svc().eventsCreated);
    EXPECT_EQ(1, fake::Svc().eventsClosed);
    EXPECT_EQ(1, fake::Svc().threadHandlesClosed);
    EXPECT_TRUE(fake::Svc().boxes.empty());
}

// Nothing to do is no failure: an error code would have the service manager's
// recovery start the service again and again.
TEST_F(ServiceHost, SystemStartWithTheActionOffEndsWithoutAnError) {
    fake::PutDword(kKey, "status", 0);
    Run(1);
    EXPECT_EQ(std::vector<std::string>{"1/0/0/0/4"}, Reports());
    EXPECT_TRUE(fake::Svc().launches.empty());
    EXPECT_TRUE(fake::Svc().posts.empty());

    // Restart alone is an action: the scheduler starts.
    Fresh();
    fake::PutDword(kKey, "restart", 1);
    Run(1);
    EXPECT_EQ(Then(kStartReports, {"3/1/5000/0/4", "1/0/0/0/4"}), Reports());
}

TEST_F(ServiceHost, InterrogationIsAnsweredWithTheCurrentState) {
    fake::Svc().whileWaiting = [] {
        ServiceCtrlHandler(SERVICE_CONTROL_INTERROGATE);
        ServiceCtrlHandler(1); // a stop request it does not accept: no change either
        ServiceCtrlHandler(222);
    };
    Run(2);
    EXPECT_EQ(Then(kStartReports, {"4/0/0/0/4", "4/0/0/0/4", "3/1/5000/0/4", "1/0/0/0/4"}),
              Reports());
}

TEST_F(ServiceHost, FailedSchedulerStartStopsWithItsError) {
    fake::Svc().launchFails = true;
    fake::Svc().failureError = 2;
    fake::Svc().errorAfterBox = 0; // the message box must not turn the failure into success
    Run(2);
    ASSERT_EQ(1u, fake::Svc().boxes.size());
    EXPECT_EQ("CreateProcess() failed\n\nPath=c:\\program files\\vespra\\vespra.exe",
              fake::Svc().boxes[0].text);
    EXPECT_EQ(kCaption, fake::Svc().boxes[0].caption);
    EXPECT_EQ(Then({"2/1/5000/0/0", "2/2/1000/0/0", "2/3/5000/0/0"}, {"1/0/0/2/4"}), Reports());
    EXPECT_TRUE(fake::Svc().posts.empty());
    EXPECT_EQ(1, fake::Svc().eventsClosed);
}

TEST_F(ServiceHost, EveryOtherFailureStopsWithTheLastError) {
    const struct {
        const char *what;
        void (*script)();
        std::vector<std::string> reports;
        size_t posts;
    } cases[] = {
        {"no handler", [] { fake::Svc().registerFails = true; }, {}, 0},
        {"first report",
         [] { fake::Svc().failStatusReport = 0; },
         {"2/1/5000/0/0", "1/0/0/5/4"},
         0},
        {"no event", [] { fake::Svc().eventFails = true; }, {"2/1/5000/0/0", "1/0/0/5/4"}, 0},
        {"running report", [] { fake::Svc().failStatusReport = 3; },
         Then(kStartReports, {"1/0/0/5/4"}), 1},
        {"wait", [] { fake::Svc().whileWaiting = nullptr; }, Then(kStartReports, {"1/0/0/5/4"}), 1},
        {"no thread handle",
         [] { fake::Svc().nullThread = true; },
         {"2/1/5000/0/0", "2/2/1000/0/0", "2/3/5000/0/0", "1/0/0/7/4"},
         1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        Fresh();
        fake::Svc().failureError = 5;
        c.script();
        if (fake::Svc().nullThread)
            fake::Svc().lastError = 7;
        Run(2);
        EXPECT_EQ(c.reports, Reports());
        EXPECT_EQ(c.posts, fake::Svc().posts.size());
    }
    EXPECT_EQ("Error: NULL process thread", fake::Svc().boxes.back().text);
}

TEST_F(ServiceHost, ReadsItsThreeValues) {
    fake::PutDword(kKey, "logfile", 1);
    EXPECT_TRUE(ReadServiceValues());
    EXPECT_EQ(1u, CurrentServiceValues().status);
    EXPECT_EQ(1u, CurrentServiceValues().logfile);

    // Missing or not 4 bytes long: 0.
    fake::ResetRegistry();
    fake::PutRaw(kKey, "status", REG_BINARY, {1, 0, 0, 0, 0, 0, 0, 0});
    fake::PutRaw(kKey, "restart", REG_BINARY, {1});
    EXPECT_TRUE(ReadServiceValues());
    EXPECT_EQ(0u, CurrentServiceValues().status);
    EXPECT_EQ(0u, CurrentServiceValues().restart);
    EXPECT_EQ(0u, CurrentServiceValues().logfile);
    EXPECT_TRUE(fake::Svc().boxes.empty());

    // A policy's action and log switch win; the action is one setting.
    fake::PutDword(kKey, "status", 1);
    fake::PutDword("SOFTWARE\\Policies\\Vespra", "restart", 1);
    fake::PutDword("SOFTWARE\\Policies\\Vespra", "logfile", 1);
    EXPECT_TRUE(ReadServiceValues());
    EXPECT_EQ(0u, CurrentServiceValues().status);
    EXPECT_EQ(1u, CurrentServiceValues().restart);
    EXPECT_EQ(1u, CurrentServiceValues().logfile);

    // No key: the message, and the defaults, so a system start runs the scheduler.
    fake::ResetRegistry();
    Run(1);
    ASSERT_FALSE(fake::Svc().boxes.empty());
    EXPECT_EQ("RegCreateKeyEx() failed", fake::Svc().boxes[0].text);
    EXPECT_EQ(kCaption, fake::Svc().boxes[0].caption);
    EXPECT_EQ(1u, CurrentServiceValues().status);
    EXPECT_EQ(1u, fake::Svc().launches.size());
}

// The Event Log has the stop whatever the log's switch says.
TEST_F(ServiceHost, LogsStartAndStopOnlyWhenItsSwitchIsOn) {
    ASSERT_FALSE(fake::UseTempLogFile().empty());
    fake::SetNow(CTime(2001, 9, 30, 23, 5, 7).GetTime());
    fake::UseEventLog();
    Run(2);
    EXPECT_TRUE(fake::LogLines().empty());
    EXPECT_EQ(1u, fake::Reported(event_id::kServiceStopped).size());

    Fresh();
    fake::PutDword(kKey, "logfile", 1);
    Run(2);
    EXPECT_EQ((std::vector<std::string>{"09/30/01 23:05:07: Service controller: Starting service",
                                        "09/30/01 23:05:07: Service controller: Stopping service"}),
              fake::LogLines());
}

TEST(RestartLimitTest, AtMostFiveInAnyTenMinutes) {
    const struct {
        std::vector<uint64_t> atSeconds;
        std::string allowed;
    } cases[] = {
        {{0, 1, 2, 3, 4, 5}, "YYYYYN"},
        {{0, 1, 2, 3, 4, 599, 600, 601, 601}, "YYYYYNYYN"}, // the window slides
        {{0, 100, 200, 300, 400, 500, 550, 600}, "YYYYYNNY"}, // a refusal is not counted
        {{0, 120, 240, 360, 480, 600, 720, 840, 960}, "YYYYYYYYY"},
        {{2592000, 2592001, 2592002, 2592003, 2592004, 2592005}, "YYYYYN"}, // a month up
    };
    for (const auto &c : cases) {
        RestartLimit limit;
        std::string allowed;
        for (uint64_t at : c.atSeconds)
            allowed += limit.Allow(at * 1000) ? 'Y' : 'N';
        EXPECT_EQ(c.allowed, allowed);
    }
}

// At each of the host's waits, in words: "end" (the scheduler ends by itself),
// "stop" (control 222 arrives), "+N" (N seconds pass first).
TEST_F(ServiceHost, ASchedulerThatEndsIsRestartedUnlessTheServiceIsStopping) {
    auto crashes = [](int n, const char *then, const char *each = "+100 end") {
        std::vector<std::string> waits;
        for (int i = 0; i < n; ++i)
            waits.insert(waits.end(), {each, ""}); // no stop in the grace
        if (*then)
            waits.push_back(then);
        return waits;
    };
    const std::string stopped = "1/0/0/0/4 Service controller: Stopping service";
    const struct {
        std::vector<std::string> waits;
        int postFailures; // the newest scheduler has no message queue yet
        size_t launches;
        std::string last; // the last report and log line
        DWORD postedTo;   // the thread of the last WM_STOP_SCHEDULER
        size_t posts;
    } cases[] = {
        {{"stop"}, 0, 1, stopped, 4321, 1},
        {{"end stop"}, 0, 1, stopped, 4321, 1},
        // A scheduler that stops the service itself may be gone before the control.
        {{"end", "+9 stop"}, 0, 1, stopped, 4321, 1},
        {crashes(1, "stop"), 0, 2, stopped, 4322, 1},
        {crashes(1, "stop"), 3, 2, stopped, 4322, 4}, // the stop overtook the restart
        {crashes(5, "stop"), 0, 6, stopped, 4326, 1},
        {crashes(6, ""), 0, 6,
         "1/0/0/1067/4 Service controller: Scheduler ended unexpectedly too often - stopping "
         "service", 4326, 1},
        {crashes(8, "stop", "+120 end"), 0, 9, stopped, 4329, 1}, // slower: for ever
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.waits.size());
        Fresh();
        fake::PutDword(kKey, "logfile", 1);
        fake::ResetPlatform();
        ASSERT_FALSE(fake::UseTempLogFile().empty());
        fake::Svc().postFailures = c.postFailures;
        fake::Svc().whileWaiting = [&c] {
            std::istringstream words(fake::Svc().waits <= int(c.waits.size())
                                         ? c.waits[fake::Svc().waits - 1] : "");
            for (std::string word; words >> word;)
                word == "end" ? fake::EndScheduler()
                : word == "stop" ? ServiceCtrlHandler(222) : fake::AdvanceClock(std::stol(word));
        };
        Run(2);
        EXPECT_EQ(c.launches, fake::Svc().launches.size());
        const std::vector<std::string> lines = fake::LogLines();
        size_t restarts = 0;
        for (const std::string &line : lines)
            restarts += line.find(": Scheduler ended unexpectedly - restarting") != std::string::npos;
        EXPECT_EQ(c.launches - 1, restarts);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(c.last, Reports().back() + " " + lines.back().substr(lines.back().find(": ") + 2));
        ASSERT_EQ(c.posts, fake::Svc().posts.size());
        EXPECT_EQ(c.postedTo, fake::Svc().posts.back().first);
        // Tried again only while the scheduler lives.
        EXPECT_EQ((c.posts - 1) * kStopPostPollMs, fake::Svc().sleptMs);
        for (const auto &scheduler : fake::Svc().schedulers)
            EXPECT_TRUE(scheduler.processClosed);
    }
}

} // namespace
