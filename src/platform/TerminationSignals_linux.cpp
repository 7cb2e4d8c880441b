#include "platform/TerminationSignals.h"

#include "platform/Io.h"
#include "platform/UniqueFd.h"

#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int g_writeEnd = -1;
UniqueFd g_readEnd;
UniqueFd g_writeEndOwner;
struct sigaction g_oldInt
{
};
struct sigaction g_oldTerm
{
};

void OnSignal(int signalNumber)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t written = ::write(g_writeEnd, &byte, 1);
    errno = saved;
}

} // namespace

CTerminationSignals::CTerminationSignals()
{
    int ends[2] = {-1, -1};
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    g_readEnd.Reset(ends[0]);
    g_writeEndOwner.Reset(ends[1]);
    g_writeEnd = ends[1];
    m_notifier = std::make_unique<QSocketNotifier>(g_readEnd.Get(), QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] {
        unsigned char byte = 0;
        while (Platform::ReadNonBlocking(g_readEnd.Get(), &byte, 1).count == 1)
            emit Received(byte);
    });
    struct sigaction action
    {
    };
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, &g_oldInt);
    ::sigaction(SIGTERM, &action, &g_oldTerm);
}

CTerminationSignals::~CTerminationSignals()
{
    if (!m_notifier)
        return;
    ::sigaction(SIGINT, &g_oldInt, nullptr);
    ::sigaction(SIGTERM, &g_oldTerm, nullptr);
    m_notifier.reset();
    g_writeEnd = -1;
    g_writeEndOwner.Reset();
    g_readEnd.Reset();
}
