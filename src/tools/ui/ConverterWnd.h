#pragma once
#include <QWidget>
#include <array>

class QLabel;
class QLineEdit;

// The data converter: a number as typed, shown as hexadecimal bytes in two
// orders, or a hexadecimal value shown as signed and unsigned integers and
// as IEEE-754 in four byte orders; recomputed on every change. Sends
// nothing. Its position is kept in the profile section "TRCNV".
class CConverterWnd : public QWidget
{
    Q_OBJECT
public:
    explicit CConverterWnd(QWidget* parent = nullptr);
    ~CConverterWnd() override;

    QLineEdit* Input() const { return m_pInput; }
    QLineEdit* Field(int row, int column) const; // column 0 left, 1 decimal, 2 IEEE, 3 unsigned
    QLabel* RowLabel(int row) const { return m_labels[static_cast<size_t>(row)]; }
    QLabel* Header(int column) const { return m_headers[static_cast<size_t>(column)]; }
    QLabel* Note() const { return m_pNote; }

private:
    void Recompute();

    QLineEdit* m_pInput;
    std::array<QLabel*, 3> m_headers{};
    std::array<QLabel*, 4> m_labels{};
    std::array<std::array<QLineEdit*, 4>, 4> m_fields{};
    QLabel* m_pNote;
};
