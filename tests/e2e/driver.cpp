// Drives the real korvex program from a script, as a user would, for the end-to-end tests.
//
// Loaded into korvex with LD_PRELOAD; it does nothing unless KORVEX_E2E_SCRIPT names a script.
// Once the main window is up, it runs the script's steps one by one on the live widgets, then
// closes the main window (so the current page unloads and asks its question) and ends the
// program with 0 when every step held, else 1. Each step and each failure is written to the file
// that KORVEX_E2E_LOG names.
//
// A script has one step per line; blank lines and lines starting with '#' are skipped. NAME is
// a control's objectName on the current page, TEXT the rest of the line, in which "\t" stands
// for a tab and "\\" for a backslash. An answer is queued before the step that brings its message
// box up; a box that nothing answers fails the run and is closed.
//
//   open KEY PAGE            click the tree node with key KEY; PAGE (an objectName) is then shown
//   page PAGE                PAGE is the page shown now
//   answer BUTTON [TEXT]     answers the next message box by clicking the button with that
//                            caption; with TEXT, the box must show exactly that text
//   expect NAME PROPERTY TEXT  the control's Qt property as text, e.g. checked true, enabled
//                            false, text (of a text box, label or button), plainText, currentText
//                            or count (of a combo box)
//   tick NAME                click a check box or option button that is not ticked
//   click NAME               click a button
//   type NAME TEXT           replace the text of a text box, as typed
//   select NAME TEXT         pick the row with that text in a combo box
//   choose PATH              answers the next file dialog by choosing PATH (a host path) in it
//                            (queued like an answer)
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTimer>
#include <QTreeWidget>
#include <deque>
#include <utility>

namespace
{

constexpr int kPollMs = 10;
constexpr int kStepPauseMs = 20;
constexpr auto kScriptVariable = "KORVEX_E2E_SCRIPT";
constexpr auto kLogVariable = "KORVEX_E2E_LOG";

// One line of the script and its words.
struct Step {
    QString line;
    QStringList words;
    // The rest of the line after the first `count` words, escapes resolved.
    QString TextAfter(int count) const
    {
        const QString rest = line.section(QLatin1Char(' '), count, -1, QString::SectionSkipEmpty);
        QString text;
        for (qsizetype i = 0; i < rest.size(); ++i) {
            if (rest[i] == QLatin1Char('\\') && i + 1 < rest.size())
                text += rest[++i] == QLatin1Char('t') ? QChar(QLatin1Char('\t')) : rest[i];
            else
                text += rest[i];
        }
        return text;
    }
};

QWidget *FindAnywhere(const QString &name)
{
    for (QWidget *top : QApplication::topLevelWidgets()) {
        if (top->objectName() == name)
            return top;
        if (auto *found = top->findChild<QWidget *>(name))
            return found;
    }
    return nullptr;
}

class Driver : public QObject
{
public:
    Driver(QStringList lines, const QString &logPath) : QObject(qApp), lines_(std::move(lines)), log_(logPath)
    {
        log_.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text);
        QGuiApplication::setQuitOnLastWindowClosed(false);
        auto *boxTimer = new QTimer(this);
        connect(boxTimer, &QTimer::timeout, this, &Driver::AnswerModal);
        boxTimer->start(kPollMs);
        WaitForMainWindow();
    }

private:
    // A queued answer: a button's caption for a message box (and the text it must show), or a
    // path for a file dialog.
    struct Answer {
        QString choice;
        QString text;
        QString step;
    };

    void Log(const QString &line)
    {
        log_.write((line + QLatin1Char('\n')).toUtf8());
        log_.flush();
    }
    void Fail(const QString &why)
    {
        ++failures_;
        Log(QStringLiteral("FAIL  ") + why);
    }

    void WaitForMainWindow()
    {
        QWidget *main = FindAnywhere(QStringLiteral("frmStart"));
        if (main && main->isVisible() && !QApplication::activeModalWidget())
            QTimer::singleShot(kStepPauseMs, this, &Driver::RunNext);
        else
            QTimer::singleShot(kPollMs, this, &Driver::WaitForMainWindow);
    }

    void RunNext()
    {
        while (next_ < lines_.size()) {
            const QString line = lines_[next_++].trimmed();
            if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
                continue;
            Log(QStringLiteral("step  ") + line);
            Run({line, line.split(QLatin1Char(' '), Qt::SkipEmptyParts)});
            QTimer::singleShot(kStepPauseMs, this, &Driver::RunNext);
            return;
        }
        CloseMain();
        for (const auto *queue : {&answers_, &choices_})
            for (const Answer &answer : *queue)
                Fail(QStringLiteral("no box or dialog came for: ") + answer.step);
        Log(QStringLiteral("done  %1 failure(s)").arg(failures_));
        log_.close();
        QCoreApplication::exit(failures_ == 0 ? 0 : 1);
    }

    // The current page unloads (and may ask its question) while the window closes.
    void CloseMain()
    {
        if (QWidget *main = FindAnywhere(QStringLiteral("frmStart"))) {
            main->close();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
    }

    QWidget *Page() const { return pageName_.isEmpty() ? nullptr : FindAnywhere(pageName_); }

    // The step's control; with `usable`, also shown and enabled, as the user needs it.
    QWidget *Control(const Step &step, bool usable = true)
    {
        QWidget *page = Page();
        QWidget *control = page ? page->findChild<QWidget *>(step.words.value(1)) : nullptr;
        if (!control)
            Fail(step.line + QStringLiteral(": the page ") + pageName_ + QStringLiteral(" has no such control"));
        else if (usable && (!control->isEnabled() || !control->isVisibleTo(page)))
            Fail(step.line + QStringLiteral(": the control is disabled or hidden"));
        else
            return control;
        return nullptr;
    }

    void Run(const Step &step)
    {
        const QString verb = step.words[0];
        if (verb == QLatin1String("open"))
            Open(step);
        else if (verb == QLatin1String("page"))
            ExpectPage(step, step.words.value(1));
        else if (verb == QLatin1String("answer"))
            answers_.push_back({step.words.value(1), step.TextAfter(2), step.line});
        else if (verb == QLatin1String("choose"))
            choices_.push_back({step.TextAfter(1), {}, step.line});
        else if (verb == QLatin1String("expect"))
            Expect(step);
        else if (verb == QLatin1String("tick"))
            Tick(step);
        else if (verb == QLatin1String("click"))
            Click(step);
        else if (verb == QLatin1String("type"))
            Type(step);
        else if (verb == QLatin1String("select"))
            Select(step);
        else if (verb == QLatin1String("title"))
            ExpectTitle(step);
        else
            Fail(step.line + QStringLiteral(": unknown step"));
    }

    void Compare(const Step &step, const QString &actual, const QString &expected)
    {
        if (actual != expected)
            Fail(step.line + QStringLiteral(": found \"") + actual + QStringLiteral("\", expected \"") + expected +
                 QStringLiteral("\""));
    }

    void Open(const Step &step)
    {
        auto *tree = qobject_cast<QTreeWidget *>(FindAnywhere(QStringLiteral("TR")));
        if (!tree)
            return Fail(step.line + QStringLiteral(": no tree TR"));
        for (QTreeWidgetItemIterator it(tree); *it; ++it) {
            if ((*it)->data(0, Qt::UserRole).toString() != step.words.value(1))
                continue;
            tree->setCurrentItem(*it);
            emit tree->itemClicked(*it, 0);
            ExpectPage(step, step.words.value(2));
            return;
        }
        Fail(step.line + QStringLiteral(": the tree has no node with that key"));
    }

    void ExpectPage(const Step &step, const QString &name)
    {
        pageName_ = name;
        if (QWidget *page = Page(); !page || !page->isVisible())
            Fail(step.line + QStringLiteral(": the page ") + name + QStringLiteral(" is not shown"));
    }

    void Expect(const Step &step)
    {
        QWidget *control = Control(step, false);
        if (!control)
            return;
        if (const QVariant value = control->property(step.words.value(2).toLatin1().constData()); value.isValid()) {
            Compare(step, value.toString(), step.TextAfter(3));
        } else {
            Fail(step.line + QStringLiteral(": the control has no such property"));
        }
    }

    // The main window's title as the window manager shows it ends with the text.
    void ExpectTitle(const Step &step)
    {
        const QWidget *main = FindAnywhere(QStringLiteral("frmStart"));
        QString shown = main ? main->windowTitle() : QString();
        shown.replace(QStringLiteral("[*]"), main && main->isWindowModified() ? QStringLiteral("*") : QString());
        if (!shown.endsWith(step.TextAfter(1)))
            Fail(step.line + QStringLiteral(": the title is \"") + shown + QStringLiteral("\""));
    }

    void Tick(const Step &step)
    {
        auto *box = qobject_cast<QAbstractButton *>(Control(step));
        if (box && box->isChecked())
            Fail(step.line + QStringLiteral(": the box is ticked already"));
        else if (box)
            box->click();
    }

    void Click(const Step &step)
    {
        if (auto *button = qobject_cast<QAbstractButton *>(Control(step)))
            button->click();
    }

    void Type(const Step &step)
    {
        QWidget *control = Control(step);
        const QString text = step.TextAfter(2);
        if (auto *edit = qobject_cast<QLineEdit *>(control)) {
            edit->setFocus();
            edit->selectAll();
            edit->insert(text);
        } else if (auto *plain = qobject_cast<QPlainTextEdit *>(control)) {
            plain->setFocus();
            plain->selectAll();
            plain->insertPlainText(text);
        } else if (control) {
            Fail(step.line + QStringLiteral(": not a text box"));
        }
    }

    void Select(const Step &step)
    {
        QWidget *control = Control(step);
        const QString text = step.TextAfter(2);
        auto *combo = qobject_cast<QComboBox *>(control);
        if (const int index = combo ? combo->findText(text, Qt::MatchExactly) : -1; index >= 0) {
            combo->setCurrentIndex(index);
            emit combo->activated(index);
            emit combo->textActivated(text);
        } else if (control) {
            Fail(step.line + QStringLiteral(": no such row in a combo box"));
        }
    }

    // Runs from a timer, also inside the event loop of a box or dialog that a step opened.
    void AnswerModal()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() || modal == lastModal_)
            return;
        lastModal_ = modal;
        auto *box = qobject_cast<QMessageBox *>(modal);
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        Log(QStringLiteral("modal [") + modal->windowTitle() + QStringLiteral("] ") + (box ? box->text() : QString()));
        std::deque<Answer> &queue = box ? answers_ : choices_;
        if ((!box && !dialog) || queue.empty()) {
            Fail(QStringLiteral("a box or dialog that the script did not expect: ") + modal->windowTitle());
            return Dismiss(modal);
        }
        const Answer answer = queue.front();
        queue.pop_front();
        if (dialog)
            return ChooseFile(dialog, answer);
        if (!answer.text.isEmpty() && box->text() != answer.text)
            Fail(answer.step + QStringLiteral(": the box says \"") + box->text() + QStringLiteral("\""));
        for (QAbstractButton *button : box->buttons()) {
            if (button->text().remove(QLatin1Char('&')).compare(answer.choice, Qt::CaseInsensitive) == 0) {
                button->click();
                return;
            }
        }
        Fail(answer.step + QStringLiteral(": the box has no such button"));
        Dismiss(modal);
    }

    // Types the path into the dialog's name field and accepts it, as its Open or Save button does.
    // (QFileDialog::selectFile would leave the field alone while it has the focus.) A dialog that
    // stays open found no such file: the run fails instead of waiting for a user.
    void ChooseFile(QFileDialog *dialog, const Answer &answer)
    {
        auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        if (!name) {
            Fail(answer.step + QStringLiteral(": the file dialog has no name field"));
            return Dismiss(dialog);
        }
        name->setText(answer.choice);
        static_cast<QDialog *>(dialog)->accept();
        if (dialog->isVisible()) {
            Fail(answer.step + QStringLiteral(": the file dialog stayed open"));
            Dismiss(dialog);
        }
    }

    static void Dismiss(QWidget *modal)
    {
        if (auto *dialog = qobject_cast<QDialog *>(modal))
            dialog->reject();
    }

    QStringList lines_;
    qsizetype next_ = 0;
    QFile log_;
    QString pageName_;
    std::deque<Answer> answers_;
    std::deque<Answer> choices_;
    QPointer<QWidget> lastModal_;
    int failures_ = 0;
};

void StartDriver()
{
    const QString scriptPath = qEnvironmentVariable(kScriptVariable);
    if (scriptPath.isEmpty())
        return;
    const QString logPath = qEnvironmentVariable(kLogVariable);
    // Whatever the program starts must not run the script again.
    qunsetenv(kScriptVariable);
    qunsetenv("LD_PRELOAD");
    QFile script(scriptPath);
    if (!script.open(QIODevice::ReadOnly | QIODevice::Text))
        qFatal("korvex e2e driver: cannot read %s", qPrintable(scriptPath));
    const QStringList lines = QString::fromUtf8(script.readAll()).split(QLatin1Char('\n'));
    // The application is still being built; the driver starts with its event loop.
    QTimer::singleShot(0, [lines, logPath] { new Driver(lines, logPath); });
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(StartDriver)
