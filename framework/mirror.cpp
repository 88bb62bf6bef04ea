#include "framework/mirror.h"

#include <cstdlib>

namespace {
DialogMirror *g_mirror = nullptr;

// The longest text the agent may put into an edit: longer than any of ours holds.
constexpr size_t kMaxInputText = 1024;
constexpr size_t kMaxField = 60000;

bool ToInt(const std::string &s, int &out) {
    if (s.empty() || s.size() > 11)
        return false;
    char *end = nullptr;
    const long v = std::strtol(s.c_str(), &end, 10);
    if (*end != '\0')
        return false;
    out = int(v);
    return true;
}

std::string Num(long long v) {
    return std::to_string(v);
}

const MirrorControl *FindControl(const MirrorDialog &d, int id) {
    for (const MirrorControl &c : d.controls)
        if (c.id == id)
            return &c;
    return nullptr;
}

bool ParseTime(const std::string &s, int &h, int &m) {
    const size_t colon = s.find(':');
    return colon != std::string::npos && ToInt(s.substr(0, colon), h) &&
           ToInt(s.substr(colon + 1), m) && h >= 0 && h <= 23 && m >= 0 && m <= 59;
}
} // namespace

bool MirrorControl::operator==(const MirrorControl &o) const {
    return id == o.id && text == o.text && visible == o.visible && enabled == o.enabled &&
           check == o.check && runtime == o.runtime && className == o.className &&
           style == o.style && format == o.format && rect == o.rect && time == o.time;
}

std::string EncodeMirror(const MirrorMessage &m) {
    std::string out(1, m.type);
    for (const std::string &f : m.fields)
        out += Num(static_cast<long long>(f.size())) + ':' + f;
    return out;
}

bool DecodeMirror(const std::string &bytes, MirrorMessage &m) {
    if (bytes.empty())
        return false;
    m.type = bytes[0];
    m.fields.clear();
    size_t at = 1;
    while (at < bytes.size()) {
        const size_t colon = bytes.find(':', at);
        if (colon == std::string::npos || colon == at || colon - at > 5)
            return false;
        size_t len = 0;
        for (size_t i = at; i < colon; ++i) {
            if (bytes[i] < '0' || bytes[i] > '9')
                return false;
            len = len * 10 + size_t(bytes[i] - '0');
        }
        if (len > kMaxField || len > bytes.size() - colon - 1)
            return false;
        m.fields.push_back(bytes.substr(colon + 1, len));
        at = colon + 1 + len;
    }
    return true;
}

std::vector<MirrorMessage> MirrorChanges(int key, const MirrorDialog *before,
                                         const MirrorDialog &now) {
    std::vector<MirrorMessage> out;
    const std::string k = Num(key);
    if (!before)
        out.push_back({'O', {k, Num(now.templateId), Num(now.parentKey)}});
    for (const MirrorControl &c : now.controls) {
        const MirrorControl *old = before ? FindControl(*before, c.id) : nullptr;
        if (old && *old == c)
            continue;
        out.push_back({'S',
                       {k, Num(c.id), c.text, Num(c.visible), Num(c.enabled), Num(c.check),
                        Num(c.runtime), c.className, Num(c.style), c.format, Num(c.rect.left),
                        Num(c.rect.top), Num(c.rect.right), Num(c.rect.bottom), c.time}});
    }
    // The window last, so that it shows with its controls already right.
    if (!before || before->shown != now.shown || before->topmost != now.topmost ||
        before->focus != now.focus || before->title != now.title)
        out.push_back({'W', {k, Num(now.shown), Num(now.topmost), Num(now.focus), now.title}});
    return out;
}

bool ReadMirrorControl(const MirrorMessage &m, MirrorControl &c) {
    if (m.type != 'S' || m.fields.size() != 15)
        return false;
    int v[12] = {};
    const int numeric[] = {1, 3, 4, 5, 6, 8, 10, 11, 12, 13};
    for (int i = 0; i < 10; ++i)
        if (!ToInt(m.fields[size_t(numeric[i])], v[i]))
            return false;
    c.id = v[0];
    c.text = m.fields[2];
    c.visible = v[1] != 0;
    c.enabled = v[2] != 0;
    c.check = v[3];
    c.runtime = v[4] != 0;
    c.className = m.fields[7];
    c.style = DWORD(v[5]);
    c.format = m.fields[9];
    c.rect = CRect{v[6], v[7], v[8], v[9]};
    c.time = m.fields[14];
    return true;
}

MirrorInput CheckMirrorInput(const MirrorMessage &m, const std::map<int, MirrorDialog> &open) {
    MirrorInput in;
    const std::vector<std::string> &f = m.fields;
    if (m.type == 'R') {
        if (f.size() == 2 && ToInt(f[0], in.number) && ToInt(f[1], in.id))
            in.kind = MirrorInput::Answer;
        return in;
    }
    if (f.empty() || !ToInt(f[0], in.key))
        return in;
    const auto dlg = open.find(in.key);
    if (dlg == open.end())
        return in;
    if (m.type == 'F') {
        if (f.size() == 1)
            in.kind = MirrorInput::Help;
        return in;
    }
    // A command has a fourth field, the Alt key's state; an agent that sends none is
    // not ours.
    if (f.size() != (m.type == 'K' ? 4u : 3u) || !ToInt(f[1], in.id))
        return in;
    // The user may do in the copy only what the real dialog allows: a hidden or
    // disabled control takes nothing. Enter and Escape reach OK and Cancel as the
    // dialog manager sends them, button or not; the handlers judge those.
    const MirrorControl *c = FindControl(dlg->second, in.id);
    const bool usable = c && c->visible && c->enabled;
    switch (m.type) {
    case 'E':
        if (usable && f[2].size() <= kMaxInputText) {
            in.text = f[2];
            in.kind = MirrorInput::Text;
        }
        break;
    case 'B':
        if (usable && ToInt(f[2], in.number) && in.number >= 0 && in.number <= 2)
            in.kind = MirrorInput::Check;
        break;
    case 'D':
        if (usable && c->runtime && ParseTime(f[2], in.hour, in.minute))
            in.kind = MirrorInput::Time;
        break;
    case 'K':
        if ((usable || in.id == IDOK || in.id == IDCANCEL) && ToInt(f[2], in.number) &&
            in.number == 0 && (f[3] == "0" || f[3] == "1")) {
            in.alt = f[3] == "1";
            in.kind = MirrorInput::Command;
        }
        break;
    default:
        break;
    }
    return in;
}

void SetDialogMirror(DialogMirror *mirror) {
    g_mirror = mirror;
}

DialogMirror *GetDialogMirror() {
    return g_mirror;
}
