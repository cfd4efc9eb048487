// The one layout of pages and dialogs: every control at its design rectangle in twips.
//
// Twips become pixels through the font in use, the way Windows dialogs scale with theirs: the
// layouts were designed for the 8-point system font at 96 DPI (an average character 6 pixels
// wide and 13 high, 15 twips to the pixel), so a larger desktop font or a higher resolution
// grows every control with its text. A control whose text needs more room than its design
// rectangle gives grows: a label (which breaks its text into lines) grows downwards, any other
// control to the right.
// Whatever stood below or to the right of it moves on by as much, keeping the design's gap, and
// the container's minimum size follows. A container larger than that gives the extra room to the
// controls that follow its edges (`Follow`).
#pragma once

#include <QLayout>
#include <span>
#include <vector>

class QWidgetItem;

// Twips as pixels of `widget`'s font (see above).
int TwipsToPixelsX(int twips, const QWidget *widget);
int TwipsToPixelsY(int twips, const QWidget *widget);

// A design rectangle in twips, relative to the control's parent (the page, or the frame the
// control stands in).
struct TwipsRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

// What a control does with the room its container has beyond the minimum: the parts (0 to 1) of
// the extra width and height it moves by and grows by.
struct Follow {
    float moveX = 0;
    float growX = 0;
    float moveY = 0;
    float growY = 0;
};
inline constexpr Follow kStays{};
inline constexpr Follow kWidens{0, 1, 0, 0};
inline constexpr Follow kCentred{0.5f, 0, 0, 0};
inline constexpr Follow kMovesRight{1, 0, 0, 0};
inline constexpr Follow kMovesDown{0, 0, 1, 0};
inline constexpr Follow kFills{0, 1, 0, 1};

// One row of a page's layout table: the control by its objectName.
struct Placement {
    const char *name;
    TwipsRect rect;
    Follow follow = kStays;
};

class TwipsLayout : public QLayout
{
    Q_OBJECT

public:
    // Becomes `container`'s layout.
    explicit TwipsLayout(QWidget *container);
    ~TwipsLayout() override;

    // Places `control`, a child of the container, at `rect`.
    void Add(QWidget *control, TwipsRect rect, Follow follow = kStays);
    // The container's size in the design, when it is more than its controls and the margins
    // they leave at the left and top need.
    void SetDesignSize(int widthTwips, int heightTwips);

    void addItem(QLayoutItem *item) override;
    QLayoutItem *itemAt(int index) const override;
    QLayoutItem *takeAt(int index) override;
    int count() const override;
    QSize sizeHint() const override;
    QSize minimumSize() const override;
    void setGeometry(const QRect &rect) override;
    Qt::Orientations expandingDirections() const override;
    void invalidate() override;

private:
    struct Item {
        QWidgetItem *item;
        TwipsRect design;
        Follow follow;
    };

    // Where each control goes when the container has `extra` pixels beyond the minimum.
    std::vector<QRect> Arrange(QSize extra) const;
    QSize NaturalSize() const;

    std::vector<Item> items_;
    TwipsRect designSize_;
    mutable QSize natural_;
};

// Lays `container`'s controls out by `table`, each in the layout of its own parent: a control
// inside a frame is placed relative to the frame, and the frame grows with what it holds.
void LayOut(QWidget *container, std::span<const Placement> table, int designWidth = 0, int designHeight = 0);
