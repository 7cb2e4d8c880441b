#pragma once
#include <QDialog>

class QComboBox;
class QLabel;

// "History": how many lines each session's display keeps, with the memory a
// session keeping that many full lines takes shown beside the choice. The
// caller stores Lines() when the dialog is accepted.
class CHistoryDlg : public QDialog
{
    Q_OBJECT
public:
    CHistoryDlg(int lines, QWidget* parent = nullptr);

    // The choices offered, 100 to 1,000,000 by factors of ten.
    static const int kChoices[5];
    int Lines() const;
    // "up to 24 MB for each session".
    static QString MemoryText(int lines);

    QComboBox* LinesBox() const { return m_pLines; }
    QLabel* MemoryLabel() const { return m_pMemory; }

private:
    void ShowMemory();

    QComboBox* m_pLines;
    QLabel* m_pMemory;
};
