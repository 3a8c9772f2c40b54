// The FTDI serial ports of a Linux machine, as udev knows them: every tty
// that the ftdi_sio driver made for an FTDI interface, with what the D2XX
// device list would say of it (description, location) and where its sysfs
// attributes are. The pure rules (topology to location, description) are
// separate from the libudev walk, so tests can check them without a device.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace varnok::linuxhost {

struct FtdiTty {
    std::string tty;          // "ttyUSB0"
    std::string ttySysPath;   // sysfs directory of the usb-serial port (has latency_timer)
    std::string usbSerial;    // the USB device's serial string; may be empty
    int interfaceNumber = 0;  // bInterfaceNumber
    int interfaceCount = 1;   // bNumInterfaces of the USB device
    std::string description;  // as the D2XX list gives it (see D2xxDescription)
    uint16_t productId = 0;
    int busNumber = 0;
    int deviceAddress = 0;    // devnum, for libusb
    std::vector<int> ports;   // hub port chain from the root hub, "1-3.2" -> {3, 2}
    uint32_t locationId = 0;  // see LocationFromTopology; 0 when it does not fit

    char interfaceLetter() const { return static_cast<char>('A' + interfaceNumber); }
    // The serial by which varnokctl names the port: USB serial + letter.
    std::string portSerial() const { return usbSerial + interfaceLetter(); }
};

// The D2XX location of an interface: the bus number, then each hub port of
// the chain, one hexadecimal digit each, and for a chip with several
// interfaces the interface as one more digit (A = 1). A chip at 1-3.2 with
// four interfaces has 0x1321..0x1324; a one-interface chip at 1-3.1, 0x131.
// So the configuration interface of a "Varnok Plus" adapter at its internal
// hub's port 1 and its port k (from 0) at hub port 2 + k / 4, interface
// k % 4, are related by the D2XX location rule the mode tool applies.
// 0 when a number is above 15 or the digits do not fit in 32 bits.
uint32_t LocationFromTopology(int bus, const std::vector<int>& ports, int interfaceNumber,
                              int interfaceCount);

// "1-3.2" (a USB device's kernel name) -> {3, 2}; empty when malformed.
std::vector<int> ParseUsbPortChain(const std::string& kernelName);

// The D2XX description: the product string, for a chip with several
// interfaces followed by a blank and the interface letter ("Varnok Plus A").
// At most 63 characters.
std::string D2xxDescription(const std::string& product, int interfaceNumber, int interfaceCount);

// ttyUSB3 -> 3; -1 for any other name.
int TtyNumber(const std::string& tty);

// Every FTDI (vendor 0403) tty that udev knows, ordered by tty number.
// `error` gets a reason when udev could not be asked.
std::vector<FtdiTty> ListFtdiTtys(std::string* error);

}  // namespace varnok::linuxhost
