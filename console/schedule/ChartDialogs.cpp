// The chart dialog and the information window (see ChartDialogs.h).
#include "ChartDialogs.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QImageWriter>
#include <QPainter>
#include <QScreen>
#include <QStandardPaths>

#include <algorithm>
#include <vector>

#include "ScheduleRules.h"
#include "ui_ChartDialog.h"
#include "ui_RelayInfoDialog.h"

namespace kt64::console {

// ------------------------------------------------------- RelayInfoDialog

RelayInfoDialog::RelayInfoDialog(QWidget* parent) : QDialog(parent), ui_(std::make_unique<Ui::RelayInfoDialog>()) {
    ui_->setupUi(this);
    setModal(false);
    // OK only hides the window; it lives as long as the chart.
    connect(ui_->okButton, &QPushButton::clicked, this, &QWidget::hide);
}

RelayInfoDialog::~RelayInfoDialog() = default;

void RelayInfoDialog::showSample(const program::SampleInfo& info, const QString& dayBlocks) {
    ui_->relayLabel->setText(QString::fromStdString(info.relay));
    ui_->timeLabel->setText(QString::fromStdString(info.time));
    ui_->stateLabel->setText(QString::fromStdString(info.state));
    ui_->stateLabel->setBackground(colourOf(info.stateColour));
    ui_->impulseLabel->setText(QString::fromStdString(info.impulse));
    ui_->cycleLabel->setText(QString::fromStdString(info.cycle));
    ui_->commandLabel->setText(QString::fromStdString(info.command));
    ui_->blockLabel->setText(QString::fromStdString(info.block));
    ui_->dayBlocksLabel->setText(dayBlocks);
    ui_->impulseCaption->setVisible(info.impulseShown);
    ui_->impulseLabel->setVisible(info.impulseShown);
    ui_->cycleCaption->setVisible(info.cycleShown);
    ui_->cycleLabel->setVisible(info.cycleShown);
}

// --------------------------------------------------------- ChartDialog

ChartDialog::ChartDialog(program::ProgramDocument& document, program::UserMessages& messages, QWidget* parent)
    : QDialog(parent), document_(document), messages_(messages), ui_(std::make_unique<Ui::ChartDialog>()) {
    ui_->setupUi(this);
    for (const auto text : program::kDayChoices)
        ui_->daysCombo->addItem(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    for (const auto text : program::kResolutionChoices)
        ui_->resolutionCombo->addItem(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    ui_->legend->setPixmap(QPixmap::fromImage(legendPicture()));

    const ChartChoice choice = readChartChoice(messages_);
    redrawing_ = true;
    ui_->startEdit->setDate(QDate::currentDate());
    ui_->daysCombo->setCurrentIndex(choice.daysIndex);
    ui_->resolutionCombo->setCurrentIndex(choice.resolutionIndex);
    redrawing_ = false;
    ui_->chart->setProgram(document_.database(), &messages_);

    connect(ui_->startEdit, &QDateEdit::dateChanged, this, [this] { redraw(); });
    // A longer chart widens the window as far as it can.
    connect(ui_->daysCombo, &QComboBox::currentIndexChanged, this, [this] {
        redraw();
        fitWindowToChart();
    });
    connect(ui_->resolutionCombo, &QComboBox::currentIndexChanged, this, [this] {
        redraw();
        fitWindowToChart();
    });
    connect(ui_->earlierButton, &QPushButton::clicked, this, [this] { moveStart(-1); });
    connect(ui_->laterButton, &QPushButton::clicked, this, [this] { moveStart(1); });
    connect(ui_->chartScroll, &QScrollBar::valueChanged, this, &ChartDialog::scrolled);
    connect(ui_->chart, &RelayChart::sampleShown, this, &ChartDialog::sampleShown);
    connect(ui_->closeButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui_->savePicture, &QPushButton::clicked, this, &ChartDialog::askAndSavePicture);
    ui_->chartScroll->setSingleStep(10);
    redraw();
}

ChartDialog::~ChartDialog() = default;

RelayChart& ChartDialog::chart() { return *ui_->chart; }

void ChartDialog::redraw() {
    if (redrawing_) return;
    redrawing_ = true;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const QDate start = ui_->startEdit->date();
    const int days = ui_->daysCombo->currentIndex() + 1;
    const int minutes =
        program::kResolutionMinutes[static_cast<std::size_t>(std::max(0, ui_->resolutionCombo->currentIndex()))];
    ui_->chart->setChart({start.year(), start.month(), start.day()}, days, minutes);
    QApplication::restoreOverrideCursor();
    updateScrollRange();
    ui_->chartScroll->setValue(0);
    ui_->chart->setOffset(0);
    redrawing_ = false;
}

void ChartDialog::updateScrollRange() {
    // Before the dialog is shown the control has not got its size yet.
    const int clientWidth = std::max(ui_->chart->width(), ui_->chart->minimumWidth());
    const int maximum = ui_->chart->geometry().scrollRange(clientWidth);
    ui_->chartScroll->setRange(0, maximum);
    ui_->chartScroll->setPageStep(std::max(1, maximum / 20));
}

void ChartDialog::fitWindowToChart() {
    if (!isVisible()) return;
    // Wide enough to show the chart whole, as far as the screen allows,
    // never narrower than the window is.
    const QScreen* shown = screen();
    const int decoration = frameGeometry().width() - width();
    const int available = shown ? shown->availableGeometry().width() - decoration : width();
    const int besideChart = width() - ui_->chart->width();
    const int wanted = std::max(width(), std::min(ui_->chart->geometry().width() + besideChart, available));
    if (wanted != width()) resize(wanted, height());
}

void ChartDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    fitWindowToChart();
}

void ChartDialog::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    // The layout has given the chart its new width already.
    updateScrollRange();
    ui_->chart->setOffset(ui_->chartScroll->value());
}

void ChartDialog::moveStart(int direction) {
    const int days = ui_->daysCombo->currentIndex() + 1;
    ui_->startEdit->setDate(ui_->startEdit->date().addDays(direction * days));
}

void ChartDialog::scrolled(int position) { ui_->chart->setOffset(position); }

void ChartDialog::sampleShown(const program::SampleRecord& sample, program::LocalSeconds time, int row) {
    if (!info_) {
        info_ = new RelayInfoDialog(this);
        info_->move(frameGeometry().topRight());
    }
    const auto blocks = ui_->chart->dayBlocks(program::dateOf(time));
    QStringList names;
    for (const auto b : blocks) names << QString::number(b);
    info_->showSample(program::describeSample(sample, time, row), names.join(QStringLiteral(", ")));
    info_->show();
}

QImage ChartDialog::legendPicture() {
    static const char* const labels[] = {"Włącz.", "Imp. +", "Imp. -", "Cykl+", "Cykl-"};
    // Each label as wide as the font in use makes it, so none is cut.
    const QFont font = QApplication::font();
    const QFontMetrics metrics(font);
    constexpr int kBox = 10, kGap = 3, kSpacing = 14;
    const int height = std::max(16, metrics.height());
    std::vector<int> x{0};
    for (const char* label : labels)
        x.push_back(x.back() + kBox + kGap + metrics.horizontalAdvance(QString::fromUtf8(label)) + kSpacing);
    QImage image(x.back() - kSpacing, height, QImage::Format_RGB32);
    image.fill(QColor(240, 240, 240));
    QPainter painter(&image);
    painter.setFont(font);
    for (int code = 1; code <= 5; ++code) {
        const int left = x[static_cast<std::size_t>(code - 1)];
        const int top = (height - kBox) / 2;
        painter.fillRect(left, top, kBox, kBox, colourOf(program::stateColour(static_cast<std::uint32_t>(code))));
        painter.setPen(Qt::black);
        painter.drawRect(left, top, kBox, kBox);
        painter.drawText(QRect(left + kBox + kGap, 0, image.width() - left, height), Qt::AlignLeft | Qt::AlignVCenter,
                         QString::fromUtf8(labels[code - 1]));
    }
    return image;
}

bool ChartDialog::savePicture(const QString& file) {
    QImageWriter writer(file, "png");
    if (!writer.write(chartPicture(ui_->chart->pictures()))) {
        messages_.show("Nie mogę zapisać obrazu " + file.toStdString() + ": " + writer.errorString().toStdString(),
                       program::MessageIcon::Stop);
        return false;
    }
    return true;
}

void ChartDialog::askAndSavePicture() {
    // In the user's documents folder, not wherever the console was started.
    const QDir documents(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    const QString start =
        documents.exists() ? documents.filePath(QStringLiteral("grafik.png")) : QStringLiteral("grafik.png");
    const QString file =
        QFileDialog::getSaveFileName(this, QStringLiteral("Zapisz obraz"), start, QStringLiteral("Obraz PNG (*.png)"));
    if (!file.isEmpty()) savePicture(file);
}

void ChartDialog::done(int result) {
    writeChartChoice({ui_->daysCombo->currentIndex(), ui_->resolutionCombo->currentIndex()}, messages_);
    if (info_) info_->close();
    QDialog::done(result);
}

}  // namespace kt64::console
