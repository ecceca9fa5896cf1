// The Qt host's message order: posted messages in order, the timer's ticks
// behind everything else, nothing after the quit message.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>
#include <vector>

#include "app/qt/qt_host.h"

namespace {

struct Recorder final : platform::MessageTarget {
    intptr_t handleMessage(uint32_t message, uintptr_t, intptr_t) override {
        received.push_back(message);
        return 0;
    }
    std::vector<uint32_t> received;
};

TEST(QtHost, NothingPostedReachesItsTargetAfterTheQuit) {
    qt_front::QtHost host;
    Recorder target;
    host.postMessage(&target, 1, 0, 0);
    host.postQuitMessage(3);
    host.postMessage(&target, 2, 0, 0);
    host.postLowPriority(&target, 4, 0, 0);
    QTimer guard;  // a failure ends the loop instead of hanging
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(-1); });
    guard.start(10000);
    EXPECT_EQ(QCoreApplication::exec(), 3);
    host.postMessage(&target, 5, 0, 0);
    // Whatever loop runs next (a later dialog, the next test) delivers nothing more.
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(&host);
    EXPECT_EQ(target.received, (std::vector<uint32_t>{1}));
    EXPECT_EQ(host.exitCode(), 3);
}

TEST(QtHost, ATickWaitsForAMessagePostedAfterIt) {
    qt_front::QtHost host;
    Recorder target;
    host.postLowPriority(&target, 7, 0, 0);  // the timer's tick
    host.postMessage(&target, 1, 0, 0);
    host.postMessage(&target, 2, 0, 0);
    QCoreApplication::sendPostedEvents(&host);
    EXPECT_EQ(target.received, (std::vector<uint32_t>{1, 2, 7}));
}

}  // namespace
