#pragma once

#include <QSerialPort>
#include <QString>

// The fixed line settings of the measuring device; nothing here is configurable at run time.
namespace PortSettings {

inline constexpr int kPortNumber = 3;
inline constexpr qint32 kBaudRate = QSerialPort::Baud9600;
inline constexpr QSerialPort::DataBits kDataBits = QSerialPort::Data8;
inline constexpr QSerialPort::Parity kParity = QSerialPort::NoParity;
inline constexpr QSerialPort::StopBits kStopBits = QSerialPort::OneStop;
inline constexpr QSerialPort::FlowControl kFlowControl = QSerialPort::NoFlowControl;

// The system name of port 3: COM3 on Windows, /dev/ttyS2 on Linux (COM1 is ttyS0).
QString portName();

// On Linux, the operator's adapter chosen as port 3 (frekuensi-port writes the udev rule that
// makes this link).
inline constexpr char kPort3Link[] = "/dev/frekuensi-port3";

// The device to open for portName now: port 3's link where it exists, else portName itself.
// Asked at every open, so that an adapter chosen or plugged in while the monitor runs is used.
QString deviceFor(const QString &portName);

} // namespace PortSettings
