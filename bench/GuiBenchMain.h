#pragma once
// The entry point of the benchmarks that need widgets: the offscreen
// platform unless another is asked for, and a private profile (sessions read
// and write the profile's port numbering), so the developer's own is never
// touched.
#include <QApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

inline int RunGuiBenchmarks(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit());
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
