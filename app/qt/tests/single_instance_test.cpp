#include "single_instance.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

TEST(SingleInstance, LaterCopyGivesWayAndAsksFirstToRaise) {
    QTemporaryDir runtime;
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    SingleInstance first;
    int raises = 0;
    QObject::connect(&first, &SingleInstance::raiseRequested, [&raises] { ++raises; });
    ASSERT_TRUE(first.claim());
    {
        SingleInstance second;
        EXPECT_FALSE(second.claim());
    }
    for (int i = 0; i < 20 && raises == 0; ++i) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    EXPECT_EQ(raises, 1);
    qputenv("XDG_RUNTIME_DIR", saved);
}

} // namespace
