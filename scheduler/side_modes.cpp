// The short modes of a start that doesn't run the scheduler.
//
// Placeholders until those modes are built: each returns at once, so the process
// ends without touching the running scheduler.
#include "scheduler/vespra_app.h"

void CVespraApp::RunTestMode() {}
void CVespraApp::RunUninstallCheck(BOOL) {}
void CVespraApp::RunSecondInstance(BOOL) {}
