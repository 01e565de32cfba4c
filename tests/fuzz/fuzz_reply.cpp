// libFuzzer target: any reply bytes give a well-formed reading or none, and acceptance agrees
// with the value the reading shows.
#include "readingtext.h"

#include <QRegularExpression>

#include <array>
#include <cstdint>
#include <cstdlib>

namespace {

// Decimal comma, decimal point, and a locale whose grouping separator is a space.
const std::array<QLocale, 3> kLocales = {QLocale(QLocale::Indonesian, QLocale::Indonesia),
                                         QLocale::c(), QLocale(QLocale::French, QLocale::France)};

void check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray reply =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    for (const QLocale &locale : kLocales) {
        const std::optional<QString> reading = ReadingText::fromReply(reply, locale);
        // Typed or garbled text judged as a displayed reading: never a crash, and never
        // acceptable unless it converts to a number inside the bounds.
        const QString asText = QString::fromLatin1(reply);
        if (ReadingText::isAcceptable(asText, locale)) {
            const std::optional<double> value = ReadingText::toNumber(asText, locale);
            check(value && *value > ReadingText::kLowerBound && *value < ReadingText::kUpperBound);
        }
        if (!reading)
            continue;

        // Digits, the locale's decimal separator and exactly two decimals, no grouping.
        static const QString shape = QStringLiteral("^-?[0-9]+%1[0-9]{2}$");
        const QRegularExpression pattern(
            shape.arg(QRegularExpression::escape(locale.decimalPoint())));
        check(pattern.match(*reading).hasMatch());

        bool converts = false;
        const double shown = locale.toDouble(*reading, &converts);
        check(converts);
        check(ReadingText::isAcceptable(*reading, locale) ==
              (shown > ReadingText::kLowerBound && shown < ReadingText::kUpperBound));
    }
    return 0;
}
