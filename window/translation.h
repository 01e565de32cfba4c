#pragma once

#include <QLocale>
#include <QTranslator>

// The window's explanations (tooltips, accessible names and descriptions) in the user's language,
// installed for as long as this object lives. The window's own texts stay as they are.
class Translation
{
public:
    explicit Translation(const QLocale &locale = QLocale());
    ~Translation();
    Translation(const Translation &) = delete;
    Translation &operator=(const Translation &) = delete;

    // Whether a translation for the locale was found; English source texts are used otherwise.
    bool isLoaded() const { return m_loaded; }

private:
    QTranslator m_translator;
    bool m_loaded = false;
};
