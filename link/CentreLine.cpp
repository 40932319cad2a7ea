#include "CentreLine.h"

namespace kt64::link {

void openForCentre(serial::SerialPort& port, const std::string& devicePath) {
    port.openDevice(devicePath, kLineBaud, kLineParity, kLineDataBits, kLineStopBits, serial::FlowControl::None, false);
    port.setupQueues(1000, 1000);
    serial::CommTimeouts t = port.getTimeouts();
    t.ReadIntervalTimeout = kCentreTimeouts.ReadIntervalTimeout;
    t.ReadTotalTimeoutMultiplier = kCentreTimeouts.ReadTotalTimeoutMultiplier;
    t.ReadTotalTimeoutConstant = kCentreTimeouts.ReadTotalTimeoutConstant;
    port.setTimeouts(t);
    port.setRts();
    port.setDtr();
}

}  // namespace kt64::link
