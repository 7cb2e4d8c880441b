#include "app/ChildFrame.h"

#include "app/FileDialogs.h"
#include "controls/TrelliumView.h"
#include "platform/Alerts.h"
#include "session/TrelliumDoc.h"

#include <QCloseEvent>
#include <QMessageBox>

CChildFrame::CChildFrame(std::unique_ptr<CTrelliumDoc> doc, QWidget* parent)
    : QMdiSubWindow(parent), m_pDoc(std::move(doc))
{
    setAttribute(Qt::WA_DeleteOnClose);
    m_pView = new CTrelliumView(m_pDoc.get(), this);
    setWidget(m_pView);
    setWindowTitle(m_pDoc->GetTitle());
    connect(m_pDoc.get(), &CTrelliumDoc::TitleChanged, this, &QWidget::setWindowTitle);
    resize(700, 420);
}

CChildFrame::~CChildFrame()
{
    if (!m_bClosed && m_pDoc)
        m_pDoc->OnCloseDocument();
    // The view goes before the document it shows.
    delete m_pView;
    m_pView = nullptr;
}

bool CChildFrame::DoSave(bool saveAs)
{
    QString path = m_pDoc->GetPathName();
    if (saveAs || path.isEmpty()) {
        path = FileDialogs::AskSavePath(this, path);
        if (path.isEmpty())
            return false;
    }
    if (!m_pDoc->OnSaveDocument(path))
        return false;
    emit DocumentSaved(path);
    return true;
}

bool CChildFrame::SaveModified()
{
    if (!m_pDoc->IsModified())
        return true;
    QString name = m_pDoc->GetPathName();
    if (name.isEmpty())
        name = m_pDoc->GetTitle().trimmed();
    const auto answer = QMessageBox::question(
        this, Alerts::AppTitle(), QStringLiteral("Save changes to %1?").arg(name),
        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
    if (answer == QMessageBox::Cancel)
        return false;
    if (answer == QMessageBox::Yes)
        return DoSave(false);
    return true;
}

void CChildFrame::closeEvent(QCloseEvent* event)
{
    if (!m_bClosed && !SaveModified()) {
        event->ignore();
        return;
    }
    if (!m_bClosed) {
        m_bClosed = true;
        m_pDoc->OnCloseDocument();
    }
    QMdiSubWindow::closeEvent(event);
}
