#include "app/QuitSignalWatcher.h"

#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {
// The handler may only write to a descriptor; the notifier reads it on the UI thread.
int g_arrSignalPipe[2] = {-1, -1};
} // namespace

CQuitSignalWatcher::CQuitSignalWatcher(QObject* parent) : QObject(parent)
{
    if (g_arrSignalPipe[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM, 0, g_arrSignalPipe) != 0)
        return;
    m_pNotifier = new QSocketNotifier(g_arrSignalPipe[1], QSocketNotifier::Read, this);
    connect(m_pNotifier, &QSocketNotifier::activated, this, &CQuitSignalWatcher::OnReadable);
    struct sigaction action = {};
    action.sa_handler = &CQuitSignalWatcher::OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

CQuitSignalWatcher::~CQuitSignalWatcher()
{
    if (m_pNotifier == nullptr)
        return;
    ::signal(SIGINT, SIG_DFL);
    ::signal(SIGTERM, SIG_DFL);
    ::close(g_arrSignalPipe[0]);
    ::close(g_arrSignalPipe[1]);
    g_arrSignalPipe[0] = g_arrSignalPipe[1] = -1;
}

void CQuitSignalWatcher::OnSignal(int nSignal)
{
    const unsigned char bySignal = static_cast<unsigned char>(nSignal);
    [[maybe_unused]] const ssize_t nWritten = ::write(g_arrSignalPipe[0], &bySignal, 1);
}

void CQuitSignalWatcher::OnReadable()
{
    unsigned char bySignal = 0;
    if (::read(g_arrSignalPipe[1], &bySignal, 1) == 1)
        emit QuitRequested(bySignal);
}
