#include "app/ChildFrame.h"

#include "app/FileDialogs.h"
#include "controls/TrelliumView.h"
#include "display/ui/RichCtrl.h"
#include "platform/Alerts.h"
#include "session/TrelliumDoc.h"

#include <QCloseEvent>
#include <QFile>
#include <QMessageBox>
#include <QStyle>

CChildFrame::CChildFrame(std::unique_ptr<CTrelliumDoc> doc, QWidget* parent)
    : QMdiSubWindow(parent), m_pDoc(std::move(doc))
{
    setAttribute(Qt::WA_DeleteOnClose);
    m_pView = new CTrelliumView(m_pDoc.get(), this);
    setWidget(m_pView);
    // The caption drops the blanks an unnamed session's title starts with.
    setWindowTitle(m_pDoc->GetTitle().trimmed());
    connect(m_pDoc.get(), &CTrelliumDoc::TitleChanged, this,
            [this](const QString& title) { setWindowTitle(title.trimmed()); });
    resize(SessionSize());
}

CChildFrame::~CChildFrame()
{
    if (!m_bClosed && m_pDoc)
        m_pDoc->OnCloseDocument();
    // The view goes before the document it shows.
    delete m_pView;
    m_pView = nullptr;
}

QSize CChildFrame::SessionSize() const
{
    const CRichCtrl* display = m_pView->GetDisplay();
    const int width = m_pView->WantedWidth();
    const int lines = 24;
    const int height = m_pView->StripHeight() + lines * display->fontMetrics().lineSpacing() + 12;
    const QMargins frame = contentsMargins();
    const int titleBar = style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this);
    return {width + frame.left() + frame.right() + 8,
            height + frame.top() + frame.bottom() + titleBar + 8};
}

bool CChildFrame::DoSave(bool saveAs)
{
    QString path = m_pDoc->GetPathName();
    if (saveAs || path.isEmpty()) {
        path = FileDialogs::AskSavePath(
            this, path.isEmpty() ? FileDialogs::SuggestedName(m_pDoc->GetTitle()) : path);
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
        name = m_pDoc->UntitledName();
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

void CChildFrame::RememberNormalRect()
{
    if (!(windowState() & (Qt::WindowMaximized | Qt::WindowMinimized)) && isVisible())
        m_normalRect = geometry();
}

void CChildFrame::moveEvent(QMoveEvent* event)
{
    QMdiSubWindow::moveEvent(event);
    RememberNormalRect();
}

void CChildFrame::resizeEvent(QResizeEvent* event)
{
    QMdiSubWindow::resizeEvent(event);
    RememberNormalRect();
}

CWorkspaceRecord CChildFrame::WindowState() const
{
    CWorkspaceRecord record;
    record.path = QFile::encodeName(m_pDoc->GetPathName());
    const QRect normal = m_normalRect.isValid() ? m_normalRect : geometry();
    Workspace::StoreNormalRect(record, normal);
    record.showCommand = isMaximized()   ? CWorkspaceRecord::ShowMaximized
                         : isMinimized() ? CWorkspaceRecord::ShowMinimized
                                         : CWorkspaceRecord::ShowNormal;
    return record;
}

void CChildFrame::RestoreWindowState(const CWorkspaceRecord& record)
{
    // Rectangles from a damaged file are kept within reason.
    const QRect normal = Workspace::RestoredNormalRect(record);
    m_pView->KeepFrameWidth();
    showNormal();
    setGeometry(normal);
    m_normalRect = normal;
    if (record.showCommand == CWorkspaceRecord::ShowMaximized)
        showMaximized();
    else if (record.showCommand == CWorkspaceRecord::ShowMinimized)
        showMinimized();
}
