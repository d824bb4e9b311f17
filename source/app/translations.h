#pragma once

#include <QString>
#include <QTranslator>

namespace veltrin {

// The window's texts in the user's language. English is the language of the source texts: a user
// whose languages name English before any the program ships, or name none it ships, sees them as
// they are, and Qt's own buttons and dialogs stay English with them.
class Translations {
public:
    // Installs the program's translation for the first of the user's languages, in their order of
    // preference (QLocale::uiLanguages), that has one in folder, and Qt's own for that language
    // from qtFolder. Gives the language installed, or nothing: a missing or damaged file is none.
    QString Install(const QStringList& languages, const QString& folder, const QString& qtFolder);

    // Where the program's translations are: beside the executable, as its web view module is.
    static QString Folder();

private:
    QTranslator m_own;
    QTranslator m_qt;
};

} // namespace veltrin
