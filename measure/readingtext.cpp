#include "readingtext.h"

#include <QRegularExpression>

#include <cmath>

std::optional<double> ReadingText::toNumber(const QString &text, const QLocale &locale)
{
    // Grouping would make "50.000" read as fifty thousand in a decimal-comma locale.
    QLocale strict = locale;
    strict.setNumberOptions(QLocale::RejectGroupSeparator);
    bool ok = false;
    const double value = strict.toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<QString> ReadingText::fromReply(const QByteArray &reply, const QLocale &locale)
{
    // One character per byte, as the line delivers it.
    const std::optional<double> r = toNumber(QString::fromLatin1(reply), locale);
    if (!r || *r == 0.0)
        return std::nullopt;
    const double frequency = 1'000'000.0 / (*r * 2.0);
    if (!std::isfinite(frequency))
        return std::nullopt;
    QLocale plain = locale;
    plain.setNumberOptions(QLocale::OmitGroupSeparator);
    return plain.toString(frequency, 'f', 2);
}

bool ReadingText::isAcceptable(const QString &displayed, const QLocale &locale)
{
    const QString separator = QRegularExpression::escape(locale.decimalPoint());
    const QRegularExpression plain(u"^-?[0-9]+(%1[0-9]+)?$"_qs.arg(separator));
    if (!plain.match(displayed).hasMatch())
        return false;
    const std::optional<double> value = toNumber(displayed, locale);
    return value && *value > kLowerBound && *value < kUpperBound;
}
