#include "portsettings.h"

QString PortSettings::portName()
{
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(kPortNumber);
#else
    return QStringLiteral("/dev/ttyS%1").arg(kPortNumber - 1);
#endif
}
