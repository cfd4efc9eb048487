#include "TwipsLayout.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QFontMetricsF>
#include <QGroupBox>
#include <QLabel>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <numeric>

namespace
{

// The font the layouts were designed with: MS Sans Serif 8 at 96 DPI, measured as Windows
// measures a dialog's font (the average width of the 52 letters, and the cell height).
constexpr double kDesignCharWidth = 6.0;
constexpr double kDesignCharHeight = 13.0;
constexpr double kTwipsPerDesignPixel = 15.0;
constexpr auto kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
constexpr int kAlphabetLength = 52;

// Pixels per twip across and down.
struct Scale {
    double x;
    double y;
};

Scale ScaleOf(const QWidget *widget)
{
    const QFontMetricsF metrics(widget->font(), widget);
    const double averageWidth = metrics.horizontalAdvance(QLatin1String(kAlphabet)) / kAlphabetLength;
    return {averageWidth / (kDesignCharWidth * kTwipsPerDesignPixel),
            metrics.height() / (kDesignCharHeight * kTwipsPerDesignPixel)};
}

int Pixels(int twips, double pixelsPerTwip)
{
    return static_cast<int>(std::lround(twips * pixelsPerTwip));
}

QRect Scaled(const TwipsRect &r, Scale scale)
{
    const int left = Pixels(r.left, scale.x);
    const int top = Pixels(r.top, scale.y);
    return {left, top, Pixels(r.left + r.width, scale.x) - left, Pixels(r.top + r.height, scale.y) - top};
}

int Part(float part, int extra)
{
    return static_cast<int>(std::lround(part * static_cast<float>(extra)));
}

// Relations of the design: they decide what moves on when a control grows.
bool Overlap(int start1, int length1, int start2, int length2)
{
    return start1 < start2 + length2 && start2 < start1 + length1;
}

bool StandsLeftOf(const TwipsRect &a, const TwipsRect &b)
{
    return a.left + a.width <= b.left && Overlap(a.top, a.height, b.top, b.height);
}

bool StandsAbove(const TwipsRect &a, const TwipsRect &b)
{
    return a.top + a.height <= b.top;
}

// Two placed controls share columns: by design, or because one grew into the other's.
bool ShareColumns(const TwipsRect &a, const TwipsRect &b, const QRect &placedA, const QRect &placedB)
{
    constexpr int kRounding = 1;
    return Overlap(a.left, a.width, b.left, b.width) ||
           Overlap(placedA.left(), placedA.width() - kRounding, placedB.left(), placedB.width() - kRounding);
}

// The width a control's text needs on one line; 0 for controls that wrap or scroll.
int NeededWidth(const QWidget &control)
{
    if (control.hasHeightForWidth())
        return 0;
    if (qobject_cast<const QGroupBox *>(&control))
        return control.minimumSizeHint().width();
    if (qobject_cast<const QAbstractButton *>(&control) || qobject_cast<const QLabel *>(&control))
        return control.sizeHint().width();
    return 0;
}

// The height a control needs at `width`; 0 for the scrolling ones, which show what fits.
int NeededHeight(const QWidget &control, int width)
{
    if (control.hasHeightForWidth())
        return control.heightForWidth(width);
    if (qobject_cast<const QAbstractScrollArea *>(&control))
        return 0;
    if (qobject_cast<const QGroupBox *>(&control))
        return control.minimumSizeHint().height();
    return control.sizeHint().height();
}

template <typename Less> std::vector<std::size_t> Ordered(std::size_t count, Less less)
{
    std::vector<std::size_t> order(count);
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), less);
    return order;
}

} // namespace

int TwipsToPixelsX(int twips, const QWidget *widget)
{
    return Pixels(twips, ScaleOf(widget).x);
}

int TwipsToPixelsY(int twips, const QWidget *widget)
{
    return Pixels(twips, ScaleOf(widget).y);
}

TwipsLayout::TwipsLayout(QWidget *container) : QLayout(container)
{
    setContentsMargins(0, 0, 0, 0);
}

TwipsLayout::~TwipsLayout()
{
    for (const Item &item : items_)
        delete item.item;
}

void TwipsLayout::Add(QWidget *control, TwipsRect rect, Follow follow)
{
    // A label breaks its text into lines within its width, as Windows labels do.
    if (auto *label = qobject_cast<QLabel *>(control))
        label->setWordWrap(true);
    addChildWidget(control);
    items_.push_back({new QWidgetItem(control), rect, follow});
    invalidate();
}

void TwipsLayout::SetDesignSize(int widthTwips, int heightTwips)
{
    designSize_ = {0, 0, widthTwips, heightTwips};
    invalidate();
}

void TwipsLayout::addItem(QLayoutItem *item)
{
    // Controls come with their design rectangle through Add; anything else stays where it is put.
    delete item;
}

QLayoutItem *TwipsLayout::itemAt(int index) const
{
    return index >= 0 && index < count() ? items_[static_cast<std::size_t>(index)].item : nullptr;
}

QLayoutItem *TwipsLayout::takeAt(int index)
{
    if (index < 0 || index >= count())
        return nullptr;
    QLayoutItem *item = items_[static_cast<std::size_t>(index)].item;
    items_.erase(items_.begin() + index);
    invalidate();
    return item;
}

int TwipsLayout::count() const
{
    return static_cast<int>(items_.size());
}

Qt::Orientations TwipsLayout::expandingDirections() const
{
    return Qt::Horizontal | Qt::Vertical;
}

void TwipsLayout::invalidate()
{
    natural_ = QSize();
    QLayout::invalidate();
}

QSize TwipsLayout::sizeHint() const
{
    return NaturalSize();
}

QSize TwipsLayout::minimumSize() const
{
    return NaturalSize();
}

QSize TwipsLayout::NaturalSize() const
{
    if (natural_.isValid())
        return natural_;
    const std::vector<QRect> placed = Arrange(QSize(0, 0));
    // The right and bottom margins mirror the left and top ones of the design.
    int marginX = items_.empty() ? 0 : items_.front().design.left;
    int marginY = items_.empty() ? 0 : items_.front().design.top;
    QRect extent;
    for (std::size_t i = 0; i < items_.size(); ++i) {
        marginX = std::min(marginX, items_[i].design.left);
        marginY = std::min(marginY, items_[i].design.top);
        extent |= placed[i];
    }
    const Scale scale = ScaleOf(parentWidget());
    natural_ = QSize(extent.right() + 1 + Pixels(marginX, scale.x), extent.bottom() + 1 + Pixels(marginY, scale.y))
                   .expandedTo(Scaled(designSize_, scale).size());
    return natural_;
}

std::vector<QRect> TwipsLayout::Arrange(QSize extra) const
{
    const Scale scale = ScaleOf(parentWidget());
    const std::size_t n = items_.size();
    std::vector<QRect> base(n);
    std::vector<QRect> placed(n);
    for (std::size_t i = 0; i < n; ++i)
        base[i] = Scaled(items_[i].design, scale);

    // Across, left to right: a control starts no nearer to one on its left than the design has it.
    const auto leftToRight = Ordered(n, [&](std::size_t a, std::size_t b) { return base[a].x() < base[b].x(); });
    for (std::size_t k = 0; k < n; ++k) {
        const std::size_t i = leftToRight[k];
        const Item &item = items_[i];
        const QWidget &control = *item.item->widget();
        int left = base[i].x() + Part(item.follow.moveX, extra.width());
        for (std::size_t m = 0; m < k; ++m) {
            const std::size_t j = leftToRight[m];
            if (StandsLeftOf(items_[j].design, item.design))
                left = std::max(left, placed[j].right() + 1 + std::max(0, base[i].x() - base[j].right() - 1));
        }
        const int width = std::max(base[i].width(), NeededWidth(control)) + Part(item.follow.growX, extra.width());
        placed[i].setRect(left, 0, std::clamp(width, control.minimumWidth(), control.maximumWidth()), 0);
    }

    // Down, top to bottom, with the heights the widths give.
    const auto topDown = Ordered(n, [&](std::size_t a, std::size_t b) { return base[a].y() < base[b].y(); });
    for (std::size_t k = 0; k < n; ++k) {
        const std::size_t i = topDown[k];
        const Item &item = items_[i];
        const QWidget &control = *item.item->widget();
        const int height = std::max(base[i].height(), NeededHeight(control, placed[i].width())) +
                           Part(item.follow.growY, extra.height());
        int top = base[i].y() + Part(item.follow.moveY, extra.height());
        for (std::size_t m = 0; m < k; ++m) {
            const std::size_t j = topDown[m];
            if (StandsAbove(items_[j].design, item.design) &&
                ShareColumns(items_[j].design, item.design, placed[j], placed[i]))
                top = std::max(top, placed[j].bottom() + 1 + std::max(0, base[i].y() - base[j].bottom() - 1));
        }
        placed[i].moveTop(top);
        placed[i].setHeight(std::clamp(height, control.minimumHeight(), control.maximumHeight()));
    }
    return placed;
}

void TwipsLayout::setGeometry(const QRect &rect)
{
    QLayout::setGeometry(rect);
    const QSize natural = NaturalSize();
    const QSize extra(std::max(0, rect.width() - natural.width()), std::max(0, rect.height() - natural.height()));
    const std::vector<QRect> placed = Arrange(extra);
    for (std::size_t i = 0; i < items_.size(); ++i) {
        QWidget *control = items_[i].item->widget();
        const QRect wanted = placed[i].translated(rect.topLeft());
        if (control->geometry() != wanted)
            control->setGeometry(wanted);
    }
}

void LayOut(QWidget *container, std::span<const Placement> table, int designWidth, int designHeight)
{
    for (const Placement &row : table) {
        auto *control = container->findChild<QWidget *>(QLatin1String(row.name));
        if (!control)
            qFatal("No control %s on %s to lay out", row.name, qPrintable(container->objectName()));
        QWidget *parent = control->parentWidget();
        auto *layout = qobject_cast<TwipsLayout *>(parent->layout());
        if (!layout)
            layout = new TwipsLayout(parent);
        layout->Add(control, row.rect, row.follow);
    }
    if (auto *layout = qobject_cast<TwipsLayout *>(container->layout()))
        layout->SetDesignSize(designWidth, designHeight);
}
