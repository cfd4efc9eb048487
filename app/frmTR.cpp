#include "frmTR.h"

#include "StartGlobals.h"

#include <QHash>
#include <QIcon>
#include <QKeyEvent>
#include <QTreeWidget>

namespace
{

QIcon ImageOf(const QString &imageKey)
{
    static QHash<QString, QIcon> images;
    auto it = images.find(imageKey);
    if (it == images.end())
        it = images.insert(imageKey, QIcon(QStringLiteral(":/tree/") + imageKey));
    return *it;
}

} // namespace

QString frmTR::CaptionOfKey(const QString &key)
{
    // Every platform's nodes, without asking the machine for its platform on each call: a change
    // recorded on a 9x machine keeps its page's caption.
    const PageRow *row = PageRowOf(key);
    return row ? CaptionOf(*row) : key;
}

frmTR::frmTR(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("frmTR"));
    setWindowTitle(QStringLiteral("Korvex"));
    TR = new QTreeWidget(this);
    TR->setObjectName(QStringLiteral("TR"));
    TR->setHeaderHidden(true);
    TR->setIconSize(QSize(16, 16));
    TR->installEventFilter(this);
    connect(TR, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem *item) { TR_NodeClick(item); });
}

std::vector<PageRow> frmTR::Nodes()
{
    const bool nt = MdlStart::IsWindowsNT();
    std::vector<PageRow> nodes;
    for (const PageRow &row : InstalledPages())
        if (ExistsOn(row, nt))
            nodes.push_back(row);
    return nodes;
}

void frmTR::Form_Load()
{
    BuildTree();
}

void frmTR::BuildTree()
{
    TR->clear();
    for (const PageRow &node : Nodes()) {
        auto *item = new QTreeWidgetItem(QStringList{CaptionOf(node)});
        item->setData(0, Qt::UserRole, QString::fromLatin1(node.key));
        item->setIcon(0, ImageOf(QString::fromLatin1(node.imageKey)));
        if (QTreeWidgetItem *parentItem = ItemOf(QString::fromLatin1(node.parentKey)))
            parentItem->addChild(item);
        else
            TR->addTopLevelItem(item);
    }
}

QTreeWidgetItem *frmTR::ItemOf(const QString &key) const
{
    if (key.isEmpty())
        return nullptr;
    for (QTreeWidgetItemIterator it(TR); *it; ++it)
        if ((*it)->data(0, Qt::UserRole).toString() == key)
            return *it;
    return nullptr;
}

void frmTR::TR_NodeClick(QTreeWidgetItem *node)
{
    if (!node)
        return;
    MdlStart::OpenPage(node->data(0, Qt::UserRole).toString());
}

void frmTR::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    const QRect inner(0, 0, width(), height());
    if (TR->geometry() != inner)
        TR->setGeometry(inner);
}

bool frmTR::eventFilter(QObject *watched, QEvent *event)
{
    // Enter and Space open the selected node's page, as a click does.
    if (watched == TR && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) {
            TR_NodeClick(TR->currentItem());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
