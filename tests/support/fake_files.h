// The native stand-in behind system/files.h. Files are real files: a test points the
// Windows and system directories at folders of its own, and the stand-in turns the
// backslashes of the Windows-style paths that the program builds into slashes. Every
// call is recorded with the path exactly as the program passed it.
#pragma once

#include <set>
#include <string>
#include <vector>

namespace fake {

struct FileCall {
    std::string op; // "exists", "search", "delete", "move", "write", "replace"
    std::string path;
    std::string to; // for "move"
};

struct FileSystem {
    std::string programPath = "c:\\program files\\vespra\\vespra.exe";
    std::string systemDir;              // GetSystemDirectoryA; empty = the call fails
    std::string windowsDir;             // GetWindowsDirectoryA; empty = the call fails
    std::set<std::string> onSearchPath; // bare names FileFoundOnSearchPath finds (lower case)
    std::vector<FileCall> calls;
    // Failures a test switches on: "create" (WriteWholeFile makes no file), "write"
    // (it leaves the first half of the bytes behind and fails), "replace"
    // (ReplaceFilePath changes nothing).
    std::set<std::string> fail;
};

FileSystem &Files();
// A fresh stand-in; temporary folders made by MakeTempDir are removed.
void ResetFiles();

// A new empty folder under the system's temporary directory, removed with its
// contents by ResetFiles() or at exit.
std::string MakeTempDir();
// Helpers on real files by POSIX path.
void WriteFile(const std::string &path, const std::string &contents);
bool FileThere(const std::string &path);
std::string ReadFile(const std::string &path);

} // namespace fake
