// Qt's own texts (the standard dialogs' labels and buttons) and the format of numbers in the
// program's language.
#pragma once

#include <QLocale>
#include <QString>

namespace quarvel {

// The locale of a language as its language file names it ("Deutsch", "Français"): that of the
// language whose own name it is, in any case; English for "English" and for any other name.
QLocale LocaleOfLanguage(const QString& caption);

// Makes `locale` the default for numbers and loads Qt's own translations for it from the
// system's Qt, in place of the ones loaded before; English needs none.
void UseQtLanguage(const QLocale& locale);

}  // namespace quarvel
