#include "singleinstance.h"

#include <QMessageBox>

std::optional<int> SingleInstance::claimOrHandOver(const QString &portName)
{
    switch (claim()) {
    case Claim::First:
        return std::nullopt;
    case Claim::SameUser:
        if (bringForward()) {
            qInfo("Frekuensi already polls %s: its window was brought to the front",
                  qPrintable(portName));
            return 0;
        }
        break;
    case Claim::OtherUser:
        break;
    }
    const QString text =
        m_holder.isEmpty() ? tr("Frekuensi already polls %1 for another user.").arg(portName)
                           : tr("Frekuensi already polls %1 for user %2.").arg(portName, m_holder);
    qWarning("%s", qPrintable(text));
    QMessageBox::information(nullptr, u"Frekuensi"_qs, text);
    return 1;
}
