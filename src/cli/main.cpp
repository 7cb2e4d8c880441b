// trellium-cli: the headless companion of Trellium.
#include "cli/CliAlerts.h"
#include "cli/Commands.h"

#include "TrelliumVersion.h"

#include <QCoreApplication>
#include <cstdio>
#include <functional>
#include <map>

namespace {

const char kUsage[] =
    "Usage: trellium-cli COMMAND [ARGS]\n"
    "\n"
    "Commands:\n"
    "  show FILE                 print a session document as JSON\n"
    "  resave IN OUT             read a session document and write it as the program saves it\n"
    "  encode STRING...          print the bytes each data string transmits\n"
    "  crc MODEL [TEXT]          compute a CRC (MODEL: catalogue name or 'width=W poly=P ...')\n"
    "  crc --list                list the CRC catalogue\n"
    "  render [--mode mont|text|hex] [--stamps F] [--min-interval MS] [--runs]\n"
    "                            render 'TICK HEX...' chunks from standard input as the display "
    "does\n"
    "  run FILE [--seconds N] [--send STRING]... [--press KEY]... [--capture PATH]\n"
    "                            open a session headless, go online and print what arrives\n"
    "  convert TEXT              the data converter's result for TEXT as JSON\n"
    "  ports                     list the ports a session can choose: ID<TAB>NAME<TAB>DESCRIPTION\n"
    "\n"
    "Options:\n"
    "  --help                    show this text\n"
    "  --version                 show the version\n";

} // namespace

QByteArray Latin1Bytes(const QString& text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (const QChar c : text)
        bytes.append(c.unicode() <= 0xFF ? static_cast<char>(c.unicode()) : '?');
    return bytes;
}

void PrintError(const QString& message)
{
    const QByteArray line = message.toLocal8Bit();
    std::fprintf(stderr, "trellium-cli: %s\n", line.constData());
    std::fflush(stderr);
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    CCliAlerts alerts;
    Alerts::SetHandler(&alerts);
    QStringList args = app.arguments();
    args.removeFirst();
    // The arguments as the terminal gave them, for the commands that send them.
    QList<QByteArray> raw;
    for (int i = 2; i < argc; ++i)
        raw.append(QByteArray(argv[i]));

    if (args.isEmpty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const QString command = args.takeFirst();
    if (command == QLatin1String("--help") || command == QLatin1String("-h") ||
        command == QLatin1String("help")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (command == QLatin1String("--version")) {
        std::printf("trellium-cli %s\n", TRELLIUM_PRODUCT_VERSION);
        return 0;
    }

    const std::map<QString, std::function<int(const QStringList&)>> commands = {
        {QStringLiteral("show"), RunShow},
        {QStringLiteral("resave"), RunResave},
        {QStringLiteral("encode"), [&raw](const QStringList&) { return RunEncode(raw); }},
        {QStringLiteral("run"), [&raw](const QStringList&) { return RunRun(raw); }},
        {QStringLiteral("crc"), RunCrc},
        {QStringLiteral("render"), RunRender},
        {QStringLiteral("ports"), RunPorts},
        {QStringLiteral("convert"), RunConvert},
    };
    const auto it = commands.find(command);
    if (it == commands.end()) {
        PrintError(QStringLiteral("unknown command '%1' (try --help)").arg(command));
        return 2;
    }
    return it->second(args);
}
