// The interface texts: every caption and most messages, in English and in Russian, looked up
// by their 16-bit ID. The language follows the user's interface language: Russian on a Russian
// system, English on any other.
#pragma once

#include <QString>
#include <string>

enum class InterfaceLanguage { English, Russian };

// The language of the running user's interface (LC_ALL, LC_MESSAGES, LANG on Unix; the user's
// UI language on Windows).
InterfaceLanguage UserInterfaceLanguage();

// The text of `id` in the user's interface language. The table holds every ID the program
// asks for; an unknown ID gives an empty text.
QString LoadResString(int id);

// The text of `id` in a given language.
QString LoadResString(int id, InterfaceLanguage language);

// How many IDs the table holds in each language.
int ResStringCount(InterfaceLanguage language);

// Text as the platform functions take it: the ANSI code page, which is UTF-8 here.
std::string Ansi(const QString &text);
