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

    // No key: the message, and the defaults, so a system start runs the scheduler.
    fake::ResetRegistry();
    Run(1);
    ASSERT_FALSE(fake::Svc().boxes.empty());
    EXPECT_EQ("RegCreateKeyEx() failed", fake::Svc().boxes[0].text);
    EXPECT_EQ(kCaption, fake::Svc().boxes[0].caption);
    EXPECT_EQ(1u, CurrentServiceValues().status);
    EXPECT_EQ(1u, fake::Svc().launches.size());
}

TEST_F(ServiceHost, LogsStartAndStopOnlyWhenItsSwitchIsOn) {
    ASSERT_FALSE(fake::UseTempLogFile().empty());
    fake::SetNow(CTime(2001, 9, 30, 23, 5, 7).GetTime());
    Run(2);
    EXPECT_TRUE(fake::LogLines().empty());

    Fresh();
    fake::PutDword(kKey, "logfile", 1);
    Run(2);
    EXPECT_EQ((std::vector<std::string>{"09/30/01 23:05:07: Service controller: Starting service",
                                        "09/30/01 23:05:07: Service controller: Stopping service"}),
              fake::LogLines());
}

TEST(RestartLimitTest, AtMostFiveInAnyTenMinutes) {
    const struct {
        const char *what;
        std::vector<uint64_t> atSeconds;
        std::string allowed;
    } cases[] = {
        {"five at once, then no more", {0, 1, 2, 3, 4, 5}, "YYYYYN"},
        {"the oldest leaves the window ten minutes after it", {0, 1, 2, 3, 4, 599, 600, 601, 601},
         "YYYYYNYYN"},
        {"a refused restart is not counted", {0, 100, 200, 300, 400, 500, 550, 600}, "YYYYYNNY"},
        {"90 s apart", {0, 90, 180, 270, 360, 450, 540, 630}, "YYYYYNNY"},
        {"two minutes apart, for ever", {0, 120, 240, 360, 480, 600, 720, 840, 960}, "YYYYYYYYY"},
        {"a month after the system started",
         {2592000, 2592001, 2592002, 2592003, 2592004, 2592005}, "YYYYYN"},
    };
    for (const auto &c : cases) {
        RestartLimit limit;
        std::string allowed;
        for (uint64_t at : c.atSeconds)
            allowed += limit.Allow(at * 1000) ? 'Y' : 'N';
        EXPECT_EQ(c.allowed, allowed) << c.what;
    }
}

// What happens at each of the host's waits, in words: "end" (the scheduler ends by
// itself), "stop" (control 222 arrives), "+N" (N seconds pass first).
void Happen(const std::string &step) {
    std::istringstream words(step);
    for (std::string word; words >> word;) {
        if (word == "end")
            fake::EndScheduler();
        else if (word == "stop")
            ServiceCtrlHandler(222);
        else
            fake::AdvanceClock(std::stol(word));
    }
}

TEST_F(ServiceHost, ASchedulerThatEndsIsRestartedUnlessTheServiceIsStopping) {
    const std::vector<std::string> crash = {"end", ""}; // an end, and no stop in the grace
    auto times = [](std::vector<std::string> steps, int n, std::vector<std::string> last) {
        std::vector<std::string> out;
        for (int i = 0; i < n; ++i)
            out.insert(out.end(), steps.begin(), steps.end());
        out.insert(out.end(), last.begin(), last.end());
        return out;
    };
    const struct {
        const char *what;
        std::vector<std::string> waits; // at each wait of the host, in order
        int postFailures;               // the newest scheduler has no message queue yet
        size_t launches;
        std::string last; // the last report, and the last log line without its time
        DWORD postedTo;   // the thread the last WM_STOP_SCHEDULER went to
        size_t posts;
    } cases[] = {
        {"stopped", {"stop"}, 0, 1, "1/0/0/0/4 Service controller: Stopping service", 4321, 1},
        {"stopped as it ended", {"stop end"}, 0, 1, "1/0/0/0/4 Service controller: Stopping service",
         4321, 1},
        // A scheduler that stops the service itself may be gone before the control.
        {"ended, then the stop it asked for", {"end", "+9 stop"}, 0, 1,
         "1/0/0/0/4 Service controller: Stopping service", 4321, 1},
        {"ended: restarted, and the new one stopped", times(crash, 1, {"stop"}), 0, 2,
         "1/0/0/0/4 Service controller: Stopping service", 4322, 1},
        // Control 222 a moment after the grace: the new scheduler still gets the stop.
        {"a stop that overtakes the restart", {"end", "", "stop"}, 3, 2,
         "1/0/0/0/4 Service controller: Stopping service", 4322, 4},
        {"five ends within ten minutes", times(crash, 5, {"stop"}), 0, 6,
         "1/0/0/0/4 Service controller: Stopping service", 4326, 1},
        {"the sixth", times(crash, 6, {}), 0, 6,
         "1/0/0/1067/4 Service controller: Scheduler ended unexpectedly too often - stopping "
         "service",
         4326, 1},
        {"ends two minutes apart", times({"+110 end", ""}, 8, {"stop"}), 0, 9,
         "1/0/0/0/4 Service controller: Stopping service", 4329, 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        Fresh();
        fake::PutDword(kKey, "logfile", 1);
        fake::ResetPlatform();
        ASSERT_FALSE(fake::UseTempLogFile().empty());
        fake::Svc().postFailures = c.postFailures;
        size_t step = 0;
        fake::Svc().whileWaiting = [&] {
            if (step < c.waits.size())
                Happen(c.waits[step++]);
        };
        Run(2);
        EXPECT_EQ(c.waits.size(), step);
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
        // A post is tried again only while the scheduler lives, briefly.
        EXPECT_EQ((c.posts - 1) * kStopPostPollMs, fake::Svc().sleptMs);
        for (const auto &scheduler : fake::Svc().schedulers)
            EXPECT_TRUE(scheduler.processClosed);
    }
}

} // namespace
