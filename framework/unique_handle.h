// One small move-only owner for the Win32 handle types (HKEY, HANDLE, SC_HANDLE,
// HMODULE): the closer runs once, when the owner goes out of scope.
#pragma once

#include <utility>

template <typename H, typename Closer, H Invalid = H()> class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(H h) : m_h(h) {}
    ~UniqueHandle() { Reset(); }
    UniqueHandle(UniqueHandle &&o) noexcept : m_h(std::exchange(o.m_h, Invalid)) {}
    UniqueHandle &operator=(UniqueHandle &&o) noexcept {
        if (this != &o) {
            Reset();
            m_h = std::exchange(o.m_h, Invalid);
        }
        return *this;
    }
    UniqueHandle(const UniqueHandle &) = delete;
    UniqueHandle &operator=(const UniqueHandle &) = delete;

    H Get() const { return m_h; }
    H *Put() {
        Reset();
        return &m_h;
    }
    H Release() { return std::exchange(m_h, Invalid); }
    explicit operator bool() const { return m_h != Invalid; }
    void Reset(H h = Invalid) {
        if (m_h != Invalid)
            Closer()(m_h);
        m_h = h;
    }

private:
    H m_h = Invalid;
};
