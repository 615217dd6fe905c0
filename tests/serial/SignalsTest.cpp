#include "Pty.h"
#include "console/Signals.h"

#include <gtest/gtest.h>

#include <csignal>

TEST(QuitSignals, TermAndIntRunTheQuitOnceFromTheEventLoop) {
    int quits = 0;
    bool insideHandler = false;
    installQuitSignals([&] {
        EXPECT_FALSE(insideHandler);
        ++quits;
    });
    insideHandler = true;
    ASSERT_EQ(::raise(SIGTERM), 0);
    insideHandler = false;
    EXPECT_EQ(quits, 0);  // nothing runs inside the signal handler
    ASSERT_TRUE(waitFor([&] { return quits == 1; }, 2000));
    ASSERT_EQ(::raise(SIGINT), 0);
    spin(100);
    EXPECT_EQ(quits, 1);
}
