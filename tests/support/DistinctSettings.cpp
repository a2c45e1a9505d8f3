#include "tests/support/DistinctSettings.h"

namespace kv::testing {

ConnectionSettings DistinctSettings() {
    ConnectionSettings s;
    s.usbDetection = 0;
    s.usbSerial = "SN-usb";
    s.usbTimeout = 11;
    s.qudpTargetIp = "10.0.0.1";
    s.qudpTargetPort = 12;
    s.qudpSourcePort = 13;
    s.qudpTimeout = 14;
    s.comPort = 15;
    s.pciBaseAddress = 672;
    s.kvIpAddress = "10.0.0.6";
    s.kvUdpPort = 16;
    s.kvUdpTimeout = 17;
    s.lanIpAddress = "10.0.0.7";
    s.lanUdpPort = 18;
    s.lanUdpTimeout = 19;
    return s;
}

}  // namespace kv::testing
