#include "net/ui/DlgTCPSvr.h"

#include "net/ServerLog.h"
#include "platform/WindowKinds.h"

#include <QCloseEvent>
#include <QPlainTextEdit>
#include <QVBoxLayout>

CDlgTCPSvr::CDlgTCPSvr(QWidget* parent) : QDialog(parent, WindowKinds::kDialog)
{
    setWindowTitle(QStringLiteral("TCP/IP Server Connections"));
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 10, 10, 10);
    m_pLog = new QPlainTextEdit(this);
    m_pLog->setReadOnly(true);
    m_pLog->setUndoRedoEnabled(false);
    m_pLog->setLineWrapMode(QPlainTextEdit::NoWrap);
    // The server keeps about 1 MB of log; so does the window.
    m_pLog->setMaximumBlockCount(20000);
    layout->addWidget(m_pLog);
    const QFontMetrics metrics(font());
    resize(metrics.averageCharWidth() * 447 / 4, metrics.height() * 280 / 8);
}

void CDlgTCPSvr::AppendLog(const QString& text)
{
    QString lines = text;
    if (lines.endsWith(QStringLiteral("\r\n")))
        lines.chop(2);
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    if (!lines.isEmpty())
        m_pLog->appendPlainText(lines);
}

void CDlgTCPSvr::NotifyClosed()
{
    if (CDlgTCPSvrListener* listener = std::exchange(m_pListener, nullptr))
        listener->OnServerDialogClosed();
}

void CDlgTCPSvr::closeEvent(QCloseEvent* event)
{
    NotifyClosed();
    QDialog::closeEvent(event);
}

void CDlgTCPSvr::reject()
{
    NotifyClosed();
    QDialog::reject();
}
