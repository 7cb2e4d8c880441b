#pragma once
// A pseudo-terminal pair for serial tests: the test plays the device on the
// master side and the code under test opens the slave by its path. The test
// keeps its own descriptor of the slave too, to look at the settings.
#include <QByteArray>
#include <QString>
#include <cerrno>
#include <chrono>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

class CPtyPair
{
public:
    CPtyPair()
    {
        char name[128] = {};
        if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) == 0)
            m_name = QString::fromLocal8Bit(name);
    }
    ~CPtyPair()
    {
        CloseMaster();
        if (m_slave >= 0)
            ::close(m_slave);
    }
    CPtyPair(const CPtyPair&) = delete;
    CPtyPair& operator=(const CPtyPair&) = delete;

    bool IsOpen() const { return m_master >= 0 && m_slave >= 0; }
    const QString& SlavePath() const { return m_name; }
    int Slave() const { return m_slave; }
    int Master() const { return m_master; }

    // The device goes away: the slave side hangs up.
    void CloseMaster()
    {
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
    }

    // Blocks until the slave side has taken every byte.
    bool WriteToMaster(const QByteArray& bytes) const
    {
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(m_master, bytes.constData() + done,
                                      static_cast<size_t>(bytes.size() - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            done += n;
        }
        return true;
    }

    // Reads from the master until `count` bytes came or `timeoutMs` passed
    // without any.
    QByteArray ReadFromMaster(qsizetype count, int timeoutMs = 10000) const
    {
        QByteArray got;
        char buffer[4096];
        while (got.size() < count) {
            pollfd fd{m_master, POLLIN, 0};
            if (::poll(&fd, 1, timeoutMs) <= 0)
                break;
            const ssize_t n = ::read(m_master, buffer, sizeof buffer);
            if (n <= 0)
                break;
            got.append(buffer, n);
        }
        return got;
    }

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_name;
};
