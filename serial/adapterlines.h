#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

// What the link does with the modem lines DTR and RTS on a port, decided by the adapter behind it.
// Meters are mostly small boards, of two kinds. A board behind a USB-serial chip (a 16U2, CH340,
// FTDI or CP210x) resets when DTR is raised, and takes 2-3 s to answer again, longer than any poll
// interval; a PC's own UART may have anything on it. They get both lines off, steadily. A board
// with its own USB sends nothing while DTR is off, and does not reset on it: it gets DTR on.
// RTS is off for both (an ESP32 board's auto-reset circuit resets with RTS on and DTR off).
class AdapterLines
{
public:
    // Both lines off: every adapter that is not a board with its own USB, or is not known.
    AdapterLines() = default;

    // The rule itself, from the adapter's USB numbers (nothing for a port without them).
    static AdapterLines forUsbIdentity(std::optional<quint16> vendor,
                                       std::optional<quint16> product);
    // The adapter behind a device as the system lists it (a link, such as Linux's port 3, is
    // followed to its tty); a device it does not list is unknown. Asked once a port appearance:
    // listing the ports takes milliseconds.
    static AdapterLines forDevice(const QString &device);

    bool ownUsb() const { return m_ownUsb; }
    bool dataTerminalReady() const { return m_ownUsb; }
    bool requestToSend() const { return false; }

private:
    explicit AdapterLines(bool ownUsb) : m_ownUsb(ownUsb) {}

    bool m_ownUsb = false;
};
