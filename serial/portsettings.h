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

} // namespace PortSettings
