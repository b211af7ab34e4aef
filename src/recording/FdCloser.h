#pragma once

#include <unistd.h>

// Closes a descriptor (and so drops any lock it holds) on every way out.
class CFdCloser
{
public:
    explicit CFdCloser(int nFd) : m_nFd(nFd) {}
    ~CFdCloser() { ::close(m_nFd); }
    CFdCloser(const CFdCloser&) = delete;
    CFdCloser& operator=(const CFdCloser&) = delete;

private:
    int m_nFd;
};
