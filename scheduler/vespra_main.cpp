// The one application object of vespra.exe.
#include "scheduler/vespra_app.h"

CVespraApp theApp;
