// The serial devices of the system, through Qt's list of them.
#include "link/port_setup.h"

#include <QSerialPortInfo>

namespace velmora {

std::vector<SerialDevice> SystemDevices::devices() {
    std::vector<SerialDevice> out;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        SerialDevice d;
        d.path = info.systemLocation().toStdString();
        d.description = info.description().toStdString();
        d.manufacturer = info.manufacturer().toStdString();
        d.serialNumber = info.serialNumber().toStdString();
        if (info.hasVendorIdentifier() && info.hasProductIdentifier()) {
            d.vendorId = info.vendorIdentifier();
            d.productId = info.productIdentifier();
        }
        d.byId = byIdName(d.path);
        out.push_back(std::move(d));
    }
    return out;
}

} // namespace velmora
