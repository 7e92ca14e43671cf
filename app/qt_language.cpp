#include "qt_language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QPointer>
#include <QTranslator>

namespace quarvel {

QLocale LocaleOfLanguage(const QString& caption, const QString& named) {
  if (const QLocale locale(named); named != "en_US" && locale.language() != QLocale::C)
    return locale;
  const QList<QLocale> all =
      QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory);
  for (const QLocale& locale : all) {
    if (locale.language() != QLocale::C &&
        locale.nativeLanguageName().compare(caption, Qt::CaseInsensitive) == 0)
      return QLocale(locale.language());  // the language's main country
  }
  return QLocale(QLocale::English, QLocale::UnitedStates);
}

void UseQtLanguage(const QLocale& locale) {
  // Owned by the application, so that it goes with it.
  static QPointer<QTranslator> loaded;
  QLocale::setDefault(locale);
  if (loaded) {
    QCoreApplication::removeTranslator(loaded);
    delete loaded;
  }
  if (locale.language() == QLocale::English) return;
  auto* translator = new QTranslator(QCoreApplication::instance());
  if (translator->load(locale, "qtbase", "_", QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QCoreApplication::installTranslator(translator);
  loaded = translator;
}

}  // namespace quarvel
