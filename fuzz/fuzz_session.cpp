// Session files through the whole open path: read the archive, start the
// session (probing its serial port) and build its title.
#include "platform/Alerts.h"
#include "session/SessionContext.h"
#include "session/TrelliumDoc.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <cstddef>
#include <cstdint>

namespace {

// "Serialize Error" and the port messages would flood the fuzzer's output.
class CSilentAlerts final : public CAlertHandler
{
public:
    void Beep() override {}
    void Message(const QString&, const QString&, AlertIcon) override {}
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    static CSilentAlerts alerts;
    Alerts::SetHandler(&alerts);
    // Probing must never reach a real device: every number a probe tries
    // first (COM1 to COM12) names a path that does not exist, and the profile
    // lives in a folder of its own.
    QByteArray ports;
    // Every COM number a file can name (port ids up to 253), so that probing
    // never opens a real device.
    for (int com = 1; com <= 254; ++com)
        ports += "COM" + QByteArray::number(com) + "=/nonexistent/trellium-fuzz-tty,";
    qputenv("TRELLIUM_PORTS", ports);
    const QByteArray home = QDir::tempPath().toLocal8Bit() + "/trellium-fuzz-home";
    qputenv("XDG_CONFIG_HOME", home + "/config");
    qputenv("XDG_DATA_HOME", home + "/data");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    CSessionContext context;
    CTrelliumDoc doc(context);
    doc.Load(buffer);
    doc.InitSession();
    doc.UpdateTitle();
    // The commands the session posted run (with no view they do nothing)
    // before the document goes away.
    QCoreApplication::sendPostedEvents();
    doc.OnCloseDocument();
    return 0;
}
