#pragma once

#include <QtGlobal>

// Owns the descriptor of an accepted connection until someone takes it
// (Release); one nobody took is closed with its holder.
class CSocketHandle final {
public:
    CSocketHandle() = default;
    explicit CSocketHandle(qintptr handle) : m_handle(handle) {}
    ~CSocketHandle() { Reset(); }
    CSocketHandle(CSocketHandle&& other) noexcept : m_handle(other.Release()) {}
    CSocketHandle& operator=(CSocketHandle&& other) noexcept
    {
        if (this != &other) {
            Reset();
            m_handle = other.Release();
        }
        return *this;
    }
    CSocketHandle(const CSocketHandle&) = delete;
    CSocketHandle& operator=(const CSocketHandle&) = delete;

    bool IsValid() const { return m_handle >= 0; }

    // Hands the descriptor over; the holder is empty afterwards.
    qintptr Release()
    {
        const qintptr handle = m_handle;
        m_handle = -1;
        return handle;
    }

    // Closes the descriptor held, if any.
    void Reset();

private:
    qintptr m_handle = -1;
};
