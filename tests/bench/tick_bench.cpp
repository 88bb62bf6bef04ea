// The cost of the scheduler's waiting: brings the real CVespraDlg, on the in-memory
// stand-ins, through its startup countdown to the waiting state and then runs
// waiting ticks of OnTimer, 20 s of simulated time apart. Meant to run under
// callgrind (scripts/bench.sh):
//
//   valgrind --tool=callgrind --instr-atstart=no --collect-atstart=no
//            --toggle-collect='CVespraDlg::OnTimer*' tick_bench --ticks N [--session0]
//
// --session0 runs the scheduler as the service's scheduler on today's Windows: the
// stand-ins are in session 0 mode, with a user at the console, so that each tick
// includes reading the console session and looking after the agent. --watch counts
// the session watch's own ticks instead, 2 s apart; --watch3 the same with three
// users, one at the console and two over Remote Desktop, each with an agent.
// Only the measured ticks run instrumented, and only OnTimer itself is counted, not
// the moving of the simulated clock between ticks. Logging and beeps are off, as on
// a machine nobody diagnoses. Exit status 1 when the scheduler is not where the
// measurement needs it (waiting, nothing requested) before or after the ticks.
#include <valgrind/callgrind.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>

#include "scheduler/scheduler.h"
#include "system/registry.h"
#include "session/agent.h"
#include "tests/support/fake_agent.h"
#include "tests/support/fake_all.h"
#include "tests/support/fake_platform.h"
#include "tests/support/fake_registry.h"
#include "tests/support/fake_session.h"
#include "tests/support/fake_ui.h"

namespace {

time_t LocalTime(int y, int mo, int d, int h, int mi) {
    struct tm t = MakeTm(y, mo, d, h, mi, 0);
    return mktime(&t);
}

bool Waiting(const CVespraDlg &dlg) {
    return !dlg.m_bStartupPhase && dlg.m_nCountdown == 0 && !dlg.m_bShuttingDown &&
           !dlg.m_bActionPending && dlg.m_tsTick.GetTotalSeconds() == 20 &&
           fake::Plat().exitWindowsCalls.empty() && fake::WindowOf(dlg) &&
           fake::WindowOf(dlg)->timers.count(IDT_SCHEDULER) &&
           fake::WindowOf(dlg)->timers.at(IDT_SCHEDULER) == 20000;
}

int Fail(const char *why) {
    std::fprintf(stderr, "tick_bench: %s\n", why);
    return 1;
}

} // namespace

int main(int argc, char **argv) {
    long ticks = 1;
    bool sessionZero = false;
    bool watch = false; // session 0 mode's watch ticks, 2 s apart, instead
    bool threeUsers = false;

    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--ticks") == 0 && i + 1 < argc) {
            ticks = std::strtol(argv[++i], nullptr, 10);
        } else if (std::strcmp(argv[i], "--session0") == 0) {
            sessionZero = true;
        } else if (std::strcmp(argv[i], "--watch") == 0) {
            sessionZero = watch = true;
        } else if (std::strcmp(argv[i], "--watch3") == 0) {
            sessionZero = watch = threeUsers = true;
        } else {
            std::fprintf(stderr, "usage: tick_bench [--ticks N] [--session0 | --watch | --watch3]\n");
            return 2;
        }
    }
    // Six days of ticks end before the warning of the one shut-down day.
    if (ticks < 1 || ticks > 6L * 4320)
        return Fail("--ticks must be 1 to 25920");

    // A machine in New York, a user logged on, on Tuesday 8 December 2026 at noon.
    // The one shut-down day is Monday, so the ticks compare the schedule every time
    // without ever reaching it.
    setenv("TZ", "America/New_York", 1);
    tzset();
    fake::ResetAll();
    fake::SetNow(LocalTime(2026, 12, 8, 12, 0));
    fake::PutDword(kSettingsKey, "logfile", 0);
    fake::PutDword(kSettingsKey, "beep", 0);
    // Windows keeps the policies' key, which the scheduler watches, with some other
    // program's policy in it.
    fake::PutDword("SOFTWARE\\Policies\\Other", "setting", 1);
    if (sessionZero) {
        // An invisible window station; "kid" at the console in session 1.
        fake::Sess().world = {true, false, true, 0, 1};
        fake::Sess().console = fake::UserAt(1, "kid");
        if (threeUsers)
            fake::Sess().remote = {fake::UserAt(2, "parent"), fake::UserAt(3, "sister", true)};
        fake::Host().agentConnected = true;
        if (!StartSessionZeroMode())
            return Fail("the stand-ins did not make session 0 mode");
    }

    auto dlg = std::make_unique<CVespraDlg>(nullptr, FALSE, TRUE, FALSE);
    for (int d = 0; d < kDays; ++d)
        dlg->m_bDay[d] = d == 1;
    dlg->WriteRegistry();
    fake::Open(*dlg);

    // The startup countdown in 1-s ticks, then the tick that enters the waiting
    // state, then one ordinary waiting tick so that every lazily made thing (the
    // C library's time zone data, the log switches) is made before counting starts.
    for (int guard = 0; dlg->m_bStartupPhase && guard < 1000; ++guard) {
        fake::AdvanceClock(1);
        dlg->OnTimer(IDT_SCHEDULER);
    }
    fake::AdvanceClock(20);
    dlg->OnTimer(IDT_SCHEDULER);
    if (!Waiting(*dlg))
        return Fail("the scheduler did not reach its waiting state");

    CALLGRIND_START_INSTRUMENTATION;
    for (long i = 0; i < ticks; ++i) {
        fake::AdvanceClock(watch ? 2 : 20);
        dlg->OnTimer(watch ? IDT_SESSION_WATCH : IDT_SCHEDULER);
    }
    CALLGRIND_STOP_INSTRUMENTATION;
    if (watch) {
        fake::AdvanceClock(20 - 2 * (ticks % 10));
        dlg->OnTimer(IDT_SCHEDULER);
    }

    if (!Waiting(*dlg))
        return Fail("the scheduler left its waiting state during the ticks");
    if (!dlg->m_bDetectTimeChange)
        return Fail("the ticks took the simulated clock for a clock change");
    if (dlg->m_timeLast.GetTime() != fake::Now())
        return Fail("the scheduler's own time is not the clock's");
    if (sessionZero) {
        // One agent started for each user, and the ticks kept seeing them.
        if (!InSessionZeroMode() || !SessionZeroUserThere() ||
            fake::Sess().agentStarts.size() != (threeUsers ? 3u : 1u))
            return Fail("the ticks did not follow the console session");
        StopSessionZeroMode();
    }
    std::printf("tick_bench: %ld waiting ticks%s\n", ticks, sessionZero ? " in session 0 mode" : "");
    return 0;
}
