// A page: one area of the system's configuration, shown beside the navigation tree.
//
// The tree creates a page, the start-up module places it (its Form_Load runs then, once), and
// the tree unloads it (Form_Unload: the save question and the writes) before destroying it and
// creating the next. Exactly one page exists at a time. Form_Resize runs on every size change
// of a loaded page.
#pragma once

#include "TwipsLayout.h"

#include <QWidget>

class Page : public QWidget
{
    Q_OBJECT

public:
    explicit Page(QWidget *parent = nullptr);

    // Runs Form_Load the first time; later calls do nothing.
    void Load();
    // Runs Form_Unload once, if the page was loaded.
    void Unload();
    bool IsLoaded() const { return loaded_; }
    // Whether the user changed something that closing the page would offer to save.
    bool HasUnsavedChanges() const { return Changed; }

protected:
    virtual void Form_Load() {}
    // By default a page that saves when it closes: see SaveOnClose.
    virtual void Form_Unload() { SaveOnClose(); }
    virtual void Form_Resize() {}
    // Writes the page's settings; called by SaveOnClose after a Yes.
    virtual void Save() {}
    // The question SaveOnClose asks: "None" for the shared "Save Changes ?".
    virtual QString SaveQuestion() const { return QStringLiteral("None"); }

    // When the page was changed, asks the shared "Save Changes ?" and on Yes saves; a write that
    // failed is then reported once. The answer never stops the page from closing.
    void SaveOnClose();

    void resizeEvent(QResizeEvent *event) override;

    // Set by every edit of a page that saves when it closes, cleared as the last step of loading.
    bool Changed = false;

private:
    bool loaded_ = false;
    bool unloaded_ = false;
};

// A control of a page, carrying its name as objectName so that it can be found by that name.
template <typename Control> Control *NewControl(const char *name, QWidget *page)
{
    auto *control = new Control(page);
    control->setObjectName(QLatin1String(name));
    return control;
}
