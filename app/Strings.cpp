#include "Strings.h"

#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#endif

namespace
{

struct StringTable {
    QHash<int, QString> english;
    QHash<int, QString> russian;
};

// The table ships as a resource of the program; it is read once, on first use.
const StringTable &Table()
{
    static const StringTable table = [] {
        StringTable t;
        QFile file(QStringLiteral(":/resources/strings.json"));
        if (!file.open(QIODevice::ReadOnly))
            return t;
        const QJsonArray entries = QJsonDocument::fromJson(file.readAll()).object().value("strings").toArray();
        for (const QJsonValue &entry : entries) {
            const QJsonObject item = entry.toObject();
            const int id = item.value("id").toInt();
            t.english.insert(id, item.value("en").toString());
            t.russian.insert(id, item.value("ru").toString());
        }
        return t;
    }();
    return table;
}

const QHash<int, QString> &TextsOf(InterfaceLanguage language)
{
    return language == InterfaceLanguage::Russian ? Table().russian : Table().english;
}

} // namespace

InterfaceLanguage UserInterfaceLanguage()
{
#ifdef _WIN32
    return PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_RUSSIAN ? InterfaceLanguage::Russian
                                                                     : InterfaceLanguage::English;
#else
    // The first of these that is set and not empty names the messages' locale, as in POSIX.
    for (const char *variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char *value = std::getenv(variable);
        if (value && *value)
            return QByteArray(value).startsWith("ru") ? InterfaceLanguage::Russian : InterfaceLanguage::English;
    }
    return InterfaceLanguage::English;
#endif
}

QString LoadResString(int id)
{
    return LoadResString(id, UserInterfaceLanguage());
}

QString LoadResString(int id, InterfaceLanguage language)
{
    return TextsOf(language).value(id);
}

int ResStringCount(InterfaceLanguage language)
{
    return static_cast<int>(TextsOf(language).size());
}

QTranslator *InstallQtTranslations()
{
    if (UserInterfaceLanguage() != InterfaceLanguage::Russian)
        return nullptr;
    auto *translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(QLocale(QLocale::Russian), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)) ||
        !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return nullptr;
    }
    return translator;
}

std::string Ansi(const QString &text)
{
    return text.toUtf8().toStdString();
}
