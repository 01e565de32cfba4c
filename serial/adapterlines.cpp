#include "adapterlines.h"

#include <QFileInfo>
#include <QSerialPortInfo>

#include <array>

namespace {

// USB numbers of boards with their own USB: what their sketch or firmware enumerates as. A board
// behind a chip enumerates with the chip's numbers or, for Arduino's boards with a 16U2 (or 8U2)
// bridge, with numbers of Arduino's own: Uno 2341:0001 and 0043, Genuino Uno 0243, Mega 0010 and
// 0042, Mega ADK 003F and 0044, the Due's programming port 003D (and 2A03's same numbers). Those
// are known to reset when DTR is raised, and none of them is here: a number not listed gets both
// lines off, whatever its maker.
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
    // Arduino's Renesas boards, the RA chip's own USB (ArduinoCore-renesas boards.txt): UNO R4
    // Minima 0069 and 0369, Portenta C33 0068 and 0368, Nano R4 0074 and 0374. Not the UNO R4
    // WiFi (unor4wifi.pid.0=0x1002): its USB port is an ESP32-S3 bridging to the RA4M1's UART,
    // a bridge like a 16U2, which passes on what the UART sends whatever DTR is, while DTR raised
    // may reset the RA4M1 behind it; DTR off is the safe choice there.
    OwnUsbProducts{0x2341, 0x0068, 0x0069},
    OwnUsbProducts{0x2341, 0x0368, 0x0369},
    OwnUsbProducts{0x2341, 0x0074, 0x0074},
    OwnUsbProducts{0x2341, 0x0374, 0x0374},
    // Arduino's mbed boards (ArduinoCore-mbed boards.txt): Nano 33 BLE 005a, 015a, 025a, Portenta
    // H7 005b (M4 core), 025b, 035b, 045b, 055b, Edge Control 005d, Nano RP2040 Connect 005e,
    // 015e, 025e, Nicla Vision 025f to 055f, Nicla Sense ME 0060, Opta 0064 to 0364 (also under
    // 35D1). Their 80xx numbers are in the first range.
    OwnUsbProducts{0x2341, 0x005a, 0x005b},
    OwnUsbProducts{0x2341, 0x005d, 0x005e},
    OwnUsbProducts{0x2341, 0x0060, 0x0060},
    OwnUsbProducts{0x2341, 0x0064, 0x0064},
    OwnUsbProducts{0x2341, 0x015a, 0x015a},
    OwnUsbProducts{0x2341, 0x015e, 0x015e},
    OwnUsbProducts{0x2341, 0x0164, 0x0164},
    OwnUsbProducts{0x2341, 0x025a, 0x025b},
    OwnUsbProducts{0x2341, 0x025e, 0x025f},
    OwnUsbProducts{0x2341, 0x0264, 0x0264},
    OwnUsbProducts{0x2341, 0x035b, 0x035b},
    OwnUsbProducts{0x2341, 0x035f, 0x035f},
    OwnUsbProducts{0x2341, 0x0364, 0x0364},
    OwnUsbProducts{0x2341, 0x045b, 0x045b},
    OwnUsbProducts{0x2341, 0x045f, 0x045f},
    OwnUsbProducts{0x2341, 0x055b, 0x055b},
    OwnUsbProducts{0x2341, 0x055f, 0x055f},
    OwnUsbProducts{0x35d1, 0x0064, 0x0064},
    OwnUsbProducts{0x35d1, 0x0164, 0x0164},
    OwnUsbProducts{0x35d1, 0x0264, 0x0264},
    OwnUsbProducts{0x35d1, 0x0364, 0x0364},
    // Raspberry Pi RP2040/RP2350: MicroPython 0005 (micropython ports/rp2 mpconfigport.h, "RP2
    // MicroPython") and the Pico SDK's USB stdio, 000A on an RP2040 and 0009 on an RP2350
    // (pico-sdk pico_stdio_usb/stdio_usb_descriptors.c, "Raspberry Pi Pico SDK CDC"). Not the
    // Debug Probe (000C), a bridge to another board's UART.
    OwnUsbProducts{0x2e8a, 0x0005, 0x0005},
    OwnUsbProducts{0x2e8a, 0x0009, 0x000a},
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
