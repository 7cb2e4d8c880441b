#include "cli/JUnitReport.h"

#include <QDateTime>
#include <QSaveFile>
#include <QXmlStreamWriter>
#include <algorithm>

namespace {

QString Seconds(double seconds)
{
    return QString::number(seconds, 'f', 3);
}

} // namespace

QString WriteJUnitReport(const QString& path, const QString& suiteName,
                         const std::vector<CJUnitCase>& cases)
{
    const auto count = [&cases](CJUnitCase::Outcome outcome) {
        return QString::number(std::count_if(
            cases.begin(), cases.end(), [outcome](const auto& c) { return c.outcome == outcome; }));
    };
    double total = 0;
    for (const CJUnitCase& c : cases)
        total += c.seconds;

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    QXmlStreamWriter xml(&file);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("testsuites"));
    xml.writeAttribute(QStringLiteral("tests"), QString::number(cases.size()));
    xml.writeAttribute(QStringLiteral("failures"), count(CJUnitCase::Outcome::Failed));
    xml.writeAttribute(QStringLiteral("errors"), QStringLiteral("0"));
    xml.writeAttribute(QStringLiteral("skipped"), count(CJUnitCase::Outcome::Skipped));
    xml.writeAttribute(QStringLiteral("time"), Seconds(total));
    xml.writeStartElement(QStringLiteral("testsuite"));
    xml.writeAttribute(QStringLiteral("name"), suiteName);
    xml.writeAttribute(QStringLiteral("tests"), QString::number(cases.size()));
    xml.writeAttribute(QStringLiteral("failures"), count(CJUnitCase::Outcome::Failed));
    xml.writeAttribute(QStringLiteral("errors"), QStringLiteral("0"));
    xml.writeAttribute(QStringLiteral("skipped"), count(CJUnitCase::Outcome::Skipped));
    xml.writeAttribute(QStringLiteral("time"), Seconds(total));
    xml.writeAttribute(QStringLiteral("timestamp"),
                       QDateTime::currentDateTimeUtc().toString(Qt::ISODate));
    for (const CJUnitCase& c : cases) {
        xml.writeStartElement(QStringLiteral("testcase"));
        xml.writeAttribute(QStringLiteral("classname"), suiteName);
        xml.writeAttribute(QStringLiteral("name"), c.name);
        xml.writeAttribute(QStringLiteral("time"), Seconds(c.seconds));
        if (c.outcome == CJUnitCase::Outcome::Failed) {
            xml.writeStartElement(QStringLiteral("failure"));
            xml.writeAttribute(QStringLiteral("message"), c.message);
            xml.writeAttribute(QStringLiteral("type"), QStringLiteral("expectation"));
            xml.writeCharacters(c.detail);
            xml.writeEndElement();
        } else if (c.outcome == CJUnitCase::Outcome::Skipped) {
            xml.writeEmptyElement(QStringLiteral("skipped"));
        }
        xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndDocument();
    if (xml.hasError() || !file.commit())
        return file.errorString();
    return {};
}
