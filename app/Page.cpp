#include "Page.h"

#include <QResizeEvent>
#include <cmath>

namespace
{

constexpr double kTwipsPerInch = 1440.0;

int Scale(double value, double factor)
{
    return static_cast<int>(std::lround(value * factor));
}

} // namespace

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

void Page::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (loaded_ && !unloaded_)
        Form_Resize();
}

int TwipsToPixelsX(int twips, const QWidget *widget)
{
    return Scale(twips, widget->logicalDpiX() / kTwipsPerInch);
}

int TwipsToPixelsY(int twips, const QWidget *widget)
{
    return Scale(twips, widget->logicalDpiY() / kTwipsPerInch);
}
