#pragma once
#include <QMdiSubWindow>
#include <memory>

class CTrelliumDoc;
class CTrelliumView;

// One session's window inside the main frame: it owns the session document
// and shows its one view; the caption follows the session's title.
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

signals:
    void DocumentSaved(const QString& path);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    std::unique_ptr<CTrelliumDoc> m_pDoc;
    CTrelliumView* m_pView = nullptr;
    bool m_bClosed = false;
};
