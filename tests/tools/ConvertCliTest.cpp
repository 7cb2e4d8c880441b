// trellium-cli convert: the converter's result as one JSON object, for the
// description's examples.
#include "CliRunner.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

class ConvertCli : public CliTest
{
protected:
    QJsonObject Convert(const QString& text)
    {
        const CliResult r = RunCli({QStringLiteral("convert"), text});
        EXPECT_EQ(r.exitCode, 0) << r.err.constData();
        return QJsonDocument::fromJson(r.out).object();
    }
    static QString Row(const QJsonObject& json, int row, const char* field)
    {
        return json[QStringLiteral("rows")]
            .toArray()[row]
            .toObject()[QLatin1String(field)]
            .toString();
    }
};

TEST_F(ConvertCli, PrintsTheContractForTheExamples)
{
    const QJsonObject single = Convert(QStringLiteral("1.5"));
    EXPECT_EQ(single[QStringLiteral("mode")].toInt(), 1);
    EXPECT_EQ(single[QStringLiteral("headers")].toObject()[QStringLiteral("decimal")].toString(),
              QStringLiteral("IEEE-754 Single"));
    EXPECT_EQ(Row(single, 0, "decimal"), QStringLiteral("0x3FC00000"));
    EXPECT_EQ(Row(single, 1, "ieee"), QStringLiteral("0x000000000000F83F"));
    EXPECT_EQ(Row(single, 0, "left"), QStringLiteral("Normal"));

    const QJsonObject minusOne = Convert(QStringLiteral("-1"));
    EXPECT_EQ(minusOne[QStringLiteral("mode")].toInt(), 3);
    EXPECT_EQ(Row(minusOne, 1, "ieee"), QStringLiteral("0xFFFFFFFFFFFFFFFF"));

    const QJsonObject ones = Convert(QStringLiteral("0xFFFFFFFF"));
    EXPECT_EQ(ones[QStringLiteral("mode")].toInt(), 4);
    EXPECT_EQ(Row(ones, 3, "unsigned"), QStringLiteral("4294967295"));
    EXPECT_EQ(ones[QStringLiteral("note")].toString(),
              QStringLiteral(" Unsigned integer representation"));

    const QJsonObject wide = Convert(QStringLiteral("0x123456789"));
    EXPECT_EQ(wide[QStringLiteral("mode")].toInt(), 5);
    EXPECT_EQ(Row(wide, 2, "label"), QStringLiteral("   E F G H A B C D"));

    const QJsonObject one = Convert(QStringLiteral("0x3F800000"));
    EXPECT_EQ(Row(one, 0, "ieee"), QStringLiteral("1.0"));
    EXPECT_EQ(Row(one, 1, "left"), QStringLiteral("0x0000803F"));
    EXPECT_EQ(Row(one, 1, "ieee"), QStringLiteral("4.6006e-41"));
    const QJsonObject sixteen = Convert(QStringLiteral("0x10"));
    EXPECT_EQ(Row(sixteen, 3, "decimal"), QStringLiteral("4096"));
    EXPECT_EQ(sixteen[QStringLiteral("note")].toString(), QString());
    const QJsonObject cleared = Convert(QString());
    EXPECT_EQ(cleared[QStringLiteral("mode")].toInt(), 3);
    EXPECT_EQ(Row(cleared, 1, "ieee"), QStringLiteral("0x0000000000000000"));

    const QJsonObject capital = Convert(QStringLiteral("0X10"));
    EXPECT_EQ(capital[QStringLiteral("mode")].toInt(), 3);
    EXPECT_EQ(Row(capital, 0, "decimal"), QStringLiteral("0x00000000"));
    EXPECT_EQ(RunCli({QStringLiteral("convert")}).exitCode, 2);
}

} // namespace
