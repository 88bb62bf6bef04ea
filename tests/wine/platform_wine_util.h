// Small helpers of the Wine tests of the platform helpers, the run-state values and
// the log: a scratch folder, reading a message box that another process shows, and
// the values as Wine's own "reg query" prints them.
#pragma once

#include <windows.h>

#include <sstream>
#include <string>
#include <vector>

namespace pw {

inline bool FileThere(const std::string &path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A new folder under the temporary directory, removed with its files (one level)
// when the object goes. The name has capitals and a blank on purpose.
class ScratchDir {
public:
    explicit ScratchDir(const std::string &leaf = "Vespra Test") {
        char temp[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, temp);
        std::string base = temp;
        if (!base.empty() && base.back() != '\\')
            base += '\\';
        for (int i = 0; i < 1000 && m_path.empty(); ++i) {
            std::string p =
                base + leaf + " " + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(i);
            if (CreateDirectoryA(p.c_str(), nullptr))
                m_path = p;
        }
    }
    ~ScratchDir() {
        // A program started from the folder may still be on its way out.
        for (int i = 0; i < 50 && !m_path.empty() && FileThere(m_path); ++i) {
            Remove(m_path);
            if (FileThere(m_path))
                Sleep(100);
        }
    }
    ScratchDir(const ScratchDir &) = delete;
    ScratchDir &operator=(const ScratchDir &) = delete;

    const std::string &Path() const { return m_path; }
    std::string operator/(const std::string &name) const { return m_path + "\\" + name; }

    // Removes a folder with the files and the folders one level down.
    static void Remove(const std::string &dir) {
        if (dir.empty())
            return;
        WIN32_FIND_DATAA fd;
        HANDLE find = FindFirstFileA((dir + "\\*").c_str(), &fd);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                std::string name = fd.cFileName;
                if (name == "." || name == "..")
                    continue;
                std::string full = dir + "\\" + name;
                if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    Remove(full);
                else
                    DeleteFileA(full.c_str());
            } while (FindNextFileA(find, &fd));
            FindClose(find);
        }
        RemoveDirectoryA(dir.c_str());
    }

private:
    std::string m_path;
};

// What a message box (possibly another process's) shows: its text and whether its
// icon is the error icon.
struct BoxContents {
    std::string text;
    bool errorIcon = false;
};

inline BOOL CALLBACK CollectStatic(HWND child, LPARAM lp) {
    auto *box = reinterpret_cast<BoxContents *>(lp);
    char cls[64] = {};
    GetClassNameA(child, cls, sizeof cls);
    if (lstrcmpiA(cls, "Static") != 0)
        return TRUE;
    const LONG style = GetWindowLongA(child, GWL_STYLE);
    if ((style & SS_TYPEMASK) == SS_ICON) {
        HICON icon = reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
        box->errorIcon = icon && icon == LoadIconA(nullptr, MAKEINTRESOURCEA(32513)); // IDI_HAND
        return TRUE;
    }
    char text[1024] = {};
    SendMessageA(child, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    if (text[0])
        box->text = text;
    return TRUE;
}

inline BoxContents ReadMessageBox(HWND box) {
    BoxContents contents;
    EnumChildWindows(box, CollectStatic, reinterpret_cast<LPARAM>(&contents));
    return contents;
}

// One value as "reg query HKLM\SOFTWARE\Vespra /v name" prints it: its type and data
// columns ("REG_DWORD", "0x1d2c3b4a"). Empty when the line is not there.
struct RegLine {
    std::string type;
    std::string data;
};

inline RegLine ParseRegQuery(const std::string &output, const std::string &name) {
    std::istringstream in(output);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string first;
        fields >> first;
        if (lstrcmpiA(first.c_str(), name.c_str()) != 0)
            continue;
        RegLine r;
        fields >> r.type;
        std::getline(fields, r.data);
        const size_t start = r.data.find_first_not_of(" \t");
        const size_t end = r.data.find_last_not_of(" \t\r");
        r.data = start == std::string::npos ? std::string() : r.data.substr(start, end - start + 1);
        return r;
    }
    return RegLine();
}

} // namespace pw
