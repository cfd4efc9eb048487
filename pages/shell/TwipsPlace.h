// Placing a shell tool page's controls at their design rectangles, given in twips.
#pragma once

#include "Page.h"

#include <QWidget>

// Puts the control at (left, top) with that size, all in twips of its page's screen; a height of
// -1 keeps the height the control asks for.
inline void PlaceTwips(QWidget *control, int left, int top, int width, int height = -1)
{
    const QWidget *page = control->parentWidget();
    const int pixelsHigh = height < 0 ? control->sizeHint().height() : TwipsToPixelsY(height, page);
    control->setGeometry(TwipsToPixelsX(left, page), TwipsToPixelsY(top, page), TwipsToPixelsX(width, page),
                         pixelsHigh);
}

// Sets a control's width in pixels only when it differs, as the pages' resize handlers do.
inline void SetWidthIfChanged(QWidget *control, int width)
{
    if (width >= 0 && control->width() != width)
        control->resize(width, control->height());
}
