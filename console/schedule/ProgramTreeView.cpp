// The schedule tree (see ProgramTreeView.h).
#include "ProgramTreeView.h"

#include <QAction>
#include <QHeaderView>

#include "ItemCode.h"

namespace kt64::console {

ProgramTreeView::ProgramTreeView(program::ProgramDocument& document, program::UserMessages& messages, QWidget* parent)
    : QTreeView(parent), document_(document), messages_(messages) {
    setObjectName("ProgramTreeView");
    setModel(&model_);
    header()->hide();
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setIconSize(QSize(16, 16));
    // A selection, not a mere current item: focusing the tree gives it a
    // current item without selecting anything, and that tells nothing.
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this](const QItemSelection& selected) {
        if (!selected.indexes().isEmpty()) currentChangedTo(selected.indexes().first());
    });

    relayTimer_.setInterval(kRelayRefreshMs);
    connect(&relayTimer_, &QTimer::timeout, this, &ProgramTreeView::relayOutputsWanted);
}

ProgramTreeView::~ProgramTreeView() {
    // The model goes before the view: its last signals must not reach the
    // list through a selection change.
    rebuilding_ = true;
    selectionModel()->disconnect(this);
}

std::optional<std::uint32_t> ProgramTreeView::selectedCode() const {
    const QModelIndex current = selectionModel()->currentIndex();
    if (!current.isValid() || !selectionModel()->isSelected(current)) return std::nullopt;
    return current.data(kItemCodeRole).value<quint32>();
}

bool ProgramTreeView::selectCode(std::uint32_t code) {
    const QModelIndex index = model_.indexForCode(code);
    if (!index.isValid()) return false;
    scrollTo(index);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    return true;
}

void ProgramTreeView::onUpdate(std::uint32_t) {
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

void ProgramTreeView::currentChangedTo(const QModelIndex& current) {
    if (rebuilding_ || !current.isValid()) return;
    emit itemSelected(current.data(kItemCodeRole).value<quint32>());
}

void ProgramTreeView::OnActivateView(bool active) {
    if (active) {
        relayTimer_.start();
    } else {
        relayTimer_.stop();
    }
}

bool ProgramTreeView::OnProgramCommand(ProgramCommand command) {
    emit commandRequested(command);
    return true;
}

}  // namespace kt64::console
