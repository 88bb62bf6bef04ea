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
// Creates or truncates the file, writes the bytes and flushes them to the disk
// (CreateFileA, WriteFile, FlushFileBuffers). FALSE when any step fails; the file
// may then be left behind, part-written.
BOOL WriteWholeFile(const std::string &path, const std::string &bytes);
// Puts the file from in the place of to in one step, replacing it if it exists, and
// returns once the change is on the disk (MoveFileExA with MOVEFILE_REPLACE_EXISTING
// and MOVEFILE_WRITE_THROUGH). FALSE leaves both files as they were.
BOOL ReplaceFilePath(const std::string &from, const std::string &to);
