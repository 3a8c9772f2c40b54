#include "configurator/discovery/ClosePorts.h"

#include <memory>
#include <string>

namespace varnok::cfg {

const char* const kMsgCloseNotPossible = "Close COMPort not possible";

Problems CloseAllPorts(Configurator& app) {
    Problems problems;
    for (int n = kFirstComPortToClose; n <= kLastComPortToClose; ++n) {
        const std::string name = "COM" + std::to_string(n);
        // No default configuration: no port has this number.
        if (!app.serial.exists(name)) continue;
        std::unique_ptr<serial::SerialPort> port = app.serial.open("\\\\.\\" + name);
        if (!port) {
            problems.push_back({kMsgCloseNotPossible});
            continue;
        }
        port->purge(serial::kPurgeTxClear | serial::kPurgeRxClear);
        port.reset();  // closes the handle
    }
    return problems;
}

}  // namespace varnok::cfg
