#pragma once

// While it lives, file modes bind this thread even when it runs as root: the
// capabilities that override them leave its effective set, and come back.

#include <array>

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

class CFileModesObeyed final {
public:
    CFileModesObeyed()
    {
        if (Capabilities(SYS_capget, m_saved) != 0)
            return;
        std::array<__user_cap_data_struct, 2> reduced = m_saved;
        reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        m_changed = Capabilities(SYS_capset, reduced) == 0;
    }
    ~CFileModesObeyed()
    {
        if (m_changed)
            Capabilities(SYS_capset, m_saved);
    }
    CFileModesObeyed(const CFileModesObeyed&) = delete;
    CFileModesObeyed& operator=(const CFileModesObeyed&) = delete;

private:
    static long Capabilities(long call, std::array<__user_cap_data_struct, 2>& data)
    {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        return ::syscall(call, &header, data.data());
    }
    std::array<__user_cap_data_struct, 2> m_saved{};
    bool m_changed = false;
};
