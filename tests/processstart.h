#pragma once

#include <QProcess>
#include <QTest>

// Starts another program for a test, or skips the case where no process can start another: under
// qemu's user-mode emulation (the arm64 build's tests) the clone Qt starts a process with is
// refused. The cross build's tests name the emulator in FREKUENSI_TEST_EMULATOR; anywhere else a
// start that fails fails the test.
#define START_OR_SKIP_UNDER_EMULATION(process, program, arguments)                                 \
    do {                                                                                           \
        (process).start(program, arguments);                                                       \
        if (!(process).waitForStarted()) {                                                         \
            if (qEnvironmentVariableIsSet("FREKUENSI_TEST_EMULATOR"))                              \
                QSKIP("under user-mode emulation no process can start another");                   \
            QFAIL(qPrintable((process).errorString()));                                            \
        }                                                                                          \
    } while (false)
