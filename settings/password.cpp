#include "settings/password.h"

#include <cstdint>

namespace {

// Our own copy of the classic runtime generator, so that the stored form does not
// depend on the runtime the program is linked with and nothing else can draw from
// the sequence between two scramblings.
class PasswordSequence {
public:
    PasswordSequence() : m_state(71) {}
    unsigned Draw() {
        m_state = m_state * 0x343FDu + 0x269EC3u;
        return (m_state >> 16) & 0x7FFFu;
    }

private:
    uint32_t m_state;
};

// Adds (sign +1) or subtracts (sign -1) the sequence's offsets byte by byte.
std::string Shift(const std::string &in, int sign) {
    std::string out;
    if (in.empty())
        return out; // the sequence is not touched for the empty password
    out.resize(in.size());
    PasswordSequence seq;
    unsigned k = seq.Draw() % 3;
    for (size_t i = 0; i < in.size(); ++i) {
        ++k;
        const unsigned raise = k + seq.Draw() % 3;
        const unsigned byte = static_cast<unsigned char>(in[i]);
        out[i] = static_cast<char>((sign > 0 ? byte + raise : byte - raise) & 0xFFu);
    }
    return out;
}

} // namespace

std::string ScramblePassword(const std::string &password) {
    return Shift(password, +1);
}

std::string UnscramblePassword(const std::string &stored) {
    return Shift(stored, -1);
}

bool IsStorablePassword(const std::string &password) {
    if (password.size() > kMaxStoredPassword)
        return false;
    if (password.find('\0') != std::string::npos)
        return false;
    const std::string stored = ScramblePassword(password);
    return stored.find_first_of(std::string("\0\r\n", 3)) == std::string::npos;
}
