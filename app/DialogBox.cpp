#include "DialogBox.h"

#include "machine.h"

#include <QFileDialog>
#include <QStringList>

namespace
{

// Windows' dialogs write the path into a buffer of 255 bytes, terminator included; a longer
// choice is an error there and comes back as nothing.
constexpr qsizetype kPathBufferSize = 255;

QString Run(QFileDialog::AcceptMode mode, const QString &title, const QString &filter)
{
    QFileDialog dialog(nullptr, title);
    dialog.setObjectName(QStringLiteral("DialogBox"));
    dialog.setAcceptMode(mode);
    // A name that does not exist may be typed in either dialog, and saving over a file asks
    // nothing: the callers decide what a name means.
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    // Windows shows only the descriptions, which already name their patterns.
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);
    const QString filters = DialogBox::QtFilter(filter);
    if (!filters.isEmpty())
        dialog.setNameFilter(filters);
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    const QStringList chosen = dialog.selectedFiles();
    return chosen.isEmpty() ? QString() : DialogBox::WindowsPathOfChoice(chosen.first());
}

} // namespace

QString DialogBox::OpenFile(const QString &title, const QString &filter)
{
    return Run(QFileDialog::AcceptOpen, title, filter);
}

QString DialogBox::SaveFile(const QString &, const QString &title, const QString &filter)
{
    return Run(QFileDialog::AcceptSave, title, filter);
}

QString DialogBox::QtFilter(const QString &filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (const QString &pattern : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            if (!pattern.trimmed().isEmpty())
                patterns.append(pattern.trimmed());
        }
        if (patterns.isEmpty())
            continue;
        const QString description = parts[i].trimmed();
        const QString list = QLatin1Char('(') + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
        entries.append(description.isEmpty() ? list : description + QLatin1Char(' ') + list);
    }
    return entries.join(QStringLiteral(";;"));
}

QString DialogBox::WindowsPathOfChoice(const QString &hostPath)
{
    if (hostPath.isEmpty())
        return QString();
    const std::string windowsPath = win::WindowsPathOf(hostPath.toUtf8().toStdString());
    if (windowsPath.empty() || static_cast<qsizetype>(windowsPath.size()) >= kPathBufferSize)
        return QString();
    return QString::fromStdString(windowsPath);
}
