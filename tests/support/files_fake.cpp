// The native stand-in for the file seam: POSIX calls on real files, with the
// semantics of the Win32 calls the program relies on.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
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
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/vespra-test-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data()))
        return std::string();
    g_temp.dirs.emplace_back(buf.data());
    return g_temp.dirs.back();
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
