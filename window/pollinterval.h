#pragma once

#include <QString>
#include <QtGlobal>

// The interval choices of the window, matched by their exact text.
namespace PollInterval {

// Milliseconds for a choice, or 0 when the text is none of the four (nothing trimmed, same case).
qint16 fromChoice(const QString &choice);

// The four choices in the order the list shows them.
QStringList choices();

} // namespace PollInterval
