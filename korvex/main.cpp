// Korvex: the tweaking utility. Everything happens in the application frame and the pages.
#include "AllPages.h"
#include "MachineCheck.h"
#include "MachineChoice.h"
#include "MdlStart.h"
#include "Strings.h"
#include "frmStart.h"
#include "journal.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    // Every change from here on goes into the machine's history.
    journal::Install();
    // Docks and task bars match the windows to the menu entry of this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.halvorn.korvex"));
    InstallQtTranslations();
    // The picture holds the icon drawn at 16, 32 and 48 pixels; each size picks its own.
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/tree/imgWin")));
    UseStartMachine();
    SeedNewMachine();
    MdlStart::Main(AllPages());
    ReportMachineProblems(MdlStart::MainWindow());
    return QApplication::exec();
}
