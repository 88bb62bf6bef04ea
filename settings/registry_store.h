// The registry settings store's fixed names. ReadRegistry and WriteRegistry are
// operations of CVespraDlg (scheduler/vespra_dlg.h).
#pragma once

// Start entries under HKEY_LOCAL_MACHINE, each a REG_SZ value kStartValueName.
extern const char *const kRunKey;         // at every log-on, all platforms
extern const char *const kRunServicesKey; // at system start, Windows 95/98/Me only
extern const char *const kStartValueName; // "Vespra"

// String values are read into buffers of this many bytes, terminating NUL included.
constexpr unsigned kRegStringBuffer = 100;
