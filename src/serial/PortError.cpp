#include "serial/PortError.h"

#include <cerrno>

PortFault portFaultOf(int code) {
    switch (code) {
    case 0: return PortFault::None;
    case ENOENT:
    case ENODEV:
    case ENXIO: return PortFault::Absent;
    case EBUSY: return PortFault::InUse;
    case EACCES:
    case EPERM: return PortFault::NoPermission;
    default: return PortFault::Other;
    }
}

QString portErrorWords(const QString& port, const QString& device, int code, const QString& systemText) {
    const QString which = device.isEmpty() || device == port ? port : port + QStringLiteral(" (") + device + ')';
    switch (portFaultOf(code)) {
    case PortFault::None:  // the layer's own texts carry no code
        break;
    case PortFault::Absent: return which + QStringLiteral(": device not found - plug it in or check the cable");
    case PortFault::InUse:
        return which + QStringLiteral(": in use by another program - close that program");
    case PortFault::NoPermission:
        return which + QStringLiteral(": no permission: add the user to the group dialout "
                                      "(sudo adduser $USER dialout), then log out and in again");
    case PortFault::Other: break;
    }
    if (code == EINVAL)  // a line setting the driver refuses
        return which + QStringLiteral(": the device does not take this setting (") + systemText + ')';
    if (code == 0 && systemText.isEmpty())
        return which;
    return which + QStringLiteral(": ") + (systemText.isEmpty() ? QStringLiteral("cannot be opened") : systemText);
}
