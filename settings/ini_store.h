// The INI settings store for network clients: one file beside the program, section
// "Vespra". ReadIni and WriteIni are operations of CVespraDlg (scheduler/scheduler.h).
#pragma once

#include <string>

// The program's path with its extension replaced by ".ini", all in lower case.
std::string GetIniPath();
// The file WriteIni makes the new text in before it replaces the INI file: beside
// it, on the same volume, so that the replacing is one rename.
std::string IniTempPath(const std::string &iniPath);

// The INI form of a stored password: the form itself, or the form in double quotes
// when its first or last byte would otherwise be dropped or taken as a quote by a
// profile reader. Empty when the form cannot be written to an INI line at all (it
// holds a NUL, CR or LF byte, or is longer than the reader's buffer takes back).
std::string IniPasswordValue(const std::string &storedForm);
