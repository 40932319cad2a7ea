// The schedule tree (see CBlockView.h).
#include "CBlockView.h"

#include <QAction>
#include <QHeaderView>

#include "ItemCode.h"

namespace kt64::console {

CBlockView::CBlockView(program::ProgramDocument& document, program::UserMessages& messages, QWidget* parent)
    : QTreeView(parent), document_(document), messages_(messages) {
    setObjectName("CBlockView");
    setModel(&model_);
    header()->hide();
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setIconSize(QSize(16, 16));
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current, const QModelIndex&) { currentChangedTo(current); });

    auto* chart = new QAction(QStringLiteral("Grafik (CTRL+G)"), this);
    chart->setObjectName("cmd32919");
    chart->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_G));
    chart->setShortcutContext(Qt::WidgetShortcut);
    connect(chart, &QAction::triggered, this, &CBlockView::chartRequested);
    addAction(chart);

    relayTimer_.setInterval(kRelayRefreshMs);
    connect(&relayTimer_, &QTimer::timeout, this, &CBlockView::relayOutputsWanted);
}

std::optional<std::uint32_t> CBlockView::selectedCode() const {
    const QModelIndex current = selectionModel()->currentIndex();
    if (!current.isValid() || !selectionModel()->isSelected(current)) return std::nullopt;
    return current.data(kItemCodeRole).value<quint32>();
}

bool CBlockView::selectCode(std::uint32_t code) {
    const QModelIndex index = model_.indexForCode(code);
    if (!index.isValid()) return false;
    scrollTo(index);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    return true;
}

void CBlockView::onUpdate(std::uint32_t) {
    const auto remembered = selectedCode();
    rebuilding_ = true;
    const auto counts = model_.rebuild(document_.database(), messages_);
    rebuilding_ = false;
    if (counts.read) emit countsChanged(counts.blocks, counts.records);
    // A program just made or opened starts with nothing selected. The mark
    // is taken by the first rebuild after it, selection or not, so that the
    // first change made afterwards keeps the tree's selection.
    const bool fresh = document_.FreshDocument;
    document_.FreshDocument = false;
    if (!remembered || fresh) return;
    const int kind = kindOf(*remembered);
    if (kind == kKindBlocks || kind == kKindBlockCommands || kind == kKindBlockDates) selectCode(*remembered);
}

void CBlockView::currentChangedTo(const QModelIndex& current) {
    if (rebuilding_ || !current.isValid()) return;
    emit itemSelected(current.data(kItemCodeRole).value<quint32>());
}

void CBlockView::focusInEvent(QFocusEvent* event) {
    relayTimer_.start();
    QTreeView::focusInEvent(event);
}

void CBlockView::focusOutEvent(QFocusEvent* event) {
    relayTimer_.stop();
    QTreeView::focusOutEvent(event);
}

}  // namespace kt64::console
