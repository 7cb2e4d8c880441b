#include "app/MainWorkspace.h"

#include "app/ChildFrame.h"
#include "session/SessionContext.h"
#include "session/TrelliumDoc.h"
#include "session/Workspace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMdiArea>
#include <QSaveFile>

namespace MainWorkspace {

bool Save(const CSessionContext& context, const QList<CChildFrame*>& frames)
{
    std::vector<CWorkspaceRecord> records;
    for (CTrelliumDoc* doc : context.Sessions()) {
        for (CChildFrame* frame : frames) {
            if (frame->GetDocument() == doc)
                records.push_back(frame->WindowState());
        }
    }
    const QString path = Workspace::FilePath();
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (!Workspace::Write(file, records)) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

int Restore(QMdiArea& area, const std::function<CChildFrame*(const QString&)>& open)
{
    QFile file(Workspace::FilePath());
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const Workspace::CReadResult workspace = Workspace::Read(file);
    int opened = 0;
    CChildFrame* maximised = nullptr;
    QList<CChildFrame*> minimised;
    for (const CWorkspaceRecord& record : workspace.records) {
        if (record.path.isEmpty())
            continue;
        const QString path = QFile::decodeName(record.path);
        // A session file that is gone is skipped without a message.
        if (!QFileInfo(path).isFile())
            continue;
        CChildFrame* frame = open(path);
        if (!frame)
            continue;
        // Every frame is placed normal first: a frame opened while another
        // is maximised would take that state over and leave the one below
        // drawn in front of it.
        CWorkspaceRecord normal = record;
        normal.showCommand = CWorkspaceRecord::ShowNormal;
        frame->RestoreWindowState(normal);
        if (record.showCommand == CWorkspaceRecord::ShowMaximized)
            maximised = frame;
        else if (record.showCommand == CWorkspaceRecord::ShowMinimized)
            minimised.append(frame);
        ++opened;
    }
    for (CChildFrame* frame : minimised)
        frame->showMinimized();
    if (maximised) {
        area.setActiveSubWindow(maximised);
        maximised->showMaximized();
        maximised->raise();
    }
    return opened;
}

} // namespace MainWorkspace
