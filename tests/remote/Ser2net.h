#pragma once
// A real serial port server on 127.0.0.1, serving one pseudo-terminal with
// serial port control over telnet: the test plays the device on the pty's
// master side, the session under test reaches the slave through the server.
#include "PtyPair.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

class CSer2net
{
public:
    // Starts the server and waits until it takes connections; Error() says
    // why not otherwise.
    CSer2net()
    {
        if (!m_pty.IsOpen() || !m_dir.isValid()) {
            m_error = QStringLiteral("no pseudo-terminal or temporary folder");
            return;
        }
        const QString program = QStandardPaths::findExecutable(
            QStringLiteral("ser2net"), {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin")});
        if (program.isEmpty()) {
            m_error = QStringLiteral("ser2net is not installed (Debian package ser2net)");
            return;
        }
        m_port = FreePort();
        const QString config = m_dir.filePath(QStringLiteral("ser2net.yaml"));
        QFile file(config);
        file.open(QIODevice::WriteOnly);
        file.write(QStringLiteral("%YAML 1.1\n---\n"
                                  "connection: &bench\n"
                                  "  accepter: telnet(rfc2217),tcp,127.0.0.1,%1\n"
                                  "  connector: serialdev,%2,9600n81,local\n"
                                  "  options:\n"
                                  "    kickolduser: true\n")
                       .arg(m_port)
                       .arg(m_pty.SlavePath())
                       .toUtf8());
        file.close();
        m_process.setProgram(program);
        m_process.setArguments({QStringLiteral("-n"), QStringLiteral("-u"), QStringLiteral("-c"),
                                config, QStringLiteral("-P"),
                                m_dir.filePath(QStringLiteral("ser2net.pid"))});
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start();
        if (!m_process.waitForStarted(10000)) {
            m_error = QStringLiteral("ser2net did not start: ") + m_process.errorString();
            return;
        }
        for (int i = 0; i < 1000 && !Listening(); ++i) {
            if (m_process.state() != QProcess::Running) {
                m_error =
                    QStringLiteral("ser2net ended: ") + QString::fromLocal8Bit(m_process.readAll());
                return;
            }
            ::usleep(10000);
        }
        if (!Listening())
            m_error = QStringLiteral("ser2net does not listen on port %1").arg(m_port);
    }
    ~CSer2net()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished(5000);
    }

    const QString& Error() const { return m_error; }
    uint16_t Port() const { return m_port; }
    CPtyPair& Pty() { return m_pty; }
    QByteArray Address() const { return "rfc2217://127.0.0.1:" + QByteArray::number(m_port); }

private:
    static uint16_t FreePort()
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
        ::close(fd);
        return ntohs(address.sin_port);
    }
    // Whether the server listens: a listening socket shows in the kernel's
    // table, and asking there opens no connection (which would open the pty).
    bool Listening() const
    {
        QFile table(QStringLiteral("/proc/net/tcp"));
        if (!table.open(QIODevice::ReadOnly))
            return false;
        const QByteArray wanted =
            QStringLiteral("0100007F:%1").arg(m_port, 4, 16, QLatin1Char('0')).toUpper().toLatin1();
        for (const QByteArray& line : table.readAll().split('\n')) {
            const QList<QByteArray> fields = line.simplified().split(' ');
            if (fields.size() > 3 && fields[1] == wanted && fields[3] == "0A")
                return true;
        }
        return false;
    }

    CPtyPair m_pty;
    QTemporaryDir m_dir;
    QProcess m_process;
    uint16_t m_port = 0;
    QString m_error;
};
