// The serial link's own part on Windows: the modem lines through the driver's stored settings.
//
// QSerialPort 6.4 keeps at open the DTR setting it finds in the driver's settings (and turns RTS
// off), and at close writes back the settings it found, just before the handle closes; Qt 6 has no
// switch for that restore (qtserialport 6.4.2, src/serialport/qserialport_win.cpp: initialize()
// keeps restoredDcb, close() calls SetCommState(restoredDcb)). Drivers start a port from what was
// stored last (the inbox serial driver and CH340 re-apply it at every open), so what the link
// writes there is what later opens apply and closes restore. The link's own handle is an open
// too, which applies what was stored before (by default DTR and RTS on): a board that resets on
// DTR may reset once a port appearance, at the first poll. A CP210x driver may not keep the
// settings between opens at all (Silicon Labs AN197); how such a board fares is not yet known.
#include "seriallink.h"

#include "portsettings.h"

#include <qt_windows.h>

namespace {

static_assert(PortSettings::kBaudRate == CBR_9600 && PortSettings::kDataBits == 8 &&
                  PortSettings::kParity == QSerialPort::NoParity &&
                  PortSettings::kStopBits == QSerialPort::OneStop &&
                  PortSettings::kFlowControl == QSerialPort::NoFlowControl,
              "the stored settings below are 9600 8N1 without flow control");

std::wstring devicePath(const QString &portName)
{
    return (portName.startsWith(u"\\\\.\\") ? portName : u"\\\\.\\"_qs + portName).toStdWString();
}

// The port's settings as the driver keeps them between opens (DCB, Microsoft's documentation of
// the DCB structure and SetCommState): 9600 8N1 without flow control, so that the restore at close
// never puts back 1200 baud (at which a board with its own USB reboots into its loader when DTR
// drops), RTS off, and DTR as the adapter needs it. Returns the system's error code, 0 when
// written.
DWORD storeSettings(HANDLE port, const AdapterLines &lines)
{
    DCB settings{};
    settings.DCBlength = sizeof(settings);
    if (!::GetCommState(port, &settings))
        return ::GetLastError();
    settings.BaudRate = CBR_9600;
    settings.ByteSize = 8;
    settings.Parity = NOPARITY;
    settings.StopBits = ONESTOPBIT;
    settings.fBinary = TRUE;
    settings.fParity = FALSE;
    settings.fOutxCtsFlow = FALSE;
    settings.fOutxDsrFlow = FALSE;
    settings.fDsrSensitivity = FALSE;
    settings.fOutX = FALSE;
    settings.fInX = FALSE;
    settings.fDtrControl = lines.dataTerminalReady() ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
    settings.fRtsControl = lines.requestToSend() ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
    return ::SetCommState(port, &settings) ? ERROR_SUCCESS : ::GetLastError();
}

} // namespace

// Through a handle of the link's own, before QSerialPort opens, until written once a port
// appearance: the driver keeps the settings until the adapter is unplugged (a failed open), so
// later polls pay nothing.
bool SerialLink::prepareLine()
{
    const HANDLE port =
        ::CreateFileW(devicePath(m_port.portName()).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                      nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD error = ERROR_SUCCESS;
    if (port == INVALID_HANDLE_VALUE) {
        error = ::GetLastError();
        // Missing, or held by another program: QSerialPort's open says so.
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
            error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION)
            return false;
    } else {
        knowLines(); // the port is there: its adapter is listed
        error = storeSettings(port, m_lines);
        ::CloseHandle(port);
    }
    if (error == ERROR_SUCCESS)
        return true;
    if (!m_toldLineSettingsFailed) {
        m_toldLineSettingsFailed = true;
        qWarning("%s: its settings (9600 baud, DTR %s, RTS off) could not be stored (error %lu: "
                 "%s); every poll tries again",
                 qPrintable(m_port.portName()), m_lines.dataTerminalReady() ? "on" : "off",
                 static_cast<unsigned long>(error), qPrintable(qt_error_string(int(error))));
    }
    return false;
}

// Where the stored settings were written, the open has set the lines as they say already. Where
// not, the only change that Qt's restore at close does not turn into a raise is asserting DTR for
// a board with its own USB (which needs it and does not reset on it): lowering DTR that the open
// found on would have the restore raise it again at every close. RTS needs nothing: Qt's open
// turns it off without flow control.
void SerialLink::applyModemLines()
{
    if (!m_lines.dataTerminalReady())
        return;
    DCB now{};
    now.DCBlength = sizeof(now);
    if (!::GetCommState(m_port.handle(), &now) || now.fDtrControl != DTR_CONTROL_ENABLE)
        raiseDataTerminalReady();
}

bool SerialLink::driverHoldsBytes() const
{
    COMSTAT status{};
    DWORD errors = 0;
    return ::ClearCommError(m_port.handle(), &errors, &status) && status.cbInQue > 0;
}

std::optional<SerialLink::Failure> SerialLink::systemOpenFailure() const
{
    return std::nullopt;
}
