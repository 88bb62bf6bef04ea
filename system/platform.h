// Platform family, shut-down privilege, service-process registration and the
// client side of service control.
#pragma once

#include "framework/win32_types.h"

// True on the NT family. Asked of the system once per process.
bool IsWindowsNT();
// Tests only: forgets the cached answer, as a fresh process would not have it.
void ForgetPlatformFamily();
// Enables SeShutdownPrivilege in the process token; message 33 when the token can't be opened.
void EnableShutdownPrivilege();
// On Windows 95/98/Me, registers (or unregisters) the process as a service process.
void RegisterAsServiceProcess(bool bRegister);

enum ServiceCommand { Stop = 0, Start = 1, Restart = 2 };
// Starts the installer beside the program with " /stop", " /start" or " /restart".
void UtilServiceControl(int command);
