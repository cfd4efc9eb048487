// Drives the real korvex program from a script, as a user would, for the end-to-end tests.
//
// Loaded into korvex with LD_PRELOAD; it does nothing unless KORVEX_E2E_SCRIPT names a script.
// Once the main window is up, it runs the script's steps one by one on the live widgets, then
// closes the main window (so the current page unloads and asks its question) and ends the
// program with 0 when every step held, else 1. Each step and each failure is written to the file
// that KORVEX_E2E_LOG names.
//
// A script has one step per line; blank lines and lines starting with '#' are skipped. NAME is
// a control's objectName on the current page, TEXT the rest of the line, in which "\n" stands
// for a line break, "\t" for a tab, "\s" for a blank (for leading or trailing ones) and "\\" for
// a backslash. An answer is queued before the step that brings its message box up; a box that
// nothing answers fails the run and is closed.
//
//   open KEY PAGE            click the tree node with key KEY; PAGE (an objectName) is then shown
//   page PAGE                PAGE is the page shown now
//   answer BUTTON [TEXT]     answers the next message box with Yes, No, Ok or Cancel by clicking
//                            that button; with TEXT, the box must show exactly that text
//   boxes N                  N message boxes have been shown so far
//   expect NAME checked|enabled|visible yes|no
//   expect NAME text TEXT    a text box's text, a button's or label's caption, a combo box's
//                            current text, a list box's current row
//   expect NAME count N      the rows of a list box or combo box
//   expect NAME row N TEXT   the text of row N (from 0) of a list box or combo box
//   tick NAME, untick NAME   click a check box or option button that is in the other state
//   click NAME               click a button
//   type NAME TEXT           replace the text of a text box or editable combo box, as typed
//   select NAME TEXT         click the row with that text in a list box, or pick it in a combo box
//   double-click NAME TEXT   double-click the row with that text in a list box
//   choose [PATH]            answers the next file dialog by choosing PATH (a host path) in it;
//                            without PATH, by cancelling it (queued like an answer)
//   wait MS                  lets MS milliseconds pass, for a page that stays busy a while
//   close                    close the main window (done after the last step when still open)
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTextEdit>
#include <QTimer>
#include <QTreeWidget>
#include <deque>
#include <optional>
#include <utility>

namespace
{

constexpr int kPollMs = 10;
constexpr int kStepPauseMs = 20;
constexpr auto kScriptVariable = "KORVEX_E2E_SCRIPT";
constexpr auto kLogVariable = "KORVEX_E2E_LOG";

QString Unescape(const QString &text)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != QLatin1Char('\\') || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const QChar next = text[++i];
        out += next == QLatin1Char('n')   ? QStringLiteral("\n")
               : next == QLatin1Char('t') ? QStringLiteral("\t")
               : next == QLatin1Char('s') ? QStringLiteral(" ")
                                          : QString(next);
    }
    return out;
}

// One line of the script and its words.
struct Step {
    QString line;
    QStringList words;
    // The rest of the line after the first `count` words, escapes resolved.
    QString TextAfter(int count) const
    {
        QString rest = line.trimmed();
        for (int i = 0; i < count; ++i)
            rest = rest.mid(rest.indexOf(QLatin1Char(' '))).trimmed();
        return words.size() > count ? Unescape(rest) : QString();
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

std::optional<QMessageBox::StandardButton> ButtonNamed(const QString &name)
{
    const QString lower = name.toLower();
    if (lower == QLatin1String("yes"))
        return QMessageBox::Yes;
    if (lower == QLatin1String("no"))
        return QMessageBox::No;
    if (lower == QLatin1String("ok"))
        return QMessageBox::Ok;
    if (lower == QLatin1String("cancel"))
        return QMessageBox::Cancel;
    return std::nullopt;
}

QString TextOf(QWidget *w)
{
    if (auto *edit = qobject_cast<QLineEdit *>(w))
        return edit->text();
    if (auto *plain = qobject_cast<QPlainTextEdit *>(w))
        return plain->toPlainText();
    if (auto *rich = qobject_cast<QTextEdit *>(w))
        return rich->toPlainText();
    if (auto *button = qobject_cast<QAbstractButton *>(w))
        return button->text();
    if (auto *label = qobject_cast<QLabel *>(w))
        return label->text();
    if (auto *group = qobject_cast<QGroupBox *>(w))
        return group->title();
    if (auto *combo = qobject_cast<QComboBox *>(w))
        return combo->currentText();
    if (auto *list = qobject_cast<QListWidget *>(w))
        return list->currentItem() ? list->currentItem()->text() : QString();
    return QStringLiteral("<no text>");
}

QStringList RowsOf(QWidget *w)
{
    QStringList rows;
    if (auto *combo = qobject_cast<QComboBox *>(w))
        for (int i = 0; i < combo->count(); ++i)
            rows << combo->itemText(i);
    if (auto *list = qobject_cast<QListWidget *>(w))
        for (int i = 0; i < list->count(); ++i)
            rows << list->item(i)->text();
    return rows;
}

// A mouse event on a list's row, as the window system delivers it.
void SendMouse(QListWidget *list, QListWidgetItem *item, QEvent::Type type)
{
    const QPointF at = list->visualItemRect(item).center();
    QMouseEvent event(type, at, list->viewport()->mapToGlobal(at), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &event);
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
    struct Answer {
        QMessageBox::StandardButton button;
        QString text;
        QString step;
    };
    struct Choice {
        QString path; // empty: cancel
        QString step;
    };

    void Log(const QString &line)
    {
        log_.write((line + QLatin1Char('\n')).toUtf8());
        log_.flush();
    }
    bool Fail(const QString &why)
    {
        ++failures_;
        Log(QStringLiteral("FAIL  ") + why);
        return false;
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
            const Step step{line, line.split(QLatin1Char(' '), Qt::SkipEmptyParts)};
            Log(QStringLiteral("step  ") + line);
            Run(step);
            QTimer::singleShot(kStepPauseMs + std::exchange(extraPauseMs_, 0), this, &Driver::RunNext);
            return;
        }
        Finish();
    }

    void Finish()
    {
        CloseMain();
        for (const Answer &answer : answers_)
            Fail(QStringLiteral("no message box came for: ") + answer.step);
        for (const Choice &choice : choices_)
            Fail(QStringLiteral("no file dialog came for: ") + choice.step);
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

    QWidget *Control(const Step &step)
    {
        QWidget *page = Page();
        if (!page) {
            Fail(step.line + QStringLiteral(": the page ") + pageName_ + QStringLiteral(" is not shown"));
            return nullptr;
        }
        auto *control = page->findChild<QWidget *>(step.words.value(1));
        if (!control)
            Fail(step.line + QStringLiteral(": ") + pageName_ + QStringLiteral(" has no such control"));
        return control;
    }

    // A control the user can work with: present, shown and enabled.
    QWidget *UsableControl(const Step &step)
    {
        QWidget *control = Control(step);
        if (control && (!control->isEnabled() || !control->isVisibleTo(Page()))) {
            Fail(step.line + QStringLiteral(": the control is disabled or hidden"));
            return nullptr;
        }
        return control;
    }

    void Run(const Step &step)
    {
        const QString verb = step.words[0];
        if (verb == QLatin1String("open"))
            Open(step);
        else if (verb == QLatin1String("page"))
            ExpectPage(step, step.words.value(1));
        else if (verb == QLatin1String("answer"))
            QueueAnswer(step);
        else if (verb == QLatin1String("boxes"))
            Compare(step, QString::number(boxesSeen_), step.words.value(1));
        else if (verb == QLatin1String("expect"))
            Expect(step);
        else if (verb == QLatin1String("tick") || verb == QLatin1String("untick"))
            Tick(step, verb == QLatin1String("tick"));
        else if (verb == QLatin1String("click"))
            Click(step);
        else if (verb == QLatin1String("type"))
            Type(step);
        else if (verb == QLatin1String("select") || verb == QLatin1String("double-click"))
            Select(step, verb == QLatin1String("double-click"));
        else if (verb == QLatin1String("choose"))
            choices_.push_back({step.TextAfter(1), step.line});
        else if (verb == QLatin1String("wait"))
            extraPauseMs_ = step.words.value(1).toInt();
        else if (verb == QLatin1String("close"))
            CloseMain();
        else
            Fail(step.line + QStringLiteral(": unknown step"));
    }

    bool Compare(const Step &step, const QString &actual, const QString &expected)
    {
        return actual == expected || Fail(step.line + QStringLiteral(": found \"") + actual +
                                          QStringLiteral("\", expected \"") + expected + QStringLiteral("\""));
    }

    void Open(const Step &step)
    {
        auto *tree = qobject_cast<QTreeWidget *>(FindAnywhere(QStringLiteral("TR")));
        if (!tree) {
            Fail(step.line + QStringLiteral(": no tree TR"));
            return;
        }
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
        QWidget *page = Page();
        if (!page || !page->isVisible())
            Fail(step.line + QStringLiteral(": the page ") + name + QStringLiteral(" is not shown"));
    }

    void Expect(const Step &step)
    {
        QWidget *control = Control(step);
        if (!control)
            return;
        const QString what = step.words.value(2);
        const auto yesNo = [](bool value) { return value ? QStringLiteral("yes") : QStringLiteral("no"); };
        if (what == QLatin1String("checked")) {
            const auto *button = qobject_cast<QAbstractButton *>(control);
            Compare(step, button ? yesNo(button->isChecked()) : QStringLiteral("<not a box>"), step.words.value(3));
        } else if (what == QLatin1String("enabled")) {
            Compare(step, yesNo(control->isEnabled()), step.words.value(3));
        } else if (what == QLatin1String("visible")) {
            Compare(step, yesNo(control->isVisibleTo(Page())), step.words.value(3));
        } else if (what == QLatin1String("text")) {
            Compare(step, TextOf(control), step.TextAfter(3));
        } else if (what == QLatin1String("count")) {
            Compare(step, QString::number(RowsOf(control).size()), step.words.value(3));
        } else if (what == QLatin1String("row")) {
            Compare(step, RowsOf(control).value(step.words.value(3).toInt(), QStringLiteral("<no such row>")),
                    step.TextAfter(4));
        } else {
            Fail(step.line + QStringLiteral(": unknown expectation"));
        }
    }

    void Tick(const Step &step, bool ticked)
    {
        auto *box = qobject_cast<QAbstractButton *>(UsableControl(step));
        if (!box)
            return;
        if (box->isChecked() == ticked)
            Fail(step.line + QStringLiteral(": the box is that way already"));
        else
            box->click();
    }

    void Click(const Step &step)
    {
        if (auto *button = qobject_cast<QAbstractButton *>(UsableControl(step)))
            button->click();
    }

    void Type(const Step &step)
    {
        QWidget *control = UsableControl(step);
        if (auto *combo = qobject_cast<QComboBox *>(control); combo && combo->lineEdit())
            control = combo->lineEdit();
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

    void Select(const Step &step, bool twice)
    {
        QWidget *control = UsableControl(step);
        const QString text = step.TextAfter(2);
        if (auto *combo = qobject_cast<QComboBox *>(control); combo && !twice) {
            const int index = combo->findText(text, Qt::MatchExactly);
            if (index < 0) {
                Fail(step.line + QStringLiteral(": no such entry"));
                return;
            }
            combo->setCurrentIndex(index);
            emit combo->activated(index);
            emit combo->textActivated(text);
        } else if (auto *list = qobject_cast<QListWidget *>(control)) {
            const QList<QListWidgetItem *> rows = list->findItems(text, Qt::MatchExactly);
            if (rows.isEmpty()) {
                Fail(step.line + QStringLiteral(": no such row"));
                return;
            }
            list->scrollToItem(rows.first());
            SendMouse(list, rows.first(), QEvent::MouseButtonPress);
            SendMouse(list, rows.first(), QEvent::MouseButtonRelease);
            if (twice) {
                SendMouse(list, rows.first(), QEvent::MouseButtonDblClick);
                SendMouse(list, rows.first(), QEvent::MouseButtonRelease);
            }
        } else if (control) {
            Fail(step.line + QStringLiteral(": not a list box") +
                 (twice ? QString() : QStringLiteral(" or combo box")));
        }
    }

    void QueueAnswer(const Step &step)
    {
        const std::optional<QMessageBox::StandardButton> button = ButtonNamed(step.words.value(1));
        if (!button)
            Fail(step.line + QStringLiteral(": answer with Yes, No, Ok or Cancel"));
        else
            answers_.push_back({*button, step.TextAfter(2), step.line});
    }

    // Runs from a timer, also inside the event loop of a box or dialog that a step opened.
    void AnswerModal()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() || modal == lastModal_)
            return;
        lastModal_ = modal;
        if (auto *dialog = qobject_cast<QFileDialog *>(modal))
            AnswerFileDialog(dialog);
        else if (auto *box = qobject_cast<QMessageBox *>(modal))
            AnswerBox(box);
    }

    // Types the queued path into the dialog's file name and presses its Open (or Save) button.
    void AnswerFileDialog(QFileDialog *dialog)
    {
        Log(QStringLiteral("file  [") + dialog->windowTitle() + QStringLiteral("]"));
        if (choices_.empty()) {
            Fail(QStringLiteral("a file dialog that the script did not expect: ") + dialog->windowTitle());
            dialog->reject();
            return;
        }
        const Choice choice = choices_.front();
        choices_.pop_front();
        if (choice.path.isEmpty()) {
            dialog->reject();
            return;
        }
        dialog->selectFile(choice.path);
        auto *buttons = dialog->findChild<QDialogButtonBox *>();
        QAbstractButton *accept = nullptr;
        if (buttons)
            accept = buttons->button(dialog->acceptMode() == QFileDialog::AcceptOpen ? QDialogButtonBox::Open
                                                                                     : QDialogButtonBox::Save);
        if (accept) {
            accept->click();
            return;
        }
        Fail(choice.step + QStringLiteral(": the file dialog has no button to accept with"));
        dialog->reject();
    }

    void AnswerBox(QMessageBox *box)
    {
        ++boxesSeen_;
        Log(QStringLiteral("box   [") + box->windowTitle() + QStringLiteral("] ") + box->text());
        if (answers_.empty()) {
            Fail(QStringLiteral("a message box that the script did not expect: ") + box->text());
            if (QAbstractButton *escape = box->escapeButton())
                escape->click();
            else
                box->reject();
            return;
        }
        const Answer answer = answers_.front();
        answers_.pop_front();
        if (!answer.text.isEmpty() && box->text() != answer.text)
            Fail(answer.step + QStringLiteral(": the box says \"") + box->text() + QStringLiteral("\""));
        if (QAbstractButton *button = box->button(answer.button)) {
            button->click();
            return;
        }
        Fail(answer.step + QStringLiteral(": the box has no such button"));
        box->reject();
    }

    QStringList lines_;
    qsizetype next_ = 0;
    QFile log_;
    QString pageName_;
    std::deque<Answer> answers_;
    std::deque<Choice> choices_;
    QPointer<QWidget> lastModal_;
    int extraPauseMs_ = 0;
    int boxesSeen_ = 0;
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
