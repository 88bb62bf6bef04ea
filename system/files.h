// The file-system seam: the few file operations the scheduler performs, with the
// semantics of their Win32 calls. Windows: files_win32.cpp. Native tests: POSIX
// calls on real files, with the Windows and system directories pointed at folders
// the test chooses.
#pragma once

#include <string>

#include "framework/win32_types.h"

// GetModuleFileNameA of the running program (at most 260 characters).
std::string GetProgramPath();
// GetSystemDirectoryA / GetWindowsDirectoryA; empty when the call fails.
std::string GetSystemDir();
std::string GetWindowsDir();
// OpenFile with OF_EXIST on a full path: true unless it returns HFILE_ERROR.
BOOL FileExists(const std::string &path);
// OpenFile with OF_EXIST on a bare file name, with its usual search (current
// directory, Windows and system directories, PATH).
BOOL FileFoundOnSearchPath(const std::string &name);
BOOL DeleteFilePath(const std::string &path);
BOOL MoveFilePath(const std::string &from, const std::string &to);
