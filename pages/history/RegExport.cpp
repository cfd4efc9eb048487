#include "RegExport.h"

#include "win32.h"

#include <QString>
#include <QtEndian>
#include <algorithm>
#include <array>

namespace
{

using journal::Kind;
using journal::Record;
using journal::State;

// The upper halves of the two code pages (0x80..0xFF), as Windows defines them; 0 is unused.
constexpr std::array<char16_t, 64> kCp1251From80{
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039, 0x040A,
    0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x0000, 0x2122,
    0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6,
    0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456,
    0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457};
// 0xC0..0xFF of 1251 are U+0410..U+044F in order.
constexpr char16_t kCp1251CyrillicStart = 0x0410;

constexpr std::array<char16_t, 32> kCp1252From80{0x20AC, 0x0000, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                                 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x0000, 0x017D, 0x0000,
                                                 0x0000, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                                 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x0000, 0x017E, 0x0178};
// 0xA0..0xFF of 1252 are U+00A0..U+00FF.

char AnsiByte(char16_t c, AnsiCodePage codePage)
{
    if (c < 0x80)
        return static_cast<char>(c);
    if (codePage == AnsiCodePage::Cyrillic1251) {
        if (c >= kCp1251CyrillicStart && c < kCp1251CyrillicStart + 64)
            return static_cast<char>(0xC0 + (c - kCp1251CyrillicStart));
        for (std::size_t i = 0; i < kCp1251From80.size(); ++i)
            if (kCp1251From80[i] == c)
                return static_cast<char>(0x80 + i);
        return '?';
    }
    if (c >= 0xA0 && c <= 0xFF)
        return static_cast<char>(c);
    for (std::size_t i = 0; i < kCp1252From80.size(); ++i)
        if (kCp1252From80[i] == c)
            return static_cast<char>(0x80 + i);
    return '?';
}

// The data of a string type as stored on Windows 9x: the ANSI bytes with their terminators. A
// character the code page lacks becomes "?".
QByteArray AnsiData(const std::string &utf8, AnsiCodePage codePage)
{
    const QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    QByteArray out;
    out.reserve(text.size());
    for (const QChar c : text)
        out += AnsiByte(c.unicode(), codePage);
    return out;
}

QByteArray Quoted(const QByteArray &text)
{
    QByteArray out = "\"";
    for (const char c : text) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    return out + '"';
}

// "hex:" or "hex(2):" and the bytes, continued over lines as regedit writes them.
QByteArray HexForm(const QByteArray &prefix, const QByteArray &bytes, qsizetype column)
{
    QByteArray out = prefix;
    column += prefix.size();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        out += QByteArray::number(static_cast<unsigned char>(bytes[i]), 16).rightJustified(2, '0');
        column += 2;
        if (i + 1 < bytes.size()) {
            out += ',';
            ++column;
            if (column > 76) {
                out += "\\\r\n  ";
                column = 2;
            }
        }
    }
    return out;
}

// A .reg file has no way to carry a line break in a name: the line would end there, and what
// follows it would be read as lines of its own (a key to delete, say).
bool HoldsLineBreak(const std::string &text)
{
    return text.find_first_of("\r\n") != std::string::npos;
}

// A change whose key or value name the file can carry.
bool Exportable(const Record &r)
{
    return !HoldsLineBreak(r.target) && (r.kind != Kind::Value || !HoldsLineBreak(r.name));
}

// Text for a comment line, whose line breaks are shown as \r and \n.
QByteArray OneLine(const QByteArray &text)
{
    QByteArray out;
    for (const char c : text)
        out += c == '\r' ? QByteArray("\\r") : c == '\n' ? QByteArray("\\n") : QByteArray(1, c);
    return out;
}

// A string the quoted form cannot carry whole: a line break would end the line, and the other
// control characters (a NUL inside, say) would not be read back as they are.
bool NeedsHexForm(const QByteArray &text)
{
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x20 && c != '\t'; });
}

QByteArray ValueLine(const std::string &name, const State &after, AnsiCodePage codePage)
{
    QByteArray line = name.empty() ? QByteArray("@") : Quoted(AnsiData(name, codePage));
    line += '=';
    if (!after.exists)
        return line + '-';
    const QByteArray raw(after.data.data(), static_cast<qsizetype>(after.data.size()));
    switch (after.type) {
    case REG_SZ: {
        QByteArray text = AnsiData(after.data, codePage);
        while (text.endsWith('\0'))
            text.chop(1);
        // The registry editor imports hex(1) as REG_SZ: the ANSI bytes and the ending zero.
        if (NeedsHexForm(text))
            return line + HexForm("hex(1):", text + '\0', line.size());
        return line + Quoted(text);
    }
    case REG_DWORD:
        if (raw.size() == 4)
            return line + "dword:" +
                   QByteArray::number(qFromLittleEndian<quint32>(raw.constData()), 16).rightJustified(8, '0');
        break;
    case REG_EXPAND_SZ: return line + HexForm("hex(2):", AnsiData(after.data, codePage), line.size());
    case REG_MULTI_SZ: return line + HexForm("hex(7):", AnsiData(after.data, codePage), line.size());
    case REG_BINARY: return line + HexForm("hex:", raw, line.size());
    default: break;
    }
    return line + HexForm("hex(" + QByteArray::number(after.type, 16) + "):", raw, line.size());
}

// What a .reg file cannot carry, for its comment lines.
QByteArray Comment(const Record &r, AnsiCodePage codePage)
{
    const QByteArray target = AnsiData(r.target, codePage);
    switch (r.kind) {
    case Kind::Profile: {
        const std::size_t split = r.name.find('\0');
        const QByteArray entry = AnsiData(r.name.substr(0, split), codePage);
        const QByteArray key = AnsiData(r.name.substr(split + 1), codePage);
        return "; profile " + target + " [" + entry + "] " + key + "=" +
               (r.after.exists ? AnsiData(r.after.data, codePage) : QByteArray("(deleted)"));
    }
    case Kind::File:
        return "; file " + target +
               (r.after.exists ? " written, " + QByteArray::number(qulonglong(r.after.data.size())) + " bytes"
                               : QByteArray(" deleted"));
    case Kind::Attributes:
        return "; attributes of " + target + " set to " + QByteArray::number(r.after.type, 16).rightJustified(2, '0');
    case Kind::Drive:
        return "; drive " + target +
               (r.after.exists ? " made for " + AnsiData(r.after.data, codePage) : QByteArray(" removed"));
    default: return {};
    }
}

// The key as the 32-bit registry editor of a 64-bit prefix names it: the classes of the 32-bit
// view are its own HKEY_CLASSES_ROOT, and that editor would put a named Wow6432Node below it.
std::string ExportedKeyName(const std::string &key)
{
    constexpr auto kClassesOf32BitView = "HKEY_CLASSES_ROOT\\Wow6432Node\\";
    const QLatin1String classes(kClassesOf32BitView);
    if (QString::fromStdString(key).startsWith(classes, Qt::CaseInsensitive))
        return "HKEY_CLASSES_ROOT\\" + key.substr(static_cast<std::size_t>(classes.size()));
    return key;
}

QByteArray KeyLine(const std::string &key, AnsiCodePage codePage, bool deleted)
{
    return (deleted ? "[-" : "[") + AnsiData(ExportedKeyName(key), codePage) + "]\r\n";
}

} // namespace

QByteArray RegExportBytes(const std::vector<Record> &changes, AnsiCodePage codePage)
{
    QByteArray out = "REGEDIT4\r\n";
    for (const Record &r : changes) {
        if (const QByteArray comment = Comment(r, codePage); !comment.isEmpty())
            out += OneLine(comment) + "\r\n";
        else if (!Exportable(r))
            out += "; left out, a name holds a line break: " + OneLine(AnsiData(r.target, codePage)) +
                   (r.kind == Kind::Value ? " " + OneLine(Quoted(AnsiData(r.name, codePage))) : QByteArray()) + "\r\n";
    }
    out += "\r\n";
    for (const Record &r : changes) {
        if (!Exportable(r))
            continue;
        switch (r.kind) {
        case Kind::Value:
            out += KeyLine(r.target, codePage, false) + ValueLine(r.name, r.after, codePage) + "\r\n";
            break;
        case Kind::KeyCreated: out += KeyLine(r.target, codePage, false); break;
        case Kind::KeyDeleted: out += KeyLine(r.target, codePage, true); break;
        default: continue;
        }
        out += "\r\n";
    }
    return out;
}
