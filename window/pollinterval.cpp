#include "pollinterval.h"

#include <QStringList>

#include <array>

namespace {

struct Choice
{
    const char *text;
    qint16 milliseconds;
};

constexpr std::array<Choice, 4> kChoices{{
    {"0,25 detik", 250},
    {"0,50 detik", 500},
    {"0,75 detik", 750},
    {"1,00 detik", 1000},
}};

} // namespace

qint16 PollInterval::fromChoice(const QString &choice)
{
    qint16 interval = 0;
    for (const Choice &row : kChoices) {
        if (choice == QLatin1StringView(row.text))
            interval = row.milliseconds;
    }
    return interval;
}

QStringList PollInterval::choices()
{
    QStringList texts;
    for (const Choice &row : kChoices)
        texts.append(QLatin1StringView(row.text));
    return texts;
}
