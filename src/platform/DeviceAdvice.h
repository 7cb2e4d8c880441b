#pragma once
#include <QString>
#include <QStringList>

// Why a device could not be opened, said so that the user can act on it:
// the group a device belongs to and how to join it, and the program that
// holds it.
namespace DeviceAdvice {

// What decides whether a user may open a device through its group.
struct CGroupFacts
{
    QString deviceGroup;      // the group the device belongs to ("dialout")
    bool groupCanUse = false; // the group may read and write the device
    QString user;             // the user's login name
    bool inProcess = false;   // the running program has the group
    bool inEntry = false;     // the user's entry in the group database lists it
};

// The facts for `path` and the running program.
CGroupFacts GroupFactsFor(const QString& path);
// The sentence for a permission failure, from the facts.
QString PermissionText(const CGroupFacts& facts);
// Who holds `path`, where the system lets us see it: programs that have it
// open ("minicom (process 1234)") and the owner of its lock file.
QStringList Holders(const QString& path);
// What follows "cannot open PATH: <the system's words>" for `error`, or
// empty when there is nothing to add.
QString ForOpenFailure(const QString& path, int error);
// True when the user may not read and write `path` (it exists).
bool IsForbidden(const QString& path);

} // namespace DeviceAdvice
