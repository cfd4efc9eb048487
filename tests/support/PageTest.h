// The fixture of every page test: a fresh machine, the interface language, the program started
// as a user starts it, pages opened through the tree (Open), the real message boxes answered
// (Leave, Click), and what was stored read back through the platform (Stored...).
#pragma once

#include "AllPages.h"
#include "Controls.h"
#include "MachineCheck.h"
#include "MdlStart.h"
#include "MessageBoxes.h"
#include "Page.h"
#include "ScopedEnv.h"
#include "StoredValue.h"
#include "TempMachine.h"
#include "frmTR.h"
#include "machine.h"
#include "win32.h"

// The controls pages are made of, for every page test.
#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidgetItem>
#include <cstdio>
#include <gtest/gtest.h>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

using Boxes = std::vector<MessageBoxAnswerer::Shown>;
inline constexpr MessageBoxAnswerer::Answer Yes = MessageBoxAnswerer::Click(QMessageBox::Yes);
inline constexpr MessageBoxAnswerer::Answer No = MessageBoxAnswerer::Click(QMessageBox::No);
inline constexpr MessageBoxAnswerer::Answer Ok = MessageBoxAnswerer::Click(QMessageBox::Ok);

class PageTest : public ::testing::Test
{
protected:
    void SetUp() override { env_.SetLanguage("en_US.UTF-8"); }
    void TearDown() override
    {
        // A page still open is closed the way the main window closes it; a question it asks
        // then is answered No, so that nothing is written behind the test's back.
        MessageBoxAnswerer boxes({No, No});
        MdlStart::Shutdown();
    }

    void UseRussian() { env_.SetLanguage("ru_RU.UTF-8"); }

    // Replaces the machine's registry with the seed of a new Korvex machine (Windows 98).
    void UseSeed()
    {
        for (const char *file : {"system.reg", "user.reg", "userdef.reg"})
            std::remove(machine_.PathOf(file).c_str());
        win::ResetMachine();
        SeedNewMachine();
    }

    // Opens the page of a tree key as a click on its node does, starting the program first.
    Page &Open(const char *treeKey)
    {
        if (!MdlStart::MainWindow())
            MdlStart::Main(AllPages());
        QTreeWidgetItem *item = MdlStart::TreeWindow()->ItemOf(QString::fromLatin1(treeKey));
        if (!item)
            throw std::runtime_error(std::string("no tree node ") + treeKey);
        MdlStart::TreeWindow()->TR_NodeClick(item);
        if (!MdlStart::CurrentPage())
            throw std::runtime_error(std::string("no page for ") + treeKey);
        return *MdlStart::CurrentPage();
    }

    // The current page's control of that type and objectName.
    template <typename Widget> static Widget &Current(const char *name)
    {
        return Control<Widget>(*MdlStart::CurrentPage(), name);
    }

    // Leaves the current page for About, answering the boxes that come up in turn; returns
    // every box that was shown.
    Boxes Leave(std::vector<MessageBoxAnswerer::Answer> answers = {})
    {
        MessageBoxAnswerer boxes(std::move(answers));
        MdlStart::TreeWindow()->TR_NodeClick(MdlStart::TreeWindow()->ItemOf(QStringLiteral("About")));
        return boxes.Seen();
    }

    // Clicks a button of the current page, answering the boxes that come up in turn.
    Boxes Click(const char *button, std::vector<MessageBoxAnswerer::Answer> answers = {})
    {
        MessageBoxAnswerer boxes(std::move(answers));
        Current<QAbstractButton>(button).click();
        return boxes.Seen();
    }

    // The texts of the boxes shown, in turn.
    static QStringList Texts(const Boxes &boxes)
    {
        QStringList texts;
        for (const MessageBoxAnswerer::Shown &box : boxes)
            texts << box.text;
        return texts;
    }

    // The machine's registry files as stored: the same bytes when nothing was written.
    std::string Hives() const
    {
        return machine_.ReadFile("system.reg") + machine_.ReadFile("user.reg") + machine_.ReadFile("userdef.reg");
    }

    // The texts of the rows of a list box or combo box of the current page.
    static QStringList Rows(const char *name)
    {
        QStringList rows;
        QWidget &control = Current<QWidget>(name);
        if (auto *combo = qobject_cast<QComboBox *>(&control))
            for (int i = 0; i < combo->count(); ++i)
                rows << combo->itemText(i);
        if (auto *list = qobject_cast<QListWidget *>(&control))
            for (int i = 0; i < list->count(); ++i)
                rows << list->item(i)->text();
        return rows;
    }

    // Values put straight into the machine's registry, as another program would.
    static void Put(win::HKEY root, const std::string &key, const char *name, win::DWORD type, const void *data,
                    win::DWORD size)
    {
        const QByteArray bytes(static_cast<const char *>(data), static_cast<qsizetype>(size));
        EXPECT_EQ(WriteStoredValue(root, QString::fromStdString(key), name, type, bytes), ERROR_SUCCESS) << key;
    }
    static void PutDword(win::HKEY root, const std::string &key, const char *name, win::DWORD value)
    {
        EXPECT_EQ(regvalues::SetDword(root, key, name, value), ERROR_SUCCESS) << key;
    }
    static void PutString(win::HKEY root, const std::string &key, const char *name, const std::string &text)
    {
        EXPECT_EQ(regvalues::SetString(root, key, name, text), ERROR_SUCCESS) << key;
    }

    // What is stored now, read through the platform; nothing when the key or value is missing.
    static std::optional<StoredValue> Stored(win::HKEY root, const std::string &key, const char *name)
    {
        return ReadStoredValue(root, QString::fromStdString(key), name);
    }
    // A REG_DWORD's number; nothing when missing or of another type.
    static std::optional<win::DWORD> StoredDword(win::HKEY root, const std::string &key, const char *name)
    {
        return regvalues::QueryDword(root, key, name);
    }
    // A REG_SZ's text without its terminator; nothing when missing or of another type.
    static std::optional<std::string> StoredString(win::HKEY root, const std::string &key, const char *name)
    {
        const auto value = Stored(root, key, name);
        if (!value || value->type != REG_SZ)
            return std::nullopt;
        std::string text = value->data.toStdString();
        if (!text.empty() && text.back() == '\0')
            text.pop_back();
        return text;
    }

    ScopedEnv env_;
    TempMachine machine_;
};
