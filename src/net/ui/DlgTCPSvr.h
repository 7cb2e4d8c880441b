#pragma once
#include "net/NetOwners.h"

#include <QDialog>

class QPlainTextEdit;

// Told when the TCP server connections window closes.
class CDlgTCPSvrListener
{
public:
    virtual void OnServerDialogClosed() = 0;

protected:
    ~CDlgTCPSvrListener() = default;
};

// "TCP/IP Server Connections": the event log of a session's TCP server, the
// whole log when it opens and each new line as it is written. Read-only;
// text can be selected and copied. Tells its listener when it closes, so
// that nothing keeps a pointer to it. Modeless; deletes itself on close.
class CDlgTCPSvr final : public QDialog, public CServerLogSink
{
    Q_OBJECT
public:
    explicit CDlgTCPSvr(QWidget* parent = nullptr);

    void SetListener(CDlgTCPSvrListener* listener) { m_pListener = listener; }
    // Appends at the end without an undo step; a log bounded by the server
    // stays bounded here too.
    void AppendLog(const QString& text) override;
    QPlainTextEdit* LogControl() const { return m_pLog; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void NotifyClosed();

    QPlainTextEdit* m_pLog;
    CDlgTCPSvrListener* m_pListener = nullptr;
};
