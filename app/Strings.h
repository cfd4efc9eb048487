// The interface texts: every caption and most messages, in English and in Russian, looked up
// by their 16-bit ID. The language follows the user's interface language: Russian on a Russian
// system, English on any other.
#pragma once

#include <QString>
#include <string>

class QTranslator;

enum class InterfaceLanguage { English, Russian };

// The language of the running user's interface (LC_ALL, LC_MESSAGES, LANG on Unix; the user's
// UI language on Windows).
InterfaceLanguage UserInterfaceLanguage();

// The text of `id` in the user's interface language. The table holds every ID the program
// asks for; an unknown ID gives an empty text.
QString LoadResString(int id);

// The text of `id` in a given language.
QString LoadResString(int id, InterfaceLanguage language);

// Qt's own texts (the buttons of message boxes, the file dialog) in the interface language: for
// Russian, Qt's translation "qtbase_ru" from Qt's translations folder is installed in the
// application. Returns it (the application owns it; deleting it takes it out again), or null for
// English or when it is not installed.
QTranslator *InstallQtTranslations();

// How many IDs the table holds in each language.
int ResStringCount(InterfaceLanguage language);

// Text as the platform functions take it: the ANSI code page, which is UTF-8 here.
std::string Ansi(const QString &text);
