// The text form of a CRC model, "width=W poly=P init=I refin=true|false
// refout=true|false xorout=X", as the companion's crc command takes it.
#include "send/CrcModelText.h"

#include <QMap>
#include <QStringList>

namespace {

const char kHelp[] =
    "MODEL is a catalogue name such as CRC-16/MODBUS (see crc --list) or one argument "
    "\"width=W poly=P [init=I] [refin=true|false] [refout=true|false] [xorout=X]\" "
    "with numbers in decimal or 0x hex; init and xorout default to 0, refin and refout "
    "to false";

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

} // namespace

QString CrcModelTextHelp()
{
    return QLatin1String(kHelp);
}

QString ParseCrcModelText(const QString& modelText, CrcModel& model)
{
    QString error;
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
            error =
                QStringLiteral("unknown model parameter \"%1\"; %2").arg(part, CrcModelTextHelp());
            return error;
        }
        if (values.contains(key)) {
            error = QStringLiteral("model parameter \"%1\" given twice").arg(key);
            return error;
        }
        values.insert(key, part.mid(eq + 1));
    }
    if (!values.contains(QStringLiteral("width")) || !values.contains(QStringLiteral("poly"))) {
        error = QStringLiteral("a model needs width and poly; %1").arg(CrcModelTextHelp());
        return error;
    }

    uint64_t width = 0;
    const QString widthText = values.value(QStringLiteral("width"));
    if (!ParseNumber(widthText, width) || width < 1 || width > 64) {
        error = QStringLiteral("width \"%1\" is not a number from 1 to 64").arg(widthText);
        return error;
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
            return error;
        }
        if (*number.target > CrcOnes(model.width)) {
            error = QStringLiteral("%1 %2 does not fit in %3 bits").arg(key, text).arg(width);
            return error;
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
            return error;
        }
    }
    PrepareModel(model);
    BuildByteTable(model);
    return {};
}
