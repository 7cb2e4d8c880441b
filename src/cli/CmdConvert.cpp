// trellium-cli convert: the data converter's result for one input text.
#include "cli/Commands.h"
#include "cli/JsonWriter.h"

#include "tools/Converter.h"

#include <cstdio>

int RunConvert(const QStringList& args)
{
    if (args.size() != 1) {
        PrintError(QStringLiteral("convert needs exactly one text (quote it when it has blanks)"));
        return 2;
    }
    const Converter::CResult result = Converter::Convert(args.first());
    CJsonWriter json;
    json.BeginObject();
    json.Value("mode", static_cast<long long>(result.mode));
    json.BeginObject("headers");
    json.Value("left", result.leftHeader.toLatin1());
    json.Value("decimal", result.decimalHeader.toLatin1());
    json.Value("ieee", result.ieeeHeader.toLatin1());
    json.EndObject();
    json.BeginArray("rows");
    for (const Converter::CRow& row : result.rows) {
        json.BeginObject();
        json.Value("label", row.label.toLatin1());
        json.Value("left", row.left.toLatin1());
        json.Value("decimal", row.decimal.toLatin1());
        json.Value("unsigned", row.unsignedValue.toLatin1());
        json.Value("ieee", row.ieee.toLatin1());
        json.EndObject();
    }
    json.EndArray();
    json.Value("note", result.note.toLatin1());
    json.EndObject();
    const QByteArray text = json.Text();
    std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stdout);
    return 0;
}
