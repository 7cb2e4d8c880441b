#include "send/DataStringCheck.h"

#include "send/Crc.h"
#include "send/DataString.h"

namespace {

// The CRC model names of the string's tokens that the catalogue lacks.
QString UnknownModel(const QByteArray& decoded)
{
    qsizetype at = 0;
    while ((at = decoded.indexOf("~|CHK-CRC-", at)) >= 0) {
        const qsizetype end = decoded.indexOf('|', at + 2);
        if (end < 0)
            break;
        const QByteArray keyword = decoded.mid(at + 2, end - at - 2); // CHK-CRC-16/NAME
        at = end;
        if (keyword.size() < 12 || keyword[10] != '/')
            continue;
        const QByteArray name = keyword.mid(11);
        const bool wide = keyword.startsWith("CHK-CRC-32");
        const bool narrow = keyword.startsWith("CHK-CRC-16");
        if ((narrow && !FindCrc16Model(name.constData())) ||
            (wide && !FindCrc32Model(name.constData())) || (!narrow && !wide))
            return QString::fromLatin1(keyword.mid(4));
    }
    return {};
}

} // namespace

CDataStringCheck CheckDataString(const QByteArray& text, const ChecksumState& start)
{
    CDataStringCheck check;
    if (text.startsWith('*')) {
        check.preview =
            QStringLiteral("(the contents of the file %1)").arg(QString::fromLatin1(text.mid(1)));
        return check;
    }
    QByteArray decoded;
    try {
        decoded = DecodeDataString(text);
    } catch (const CDataStringError&) {
        check.problem = QStringLiteral("Ends in a lone percent sign: nothing would be sent. Write "
                                       "%% for a percent sign.");
        return check;
    }
    const QString unknown = UnknownModel(decoded);
    if (!unknown.isEmpty())
        check.problem = QStringLiteral("%1 is not in the CRC catalogue: no CRC would be computed.")
                            .arg(unknown);
    ChecksumState own = start;
    QByteArray bytes;
    EncodeDataString(text, own,
                     [&bytes](const char* data, int count) { bytes.append(data, count); });
    check.preview = QString::fromLatin1(bytes.toHex(' ').toUpper());
    return check;
}
