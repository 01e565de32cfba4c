#include "singleinstance.h"

#include <QMessageBox>

std::optional<int> SingleInstance::claimOrHandOver(const QString &portName)
{
    const Claim claimed = claim();
    switch (claimed) {
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
    // The lock tells which user's process holds it, not which program: any member of the serial
    // group can take it, as they can take the port itself, so the holder is not called a monitor.
    // This user's own holder that did not answer is a monitor that hangs, is still starting, or
    // another program of this user's.
    const QString text =
        claimed == Claim::SameUser
            ? tr("Frekuensi cannot poll %1: a process of yours holds its lock, and no Frekuensi "
                 "window of yours answered.")
                  .arg(portName)
        : m_holder.isEmpty()
            ? tr("Frekuensi cannot poll %1: a process of another user holds its lock (most likely "
                 "that user's Frekuensi).")
                  .arg(portName)
            : tr("Frekuensi cannot poll %1: a process of user %2 holds its lock (most likely that "
                 "user's Frekuensi).")
                  .arg(portName, m_holder);
    qWarning("%s", qPrintable(text));
    QMessageBox::information(nullptr, u"Frekuensi"_qs, text);
    return 1;
}
