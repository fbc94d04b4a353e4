#pragma once

#include <csignal>
#include <sys/resource.h>

// Lowers the largest file this process may write while it lives: writes beyond it fail with
// EFBIG, as on a full disk, and unlike permissions this holds for root too.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        std::signal(SIGXFSZ, SIG_IGN); // else the kernel kills the process; harmless to keep
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit lowered = m_old;
        lowered.rlim_cur = bytes;
        m_active = ::setrlimit(RLIMIT_FSIZE, &lowered) == 0;
    }
    ~FileSizeLimit() { ::setrlimit(RLIMIT_FSIZE, &m_old); }
    bool isActive() const { return m_active; }

private:
    rlimit m_old = {};
    bool m_active = false;
};
