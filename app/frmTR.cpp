#include "frmTR.h"

#include "MdlStart.h"
#include "Page.h"
#include "Strings.h"

#include <QHash>
#include <QIcon>
#include <QKeyEvent>
#include <QTreeWidget>

namespace
{

// The tree, in the order its nodes are added. Keys are the same in every language; two
// captions are literal.
const TreeNode kNodes[] = {
    {"", "About", 111, nullptr, "imgHlp"},
    {"", "Windows", 102, nullptr, "RootDir"},
    {"Windows", "StartUp", 103, nullptr, "imgStart"},
    {"Windows", "Korvex", 112, nullptr, "imgAdm"},
    {"Windows", "StartMenu", 116, nullptr, "imgWin"},
    {"Windows", "Explorer", 117, nullptr, "imgExpl"},
    {"Windows", "ActiveDesktop", 119, nullptr, "imgDesk"},
    {"Windows", "IE", 0, "Internet Explorer", "imgIE"},
    {"IE", "IERes", 176, nullptr, "imgIE"},
    {"IE", "IETB", 300, nullptr, "imgIE"},
    {"Windows", "ControlPanel", 136, nullptr, "ControlPanel"},
    {"Windows", "Uninstall", 0, "Windows Uninstall", "Uninst"},
    {"", "GUI", 398, nullptr, "RootDir"},
    {"GUI", "DrvIco", 164, nullptr, "imgDrvIco"},
    {"GUI", "FldIco", 115, nullptr, "imgFldIco"},
    {"GUI", "sysIco", 399, nullptr, "imgIcons"},
    {"GUI", "FIcon", 350, nullptr, "FIcon"},
    {"GUI", "MenuItem", 310, nullptr, "imgMenu"},
    {"GUI", "Short", 386, nullptr, "imgShort"},
    {"", "Internet", 340, nullptr, "RootDir"},
    {"Internet", "ieSF", 450, nullptr, "imgSF"},
    {"", "Other", 114, nullptr, "RootDir"},
    {"Other", "VHDD", 360, nullptr, "RootDir"},
    {"VHDD", "Subst", 368, nullptr, "Subst"},
    {"VHDD", "runSubst", 367, nullptr, "runSubst"},
    {"Other", "Clock", 337, nullptr, "imgClock"},
    {"Other", "SysEl", 460, nullptr, "imgSE"},
};

// Added only on the 9x platform, after everything else.
const TreeNode kNineXNode = {"Internet", "Optim", 341, nullptr, "imgTel"};

// The history of Korvex's changes comes last of all, under the root.
const TreeNode kHistoryNode = {"", "History", 1000, nullptr, "imgAdm"};

QIcon ImageOf(const QString &imageKey)
{
    static QHash<QString, QIcon> images;
    auto it = images.find(imageKey);
    if (it == images.end())
        it = images.insert(imageKey, QIcon(QStringLiteral(":/tree/") + imageKey));
    return *it;
}

QString CaptionOf(const TreeNode &node)
{
    return node.captionId ? LoadResString(node.captionId) : QString::fromLatin1(node.literal);
}

} // namespace

QString frmTR::CaptionOfKey(const QString &key)
{
    // Every platform's nodes, without asking the machine for its platform on each call: a change
    // recorded on a 9x machine keeps its page's caption.
    for (const TreeNode &node : kNodes)
        if (key == QLatin1String(node.key))
            return CaptionOf(node);
    for (const TreeNode *node : {&kNineXNode, &kHistoryNode})
        if (key == QLatin1String(node->key))
            return CaptionOf(*node);
    return key;
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

std::vector<TreeNode> frmTR::Nodes()
{
    std::vector<TreeNode> nodes(std::begin(kNodes), std::end(kNodes));
    if (!MdlStart::IsWindowsNT())
        nodes.push_back(kNineXNode);
    nodes.push_back(kHistoryNode);
    return nodes;
}

void frmTR::Form_Load()
{
    BuildTree();
}

void frmTR::BuildTree()
{
    TR->clear();
    for (const TreeNode &node : Nodes()) {
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
    // The page shown so far goes first: its save question comes before the next page exists.
    MdlStart::UnloadCurrentPage();
    MdlStart::CurrentPage = MdlStart::CreatePageForKey(node->data(0, Qt::UserRole).toString());
    MdlStart::PlacePage();
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
