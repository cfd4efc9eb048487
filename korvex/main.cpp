// Korvex: the tweaking utility. Everything happens in the application frame and the pages.
#include "AllPages.h"
#include "MachineCheck.h"
#include "MachineChoice.h"
#include "MdlStart.h"
#include "frmStart.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/tree/imgWin")));
    UseRememberedMachine();
    SeedNewMachine();
    MdlStart::Main(AllPages());
    ReportMachineProblems(MdlStart::MainWindow());
    return QApplication::exec();
}
