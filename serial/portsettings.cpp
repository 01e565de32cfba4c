#include "portsettings.h"

#include <QFileInfo>

QString PortSettings::portName()
{
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(kPortNumber);
#else
    return QStringLiteral("/dev/ttyS%1").arg(kPortNumber - 1);
#endif
}

QString PortSettings::deviceFor(const QString &portName)
{
#ifdef Q_OS_LINUX
    const QString link = QString::fromLatin1(kPort3Link);
    if (portName == PortSettings::portName() && QFileInfo::exists(link))
        return link;
#endif
    return portName;
}
