// Qt's own texts (the standard dialogs' labels and buttons) and the format of numbers in the
// program's language.
#pragma once

#include <QLocale>
#include <QString>

namespace quarvel {

// The locale of a language: the one its file gives as the translation of "en_US" (`named`, as
// "de_DE"), when it gives one; else that of the language whose own name the file's caption is
// ("Deutsch", "Français"), in any case; else English.
QLocale LocaleOfLanguage(const QString& caption, const QString& named);

// Makes `locale` the default for numbers and loads Qt's own translations for it from the
// system's Qt, in place of the ones loaded before; English needs none.
void UseQtLanguage(const QLocale& locale);

}  // namespace quarvel
