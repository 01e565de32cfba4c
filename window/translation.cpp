#include "translation.h"

#include <QCoreApplication>

Translation::Translation(const QLocale &locale)
{
    // Compiled into the program; tries the locale's languages in order, e.g. id_ID, then id.
    m_loaded = m_translator.load(locale, QStringLiteral("frekuensi"), QStringLiteral("_"),
                                 QStringLiteral(":/i18n")) &&
               QCoreApplication::installTranslator(&m_translator);
}

Translation::~Translation()
{
    if (m_loaded)
        QCoreApplication::removeTranslator(&m_translator);
}
