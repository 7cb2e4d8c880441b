// trellium-cli crc: a CRC by catalogue name or by explicit parameters, and the
// catalogue listing.
#include "cli/Commands.h"

#include "send/Crc.h"

#include <QMap>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

const char kModelHelp[] =
    "MODEL is a catalogue name such as CRC-16/MODBUS (see crc --list) or one argument "
    "\"width=W poly=P [init=I] [refin=true|false] [refout=true|false] [xorout=X]\" "
    "with numbers in decimal or 0x hex; init and xorout default to 0, refin and refout "
    "to false";

QByteArray Hex(uint64_t value, int width)
{
    return QByteArray::number(static_cast<qulonglong>(value), 16)
        .toUpper()
        .rightJustified((width + 3) / 4, '0');
}

// Decimal digits, or 0x followed by hexadecimal digits; nothing else.
bool ParseNumber(const QString& text, uint64_t& value)
{
    const bool hex = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive);
    const QString digits = hex ? text.mid(2) : text;
    if (digits.isEmpty()) {
        return false;
    }
    for (const QChar c : digits) {
        const bool ok = hex ? (c.isDigit() ||
                               (c.toLower() >= QLatin1Char('a') && c.toLower() <= QLatin1Char('f')))
                            : (c >= QLatin1Char('0') && c <= QLatin1Char('9'));
        if (!ok || c.unicode() > 0x7F) {
            return false;
        }
    }
    bool ok = false;
    value = digits.toULongLong(&ok, hex ? 16 : 10);
    return ok;
}

bool ParseFlag(const QString& text, uint8_t& flag)
{
    if (text == QLatin1String("true")) {
        flag = 1;
        return true;
    }
    if (text == QLatin1String("false")) {
        flag = 0;
        return true;
    }
    return false;
}

// "width=W poly=P ..." into a prepared model with its byte table.
bool ParseModelParameters(const QString& modelText, CrcModel& model, QString& error)
{
    QMap<QString, QString> values;
    const QStringList parts = modelText.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        const qsizetype eq = part.indexOf(QLatin1Char('='));
        const QString key = part.left(eq);
        static const QStringList kKeys = {
            QStringLiteral("width"), QStringLiteral("poly"),   QStringLiteral("init"),
            QStringLiteral("refin"), QStringLiteral("refout"), QStringLiteral("xorout"),
        };
        if (eq <= 0 || !kKeys.contains(key)) {
            error = QStringLiteral("unknown model parameter \"%1\"; %2")
                        .arg(part, QLatin1String(kModelHelp));
            return false;
        }
        if (values.contains(key)) {
            error = QStringLiteral("model parameter \"%1\" given twice").arg(key);
            return false;
        }
        values.insert(key, part.mid(eq + 1));
    }
    if (!values.contains(QStringLiteral("width")) || !values.contains(QStringLiteral("poly"))) {
        error = QStringLiteral("a model needs width and poly; %1").arg(QLatin1String(kModelHelp));
        return false;
    }

    uint64_t width = 0;
    const QString widthText = values.value(QStringLiteral("width"));
    if (!ParseNumber(widthText, width) || width < 1 || width > 64) {
        error = QStringLiteral("width \"%1\" is not a number from 1 to 64").arg(widthText);
        return false;
    }
    model = CrcModel{};
    model.width = static_cast<uint16_t>(width);

    const struct
    {
        const char* key;
        uint64_t* target;
    } numbers[] = {
        {"poly", &model.poly[0]}, {"init", &model.init[0]}, {"xorout", &model.xorout[0]}};
    for (const auto& number : numbers) {
        const QString key = QLatin1String(number.key);
        if (!values.contains(key)) {
            continue;
        }
        const QString text = values.value(key);
        if (!ParseNumber(text, *number.target)) {
            error = QStringLiteral("%1 \"%2\" is not a decimal or 0x hexadecimal number")
                        .arg(key, text);
            return false;
        }
        if (*number.target > CrcOnes(model.width)) {
            error = QStringLiteral("%1 %2 does not fit in %3 bits").arg(key, text).arg(width);
            return false;
        }
    }
    const struct
    {
        const char* key;
        uint8_t* target;
    } flags[] = {{"refin", &model.ref}, {"refout", &model.rev}};
    for (const auto& flag : flags) {
        const QString key = QLatin1String(flag.key);
        if (values.contains(key) && !ParseFlag(values.value(key), *flag.target)) {
            error =
                QStringLiteral("%1 must be true or false, not \"%2\"").arg(key, values.value(key));
            return false;
        }
    }
    PrepareModel(model);
    BuildByteTable(model);
    return true;
}

bool LoadModel(const QString& modelText, CrcModel& model, QString& error)
{
    if (modelText.contains(QLatin1Char('='))) {
        return ParseModelParameters(modelText, model, error);
    }
    const QByteArray name = Latin1Bytes(modelText);
    const CrcCatalogueRow* row = nullptr;
    int width = 0;
    if (name.startsWith("CRC-16/")) {
        row = FindCrc16Model(name.constData() + 7);
        width = 16;
    } else if (name.startsWith("CRC-32/")) {
        row = FindCrc32Model(name.constData() + 7);
        width = 32;
    }
    if (row == nullptr) {
        error = QStringLiteral("unknown CRC model \"%1\"; %2")
                    .arg(modelText, QLatin1String(kModelHelp));
        return false;
    }
    LoadCatalogueModel(model, width, *row);
    return true;
}

void PrintCatalogue()
{
    const struct
    {
        int width;
        const CrcCatalogueRow* (*rows)(size_t*);
    } tables[] = {{16, Crc16Catalogue}, {32, Crc32Catalogue}};
    for (const auto& table : tables) {
        size_t count = 0;
        const CrcCatalogueRow* rows = table.rows(&count);
        const int w = table.width;
        for (size_t i = 0; i < count; ++i) {
            const CrcCatalogueRow& row = rows[i];
            std::printf("CRC-%d/%s width=%d poly=0x%s init=0x%s refin=%s refout=%s xorout=0x%s "
                        "check=0x%s residue=0x%s\n",
                        w, row.name, w, Hex(row.poly, w).constData(), Hex(row.init, w).constData(),
                        row.refin ? "true" : "false", row.refout ? "true" : "false",
                        Hex(row.xorout, w).constData(), Hex(row.check, w).constData(),
                        Hex(row.residue, w).constData());
        }
    }
}

} // namespace

int RunCrc(const QStringList& args)
{
    if (args.size() == 1 && args.front() == QLatin1String("--list")) {
        PrintCatalogue();
        return 0;
    }
    if (args.isEmpty() || args.size() > 2) {
        PrintError(QStringLiteral("usage: crc MODEL [TEXT] or crc --list; %1")
                       .arg(QLatin1String(kModelHelp)));
        return 2;
    }
    CrcModel model;
    QString error;
    if (!LoadModel(args.front(), model, error)) {
        PrintError(error);
        return 2;
    }

    uint64_t crc = model.init[0];
    if (args.size() == 2) {
        const QByteArray text = Latin1Bytes(args.at(1));
        crc = CrcBytewise(model, crc, reinterpret_cast<const uint8_t*>(text.constData()),
                          static_cast<size_t>(text.size()));
    } else {
        // Streamed, so any amount of input runs in fixed memory.
        std::vector<uint8_t> buffer(65536);
        size_t got = 0;
        while ((got = std::fread(buffer.data(), 1, buffer.size(), stdin)) > 0) {
            crc = CrcBytewise(model, crc, buffer.data(), got);
        }
        if (std::ferror(stdin)) {
            PrintError(QStringLiteral("cannot read standard input: %1")
                           .arg(QString::fromLocal8Bit(std::strerror(errno))));
            return 1;
        }
    }
    std::printf("%s\n", Hex(crc, model.width).constData());
    return 0;
}
