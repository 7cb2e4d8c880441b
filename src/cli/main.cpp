// trellium-cli: the headless companion of Trellium.
#include "cli/CliAlerts.h"
#include "cli/Commands.h"

#include "TrelliumVersion.h"

#include <QCoreApplication>
#include <cstdio>
#include <functional>
#include <map>

namespace {

// The one description of the command line: `--help` prints it, the manual
// page is generated from it at build time and the shell completion reads it,
// so keep its layout (a "Commands:" list with the synopsis at column 3, an
// "Options of COMMAND:" list for each command that has options).
const char kUsage[] =
    "Usage: trellium-cli COMMAND [ARGS]\n"
    "Trellium's session documents, data strings, CRCs, display and ports without a window.\n"
    "\n"
    "Commands:\n"
    "  show FILE                 print a session document as JSON\n"
    "  resave IN OUT             read a session document and write it as the program saves it\n"
    "  encode STRING...          print the bytes each data string transmits, one line a transmit\n"
    "  crc MODEL [TEXT]          print the CRC of TEXT, else of standard input; MODEL is a\n"
    "                            catalogue name or 'width=W poly=P init=I refin=true|false\n"
    "                            refout=true|false xorout=X' (width 1 to 64)\n"
    "  crc --list                list the CRC catalogue\n"
    "  render [OPTION]...        show 'TICK HEX...' lines from standard input as the display does\n"
    "  run FILE [OPTION]...      open a session headless, go online and print what arrives\n"
    "  convert TEXT              print the data converter's result for TEXT as JSON\n"
    "  ports                     list the ports a session can choose: ID<TAB>NAME<TAB>DESCRIPTION\n"
    "\n"
    "Options of render:\n"
    "  --mode mont|text|hex      display mode (default mont)\n"
    "  --stamps F                time-stamp format, 0 (off, the default) to 6\n"
    "  --min-interval MS         shortest pause that earns a stamp (default 500; negative: none)\n"
    "  --runs                    wrap each run written as <t>, <s> or <p> (text, special, stamp)\n"
    "  --lines N                 lines the display keeps, 100 (the default) to 1000000\n"
    "\n"
    "Options of run:\n"
    "  --seconds N               end after N seconds (default: run until interrupted, or with\n"
    "                            --expect until every option acted)\n"
    "  --send STRING             send a data string once the connection is usable\n"
    "  --press KEY               press a function key once the connection is usable: F1 to F12,\n"
    "                            after Shift+ or Ctrl+\n"
    "  --dtr on|off              raise or drop DTR, in order with --send and --press\n"
    "  --rts on|off              raise or drop RTS, in order with --send and --press\n"
    "  --break MS                hold the serial line in a break for MS milliseconds\n"
    "  --expect STRING           wait until the data string arrives; the options after it act\n"
    "                            once it has; exit 1 when it does not come in time\n"
    "  --timeout SECONDS         time allowed to each --expect after it (default 10)\n"
    "  --report FILE             write each --expect's result to FILE as a JUnit XML report\n"
    "  --capture PATH            capture the received data to PATH\n"
    "  --allow-auto-response-files\n"
    "                            let auto responses send files\n"
    "\n"
    "Options:\n"
    "  -h, --help                show this text\n"
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
