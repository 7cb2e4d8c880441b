#pragma once
#include "session/Workspace.h"

#include <QMdiSubWindow>
#include <QRect>
#include <memory>

class CTrelliumDoc;
class CTrelliumView;

// One session's window inside the main frame: it owns the session document
// and shows its one view; the caption follows the session's title. It keeps
// its normal rectangle while maximised or minimised, for the workspace.
class CChildFrame : public QMdiSubWindow
{
    Q_OBJECT
public:
    // Takes ownership of `doc`.
    explicit CChildFrame(std::unique_ptr<CTrelliumDoc> doc, QWidget* parent = nullptr);
    ~CChildFrame() override;

    CTrelliumDoc* GetDocument() const { return m_pDoc.get(); }
    CTrelliumView* GetView() const { return m_pView; }

    // Asks "Save changes to %1?" for a modified session; false when the user
    // cancels (or saving failed).
    bool SaveModified();
    bool DoSave(bool saveAs);

    // The workspace record of this frame (WriteWindowState) and its use.
    CWorkspaceRecord WindowState() const;
    void RestoreWindowState(const CWorkspaceRecord& record);
    QRect NormalRect() const { return m_normalRect; }

    // The size that shows a whole session: the 81-column display and its strip.
    QSize SessionSize() const;

signals:
    void DocumentSaved(const QString& path);

protected:
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void RememberNormalRect();

    std::unique_ptr<CTrelliumDoc> m_pDoc;
    CTrelliumView* m_pView = nullptr;
    bool m_bClosed = false;
    QRect m_normalRect;
};
