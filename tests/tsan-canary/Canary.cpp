// A deliberately racy program for the ThreadSanitizer build: a writer thread
// appends to a session's delivery backlog and then bumps a counter with no lock, while the
// user-interface thread's delivery (run by Qt's event loop, so its stack runs
// through the toolkit's library) reads that counter. `make tsan` runs it with
// the suppressions the tests use and insists on a report: suppressions broad
// enough to hide a race of ours in the delivery path would make it pass.
#include "session/DeliveryBacklog.h"

#include <QCoreApplication>
#include <QTimer>
#include <atomic>
#include <cstdio>
#include <thread>

namespace {
int g_unguarded = 0; // the race: written by the writer, read by the delivery
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::atomic<bool> done{false};
    long seen = 0;
    CDeliveryBacklog* backlogPtr = nullptr;
    CDeliveryBacklog backlog([&] {
        QMetaObject::invokeMethod(
            &app,
            [&] {
                seen += g_unguarded;
                backlogPtr->Take(1 << 20);
            },
            Qt::QueuedConnection);
    });
    backlogPtr = &backlog;
    std::thread writer([&] {
        for (int i = 0; i < 20000; ++i) {
            backlog.AppendStream("x", 1, 0, true);
            ++g_unguarded;
        }
        done = true;
    });
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (done.load())
            app.quit();
    });
    poll.start(1);
    app.exec();
    writer.join();
    std::printf("deliveries saw %ld\n", seen);
    return 0;
}
