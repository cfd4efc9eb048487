#include "Page.h"

#include "Module.h"
#include "SaveReport.h"

#include <QResizeEvent>

Page::Page(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("Page"));
}

void Page::Load()
{
    if (loaded_)
        return;
    loaded_ = true;
    Form_Load();
    Form_Resize();
}

void Page::Unload()
{
    if (!loaded_ || unloaded_)
        return;
    unloaded_ = true;
    Form_Unload();
}

void Page::SaveOnClose()
{
    if (!Changed || !Module::AskSaveChanges(SaveQuestion()))
        return;
    SaveReport report(this);
    Save();
}

void Page::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (loaded_ && !unloaded_)
        Form_Resize();
}
