// trellium-cli show FILE / resave IN OUT
#include "cli/Commands.h"
#include "cli/JsonWriter.h"

#include "platform/FileIo.h"
#include "session/SaveTarget.h"
#include "session/SessionContext.h"
#include "session/TrelliumDoc.h"

#include <QFile>
#include <QSaveFile>
#include <cstdio>

namespace {

enum Exit
{
    ExitOk = 0,
    ExitCannotOpen = 1,
    ExitSerializeError = 2,
};

// Reads a session file as the program does, without starting the session.
// "Serialize Error" goes to standard error through the alert handler.
int ReadSession(const QString& path, CTrelliumDoc& doc)
{
    // A FIFO or a device given as the session file is refused rather than
    // waited on or read without end.
    CErrorOr<UniqueFd> fd = Platform::OpenRegularForReading(QFile::encodeName(path));
    if (fd.IsError()) {
        PrintError(ErrorText(fd.Error()));
        return ExitCannotOpen;
    }
    QFile file;
    if (!file.open(fd.Value().Get(), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        PrintError(QStringLiteral("cannot open %1: %2").arg(path, file.errorString()));
        return ExitCannotOpen;
    }
    fd.Value().Release();
    return doc.Load(file) ? ExitOk : ExitSerializeError;
}

// Writes the session as JSON to standard output as it goes.
void PrintSessionJson(const CTrelliumDoc& doc)
{
    const CCommInfo& info = doc.Info();
    CJsonWriter json(stdout);
    json.BeginObject();
    json.Value("version", static_cast<long long>(info.m_nVersionRead));
    json.Value("port_id", static_cast<long long>(info.m_nPortId));
    json.Value("baud", static_cast<long long>(info.m_nBaudRate));
    json.Value("data_bits", static_cast<long long>(info.m_nDataBits));
    json.Value("stop_bits", static_cast<long long>(info.m_nStopBits));
    json.Value("parity", QByteArray(1, static_cast<char>(info.m_cParity)));
    json.Value("flow_control", static_cast<long long>(info.m_nFlowControl));
    json.Value("display_mode", static_cast<long long>(info.m_nDisplayMode));
    json.Value("connection_type", static_cast<long long>(info.m_nConnectionType));
    json.Value("address", info.m_strAddress);
    json.Value("network_port", static_cast<long long>(info.m_nNetworkPort));
    json.Value("reserved", static_cast<long long>(info.m_nReserved));
    json.Value("options", static_cast<long long>(info.m_nOptions));
    json.BeginArray("colors");
    for (uint32_t color : info.m_colors)
        json.Value(nullptr, static_cast<long long>(color));
    json.EndArray();
    json.BeginObject("timing");
    json.Value("format", static_cast<long long>(info.m_timing.m_nFormat));
    json.Value("min_interval", static_cast<long long>(info.m_timing.m_nMinInterval));
    json.EndObject();
    json.BeginArray("macros");
    for (const MacroKey& macro : doc.m_funcKeys.Snapshot()) {
        json.BeginObject();
        json.Value("key", static_cast<long long>(macro.m_nKey));
        json.Value("shift", static_cast<long long>(macro.m_bShift));
        json.Value("ctrl", static_cast<long long>(macro.m_bCtrl));
        json.Value("alt", static_cast<long long>(macro.m_bAlt));
        json.Value("label", macro.m_strLabel);
        json.Value("description", macro.m_strDescription);
        json.Value("data", macro.m_strData);
        json.Value("repeat", static_cast<long long>(macro.m_nRepeat));
        json.Value("interval", static_cast<long long>(macro.m_nInterval));
        json.Value("auto_response_on", static_cast<long long>(macro.m_bAutoResponseOn));
        json.Value("auto_response", macro.m_strAutoResponse);
        json.EndObject();
    }
    json.EndArray();
    json.BeginObject("capture");
    json.Value("auto_begin", static_cast<long long>(doc.m_capture.m_bAutoBegin));
    json.Value("file_name", doc.m_capture.m_strFileName);
    json.EndObject();
    json.EndObject();
    json.Finish();
}

} // namespace

int RunShow(const QStringList& args)
{
    if (args.size() != 1) {
        PrintError(QStringLiteral("usage: trellium-cli show FILE"));
        return ExitSerializeError;
    }
    CSessionContext context;
    CTrelliumDoc doc(context);
    const int status = ReadSession(args.at(0), doc);
    if (status == ExitCannotOpen)
        return status;
    PrintSessionJson(doc);
    return status;
}

int RunResave(const QStringList& args)
{
    if (args.size() != 2) {
        PrintError(QStringLiteral("usage: trellium-cli resave IN OUT"));
        return ExitSerializeError;
    }
    CSessionContext context;
    CTrelliumDoc doc(context);
    const int status = ReadSession(args.at(0), doc);
    if (status == ExitCannotOpen)
        return status;
    const QString refused = SaveTargetProblem(args.at(1));
    if (!refused.isEmpty()) {
        PrintError(refused);
        return ExitCannotOpen;
    }
    QSaveFile out(args.at(1));
    if (!out.open(QIODevice::WriteOnly)) {
        PrintError(QStringLiteral("cannot create %1: %2").arg(args.at(1), out.errorString()));
        return ExitCannotOpen;
    }
    if (!doc.Save(out) || !out.commit()) {
        PrintError(QStringLiteral("cannot write %1: %2").arg(args.at(1), out.errorString()));
        return ExitCannotOpen;
    }
    return status;
}
