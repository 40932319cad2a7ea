// The picker's loading, list filling and result.
#include "ComputerPickerDialog.h"

#include <QApplication>
#include <QHeaderView>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>

#include "ServerAddress.h"
#include "ui_ComputerPickerDialog.h"

namespace kt64::console {

ComputerPickerDialog::ComputerPickerDialog(std::shared_ptr<ComputerBrowser> browser, WorkerCalls& workers,
                                           std::uint16_t defaultPort, FormMessages& messages, QWidget* parent)
    : QDialog(parent),
      ui_(std::make_unique<Ui::ComputerPickerDialog>()),
      browser_(std::move(browser)),
      defaultPort_(defaultPort),
      messages_(messages),
      calls_(workers) {
    ui_->setupUi(this);
    setWindowTitle(qtext(kPickerTitle));
    setSizeGripEnabled(true);
    ui_->computerList->header()->setStretchLastSection(false);
    ui_->buttons->button(QDialogButtonBox::Ok)->setEnabled(false);
    // Qt's own text is English without a translation; the console's other
    // dialogs say "Anuluj".
    ui_->buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Anuluj"));
    connect(ui_->buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(ui_->buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(ui_->computerList, &QTreeWidget::itemSelectionChanged, this, [this] {
        ui_->buttons->button(QDialogButtonBox::Ok)->setEnabled(!ui_->computerList->selectedItems().isEmpty());
    });
    connect(ui_->domainList, &QComboBox::currentIndexChanged, this, &ComputerPickerDialog::loadComputers);
}

ComputerPickerDialog::~ComputerPickerDialog() {
    while (busy_ > 0) setBusy(false);
}

void ComputerPickerDialog::setBusy(bool busy) {
    if (busy) {
        if (busy_++ == 0) QApplication::setOverrideCursor(Qt::WaitCursor);
    } else if (busy_ > 0 && --busy_ == 0) {
        QApplication::restoreOverrideCursor();
    }
}

void ComputerPickerDialog::load() {
    setBusy(true);
    calls_.call(
        this, [browser = browser_] { return browser->domains(); },
        [this](std::vector<std::string> domains) { showDomains(std::move(domains)); });
}

void ComputerPickerDialog::showDomains(std::vector<std::string> domains) {
    setBusy(false);
    const QSignalBlocker block(ui_->domainList);
    ui_->domainList->clear();
    if (domains.empty()) {
        messages_.show(this, QMessageBox::Warning, qtext(kPickerTitle), qtext(kNoDomainsText));
        ui_->domainList->addItem(qtext(kNoDomainEntry));
        ui_->domainList->setEnabled(false);
        ui_->computerList->setEnabled(false);
        emit domainsShown(0);
        return;
    }
    ui_->domainList->setEnabled(true);
    ui_->computerList->setEnabled(true);
    for (const auto& d : domains) ui_->domainList->addItem(QString::fromStdString(d));
    ui_->domainList->setCurrentIndex(0);
    emit domainsShown(static_cast<int>(domains.size()));
    loadComputers(0);
}

void ComputerPickerDialog::loadComputers(int index) {
    if (index < 0 || !ui_->domainList->isEnabled()) return;
    ui_->computerList->clear();
    computers_.clear();
    const unsigned generation = ++generation_;
    setBusy(true);
    calls_.call(
        this,
        [browser = browser_, domain = ui_->domainList->itemText(index).toStdString()] {
            return browser->computers(domain);
        },
        [this, generation](std::vector<BrowsedComputer> computers) {
            setBusy(false);
            showComputers(generation, std::move(computers));
        });
}

// An answer for a domain that is no longer chosen is dropped.
void ComputerPickerDialog::showComputers(unsigned generation, std::vector<BrowsedComputer> computers) {
    if (generation != generation_) return;
    computers_ = std::move(computers);
    const QIcon icon = style()->standardIcon(QStyle::SP_ComputerIcon);
    for (const auto& c : computers_) {
        auto* item =
            new QTreeWidgetItem(ui_->computerList, {QString::fromStdString(c.name), QString::fromStdString(c.domain)});
        item->setIcon(0, icon);
    }
    fitColumns();
    emit computersShown(static_cast<int>(computers_.size()));
}

std::optional<QString> ComputerPickerDialog::chosen() const {
    const auto* item = ui_->computerList->currentItem();
    if (!item || !item->isSelected()) return std::nullopt;
    const int row = ui_->computerList->indexOfTopLevelItem(const_cast<QTreeWidgetItem*>(item));
    if (row < 0 || row >= static_cast<int>(computers_.size())) return std::nullopt;
    return QString::fromStdString(compNameOf(computers_[static_cast<std::size_t>(row)], defaultPort_));
}

// Each column half of the list's width less the scroll bar.
void ComputerPickerDialog::fitColumns() {
    const int width = ui_->computerList->width() - ui_->computerList->verticalScrollBar()->sizeHint().width() -
                      2 * ui_->computerList->frameWidth();
    ui_->computerList->setColumnWidth(0, width / 2);
    ui_->computerList->setColumnWidth(1, width / 2);
}

void ComputerPickerDialog::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    fitColumns();
}

void ComputerPickerDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    fitColumns();
}

std::optional<QString> ComputerPickerDialog::choose(QWidget* parent, std::shared_ptr<ComputerBrowser> browser,
                                                    WorkerCalls& workers) {
    ComputerPickerDialog dialog(std::move(browser), workers, client::registeredRpcPort(), defaultFormMessages(),
                                parent);
    dialog.load();
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.chosen();
}

}  // namespace kt64::console
