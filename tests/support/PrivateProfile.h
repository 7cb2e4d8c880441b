#pragma once
// Every test executable runs with its own profile and data folders, made
// fresh in a temporary directory before the application object exists, so
// that running the suite never touches the developer's own settings, recent
// files or workspace.
#include <QByteArray>
#include <QDir>
#include <QTemporaryDir>

inline QTemporaryDir& UsePrivateProfile()
{
    static QTemporaryDir home;
    const QByteArray root = home.path().toLocal8Bit();
    QDir(home.path()).mkpath(QStringLiteral("config"));
    QDir(home.path()).mkpath(QStringLiteral("data"));
    qputenv("XDG_CONFIG_HOME", root + "/config");
    qputenv("XDG_DATA_HOME", root + "/data");
    qputenv("XDG_CACHE_HOME", root + "/cache");
    return home;
}
