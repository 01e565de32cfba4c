#include "adapterlines.h"

#include <QFileInfo>
#include <QSerialPortInfo>

#include <array>

namespace {

// USB numbers of boards with their own USB: what their sketch or firmware enumerates as. A board
// behind a chip enumerates with the chip's numbers, or, for Arduino's 16U2 boards (Uno 2341:0043
// and 2341:0001, Mega 2341:0010 and 2341:0042, the Due's programming port 2341:003D), with
// products below 0x8000 of Arduino's own, none of which is here.
struct OwnUsbProducts
{
    quint16 vendor;
    quint16 first;
    quint16 last;
};

constexpr std::array kOwnUsbBoards{
    // Arduino (and Arduino.org's 2A03): a sketch running on the board's own USB: Leonardo 8036,
    // Micro 8037 and 8237, Yun 8041, the SAMD boards' 80xx (MKR WiFi 1010, Nano 33 IoT); their
    // bootloaders are the same numbers less 0x8000. The boards.txt files of
    // github.com/arduino/ArduinoCore-avr (leonardo.pid.1=0x8036, micro.pid.1=0x8037,
    // micro.pid.5=0x8237, yun.pid.1=0x8041) and ArduinoCore-samd (mkrwifi1010.pid.0).
    OwnUsbProducts{0x2341, 0x8000, 0x82ff},
    OwnUsbProducts{0x2a03, 0x8000, 0x82ff},
    // Arduino Due's native USB port (ArduinoCore-sam boards.txt: arduino_due_x.pid.0=0x003e).
    OwnUsbProducts{0x2341, 0x003e, 0x003e},
    OwnUsbProducts{0x2a03, 0x003e, 0x003e},
    // Raspberry Pi RP2040/RP2350: MicroPython 0005 (micropython ports/rp2 mpconfigport.h, "RP2
    // MicroPython") and the Pico SDK's USB stdio 000A (pico-sdk
    // pico_stdio_usb/stdio_usb_descriptors.c, "Raspberry Pi Pico SDK CDC"). Not the Debug Probe
    // (000C), a bridge to another board's UART.
    OwnUsbProducts{0x2e8a, 0x0005, 0x0005},
    OwnUsbProducts{0x2e8a, 0x000a, 0x000a},
    // Adafruit: the UF2 bootloaders' 00xx and CircuitPython's and Arduino's 80xx-81xx (Feather M0
    // 8015, ItsyBitsy M4 802C, Feather RP2040 80F2; github.com/adafruit/circuitpython
    // ports/*/boards/*/mpconfigboard.mk, github.com/microsoft/uf2-samdx1 boards/feather).
    OwnUsbProducts{0x239a, 0x0000, 0x00ff},
    OwnUsbProducts{0x239a, 0x8000, 0x81ff},
    // Espressif's own number, "used by native USB-Serial/JTAG and USB-OTG" (esptool-js:
    // ESPRESSIF_VID 0x303a, USB_JTAG_SERIAL_PID 0x1001), all but 1002, the ESP USB Bridge
    // firmware, a bridge to another chip (espflash's 70-espflash.rules: "USB Bridge").
    OwnUsbProducts{0x303a, 0x0000, 0x1001},
    OwnUsbProducts{0x303a, 0x1003, 0xffff},
    // STMicroelectronics' Virtual COM Port of the STM32 USB device library's CDC class (its
    // usbd_desc.h: USBD_VID 0x0483, USBD_PID 0x5740, "STM32 Virtual ComPort"); not an ST-LINK's
    // port (374B), a bridge.
    OwnUsbProducts{0x0483, 0x5740, 0x5740},
    // SparkFun: Pro Micro (32u4) at 8 MHz 9203/9204 and 16 MHz 9205/9206, bootloader and sketch
    // (SparkFun's Arduino boards, avr/boards.txt; USB_PID 0x9206 beside Caterina-promicro16),
    // Pro Micro RP2040 0026 (micropython ports/rp2 boards/SPARKFUN_PROMICRO). SparkFun's boards
    // behind a chip use the chip's numbers.
    OwnUsbProducts{0x1b4f, 0x0026, 0x0026},
    OwnUsbProducts{0x1b4f, 0x9203, 0x9206},
};

} // namespace

AdapterLines AdapterLines::forUsbIdentity(std::optional<quint16> vendor,
                                          std::optional<quint16> product)
{
    if (!vendor || !product)
        return {};
    for (const OwnUsbProducts &board : kOwnUsbBoards) {
        if (board.vendor == *vendor && *product >= board.first && *product <= board.last)
            return AdapterLines(true);
    }
    return {};
}

AdapterLines AdapterLines::forDevice(const QString &device)
{
    // Linux lists a tty by its own name; port 3 may be a link to it.
    const QString target =
        device.startsWith(u'/') ? QFileInfo(device).canonicalFilePath() : QString();
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &port : ports) {
        if (port.portName() != device && port.systemLocation() != device &&
            (target.isEmpty() || port.systemLocation() != target))
            continue;
        return forUsbIdentity(
            port.hasVendorIdentifier() ? std::optional(port.vendorIdentifier()) : std::nullopt,
            port.hasProductIdentifier() ? std::optional(port.productIdentifier()) : std::nullopt);
    }
    return {};
}
