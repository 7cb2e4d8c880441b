// trellium-cli run: a session document opened headless, taken online, its
// received data printed as the display renders it.
#include "cli/Commands.h"
#include "cli/ExpectRunner.h"
#include "cli/HeadlessView.h"
#include "cli/RunDeadline.h"
#include "send/TerminalText.h"

#include "base/TrelliumIds.h"
#include "net/TCPIPSvr.h"
#include "platform/Alerts.h"
#include "platform/FileIo.h"
#include "platform/Socket.h"
#include "platform/TerminationSignals.h"
#include "send/FuncKeys.h"
#include "serial/PortWatcher.h"
#include "session/SessionContext.h"
#include "session/TrelliumDoc.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTimer>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <optional>
#include <vector>

namespace {

constexpr int64_t kMaxRunSeconds = std::numeric_limits<int64_t>::max() / 1000;

// One --send string, --press key or line control, in command-line order.
struct CRunAction
{
    bool bPress = false;
    QByteArray data; // --send
    int key = 0;     // --press: 0..11
    bool bShift = false;
    bool bCtrl = false;
    enum class Line
    {
        None,
        Dtr,
        Rts,
        Break
    };
    Line line = Line::None; // --dtr, --rts (value 0 or 1), --break (value in ms)
    int value = 0;
};

constexpr int kMaxBreakMs = 10000;

struct CRunOptions
{
    QString file;
    std::optional<int64_t> seconds;
    QString capture;
    std::vector<CRunAction> actions;
    bool bAllowAutoFiles = false;
    CExpectRunner expect; // --expect, --timeout, --report
};

// "F1", "Shift+F2", "Ctrl+Shift+F12" (any order, any case).
std::optional<CRunAction> ParseKey(const QString& text)
{
    CRunAction action;
    action.bPress = true;
    const QStringList parts = text.split(QLatin1Char('+'));
    for (int i = 0; i < parts.size(); ++i) {
        const QString part = parts[i].trimmed().toLower();
        if (i + 1 < parts.size()) {
            if (part == QLatin1String("shift"))
                action.bShift = true;
            else if (part == QLatin1String("ctrl"))
                action.bCtrl = true;
            else
                return std::nullopt;
            continue;
        }
        static const QRegularExpression key(QStringLiteral("^f(\\d{1,2})$"));
        const QRegularExpressionMatch match = key.match(part);
        if (!match.hasMatch())
            return std::nullopt;
        const int number = match.captured(1).toInt();
        if (number < 1 || number > 12)
            return std::nullopt;
        action.key = number - 1;
    }
    return action;
}

// DTR and RTS at once; a break holds what follows it until the line is
// free again, the session still reading meanwhile.
void RunLineAction(CTrelliumDoc& doc, const CRunAction& action)
{
    switch (action.line) {
    case CRunAction::Line::Dtr:
        doc.SetLineSignals(action.value != 0, doc.Rts());
        break;
    case CRunAction::Line::Rts:
        doc.SetLineSignals(doc.Dtr(), action.value != 0);
        break;
    case CRunAction::Line::Break: {
        QEventLoop waiting;
        bool ended = false;
        if (doc.SendBreak(action.value,
                          [&] {
                              ended = true;
                              waiting.quit();
                          }) &&
            !ended)
            waiting.exec();
        break;
    }
    case CRunAction::Line::None:
        break;
    }
}

QString ParseOptions(const QList<QByteArray>& args, CRunOptions& options)
{
    for (int i = 0; i < args.size(); ++i) {
        const QString arg = QString::fromLocal8Bit(args[i]);
        const bool takesValue = arg == QLatin1String("--seconds") ||
                                arg == QLatin1String("--send") || arg == QLatin1String("--press") ||
                                arg == QLatin1String("--capture") ||
                                arg == QLatin1String("--dtr") || arg == QLatin1String("--rts") ||
                                arg == QLatin1String("--break");
        if (arg == QLatin1String("--allow-auto-response-files")) {
            options.bAllowAutoFiles = true;
            continue;
        }
        if (!takesValue && !CExpectRunner::TakesOption(arg)) {
            if (arg.startsWith(QLatin1String("--")) || !options.file.isEmpty())
                return QStringLiteral("run: unknown argument '%1'").arg(arg);
            options.file = arg;
            continue;
        }
        if (i + 1 >= args.size())
            return QStringLiteral("run: %1 needs a value").arg(arg);
        const QByteArray value = args[++i];
        if (CExpectRunner::TakesOption(arg)) {
            const QString refused = options.expect.AddOption(arg, value, options.actions.size());
            if (!refused.isEmpty())
                return refused;
        } else if (arg == QLatin1String("--seconds")) {
            // Counted in 64-bit milliseconds: a number of seconds whose
            // milliseconds do not fit is refused, not wrapped.
            bool ok = false;
            const qlonglong seconds = value.toLongLong(&ok);
            if (!ok || seconds < 0 || seconds > kMaxRunSeconds)
                return QStringLiteral("run: --seconds needs a whole number of seconds from 0 to "
                                      "%1, not '%2'")
                    .arg(kMaxRunSeconds)
                    .arg(QString::fromLocal8Bit(value));
            options.seconds = seconds;
        } else if (arg == QLatin1String("--send")) {
            CRunAction action;
            QString error;
            if (!TerminalBytes(value, action.data, error))
                return QStringLiteral("run: refused \"%1\": %2")
                    .arg(QString::fromUtf8(value), error);
            options.actions.push_back(action);
        } else if (arg == QLatin1String("--dtr") || arg == QLatin1String("--rts")) {
            if (value != "on" && value != "off")
                return QStringLiteral("run: %1 takes on or off, not '%2'")
                    .arg(arg, QString::fromLocal8Bit(value));
            CRunAction action;
            action.line =
                arg == QLatin1String("--dtr") ? CRunAction::Line::Dtr : CRunAction::Line::Rts;
            action.value = value == "on" ? 1 : 0;
            options.actions.push_back(action);
        } else if (arg == QLatin1String("--break")) {
            bool ok = false;
            const int ms = value.toInt(&ok);
            if (!ok || ms < 1 || ms > kMaxBreakMs)
                return QStringLiteral("run: --break needs milliseconds from 1 to %1, not '%2'")
                    .arg(kMaxBreakMs)
                    .arg(QString::fromLocal8Bit(value));
            CRunAction action;
            action.line = CRunAction::Line::Break;
            action.value = ms;
            options.actions.push_back(action);
        } else if (arg == QLatin1String("--press")) {
            const auto action = ParseKey(QString::fromLocal8Bit(value));
            if (!action)
                return QStringLiteral("run: '%1' is not a function key (F1 .. F12, with Shift+ "
                                      "or Ctrl+)")
                    .arg(QString::fromLocal8Bit(value));
            options.actions.push_back(*action);
        } else {
            options.capture = QString::fromLocal8Bit(value);
        }
    }
    if (options.file.isEmpty())
        return QStringLiteral("run needs a session file");
    return options.expect.CheckOptions();
}

} // namespace

int RunRun(const QList<QByteArray>& args)
{
    CRunOptions options;
    const QString error = ParseOptions(args, options);
    if (!error.isEmpty()) {
        PrintError(error);
        return 2;
    }
    // A server may hold many clients, each a descriptor.
    Platform::RaiseOpenFileLimit(CTCPIPSvr::kMaxClients + kSpareDescriptors);

    // The document reads its file whole: a FIFO or a device named here would
    // wait for a writer or never end, so it is refused before the document
    // opens the file, in the words the document uses for a file it cannot open.
    {
        const CErrorOr<UniqueFd> file =
            Platform::OpenRegularForReading(QFile::encodeName(options.file));
        if (file.IsError()) {
            Alerts::Message(
                QStringLiteral("Cannot open %1: %2").arg(options.file, CauseText(file.Error())),
                Alerts::AppTitle(), AlertIcon::Exclamation);
            return 1;
        }
    }

    CSessionContext context;
    context.SetDeliveryFrameMs(kDisplayFrameMs);
    CTrelliumDoc doc(context);
    // Only the person running the command can let auto responses send files.
    doc.AllowAutoResponseFiles(options.bAllowAutoFiles);
    CHeadlessView view(doc, stdout, stderr);
    if (!doc.OnOpenDocument(options.file))
        return 1;
    QCoreApplication::sendPostedEvents();

    // A long logging run outlives an adapter pulled out and plugged back in;
    // only a serial session watches the system's devices.
    std::unique_ptr<CPortWatcher> ports;
    if (doc.Info().m_nConnectionType == ConnSerial) {
        ports = std::make_unique<CPortWatcher>(context.Clock(), context.Ports(),
                                               [&context] { context.PortsRebuilt(); });
        ports->WatchDevices();
    }

    doc.ToggleOnline();
    if (!options.capture.isEmpty() && !doc.StartCapture(options.capture)) {
        PrintError(QStringLiteral("run: cannot open %1 to capture data: %2")
                       .arg(options.capture, doc.CaptureProblem()));
        doc.OnCloseDocument();
        return 1;
    }

    // The strings and keys act once the connection is usable: a TCP client
    // once connected, a TCP server once a client came, the others once online.
    // With expectations an action also waits for those before it.
    QTimer actions;
    size_t acted = 0;
    QObject::connect(&actions, &QTimer::timeout, [&] {
        if (!doc.IsConnectionUsable())
            return;
        const size_t allowed = options.expect.ActionsAllowed(options.actions.size());
        if (!options.expect.IsScripted())
            actions.stop();
        for (; acted < allowed; ++acted) {
            const CRunAction& action = options.actions[acted];
            if (action.line != CRunAction::Line::None) {
                RunLineAction(doc, action);
            } else if (action.bPress) {
                doc.PressFunctionKey(action.key, action.bShift, action.bCtrl, false);
            } else {
                MacroKey macro;
                macro.m_strLabel = "--send";
                macro.m_strData = action.data;
                doc.SendDataString(macro);
            }
        }
        const CTransport* transport = doc.GetTransport();
        options.expect.OnActed(acted, !doc.IsSendingFile() && (transport == nullptr ||
                                                               transport->OutputPending() == 0));
    });
    if (!options.actions.empty() || options.expect.IsScripted())
        actions.start(10);

    // Going offline says why when the connection attempt failed.
    const auto offlineText = [&doc] {
        return doc.OfflineReason().isEmpty()
                   ? QStringLiteral("run: the session is offline")
                   : QStringLiteral("run: the session is offline: %1").arg(doc.OfflineReason());
    };
    bool wasOnline = doc.IsOnline();
    QObject::connect(&doc, &CTrelliumDoc::TitleChanged, [&] {
        if (wasOnline && !doc.IsOnline())
            PrintError(offlineText());
        wasOnline = doc.IsOnline();
    });
    if (!wasOnline)
        PrintError(offlineText());

    // A file send that takes a while tells its progress at most once a
    // second, and then its end.
    QElapsedTimer sendStarted;
    QElapsedTimer lastProgress;
    QObject::connect(
        &doc, &CTrelliumDoc::FileSendProgress, [&](const QString& file, qint64 done, qint64 total) {
            const bool end = !doc.IsSendingFile();
            if (!sendStarted.isValid())
                sendStarted.start();
            const bool told = lastProgress.isValid();
            if (end)
                sendStarted.invalidate();
            if (end ? !told : (told ? lastProgress.elapsed() < 1000 : sendStarted.elapsed() < 1000))
                return;
            if (end)
                lastProgress.invalidate();
            else
                lastProgress.start();
            PrintError(QStringLiteral("run: %1 %2: %3 of %4 bytes")
                           .arg(end ? QStringLiteral("sent") : QStringLiteral("sending"), file)
                           .arg(done)
                           .arg(total));
        });

    CTerminationSignals termination;
    CRunDeadline deadline([&] {
        if (options.expect.IsScripted())
            options.expect.OnSecondsPassed();
        else
            QCoreApplication::quit();
    });
    if (options.expect.IsScripted()) {
        view.SetBytesListener([&](const QByteArray& bytes) { options.expect.OnBytes(bytes); });
        options.expect.Start(QFileInfo(options.file).fileName(), options.actions.size(),
                             options.seconds.has_value(),
                             [](int status) { QCoreApplication::exit(status); });
        QObject::connect(&termination, &CTerminationSignals::Received,
                         [&] { options.expect.OnInterrupted(); });
    } else {
        QObject::connect(&termination, &CTerminationSignals::Received, qApp,
                         &QCoreApplication::quit);
    }
    if (options.seconds)
        deadline.Start(*options.seconds * 1000);
    const int status = QCoreApplication::exec();

    view.Finish();
    if (doc.IsCapturing())
        doc.EndCapture();
    doc.OnCloseDocument();
    std::fflush(stdout);
    return status;
}
