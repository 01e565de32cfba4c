#pragma once

#include <QByteArray>
#include <QLocale>
#include <QString>

#include <optional>

// Turning a device reply into the reading text, and judging a displayed reading.
namespace ReadingText {

// The reading text shown before the first answer and after five misses in a row. A literal: it
// does not follow the locale.
inline constexpr QLatin1StringView kPlaceholder{"00,00"};

inline constexpr double kLowerBound = 48.0;
inline constexpr double kUpperBound = 52.0;

// A decimal number in the locale's notation, white space around it allowed, no grouping
// separators; nothing when the text is not a finite number.
std::optional<double> toNumber(const QString &text, const QLocale &locale);

// 1,000,000 / (2r) formatted "0.00" in the locale; nothing when the reply is not a number, is 0,
// or gives a frequency that is not finite.
std::optional<QString> fromReply(const QByteArray &reply, const QLocale &locale);

// Whether the displayed text is a plain decimal number strictly between the bounds: digits, at
// most one leading minus sign and at most one decimal separator of the locale, nothing else. A
// typed text with spaces, an exponent, a plus sign or grouping fails like one that is not a
// number, so freq.text only ever holds a plain number.
bool isAcceptable(const QString &displayed, const QLocale &locale);

} // namespace ReadingText
