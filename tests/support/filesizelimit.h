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
        ::setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit() { ::setrlimit(RLIMIT_FSIZE, &m_old); }

private:
    rlimit m_old = {};
};
