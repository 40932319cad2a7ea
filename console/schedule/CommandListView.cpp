// The schedule list (see CommandListView.h).
#include "CommandListView.h"

#include <algorithm>

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>

namespace kt64::console {

namespace {

struct MenuItem {
    MenuEntry entry;
    const char* text;
    const char* name;
};
constexpr MenuItem kMenuItems[] = {
    {kMenuAdd, "&Dodaj rekord", "addRecord"},    {kMenuEditAs, "Edytuj &jako", "editRecordAs"},
    {kMenuEdit, "&Edytuj rekord", "editRecord"}, {kMenuDelete, "&Usuń rekord", "deleteRecord"},
    {kMenuCopy, "&Kopiuj", "copyRecord"},        {kMenuPaste, "&Wklej", "pasteRecord"},
};

}  // namespace

CommandListView::CommandListView(program::ProgramDocument& document, program::UserMessages& messages,
                                 RecordDialogs& dialogs, QWidget* parent)
    : QTableView(parent), document_(document), messages_(messages), editing_(document, messages, dialogs) {
    setObjectName("CommandListView");
    setModel(&model_);
    setShowGrid(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false);
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setHighlightSections(false);

    for (const auto& item : kMenuItems) {
        if (item.entry == kMenuCopy) menu_.addSeparator();
        QAction* action = menu_.addAction(QString::fromUtf8(item.text));
        action->setObjectName(item.name);
    }
    menu_.setObjectName("menu169");
    const auto actions = menu_.actions();
    connect(actions[0], &QAction::triggered, this, &CommandListView::addRecord);
    connect(actions[1], &QAction::triggered, this, &CommandListView::editAsRecord);
    connect(actions[2], &QAction::triggered, this, &CommandListView::editRecord);
    connect(actions[3], &QAction::triggered, this, &CommandListView::deleteRecord);
    connect(actions[5], &QAction::triggered, this, &CommandListView::copyRecord);
    connect(actions[6], &QAction::triggered, this, &CommandListView::pasteRecord);

    relayTimer_.setInterval(kRelayRefreshMs);
    connect(&relayTimer_, &QTimer::timeout, this, &CommandListView::relayOutputsWanted);
}

std::optional<std::int64_t> CommandListView::selectedId() const {
    const auto rows = selectionModel()->selectedRows();
    if (rows.isEmpty()) return std::nullopt;
    return model_.idOfRow(rows.first().row());
}

bool CommandListView::selectId(std::int64_t id) {
    const int row = model_.rowOfId(id);
    if (row < 0) return false;
    selectionModel()->setCurrentIndex(model_.index(row, 0),
                                      QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    return true;
}

void CommandListView::applyColumnWidths() {
    // The fixed widths are the least each column gets: measured for a
    // smaller font than this screen's may use, they would cut a time such
    // as "16:30" or an operation such as "Wyłączony"; a column whose heading
    // or content needs more is widened to fit.
    const auto& widths = model_.columnWidths();
    for (std::size_t i = 0; i < widths.size(); ++i) {
        const int column = static_cast<int>(i);
        const int needed = std::max(sizeHintForColumn(column), horizontalHeader()->sectionSizeHint(column));
        setColumnWidth(column, std::max(widths[i], needed));
    }
}

void CommandListView::onUpdate(std::uint32_t hint) {
    currentCode_ = hint;
    const int kind = kindOf(hint);
    if (kind == kindOf(previousCode_) && (kind == kKindBlocks || kind == kKindCommands || kind == kKindDates)) {
        // The same list: only the selection follows the tree.
        const std::int64_t id = idOf(hint);
        const int row = id != 0 ? model_.rowOfId(id) : -1;
        if (row >= 0) {
            selectionModel()->setCurrentIndex(model_.index(row, 0),
                                              QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            scrollTo(model_.index(row > 0 ? row - 1 : 0, 0));
            scrollTo(model_.index(row, 0));
        }
        const std::int64_t previousId = idOf(previousCode_);
        const int previousRow = previousId != 0 ? model_.rowOfId(previousId) : -1;
        if (previousRow >= 0)
            selectionModel()->select(model_.index(previousRow, 0),
                                     QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
    } else {
        model_.fill(hint, document_.database(), messages_);
        applyColumnWidths();
        // A hint that names no list (a new or opened program) shows all
        // blocks: the list then is the block list, with its menu, its keys
        // and its adding, not a list whose entries do nothing.
        if (kind != kKindBlocks && kind != kKindCommands && kind != kKindBlockCommands && kind != kKindDates &&
            kind != kKindBlockDates)
            currentCode_ = makeItemCode(kKindBlocks, 0);
    }
    previousCode_ = currentCode_;
}

void CommandListView::setCounts(int blocks, int datesPlusCommands) { editing_.setCounts(blocks, datesPlusCommands); }

void CommandListView::afterChange(const RecordEditing::Outcome& outcome) {
    if (!outcome.changed) return;
    if (outcome.refillBlocks) previousCode_ = kNoItemCode;
    document_.notifyChanged(currentCode_);
}

void CommandListView::addRecord() { afterChange(editing_.edit(EditMode::Add, currentCode_, selectedId())); }
void CommandListView::editAsRecord() { afterChange(editing_.edit(EditMode::EditAs, currentCode_, selectedId())); }
void CommandListView::editRecord() { afterChange(editing_.edit(EditMode::Edit, currentCode_, selectedId())); }

void CommandListView::deleteRecord() {
    if (const auto id = selectedId()) afterChange(editing_.remove(currentCode_, *id));
}

void CommandListView::copyRecord() {
    if (const auto id = selectedId()) editing_.copy(currentCode_, *id);
}

void CommandListView::pasteRecord() { afterChange(editing_.paste(currentCode_)); }

void CommandListView::updateMenu() {
    const MenuState state = editing_.menuState(currentCode_, selectedId());
    const auto actions = menu_.actions();
    for (int i = 0; i < actions.size(); ++i)
        if (!actions[i]->isSeparator()) actions[i]->setEnabled(state.test(static_cast<std::size_t>(i)));
}

QMenu& CommandListView::contextMenu() {
    updateMenu();
    return menu_;
}

void CommandListView::contextMenuEvent(QContextMenuEvent* event) {
    updateMenu();
    menu_.exec(event->globalPos());
}

void CommandListView::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Delete || key == Qt::Key_Insert) {
        const auto id = selectedId();
        if (editing_.keysAct(currentCode_, id)) {
            if (key == Qt::Key_Insert) {
                if (acceptsRecords(kindOf(currentCode_))) addRecord();
            } else if (id) {
                if (key == Qt::Key_Delete) {
                    deleteRecord();
                } else {
                    editRecord();
                }
            }
        }
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

void CommandListView::mouseDoubleClickEvent(QMouseEvent* event) {
    QTableView::mouseDoubleClickEvent(event);
    const auto id = selectedId();
    if (id && editing_.keysAct(currentCode_, id)) editRecord();
}

void CommandListView::setActive(bool active) {
    if (active) {
        relayTimer_.start();
    } else {
        relayTimer_.stop();
    }
}

}  // namespace kt64::console
