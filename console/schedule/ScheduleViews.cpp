// The schedule views put together (see ScheduleViews.h).
#include "ScheduleViews.h"

#include "ChartDialogs.h"

namespace kt64::console {

ScheduleViews::ScheduleViews(program::ProgramDocument& document, program::UserMessages& messages, QWidget* window,
                             program::CentreLink* link)
    : document_(document), messages_(messages), window_(window), dialogs_(messages, window) {
    tree_ = new CBlockView(document, messages);
    list_ = new CRozkView(document, messages, dialogs_);
    connect(tree_, &CBlockView::itemSelected, list_, &CRozkView::onUpdate);
    connect(tree_, &CBlockView::countsChanged, list_, &CRozkView::setCounts);
    connect(tree_, &CBlockView::countsChanged, this, &ScheduleViews::countsChanged);
    connect(tree_, &CBlockView::chartRequested, this, &ScheduleViews::openChart);
    connect(list_, &CRozkView::chartRequested, this, &ScheduleViews::openChart);
    if (link != nullptr) {
        transfers_ = std::make_unique<ScheduleTransfers>(document, *link, messages, window);
        connect(tree_, &CBlockView::relayOutputsWanted, transfers_.get(), &ScheduleTransfers::readRelayOutputs);
        connect(list_, &CRozkView::relayOutputsWanted, transfers_.get(), &ScheduleTransfers::readRelayOutputs);
        connect(transfers_.get(), &ScheduleTransfers::relayOutputsRead, this, &ScheduleViews::relayOutputsChanged);
    }
}

ScheduleViews::~ScheduleViews() {
    // The views belong to the frame's splitter once placed there.
    if (tree_ && tree_->parent() == nullptr) delete tree_;
    if (list_ && list_->parent() == nullptr) delete list_;
}

void ScheduleViews::setRecordDialogs(RecordDialogs& dialogs) {
    // The list keeps its editing state; only the dialogs change.
    auto* old = list_.data();
    list_ = new CRozkView(document_, messages_, dialogs);
    connect(tree_, &CBlockView::itemSelected, list_, &CRozkView::onUpdate);
    connect(tree_, &CBlockView::countsChanged, list_, &CRozkView::setCounts);
    connect(list_, &CRozkView::chartRequested, this, &ScheduleViews::openChart);
    if (transfers_)
        connect(list_, &CRozkView::relayOutputsWanted, transfers_.get(), &ScheduleTransfers::readRelayOutputs);
    if (old && old->parent() == nullptr) delete old;
}

void ScheduleViews::documentUpdated(std::uint32_t hint) {
    if (list_) list_->onUpdate(hint);
    if (tree_) tree_->onUpdate(hint);
}

void ScheduleViews::openChart() {
    CGrafZalDlg chart(document_, messages_, window_);
    chart.exec();
}

void ScheduleViews::sendProgram() {
    if (transfers_) transfers_->send();
}

void ScheduleViews::receiveProgram() {
    if (transfers_) transfers_->receive();
}

}  // namespace kt64::console
