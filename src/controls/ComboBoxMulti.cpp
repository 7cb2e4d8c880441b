#include "controls/ComboBoxMulti.h"

#include <QAbstractItemView>
#include <QPainter>
#include <QStyledItemDelegate>

namespace {

// Draws one entry of the open list: the name at 10 pixels, its description
// (when it has one) at 110 pixels, vertically centred.
class CTwoColumnDelegate final : public QStyledItemDelegate
{
public:
    explicit CTwoColumnDelegate(CComboBoxMulti* box) : QStyledItemDelegate(box), m_box(box) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override
    {
        const bool selected = option.state & QStyle::State_Selected;
        const QPalette& palette = option.palette;
        painter->fillRect(option.rect, selected ? palette.highlight() : palette.base());
        painter->setPen(selected ? palette.highlightedText().color() : palette.text().color());
        const QFontMetrics metrics(option.font);
        const int offset = (option.rect.height() - metrics.height()) / 2;
        const int baseline = option.rect.top() + offset + metrics.ascent();
        painter->drawText(option.rect.left() + 10, baseline, index.data().toString());
        const QString description = m_box->Description(index.row());
        if (!description.isEmpty())
            painter->drawText(option.rect.left() + CComboBoxMulti::kDescriptionOffset, baseline,
                              description);
    }

private:
    CComboBoxMulti* m_box;
};

} // namespace

CComboBoxMulti::CComboBoxMulti(QWidget* parent) : QComboBox(parent)
{
    setItemDelegate(new CTwoColumnDelegate(this));
}

int CComboBoxMulti::AddEntry(const QString& name, const QString& description)
{
    addItem(name);
    const int index = count() - 1;
    if (index < kDescribedEntries)
        m_descriptions.insert(index, description);
    return index;
}

void CComboBoxMulti::ResetContent()
{
    clear();
    m_descriptions.clear();
}
