// The schedule tree (see ProgramTreeView.h).
#include "ProgramTreeView.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QDate>
#include <QHeaderView>

#include <algorithm>

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

    addHolidays_.setText(QString::fromUtf8(daysofftext::kAddHolidays));
    importCalendar_.setText(QString::fromUtf8(daysofftext::kImportCalendar));
    menu_.addAction(&addHolidays_);
    menu_.addAction(&importCalendar_);
    connect(&addHolidays_, &QAction::triggered, this, [this] { openDaysOff(DaysOffSource::Holidays); });
    connect(&importCalendar_, &QAction::triggered, this, [this] { openDaysOff(DaysOffSource::Calendar); });
    updateDaysOffActions();
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

std::vector<std::uint32_t> ProgramTreeView::expandedCodes() const {
    std::vector<std::uint32_t> codes;
    std::vector<QModelIndex> pending{QModelIndex()};
    while (!pending.empty()) {
        const QModelIndex parent = pending.back();
        pending.pop_back();
        for (int row = 0; row < model_.rowCount(parent); ++row) {
            const QModelIndex index = model_.index(row, 0, parent);
            if (!isExpanded(index)) continue;
            codes.push_back(index.data(kItemCodeRole).value<quint32>());
            pending.push_back(index);
        }
    }
    return codes;
}

void ProgramTreeView::expandCodes(const std::vector<std::uint32_t>& codes) {
    if (codes.empty()) return;
    std::vector<QModelIndex> pending{QModelIndex()};
    while (!pending.empty()) {
        const QModelIndex parent = pending.back();
        pending.pop_back();
        for (int row = 0; row < model_.rowCount(parent); ++row) {
            const QModelIndex index = model_.index(row, 0, parent);
            if (std::find(codes.begin(), codes.end(), index.data(kItemCodeRole).value<quint32>()) == codes.end())
                continue;
            expand(index);
            pending.push_back(index);
        }
    }
}

void ProgramTreeView::onUpdate(std::uint32_t) {
    const auto remembered = selectedCode();
    const auto expanded = expandedCodes();
    rebuilding_ = true;
    const auto counts = model_.rebuild(document_.database(), messages_);
    rebuilding_ = false;
    if (counts.read) emit countsChanged(counts.blocks, counts.records);
    // A program just made or opened starts at its list of blocks, the one
    // list it can be built up from, folded. The mark is taken by the first
    // rebuild after it, so that the first change made afterwards keeps the
    // tree's selection.
    const bool fresh = document_.freshDocument;
    document_.freshDocument = false;
    if (fresh) {
        if (document_.isOpen()) selectCode(makeItemCode(kKindBlocks, 0));
        return;
    }
    expandCodes(expanded);
    if (!remembered) return;
    const int kind = kindOf(*remembered);
    if (kind == kKindBlocks || kind == kKindBlockCommands || kind == kKindBlockDates) selectCode(*remembered);
}

void ProgramTreeView::currentChangedTo(const QModelIndex& current) {
    updateDaysOffActions();
    if (rebuilding_ || !current.isValid()) return;
    emit itemSelected(current.data(kItemCodeRole).value<quint32>());
}

void ProgramTreeView::setActive(bool active) {
    if (active) {
        relayTimer_.start();
    } else {
        relayTimer_.stop();
    }
}

std::optional<std::int64_t> ProgramTreeView::daysOffBlock() const {
    const auto code = selectedCode();
    if (!code || !document_.isOpen()) return std::nullopt;
    const int kind = kindOf(*code);
    const std::int64_t id = idOf(*code);
    if (kind == kKindDates && id == 0) return 0;
    if ((kind == kKindBlocks && id != 0 && id != program::kBaseBlock) || kind == kKindBlockDates) return id;
    return std::nullopt;
}

void ProgramTreeView::updateDaysOffActions() {
    const bool possible = daysOffBlock().has_value();
    addHolidays_.setEnabled(possible);
    importCalendar_.setEnabled(possible);
}

void ProgramTreeView::contextMenuEvent(QContextMenuEvent* event) {
    const QModelIndex index = indexAt(event->pos());
    if (index.isValid()) selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    updateDaysOffActions();
    menu_.exec(event->globalPos());
}

void ProgramTreeView::openDaysOff(DaysOffSource source) {
    const auto block = daysOffBlock();
    if (!block) return;
    const QDate today = QDate::currentDate();
    DaysOffDialog dialog(source, document_, messages_, *block, {today.year(), today.month(), today.day()}, this);
    runDialog_(dialog);
}

}  // namespace kt64::console
