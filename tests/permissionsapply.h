#pragma once

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

// While alive, file permissions bind this thread even when it runs as root (as CI does), so a
// read-only folder refuses it as it refuses an operator.
class PermissionsApply
{
public:
    PermissionsApply()
    {
        if (!get(m_saved))
            return;
        __user_cap_data_struct lowered[2] = {m_saved[0], m_saved[1]};
        lowered[0].effective &=
            ~(1u << CAP_DAC_OVERRIDE | 1u << CAP_DAC_READ_SEARCH | 1u << CAP_FOWNER);
        m_lowered = set(lowered);
    }
    ~PermissionsApply()
    {
        if (m_lowered)
            set(m_saved);
    }
    PermissionsApply(const PermissionsApply &) = delete;
    PermissionsApply &operator=(const PermissionsApply &) = delete;

private:
    static bool get(__user_cap_data_struct *data)
    {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        return ::syscall(SYS_capget, &header, data) == 0;
    }
    static bool set(__user_cap_data_struct *data)
    {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        return ::syscall(SYS_capset, &header, data) == 0;
    }

    __user_cap_data_struct m_saved[2] = {};
    bool m_lowered = false;
};
