#pragma once
#include <QDialog>
#include <QIcon>

// "About Trellium": the program's icon, name and version, legal notice,
// build date and a link to the maker's web site.
class CAboutBox : public QDialog
{
    Q_OBJECT
public:
    explicit CAboutBox(const QIcon& icon, QWidget* parent = nullptr);
};
