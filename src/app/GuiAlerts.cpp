#include "app/GuiAlerts.h"

#include <QApplication>
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
