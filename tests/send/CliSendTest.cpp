// trellium-cli encode and crc, run as the real executable.
#include "CliRunner.h"
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class Cli : public CliTest
{
protected:
    CliResult Run(const QStringList& args, const QByteArray& input = {}) const
    {
        return RunCli(args, input);
    }
};

TEST_F(Cli, EncodeSharesChecksumStateAcrossStrings)
{
    const CliResult r = Run(
        {QStringLiteral("encode"), QStringLiteral("%02~|CHK-SUM|~ABC~|CHK-OUTHEXSTR|~%03"),
         QStringLiteral("~|CHK-START|~D~|CHK-OUT|~"), QString(), QStringLiteral("\u00E9")});
    EXPECT_EQ(r.exitCode, 0);
    // The %03 after the insertion is still summed: C6 + 03 + 44.
    EXPECT_EQ(r.out.toStdString(), "02 41 42 43 43 36 03\n44 0D\n\nE9\n");
    EXPECT_TRUE(r.err.isEmpty());
}

TEST_F(Cli, EncodeTakesArgumentsAsTheTerminalGaveThem)
{
    // A character that is no byte is refused, never sent as '?'; the other
    // strings are still encoded.
    const CliResult r = Run({QStringLiteral("encode"), QStringLiteral("A\u20AC"),
                             QStringLiteral("\u00FF")});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.out.toStdString(), "FF\n");
    EXPECT_TRUE(r.err.contains("U+20AC")) << r.err.constData();
}

TEST_F(Cli, EncodeRefusesTrailingPercentAndGoesOn)
{
    const CliResult r = Run({QStringLiteral("encode"), QStringLiteral("A"), QStringLiteral("ABC%"),
                             QStringLiteral("B")});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.out.toStdString(), "41\n42\n");
    EXPECT_EQ(r.err.count('\n'), 1);
    EXPECT_TRUE(r.err.contains("refused \"ABC%\"")) << r.err.constData();
    EXPECT_TRUE(r.err.contains("percent")) << r.err.constData();
}

TEST_F(Cli, EncodeFileReferencePrintsOneLinePerBlock)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile file(dir.filePath(QStringLiteral("f.bin")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(512, '\x7E') + "\x01");
    file.close();
    const CliResult r = Run({QStringLiteral("encode"), QLatin1Char('*') + file.fileName()});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.err.isEmpty()) << r.err.constData();
    const QList<QByteArray> lines = r.out.split('\n');
    ASSERT_EQ(lines.size(), 3); // two blocks and the text after the last newline
    EXPECT_EQ(lines[0], QByteArray("7E ").repeated(511) + "7E");
    EXPECT_EQ(lines[1], "01");
}

// A file that cannot be sent says why on standard error, the other strings
// still go out, and the command fails at the end.
TEST_F(Cli, EncodeMissingFileSaysWhyAndFails)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString missing = dir.filePath(QStringLiteral("none"));
    const CliResult r = Run({QStringLiteral("encode"), QStringLiteral("A"),
                             QLatin1Char('*') + missing, QStringLiteral("B")});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.out.toStdString(), "41\n42\n");
    EXPECT_EQ(r.err.toStdString(), "trellium-cli: Cannot send file " + missing.toStdString() +
                                       ": No such file or directory\n");
}

TEST_F(Cli, CrcByNameByParametersAndFromStandardInput)
{
    const struct
    {
        QStringList args;
        QByteArray input;
        QByteArray expected;
    } cases[] = {
        {{QStringLiteral("CRC-16/MODBUS"), QStringLiteral("123456789")}, {}, "4B37\n"},
        {{QStringLiteral("CRC-32/ISO-HDLC")}, "123456789", "CBF43926\n"},
        {{QStringLiteral("CRC-32/ISO-HDLC")}, {}, "00000000\n"},
        {{QStringLiteral("CRC-16/DECT-R"), QString()}, {}, "0001\n"},
        {{QStringLiteral("width=16 poly=0x8005 init=65535 refin=true refout=true"),
          QStringLiteral("123456789")},
         {},
         "4B37\n"},
        {{QStringLiteral("width=12  poly=0x80F refout=true"), QStringLiteral("123456789")},
         {},
         "DAF\n"},
        {{QStringLiteral("width=64 poly=0x42F0E1EBA9EA3693 init=0xFFFFFFFFFFFFFFFF refin=true "
                         "refout=true xorout=0xFFFFFFFFFFFFFFFF"),
          QStringLiteral("123456789")},
         {},
         "995DC9BBDF1939FA\n"},
    };
    for (const auto& c : cases) {
        const CliResult r = Run(QStringList{QStringLiteral("crc")} + c.args, c.input);
        EXPECT_EQ(r.exitCode, 0) << c.args.join(QLatin1Char('|')).toStdString();
        EXPECT_EQ(r.out.toStdString(), c.expected.toStdString())
            << c.args.join(QLatin1Char('|')).toStdString();
    }
}

TEST_F(Cli, CrcRejectsUnknownNamesAndBadParameters)
{
    for (const char* model :
         {"CRC-16/modbus", "CRC-16/BZIP2", "MODBUS", "width=0 poly=1", "width=65 poly=1",
          "width=8 poly=0x100", "width=8", "poly=7", "width=8 poly=7 refin=yes", "width=8 poly=zz",
          "width=8 poly=-7", "width=8 poly=7 foo=1", "width=8 width=8 poly=7",
          "width=64 poly=0x10000000000000000"}) {
        const CliResult r = Run({QStringLiteral("crc"), QLatin1String(model), QStringLiteral("x")});
        EXPECT_EQ(r.exitCode, 2) << model;
        EXPECT_TRUE(r.out.isEmpty()) << model;
        EXPECT_EQ(r.err.count('\n'), 1) << model;
    }
}

TEST_F(Cli, CrcListPrintsTheCatalogueInOrder)
{
    const CliResult r = Run({QStringLiteral("crc"), QStringLiteral("--list")});
    EXPECT_EQ(r.exitCode, 0);
    QList<QByteArray> lines = r.out.split('\n');
    ASSERT_EQ(lines.takeLast(), QByteArray());
    ASSERT_EQ(lines.size(), 32);
    EXPECT_EQ(lines.front(), "CRC-16/ARC width=16 poly=0x8005 init=0x0000 refin=true refout=true "
                             "xorout=0x0000 check=0xBB3D residue=0x0000");
    EXPECT_EQ(lines.back(), "CRC-32/XFER width=32 poly=0x000000AF init=0x00000000 refin=false "
                            "refout=false xorout=0x00000000 check=0xBD0BE338 residue=0x00000000");
}

} // namespace
