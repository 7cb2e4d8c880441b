// trellium-cli crc: a CRC by catalogue name or by explicit parameters, and the
// catalogue listing.
#include "cli/Commands.h"

#include "send/Crc.h"
#include "send/CrcModelText.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

QByteArray Hex(uint64_t value, int width)
{
    return QByteArray::number(static_cast<qulonglong>(value), 16)
        .toUpper()
        .rightJustified((width + 3) / 4, '0');
}

bool LoadModel(const QString& modelText, CrcModel& model, QString& error)
{
    if (modelText.contains(QLatin1Char('='))) {
        error = ParseCrcModelText(modelText, model);
        return error.isEmpty();
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
        error = QStringLiteral("unknown CRC model \"%1\"; %2").arg(modelText, CrcModelTextHelp());
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
        PrintError(
            QStringLiteral("usage: crc MODEL [TEXT] or crc --list; %1").arg(CrcModelTextHelp()));
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
