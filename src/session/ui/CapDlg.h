#pragma once
#include <QDialog>

class CCapture;
class QCheckBox;
class QLineEdit;

// The capture options of a session (not owned): whether capture begins by
// itself each time the session goes online, and the file it then uses.
class CCapDlg : public QDialog
{
    Q_OBJECT
public:
    explicit CCapDlg(CCapture* capture, QWidget* parent = nullptr);
    QCheckBox* AutoBeginBox() const { return m_pAutoBegin; }
    QLineEdit* FileEdit() const { return m_pFile; }

    void accept() override;

private:
    CCapture* m_pCapture;
    QCheckBox* m_pAutoBegin;
    QLineEdit* m_pFile;
};
