#include "tests/support/fake_all.h"

#include "tests/support/fake_agent.h"
#include "tests/support/fake_files.h"
#include "tests/support/fake_os.h"
#include "tests/support/fake_pipe.h"
#include "tests/support/fake_platform.h"
#include "tests/support/fake_processes.h"
#include "tests/support/fake_registry.h"
#include "tests/support/fake_services.h"
#include "tests/support/fake_session.h"
#include "tests/support/fake_ui.h"
#include "tests/support/fake_windows.h"

void fake::ResetAll() {
    Reset();
    ResetRegistry();
    ResetOs();
    ResetPlatform();
    ResetFiles();
    ResetProcesses();
    ResetWindows();
    ResetPipe();
    ResetSession();
    ResetAgentHost();
    ResetServices();
}
