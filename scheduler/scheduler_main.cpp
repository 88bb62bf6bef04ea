// The one application object of vespra.exe.
#include "scheduler/app.h"

CVespraApp theApp;
