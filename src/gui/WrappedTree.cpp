#include "gui/WrappedTree.h"

#include <QHeaderView>
#include <QStyledItemDelegate>
#include <QTreeView>

namespace fiscora {

namespace {

// The view asks for row heights without a width (QTreeView leaves it out for speed); this one
// gives the room the row has: the column less the indentation of its depth.
class WrappingDelegate final : public QStyledItemDelegate {
public:
    explicit WrappingDelegate(QTreeView* tree)
        : QStyledItemDelegate(tree)
        , m_tree(tree) {}

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        int depth = m_tree->rootIsDecorated() ? 1 : 0;
        for (QModelIndex parent = index.parent(); parent.isValid(); parent = parent.parent())
            ++depth;
        QStyleOptionViewItem room(option);
        room.rect = QRect(0, 0, qMax(1, m_tree->columnWidth(0) - depth * m_tree->indentation()), 1);
        return QStyledItemDelegate::sizeHint(room, index);
    }

private:
    QTreeView* m_tree;
};

} // namespace

void wrapTreeLines(QTreeView* tree) {
    tree->setWordWrap(true);
    tree->setUniformRowHeights(false);
    tree->setTextElideMode(Qt::ElideNone);
    tree->header()->setStretchLastSection(true);
    tree->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    tree->setItemDelegate(new WrappingDelegate(tree));
    // The view keeps its rows' heights: a new width lays them out again.
    QObject::connect(tree->header(), &QHeaderView::sectionResized, tree, &QTreeView::doItemsLayout,
                     Qt::QueuedConnection);
}

} // namespace fiscora
