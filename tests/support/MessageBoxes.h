// Answering the real modal dialogs of the code under test, the way a user would.
//
// A modal dialog runs its own event loop inside the call that shows it, so the test arms a
// watcher (a MessageBoxAnswerer with its answers, say) before the call. The watcher polls
// QApplication::activeModalWidget() from the event loop and hands each new modal widget to a
// handler once. Header-only so that every test program can use it without linking anything more.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <cstddef>
#include <deque>
#include <functional>
#include <utility>
#include <vector>

// Hands every modal widget that appears while it lives to `handler`, once each.
class ModalWatcher
{
public:
    explicit ModalWatcher(std::function<void(QWidget *)> handler, int pollMs = 5) : handler_(std::move(handler))
    {
        timer_.setInterval(pollMs);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
        timer_.start();
    }
    ModalWatcher(const ModalWatcher &) = delete;
    ModalWatcher &operator=(const ModalWatcher &) = delete;

    // How many modal widgets were handed over.
    std::size_t Handled() const { return handled_; }

private:
    void Poll()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible())
            return;
        // Guarded pointers: a later dialog may reuse the address of one that is gone. Each
        // watcher keeps its own list, so two watchers armed at once both see every dialog.
        std::erase_if(seen_, [](const QPointer<QWidget> &widget) { return widget.isNull(); });
        for (const QPointer<QWidget> &widget : seen_) {
            if (widget == modal)
                return;
        }
        seen_.emplace_back(modal);
        ++handled_;
        handler_(modal);
    }

    std::function<void(QWidget *)> handler_;
    std::vector<QPointer<QWidget>> seen_;
    QTimer timer_;
    std::size_t handled_ = 0;
};

// Answers every file dialog that comes up while the watcher lives as a user does: types `path`
// into the name field and presses Open or Save, or presses Cancel when `path` is empty. `seen`,
// when given, is shown each dialog first.
inline ModalWatcher AnswerFileDialogs(QString path, std::function<void(const QFileDialog &)> seen = {})
{
    return ModalWatcher([path = std::move(path), seen = std::move(seen)](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        if (!dialog)
            return;
        if (seen)
            seen(*dialog);
        auto *buttons = dialog->findChild<QDialogButtonBox *>();
        if (path.isEmpty())
            return buttons->button(QDialogButtonBox::Cancel)->click();
        dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(path);
        const bool open = dialog->acceptMode() == QFileDialog::AcceptOpen;
        buttons->button(open ? QDialogButtonBox::Open : QDialogButtonBox::Save)->click();
    });
}

// Answers message boxes from a queue of answers and records what each box showed.
class MessageBoxAnswerer
{
public:
    struct Answer {
        enum class Kind { Click, Enter, Escape, EscapeThenClick } kind = Kind::Escape;
        QMessageBox::StandardButton button = QMessageBox::NoButton;
    };
    // Clicks the box's button of that kind.
    static constexpr Answer Click(QMessageBox::StandardButton button) { return {Answer::Kind::Click, button}; }
    // Presses Enter on the widget that has the focus, as a user who accepts the default would.
    static constexpr Answer Enter() { return {Answer::Kind::Enter, QMessageBox::NoButton}; }
    // Presses Escape, then closes the box as its title bar's button does; a box still open after
    // both is answered by clicking `button`.
    static constexpr Answer EscapeThenClick(QMessageBox::StandardButton button)
    {
        return {Answer::Kind::EscapeThenClick, button};
    }

    struct Shown {
        QString title;
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        bool escaped = false; // an EscapeThenClick answer closed the box before the click
    };

    // Boxes beyond the queue are recorded and closed with Escape (or answered No where Escape
    // does nothing), so a test never hangs on an unexpected question; compare Seen().size()
    // with the number expected.
    explicit MessageBoxAnswerer(std::vector<Answer> answers = {})
        : answers_(answers.begin(), answers.end()), watcher_([this](QWidget *modal) { Handle(modal); })
    {
    }

    const std::vector<Shown> &Seen() const { return seen_; }

private:
    void Handle(QWidget *modal)
    {
        auto *box = qobject_cast<QMessageBox *>(modal);
        if (!box)
            return; // another modal widget, left alone for another watcher
        seen_.push_back({box->windowTitle(), box->text(), box->icon(), box->standardButtons()});

        Answer answer;
        if (!answers_.empty()) {
            answer = answers_.front();
            answers_.pop_front();
        }
        switch (answer.kind) {
        case Answer::Kind::Click:
            if (QAbstractButton *button = box->button(answer.button)) {
                button->click();
                return;
            }
            break; // no such button: close it like a user would
        case Answer::Kind::Enter: PressKey(box, Qt::Key_Return); return;
        case Answer::Kind::Escape: break;
        case Answer::Kind::EscapeThenClick:
            PressKey(box, Qt::Key_Escape);
            if (box->isVisible())
                box->close();
            seen_.back().escaped = !box->isVisible();
            if (QAbstractButton *button = box->button(answer.button); button && box->isVisible())
                button->click();
            return;
        }
        PressKey(box, Qt::Key_Escape);
        if (QAbstractButton *no = box->button(QMessageBox::No); no && box->isVisible())
            no->click();
    }

    static void PressKey(QMessageBox *box, Qt::Key key)
    {
        QPointer<QWidget> target = box->focusWidget() ? box->focusWidget() : box;
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(target, &press);
        if (target) {
            QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
            QApplication::sendEvent(target, &release);
        }
    }

    std::deque<Answer> answers_;
    std::vector<Shown> seen_;
    ModalWatcher watcher_;
};
