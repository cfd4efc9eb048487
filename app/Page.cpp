#include "Page.h"

#include "Module.h"
#include "SaveReport.h"

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

int TwipsToPixelsX(int twips, const QWidget *widget)
{
    return Scale(twips, widget->logicalDpiX() / kTwipsPerInch);
}

int TwipsToPixelsY(int twips, const QWidget *widget)
{
    return Scale(twips, widget->logicalDpiY() / kTwipsPerInch);
}

TwipsColumn::TwipsColumn(QWidget *page, int leftTwips, int topTwips, int widthTwips)
    : page_(page), left_(TwipsToPixelsX(leftTwips, page)), top_(TwipsToPixelsY(topTwips, page)),
      width_(TwipsToPixelsX(widthTwips, page))
{
}

QWidget *TwipsColumn::Place(QWidget *control, int gapAfterTwips, int heightPixels)
{
    return PlaceAt(control, left_, gapAfterTwips, heightPixels);
}

QWidget *TwipsColumn::PlaceAt(QWidget *control, int leftPixels, int gapAfterTwips, int heightPixels)
{
    const int height = heightPixels >= 0 ? heightPixels : control->sizeHint().height();
    control->setGeometry(leftPixels, top_, width_, height);
    top_ += height + TwipsToPixelsY(gapAfterTwips, page_);
    return control;
}
