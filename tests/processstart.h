#pragma once

#include <QProcess>
#include <QTest>

// Starts another program, or skips the case under qemu's user-mode emulation (the arm64 build's
// tests name it in FREKUENSI_TEST_EMULATOR), which refuses the clone Qt starts a process with.
#define START_OR_SKIP_UNDER_EMULATION(process, program, arguments)                                 \
    do {                                                                                           \
        (process).start(program, arguments);                                                       \
        if (!(process).waitForStarted() && qEnvironmentVariableIsSet("FREKUENSI_TEST_EMULATOR"))   \
            QSKIP("under user-mode emulation no process can start another");                       \
        QVERIFY2((process).error() != QProcess::FailedToStart,                                     \
                 qPrintable((process).errorString()));                                             \
    } while (false)
