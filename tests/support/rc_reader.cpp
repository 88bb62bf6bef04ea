#include "tests/support/rc_reader.h"

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace {

struct Lexer {
    const std::string &s;
    size_t i = 0;
    explicit Lexer(const std::string &text) : s(text) {}

    void SkipSpace() {
        for (;;) {
            while (i < s.size() && isspace((unsigned char)s[i]))
                ++i;
            if (s.compare(i, 2, "//") == 0 || (i < s.size() && s[i] == '#')) {
                while (i < s.size() && s[i] != '\n')
                    ++i;
            } else {
                return;
            }
        }
    }
    bool AtEnd() {
        SkipSpace();
        return i >= s.size();
    }
    // A quoted string with rc escapes, a number, an identifier, or one punctuation char.
    std::string Next(bool *quoted = nullptr) {
        SkipSpace();
        if (quoted)
            *quoted = false;
        if (i >= s.size())
            return std::string();
        char c = s[i];
        if (c == '"') {
            if (quoted)
                *quoted = true;
            std::string out;
            ++i;
            while (i < s.size()) {
                char d = s[i++];
                if (d == '"') {
                    if (i < s.size() && s[i] == '"') {
                        out += '"';
                        ++i;
                        continue;
                    }
                    break;
                }
                if (d == '\\' && i < s.size()) {
                    char e = s[i++];
                    switch (e) {
                    case 'n':
                        out += '\n';
                        break;
                    case 't':
                        out += '\t';
                        break;
                    case 'r':
                        out += '\r';
                        break;
                    case '\\':
                        out += '\\';
                        break;
                    case '"':
                        out += '"';
                        break;
                    default:
                        out += '\\';
                        out += e;
                        break;
                    }
                    continue;
                }
                out += d;
            }
            return out;
        }
        if (isalnum((unsigned char)c) || c == '_') {
            size_t b = i;
            while (i < s.size() && (isalnum((unsigned char)s[i]) || s[i] == '_'))
                ++i;
            return s.substr(b, i - b);
        }
        ++i;
        return std::string(1, c);
    }
    std::string Peek() {
        size_t save = i;
        std::string t = Next();
        i = save;
        return t;
    }
    // The rest of the current line, for style expressions.
    std::string RestOfLine() {
        size_t b = i;
        while (i < s.size() && s[i] != '\n')
            ++i;
        return s.substr(b, i - b);
    }
};

const std::map<std::string, long> kWindowsSymbols = {
    {"IDOK", 1}, {"IDCANCEL", 2}, {"IDYES", 6}, {"IDNO", 7}, {"IDC_STATIC", -1}};

long Value(const RcData &rc, const std::string &token) {
    if (token.empty())
        return 0;
    if (isdigit((unsigned char)token[0]) || token[0] == '-')
        return strtol(token.c_str(), nullptr, 0);
    auto it = rc.symbols.find(token);
    if (it != rc.symbols.end())
        return it->second;
    auto w = kWindowsSymbols.find(token);
    if (w != kWindowsSymbols.end())
        return w->second;
    throw std::runtime_error("rc reader: unknown symbol " + token);
}

long Number(Lexer &lx, const RcData &rc) {
    std::string t = lx.Next();
    if (t == "-")
        return -Number(lx, rc);
    return Value(rc, t);
}

void Expect(Lexer &lx, const char *what) {
    std::string t = lx.Next();
    if (t != what)
        throw std::runtime_error(std::string("rc reader: expected ") + what + ", got " + t);
}

void ApplyStyle(RcControl &c, const std::string &style) {
    c.style = style;
    if (style.find("NOT WS_VISIBLE") != std::string::npos)
        c.visible = false;
    if (style.find("WS_DISABLED") != std::string::npos &&
        style.find("NOT WS_DISABLED") == std::string::npos)
        c.enabled = false;
}

RcControl ParseControl(Lexer &lx, const RcData &rc, const std::string &kind) {
    RcControl c;
    c.kind = kind;
    c.isDefault = kind == "DEFPUSHBUTTON";
    bool hasText = kind != "EDITTEXT" && kind != "COMBOBOX" && kind != "LISTBOX";
    if (hasText) {
        bool quoted = false;
        c.text = lx.Next(&quoted);
        Expect(lx, ",");
    }
    c.id = int(Number(lx, rc));
    Expect(lx, ",");
    if (kind == "CONTROL") {
        c.className = lx.Next();
        Expect(lx, ",");
        // The style runs up to the next comma.
        std::string style;
        while (lx.Peek() != ",")
            style += lx.Next() + " ";
        Expect(lx, ",");
        ApplyStyle(c, style);
    }
    c.x = int(Number(lx, rc));
    Expect(lx, ",");
    c.y = int(Number(lx, rc));
    Expect(lx, ",");
    c.cx = int(Number(lx, rc));
    Expect(lx, ",");
    c.cy = int(Number(lx, rc));
    if (kind != "CONTROL") {
        std::string rest = lx.RestOfLine();
        ApplyStyle(c, rest);
    } else {
        lx.RestOfLine();
    }
    return c;
}

void ParseDialog(Lexer &lx, RcData &rc, int id) {
    RcDialog d;
    d.id = id;
    d.x = int(Number(lx, rc));
    Expect(lx, ",");
    d.y = int(Number(lx, rc));
    Expect(lx, ",");
    d.cx = int(Number(lx, rc));
    Expect(lx, ",");
    d.cy = int(Number(lx, rc));
    for (;;) {
        std::string t = lx.Next();
        if (t == "STYLE") {
            d.style = lx.RestOfLine();
        } else if (t == "EXSTYLE") {
            d.exStyle = lx.RestOfLine();
        } else if (t == "CAPTION") {
            d.caption = lx.Next();
        } else if (t == "FONT") {
            d.fontSize = int(Number(lx, rc));
            Expect(lx, ",");
            d.fontName = lx.Next();
            lx.RestOfLine();
        } else if (t == "BEGIN") {
            break;
        } else {
            throw std::runtime_error("rc reader: unexpected " + t + " in dialog header");
        }
    }
    for (;;) {
        std::string kind = lx.Next();
        if (kind == "END")
            break;
        d.controls.push_back(ParseControl(lx, rc, kind));
    }
    rc.dialogs[id] = d;
}

void ParseStringTable(Lexer &lx, RcData &rc) {
    Expect(lx, "BEGIN");
    for (;;) {
        std::string t = lx.Next();
        if (t == "END")
            return;
        int id = int(Value(rc, t));
        bool quoted = false;
        std::string text = lx.Next(&quoted);
        if (text == ",")
            text = lx.Next(&quoted);
        rc.strings[id] = text;
    }
}

std::string ReadFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("rc reader: cannot read " + path);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

} // namespace

RcData ParseRc(const std::string &rcText, const std::string &headerText) {
    RcData rc;
    std::istringstream hdr(headerText);
    std::string line;
    while (std::getline(hdr, line)) {
        std::istringstream ls(line);
        std::string def, name, value;
        if (ls >> def >> name >> value && def == "#define")
            rc.symbols[name] = strtol(value.c_str(), nullptr, 0);
    }
    Lexer lx(rcText);
    while (!lx.AtEnd()) {
        std::string t = lx.Next();
        if (t == "STRINGTABLE") {
            ParseStringTable(lx, rc);
        } else if (t == "LANGUAGE") {
            lx.RestOfLine();
        } else {
            std::string kind = lx.Next();
            if (kind == "DIALOGEX" || kind == "DIALOG")
                ParseDialog(lx, rc, int(Value(rc, t)));
            else
                lx.RestOfLine();
        }
    }
    return rc;
}

const RcData &ProgramResources() {
    static const RcData rc = ParseRc(ReadFile(VESPRA_SOURCE_DIR "/resources/vespra.rc"),
                                     ReadFile(VESPRA_SOURCE_DIR "/resources/resource.h"));
    return rc;
}
