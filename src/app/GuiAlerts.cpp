#include "app/GuiAlerts.h"

#include <QApplication>
#include <QGridLayout>
#include <QMessageBox>
#include <QThread>

namespace {

bool OnUiThread()
{
    return qApp && QThread::currentThread() == qApp->thread();
}

QMessageBox::Icon ToIcon(AlertIcon icon)
{
    switch (icon) {
    case AlertIcon::Information:
        return QMessageBox::Information;
    case AlertIcon::Warning:
    case AlertIcon::Exclamation:
        return QMessageBox::Warning;
    case AlertIcon::Question:
        return QMessageBox::Question;
    case AlertIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

void Show(const QString& text, const QString& title, AlertIcon icon)
{
    QMessageBox box(ToIcon(icon), title, text, QMessageBox::Ok, QApplication::activeWindow());
    // Wide enough for the title: a short text would otherwise cut it off.
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
        grid->addItem(new QSpacerItem(QFontMetrics(box.font()).horizontalAdvance(title) + 120, 0,
                                      QSizePolicy::Minimum, QSizePolicy::Expanding),
                      grid->rowCount(), 0, 1, grid->columnCount());
    box.exec();
}

} // namespace

void CGuiAlerts::Beep()
{
    if (OnUiThread())
        QApplication::beep();
    else if (qApp)
        QMetaObject::invokeMethod(
            qApp, [] { QApplication::beep(); }, Qt::QueuedConnection);
}

void CGuiAlerts::Message(const QString& text, const QString& title, AlertIcon icon)
{
    if (OnUiThread())
        Show(text, title, icon);
    else if (qApp)
        QMetaObject::invokeMethod(
            qApp, [=] { Show(text, title, icon); }, Qt::QueuedConnection);
}

bool CGuiAlerts::Ask(const QString& text, const QString& title)
{
    return QMessageBox::question(QApplication::activeWindow(), title, text,
                                 QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}
