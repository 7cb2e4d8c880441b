#pragma once
#include <QComboBox>
#include <QMap>
#include <QString>

// The two-column port selector: each entry's name, and in the open list the
// description beside it (for the first twenty entries only). The closed
// field shows the name alone.
class CComboBoxMulti : public QComboBox
{
    Q_OBJECT
public:
    static constexpr int kDescribedEntries = 20;
    static constexpr int kDescriptionOffset = 110; // pixels from the entry's left edge

    explicit CComboBoxMulti(QWidget* parent = nullptr);

    // Adds an entry and returns its index; the caller sets its item data.
    int AddEntry(const QString& name, const QString& description);
    void ResetContent();
    QString Description(int index) const { return m_descriptions.value(index); }

private:
    QMap<int, QString> m_descriptions;
};
