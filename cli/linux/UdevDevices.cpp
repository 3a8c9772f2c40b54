#include "cli/linux/UdevDevices.h"

#include <libudev.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <memory>
#include <sstream>

namespace varnok::linuxhost {

uint32_t LocationFromTopology(int bus, const std::vector<int>& ports, int interfaceNumber,
                              int interfaceCount) {
    std::vector<int> digits{bus};
    digits.insert(digits.end(), ports.begin(), ports.end());
    if (interfaceCount > 1) digits.push_back(interfaceNumber + 1);
    if (digits.size() > 8) return 0;
    uint32_t location = 0;
    for (int d : digits) {
        if (d < 0 || d > 15) return 0;
        location = (location << 4) | static_cast<uint32_t>(d);
    }
    return location;
}

std::vector<int> ParseUsbPortChain(const std::string& kernelName) {
    const std::size_t dash = kernelName.find('-');
    // The chain ends in a number: getline would not give the empty last part.
    if (dash == std::string::npos || dash == 0 || kernelName.back() == '.') return {};
    std::vector<int> ports;
    std::istringstream chain(kernelName.substr(dash + 1));
    for (std::string number; std::getline(chain, number, '.');) {
        if (number.empty() || number.size() > 3 ||
            number.find_first_not_of("0123456789") != std::string::npos)
            return {};
        ports.push_back(std::atoi(number.c_str()));
    }
    return ports;
}

std::string D2xxDescription(const std::string& product, int interfaceNumber, int interfaceCount) {
    std::string text = product;
    if (interfaceCount > 1) text += std::string(" ") + static_cast<char>('A' + interfaceNumber);
    if (text.size() > 63) text.resize(63);
    return text;
}

int TtyNumber(const std::string& tty) {
    if (tty.rfind("ttyUSB", 0) != 0 || tty.size() == 6 || tty.size() > 12) return -1;
    for (std::size_t i = 6; i < tty.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(tty[i]))) return -1;
    return std::atoi(tty.c_str() + 6);
}

namespace {

struct UdevUnref {
    void operator()(udev* u) const { udev_unref(u); }
    void operator()(udev_enumerate* e) const { udev_enumerate_unref(e); }
    void operator()(udev_device* d) const { udev_device_unref(d); }
};
template <typename T>
using UdevPtr = std::unique_ptr<T, UdevUnref>;

std::string Attr(udev_device* dev, const char* name) {
    const char* v = dev ? udev_device_get_sysattr_value(dev, name) : nullptr;
    const std::string s = v ? v : "";
    const char* blanks = " \t\n\v\f\r";
    const std::size_t start = s.find_first_not_of(blanks);
    return start == std::string::npos ? "" : s.substr(start, s.find_last_not_of(blanks) - start + 1);
}

int Number(const std::string& text, int base) {
    if (text.empty()) return -1;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, base);
    return (*end == '\0' && v >= 0 && v <= 0xFFFF) ? static_cast<int>(v) : -1;
}

}  // namespace

std::vector<FtdiTty> ListFtdiTtys(std::string* error) {
    std::vector<FtdiTty> found;
    UdevPtr<udev> u(udev_new());
    if (!u) {
        if (error) *error = "udev is not available";
        return found;
    }
    UdevPtr<udev_enumerate> e(udev_enumerate_new(u.get()));
    if (!e || udev_enumerate_add_match_subsystem(e.get(), "tty") < 0 ||
        udev_enumerate_scan_devices(e.get()) < 0) {
        if (error) *error = "the udev device list could not be read";
        return found;
    }
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(e.get())) {
        UdevPtr<udev_device> tty(
            udev_device_new_from_syspath(u.get(), udev_list_entry_get_name(entry)));
        if (!tty) continue;
        // Parents belong to the child: not unreferenced here.
        udev_device* intf =
            udev_device_get_parent_with_subsystem_devtype(tty.get(), "usb", "usb_interface");
        udev_device* usb =
            udev_device_get_parent_with_subsystem_devtype(tty.get(), "usb", "usb_device");
        if (!intf || !usb || Attr(usb, "idVendor") != "0403") continue;
        const char* name = udev_device_get_sysname(tty.get());
        if (!name || TtyNumber(name) < 0) continue;
        FtdiTty t;
        t.tty = name;
        udev_device* port = udev_device_get_parent(tty.get());
        const char* portPath = port ? udev_device_get_syspath(port) : nullptr;
        t.ttySysPath = portPath ? portPath : "";
        t.usbSerial = Attr(usb, "serial");
        t.interfaceNumber = std::max(0, Number(Attr(intf, "bInterfaceNumber"), 16));
        t.interfaceCount = std::max(1, Number(Attr(usb, "bNumInterfaces"), 10));
        t.productId = static_cast<uint16_t>(std::max(0, Number(Attr(usb, "idProduct"), 16)));
        t.busNumber = Number(Attr(usb, "busnum"), 10);
        t.deviceAddress = Number(Attr(usb, "devnum"), 10);
        const char* usbName = udev_device_get_sysname(usb);
        t.ports = ParseUsbPortChain(usbName ? usbName : "");
        if (t.busNumber < 0 && usbName) t.busNumber = std::atoi(usbName);
        t.description = D2xxDescription(Attr(usb, "product"), t.interfaceNumber, t.interfaceCount);
        t.locationId = t.ports.empty() ? 0
                                       : LocationFromTopology(t.busNumber, t.ports,
                                                              t.interfaceNumber, t.interfaceCount);
        found.push_back(std::move(t));
    }
    std::sort(found.begin(), found.end(), [](const FtdiTty& a, const FtdiTty& b) {
        return TtyNumber(a.tty) < TtyNumber(b.tty);
    });
    return found;
}

}  // namespace varnok::linuxhost
