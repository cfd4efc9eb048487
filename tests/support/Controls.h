// Reaching a page's controls by their names and typing into them, as a user at the keyboard.
#pragma once

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>
#include <gtest/gtest.h>
#include <stdexcept>

// The page's control of that type and objectName; the test fails when there is none.
template <typename Widget> Widget &Control(const QWidget &page, const char *name)
{
    auto *control = page.findChild<Widget *>(QLatin1String(name));
    if (!control) {
        ADD_FAILURE() << "no control " << name;
        throw std::runtime_error(name);
    }
    return *control;
}

// Presses and releases one key on the widget, with the modifier keys held down.
inline void Press(QWidget &target, Qt::Key key, const QString &text = QString(),
                  Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    QApplication::sendEvent(&target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
    QApplication::sendEvent(&target, &release);
}

// Types the text key by key; a line feed is the Return key.
inline void Type(QWidget &target, const QString &text)
{
    for (const QChar c : text)
        Press(target, c == QLatin1Char('\n') ? Qt::Key_Return : Qt::Key_A, c == QLatin1Char('\n') ? QString() : c);
}
