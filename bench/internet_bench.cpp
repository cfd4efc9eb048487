// How long the internet pages make the user wait on large inputs: opening the tuning page on an
// lmhosts file of 100,000 lines, adding one host to it (the whole file is written back), and
// saving the browser's full list of 254 templates.
#include "MessageBoxes.h"
#include "TempMachine.h"
#include "frmInetOpti.h"
#include "frmSiteFind.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <memory>
#include <string>

namespace
{

constexpr int kHostLines = 100000;

std::string LargeHostFile()
{
    std::string text;
    for (int i = 0; i < kHostLines; ++i)
        text += "10." + std::to_string(i / 65536) + "." + std::to_string(i / 256 % 256) + "." +
                std::to_string(i % 256) + "\thost" + std::to_string(i) + "\t#PRE\r\n";
    return text;
}

void BM_OpenTuningPageOnLargeHostFile(benchmark::State &state)
{
    TempMachine machine;
    machine.WriteFile("drive_c/windows/lmhosts", LargeHostFile());
    for (auto _ : state) {
        frmInetOpti page;
        page.Load();
        benchmark::DoNotOptimize(page.findChild<QListWidget *>(QStringLiteral("lslHosts"))->count());
    }
}
BENCHMARK(BM_OpenTuningPageOnLargeHostFile)->Unit(benchmark::kMillisecond);

void BM_AddHostToLargeHostFile(benchmark::State &state)
{
    TempMachine machine;
    machine.WriteFile("drive_c/windows/lmhosts", LargeHostFile());
    frmInetOpti page;
    page.Load();
    auto *add = page.findChild<QPushButton *>(QStringLiteral("cmdadd"));
    for (auto _ : state)
        add->click();
}
BENCHMARK(BM_AddHostToLargeHostFile)->Unit(benchmark::kMillisecond);

void BM_SaveFullTemplateList(benchmark::State &state)
{
    TempMachine machine;
    for (auto _ : state) {
        state.PauseTiming();
        auto page = std::make_unique<frmSiteFind>();
        page->Load();
        auto *add = page->findChild<QPushButton *>(QStringLiteral("cmdadd"));
        auto *domain = page->findChild<QLineEdit *>(QStringLiteral("txtDomen"));
        for (int i = page->findChild<QListWidget *>(QStringLiteral("slst"))->count(); i < 254; ++i) {
            domain->setText(QStringLiteral("d%1").arg(i));
            add->click();
        }
        // Renumbered from 1 each time: the first template moves behind the others.
        page->findChild<QPushButton *>(QStringLiteral("cmdDel"))->click();
        domain->setText(QStringLiteral("moved%1").arg(state.iterations()));
        add->click();
        // Yes to "Save Changes ?" as soon as it shows, on every turn of the event loop.
        const ModalWatcher yes(
            [](QWidget *box) { qobject_cast<QMessageBox *>(box)->button(QMessageBox::Yes)->click(); }, 0);
        state.ResumeTiming();
        page->Unload();
    }
}
BENCHMARK(BM_SaveFullTemplateList)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
