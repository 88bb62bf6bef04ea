// The native stand-in for the file seam: POSIX calls on real files, with the
// semantics of the Win32 calls the program relies on.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "framework/text.h"
#include "system/files.h"
#include "tests/support/fake_files.h"

namespace fake {

namespace {
FileSystem g_files;

struct TempDirs {
    std::vector<std::string> dirs;
    void RemoveAll() {
        std::error_code ec;
        for (const std::string &d : dirs)
            std::filesystem::remove_all(d, ec);
        dirs.clear();
    }
    ~TempDirs() { RemoveAll(); }
};
TempDirs g_temp;
} // namespace

FileSystem &Files() {
    return g_files;
}

void ResetFiles() {
    g_files = FileSystem();
    g_temp.RemoveAll();
}

std::string MakeTempDir() {
    const char *base = getenv("TMPDIR");
    const std::string prefix = std::string(base && *base ? base : "/tmp") + "/vespra-test-";
    // Lower-case names only: the INI store lower-cases the paths it derives, and a
    // folder named in mixed case would not be found under them.
    static std::mt19937 random{std::random_device{}()};
    const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string path = prefix;
        for (int i = 0; i < 8; ++i)
            path += letters[random() % (sizeof letters - 1)];
        if (mkdir(path.c_str(), 0700) == 0) {
            g_temp.dirs.push_back(path);
            return path;
        }
    }
    return std::string();
}

void WriteFile(const std::string &path, const std::string &contents) {
    std::ofstream(path, std::ios::binary) << contents;
}

bool FileThere(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

std::string ReadFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace fake

using fake::g_files;

namespace {
std::string Posix(std::string path) {
    for (char &c : path)
        if (c == '\\')
            c = '/';
    return path;
}

bool IsRegularFile(const std::string &posixPath) {
    struct stat st;
    return stat(posixPath.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}
} // namespace

std::string GetProgramPath() {
    return g_files.programPath;
}
std::string GetSystemDir() {
    return g_files.systemDir;
}
std::string GetWindowsDir() {
    return g_files.windowsDir;
}

BOOL FileExists(const std::string &path) {
    g_files.calls.push_back({"exists", path, ""});
    // OpenFile opens files only; a folder of that name does not count.
    return IsRegularFile(Posix(path));
}

BOOL FileFoundOnSearchPath(const std::string &name) {
    g_files.calls.push_back({"search", name, ""});
    return g_files.onSearchPath.count(ToLower(name)) ? TRUE : FALSE;
}

BOOL DeleteFilePath(const std::string &path) {
    g_files.calls.push_back({"delete", path, ""});
    const std::string p = Posix(path);
    return IsRegularFile(p) && unlink(p.c_str()) == 0;
}

BOOL MoveFilePath(const std::string &from, const std::string &to) {
    g_files.calls.push_back({"move", from, to});
    const std::string src = Posix(from), dst = Posix(to);
    struct stat st;
    // MoveFileA never replaces an existing target.
    if (stat(dst.c_str(), &st) == 0)
        return FALSE;
    return rename(src.c_str(), dst.c_str()) == 0;
}

BOOL WriteWholeFile(const std::string &path, const std::string &bytes) {
    g_files.calls.push_back({"write", path, ""});
    if (g_files.fail.count("create"))
        return FALSE;
    const std::string p = Posix(path);
    struct stat st;
    // CreateFileA cannot open a folder as a file.
    if (stat(p.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        return FALSE;
    const bool part = g_files.fail.count("write") > 0;
    std::ofstream f(p, std::ios::binary | std::ios::trunc);
    if (!f)
        return FALSE;
    f << (part ? bytes.substr(0, bytes.size() / 2) : bytes);
    return f.flush() && !part;
}

BOOL ReplaceFilePath(const std::string &from, const std::string &to) {
    g_files.calls.push_back({"replace", from, to});
    if (g_files.fail.count("replace"))
        return FALSE;
    const std::string src = Posix(from), dst = Posix(to);
    if (!IsRegularFile(src))
        return FALSE;
    struct stat st;
    // MoveFileExA replaces files, never folders.
    if (stat(dst.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        return FALSE;
    return rename(src.c_str(), dst.c_str()) == 0;
}
