// Whether an interactive user is logged on.
#pragma once

// On the NT family: the input desktop's name, lower-cased, contains "default". On
// Windows 95/98/Me: a process named systray.exe runs. Every failure gives false, and
// nothing is ever shown: the scheduler asks on every tick.
bool IsUserLoggedOn();
