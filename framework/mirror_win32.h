// The Win32 halves of the dialog mirror: reading a real dialog into its mirrored
// state and putting the user's input into it (the scheduler's end), and drawing a
// copy from the same template (the agent's end).
#pragma once

#include <windows.h>

#include <map>
#include <string>

#include "framework/mirror.h"

// The scheduler's end. `formats` holds the pickers' display formats, which can't be
// read back from a picker; `focus` the control last given the focus.
MirrorDialog SnapshotDialog(HWND dlg, UINT templateId, int parentKey,
                            const std::map<HWND, std::string> &formats, int focus);
// Puts a checked input into the real dialog, as the user's own would arrive: the
// text or check first, then the notification the control would send.
void ApplyMirrorInput(HWND dlg, const MirrorInput &in);

// The agent's end: a modeless copy of a template (hidden until told), and the state
// messages applied to it.
HWND CreateMirrorCopy(UINT templateId, HWND owner, DLGPROC proc);
void ApplyMirrorControl(HWND copy, const MirrorControl &c);
void ApplyMirrorWindow(HWND copy, bool shown, bool topmost, int focus, const std::string &title);
