// The navigation tree: the only way to reach a page. A click on a node unloads the current page
// and places the one the node's key names.
#pragma once

#include "PageCatalogue.h"

#include <QString>
#include <QWidget>
#include <vector>

class QTreeWidget;
class QTreeWidgetItem;

class frmTR : public QWidget
{
    Q_OBJECT

public:
    explicit frmTR(QWidget *parent = nullptr);

    // The installed catalogue's rows that this platform has nodes for, in order.
    static std::vector<PageRow> Nodes();
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
