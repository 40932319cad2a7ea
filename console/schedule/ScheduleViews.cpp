// The schedule views put together (see ScheduleViews.h).
#include "ScheduleViews.h"

#include <QTime>

#include "ChartDialogs.h"
#include "PlanPrintDialog.h"
#include "MessageBoxes.h"

namespace kt64::console {

namespace {

// The document's link for one action. The link may hold the last reference
// to a server object the document has let go meanwhile, and ending that
// object's lease waits for the server: so the link is let go on one of the
// document's workers, never on the GUI thread.
class LinkReleasedOffGui : public program::CentreLink {
public:
    explicit LinkReleasedOffGui(Kt64Document& doc) : doc_(doc), link_(doc.centreLink()) {}
    ~LinkReleasedOffGui() override {
        doc_.runOnWorker([link = std::shared_ptr<program::CentreLink>(std::move(link_))]() mutable { link.reset(); });
    }
    bool Connected() const override { return link_->Connected(); }
    std::string BuildType() override { return link_->BuildType(); }
    void PutRozkazy(std::span<const std::uint8_t> image) override { link_->PutRozkazy(image); }
    std::uint32_t RozkazPos() override { return link_->RozkazPos(); }
    void StartGetRozkazy() override { link_->StartGetRozkazy(); }
    std::uint32_t RozkazRxPos() override { return link_->RozkazRxPos(); }
    program::ReceivedList GetRozkazy() override { return link_->GetRozkazy(); }
    std::optional<program::LinkError> centreFault() override { return link_->centreFault(); }

private:
    Kt64Document& doc_;
    std::unique_ptr<program::CentreLink> link_;
};

}  // namespace

ScheduleViews::ScheduleViews(program::ProgramDocument& document, program::UserMessages& messages, QWidget* window,
                             ScheduleTransfers::LinkSource links, QWidget* viewParent, WorkerCalls* workers)
    : document_(document), messages_(messages), window_(window), dialogs_(messages, window) {
    tree_ = new ProgramTreeView(document, messages, viewParent);
    tree_->setObjectName("ProgramTreeView");
    list_ = new CommandListView(document, messages, dialogs_, viewParent);
    connect(tree_, &ProgramTreeView::countsChanged, this, &ScheduleViews::countsChanged);
    if (links && workers) {
        transfers_ = std::make_unique<ScheduleTransfers>(document, std::move(links), *workers, messages, window);
        connect(tree_, &ProgramTreeView::relayOutputsWanted, transfers_.get(), &ScheduleTransfers::readRelayOutputs);
        connect(transfers_.get(), &ScheduleTransfers::relayOutputsRead, this, &ScheduleViews::relayOutputsChanged);
    }
    connectList();
}

ScheduleViews::~ScheduleViews() {
    // Attached to a frame, this object is the tree's child and goes in the
    // tree's destructor, when the tree is a tree view no more (not even to
    // look at through tree_): the views are the frame's then.
    if (parent() != nullptr) return;
    // Views without a parent are ours; placed in a splitter they are the
    // frame's.
    if (tree_ && tree_->parent() == nullptr) delete tree_;
    if (list_ && list_->parent() == nullptr) delete list_;
}

ScheduleViews& ScheduleViews::attach(Kt64Document& doc, QWidget* parent) {
    if (auto* found = parent->findChild<ScheduleViews*>()) return *found;
    auto messages = std::make_unique<ConsoleMessages>(parent->window());
    program::UserMessages& shown = *messages;
    auto* views = new ScheduleViews(
        doc.program(), shown, parent->window(), [&doc] { return std::make_unique<LinkReleasedOffGui>(doc); }, parent,
        &doc.workers());
    views->ownedMessages_ = std::move(messages);
    // It lives and dies with the tree, which the splitter owns.
    views->setParent(views->tree_);
    connect(views, &ScheduleViews::countsChanged, views, [&doc](int blocks, int records) {
        doc.blockCount = blocks;
        doc.recordCount = records;
    });
    // The tree first: its rebuild selects again what it had and so tells
    // the list, which then takes the hint.
    connect(&doc, &Kt64Document::programChanged, views->tree_.data(), &ProgramTreeView::onUpdate);
    connect(&doc, &Kt64Document::programChanged, views->list_.data(), &CommandListView::onUpdate);
    // A received program is a new one: the first save asks for its name
    // instead of overwriting the file that was open.
    connect(views->transfers_.get(), &ScheduleTransfers::programReceived, views, [&doc] { doc.setPathName({}); });
    views->programName = [&doc] { return QString::fromStdString(doc.pathName.filename().string()); };
    views->programFolder = [&doc] {
        return doc.pathName.empty() ? QString() : QString::fromStdString(doc.pathName.parent_path().string());
    };
    // A send that ended well says so where the caretaker looks next.
    connect(views->transfers_.get(), &ScheduleTransfers::programSent, views, [views] {
        emit views->messageTextChanged(kProgramSentText.arg(QTime::currentTime().toString(QStringLiteral("HH:mm"))));
    });
    return *views;
}

void ScheduleViews::connectList() {
    connect(tree_, &ProgramTreeView::itemSelected, list_, &CommandListView::onUpdate);
    connect(tree_, &ProgramTreeView::countsChanged, list_, &CommandListView::setCounts);
    if (transfers_)
        connect(list_, &CommandListView::relayOutputsWanted, transfers_.get(), &ScheduleTransfers::readRelayOutputs);
}

void ScheduleViews::setRecordDialogs(RecordDialogs& dialogs) {
    auto* old = list_.data();
    list_ = new CommandListView(document_, messages_, dialogs, old ? old->parentWidget() : nullptr);
    connectList();
    if (old && old->parent() == nullptr) delete old;
}

void ScheduleViews::runCommand(ProgramCommand command) {
    switch (command) {
    case ProgramCommand::Chart:
        openChart();
        break;
    case ProgramCommand::PrintPlan:
        openPlanPrint();
        break;
    case ProgramCommand::Send:
        sendProgram();
        break;
    case ProgramCommand::Receive:
        receiveProgram();
        break;
    }
}

void ScheduleViews::documentUpdated(std::uint32_t hint) {
    if (list_) list_->onUpdate(hint);
    if (tree_) tree_->onUpdate(hint);
}

void ScheduleViews::openChart() {
    ChartDialog chart(document_, messages_, window_);
    chart.exec();
}

void ScheduleViews::openPlanPrint() {
    PlanPrintDialog dialog(document_, messages_, QDate::currentDate(), window_);
    if (programName) dialog.programName = programName();
    if (programFolder) dialog.programFolder = programFolder();
    dialog.exec();
}

void ScheduleViews::sendProgram() {
    if (transfers_) transfers_->send();
}

void ScheduleViews::receiveProgram() {
    if (transfers_) transfers_->receive();
}

}  // namespace kt64::console
