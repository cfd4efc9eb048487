// Korvex: the tweaking utility. Everything happens in the application frame and the pages.
#include "MachineCheck.h"
#include "MachineChoice.h"
#include "MdlStart.h"
#include "PageMap.h"
#include "frmStart.h"
#include "journal.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    // Every change from here on goes into the machine's history.
    journal::Install();
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/tree/imgWin")));
    UseRememberedMachine();
    SeedNewMachine();
    MdlStart::Main(&CreatePage);
    ReportMachineProblems(MdlStart::MainWindow());
    return QApplication::exec();
}
