// Platform family, shut-down privilege, service-process registration and the
// client side of service control.
#pragma once

#include "framework/win32_types.h"

// True on the NT family. Asked of the system once per process.
bool IsWindowsNT();
// True on the NT family from this major version on (5: 2000, 6: Vista); asked of
// the system at each call.
bool IsWindowsNTFrom(DWORD majorVersion);
// Tests only: forgets the cached answer, as a fresh process would not have it.
void ForgetPlatformFamily();
// Enables SeShutdownPrivilege in the process token; message 33 when the token can't be opened.
void EnableShutdownPrivilege();
// On Windows 95/98/Me, registers (or unregisters) the process as a service process.
void RegisterAsServiceProcess(bool bRegister);

enum ServiceCommand { Stop = 0, Start = 1, Restart = 2 };
// Starts the installer beside the program with " /stop", " /start" or " /restart".
void UtilServiceControl(int command);
// The hand-over of a log-on start, which must never show a box: asks the service
// manager itself, with the access a start needs (SC_MANAGER_CONNECT; SERVICE_START
// and SERVICE_QUERY_STATUS), whether the service can be started, and starts the
// installer with " /start" only when it can and the service is stopped. Every
// other outcome, and a failed start of the installer, goes to the log.
void StartServiceAtLogon();
