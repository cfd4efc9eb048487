// A page: one area of the system's configuration, shown beside the navigation tree.
//
// The tree creates a page, the start-up module places it (its Form_Load runs then, once), and
// the tree unloads it (Form_Unload: the save question and the writes) before destroying it and
// creating the next. Exactly one page exists at a time. Form_Resize runs on every size change
// of a loaded page.
#pragma once

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

protected:
    virtual void Form_Load() {}
    virtual void Form_Unload() {}
    virtual void Form_Resize() {}

    void resizeEvent(QResizeEvent *event) override;

    // Set by every edit of a page that saves when it closes, cleared as the last step of loading.
    bool Changed = false;

private:
    bool loaded_ = false;
    bool unloaded_ = false;
};

// Geometry given in twips (1/1440 inch) as pixels of the widget's screen.
int TwipsToPixelsX(int twips, const QWidget *widget);
int TwipsToPixelsY(int twips, const QWidget *widget);

// A control of a page, carrying its name as objectName so that it can be found by that name.
template <typename Control> Control *NewControl(const char *name, QWidget *page)
{
    auto *control = new Control(page);
    control->setObjectName(QLatin1String(name));
    return control;
}
