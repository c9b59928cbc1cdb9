#include "app/singleinstance.h"

#include "support/tempdir.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>

TEST(SingleInstance, ASecondStartHandsOverToTheFirst) {
    TempDir dir;
    SingleInstance second(dir.path());
    EXPECT_FALSE(second.handOver()); // nobody runs yet
    SingleInstance first(dir.path());
    int activations = 0;
    first.listen([&] { ++activations; });
    EXPECT_TRUE(second.handOver());
    QElapsedTimer t;
    t.start();
    while (activations == 0 && t.elapsed() < 2000)
        QCoreApplication::processEvents();
    EXPECT_EQ(activations, 1);
    // Another program folder is another program.
    TempDir other;
    SingleInstance elsewhere(other.path());
    EXPECT_FALSE(elsewhere.handOver());
}
