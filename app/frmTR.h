// The navigation tree: the only way to reach a page. A click on a node unloads the current page
// and places the one the node's key names.
#pragma once

#include <QString>
#include <QWidget>
#include <vector>

class QTreeWidget;
class QTreeWidgetItem;

// One node of the tree, in the order the nodes are added.
struct TreeNode {
    const char *parentKey; // empty for a top-level node
    const char *key;
    int captionId;       // string ID, or 0 for a literal caption
    const char *literal; // the caption when captionId is 0
    const char *imageKey;
};

class frmTR : public QWidget
{
    Q_OBJECT

public:
    explicit frmTR(QWidget *parent = nullptr);

    // The nodes as this platform builds them (Optimization only where IsWindowsNT is false).
    static std::vector<TreeNode> Nodes();
    // The caption of the node with that key, of any platform, in the interface language; the key
    // itself if none.
    static QString CaptionOfKey(const QString &key);

    void Form_Load();
    void BuildTree();
    void TR_NodeClick(QTreeWidgetItem *node);

    QTreeWidget *Tree() const { return TR; }
    // The item of a key, or null.
    QTreeWidgetItem *ItemOf(const QString &key) const;

protected:
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QTreeWidget *TR = nullptr;
};
