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
#include "ui_CGrafZalDlg.h"
#include "ui_CInfoPrzelDlg.h"

namespace kt64::console {

// ------------------------------------------------------- CInfoPrzelDlg

CInfoPrzelDlg::CInfoPrzelDlg(QWidget* parent) : QDialog(parent), ui_(std::make_unique<Ui::CInfoPrzelDlg>()) {
    ui_->setupUi(this);
    setModal(false);
    // OK only hides the window; it lives as long as the chart.
    connect(ui_->ctl1, &QPushButton::clicked, this, &QWidget::hide);
}

CInfoPrzelDlg::~CInfoPrzelDlg() = default;

void CInfoPrzelDlg::showSample(const program::SampleInfo& info, const QString& dayBlocks) {
    ui_->ctl1154->setText(QString::fromStdString(info.relay));
    ui_->ctl1155->setText(QString::fromStdString(info.time));
    ui_->ctl1156->setText(QString::fromStdString(info.state));
    ui_->ctl1156->setBackground(colourOf(info.stateColour));
    ui_->ctl1157->setText(QString::fromStdString(info.impulse));
    ui_->ctl1158->setText(QString::fromStdString(info.cycle));
    ui_->ctl1167->setText(QString::fromStdString(info.command));
    ui_->ctl1168->setText(QString::fromStdString(info.block));
    ui_->ctlDayBlocks->setText(dayBlocks);
    ui_->label1157->setVisible(info.impulseShown);
    ui_->ctl1157->setVisible(info.impulseShown);
    ui_->label1158->setVisible(info.cycleShown);
    ui_->ctl1158->setVisible(info.cycleShown);
}

// --------------------------------------------------------- CGrafZalDlg

CGrafZalDlg::CGrafZalDlg(program::ProgramDocument& document, program::UserMessages& messages, QWidget* parent)
    : QDialog(parent), document_(document), messages_(messages), ui_(std::make_unique<Ui::CGrafZalDlg>()) {
    ui_->setupUi(this);
    for (const auto text : program::kDayChoices) ui_->ctl1083->addItem(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    for (const auto text : program::kResolutionChoices) ui_->ctl1150->addItem(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    ui_->legend->setPixmap(QPixmap::fromImage(legendPicture()));

    const ChartChoice choice = readChartChoice(messages_);
    redrawing_ = true;
    ui_->ctl1081->setDate(QDate::currentDate());
    ui_->ctl1083->setCurrentIndex(choice.daysIndex);
    ui_->ctl1150->setCurrentIndex(choice.resolutionIndex);
    redrawing_ = false;
    ui_->ctl1152->setProgram(document_.database(), &messages_);

    connect(ui_->ctl1081, &QDateEdit::dateChanged, this, [this] { redraw(); });
    // A longer chart widens the window as far as it can.
    connect(ui_->ctl1083, &QComboBox::currentIndexChanged, this, [this] {
        redraw();
        fitWindowToChart();
    });
    connect(ui_->ctl1150, &QComboBox::currentIndexChanged, this, [this] {
        redraw();
        fitWindowToChart();
    });
    connect(ui_->ctl1149, &QPushButton::clicked, this, [this] { moveStart(-1); });
    connect(ui_->ctl1126, &QPushButton::clicked, this, [this] { moveStart(1); });
    connect(ui_->ctl1151, &QScrollBar::valueChanged, this, &CGrafZalDlg::scrolled);
    connect(ui_->ctl1152, &CGrafZalStat::sampleShown, this, &CGrafZalDlg::sampleShown);
    connect(ui_->ctl1, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui_->savePicture, &QPushButton::clicked, this, &CGrafZalDlg::askAndSavePicture);
    ui_->ctl1151->setSingleStep(10);
    redraw();
}

CGrafZalDlg::~CGrafZalDlg() = default;

CGrafZalStat& CGrafZalDlg::chart() { return *ui_->ctl1152; }

void CGrafZalDlg::redraw() {
    if (redrawing_) return;
    redrawing_ = true;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const QDate start = ui_->ctl1081->date();
    const int days = ui_->ctl1083->currentIndex() + 1;
    const int minutes = program::kResolutionMinutes[static_cast<std::size_t>(std::max(0, ui_->ctl1150->currentIndex()))];
    ui_->ctl1152->setChart({start.year(), start.month(), start.day()}, days, minutes);
    QApplication::restoreOverrideCursor();
    updateScrollRange();
    ui_->ctl1151->setValue(0);
    ui_->ctl1152->setOffset(0);
    redrawing_ = false;
}

void CGrafZalDlg::updateScrollRange() {
    // Before the dialog is shown the control has not got its size yet.
    const int clientWidth = std::max(ui_->ctl1152->width(), ui_->ctl1152->minimumWidth());
    const int maximum = ui_->ctl1152->geometry().scrollRange(clientWidth);
    ui_->ctl1151->setRange(0, maximum);
    ui_->ctl1151->setPageStep(std::max(1, maximum / 20));
}

void CGrafZalDlg::fitWindowToChart() {
    if (!isVisible()) return;
    // Wide enough to show the chart whole, as far as the screen allows,
    // never narrower than the window is.
    const QScreen* shown = screen();
    const int decoration = frameGeometry().width() - width();
    const int available = shown ? shown->availableGeometry().width() - decoration : width();
    const int besideChart = width() - ui_->ctl1152->width();
    const int wanted = std::max(width(), std::min(ui_->ctl1152->geometry().width() + besideChart, available));
    if (wanted != width()) resize(wanted, height());
}

void CGrafZalDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    fitWindowToChart();
}

void CGrafZalDlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    // The layout has given the chart its new width already.
    updateScrollRange();
    ui_->ctl1152->setOffset(ui_->ctl1151->value());
}

void CGrafZalDlg::moveStart(int direction) {
    const int days = ui_->ctl1083->currentIndex() + 1;
    ui_->ctl1081->setDate(ui_->ctl1081->date().addDays(direction * days));
}

void CGrafZalDlg::scrolled(int position) { ui_->ctl1152->setOffset(position); }

void CGrafZalDlg::sampleShown(const program::SampleRecord& sample, program::LocalSeconds time, int row) {
    if (!info_) {
        info_ = new CInfoPrzelDlg(this);
        info_->move(frameGeometry().topRight());
    }
    const auto blocks = ui_->ctl1152->dayBlocks(program::dateOf(time));
    QStringList names;
    for (const auto b : blocks) names << QString::number(b);
    info_->showSample(program::describeSample(sample, time, row), names.join(QStringLiteral(", ")));
    info_->show();
}

QImage CGrafZalDlg::legendPicture() {
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

bool CGrafZalDlg::savePicture(const QString& file) {
    QImageWriter writer(file, "png");
    if (!writer.write(chartPicture(ui_->ctl1152->pictures()))) {
        messages_.show("Nie mogę zapisać obrazu " + file.toStdString() + ": " + writer.errorString().toStdString(),
                       program::MessageIcon::Stop);
        return false;
    }
    return true;
}

void CGrafZalDlg::askAndSavePicture() {
    // In the user's documents folder, not wherever the console was started.
    const QDir documents(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    const QString start = documents.exists() ? documents.filePath(QStringLiteral("grafik.png")) : QStringLiteral("grafik.png");
    const QString file = QFileDialog::getSaveFileName(this, QStringLiteral("Zapisz obraz"), start,
                                                      QStringLiteral("Obraz PNG (*.png)"));
    if (!file.isEmpty()) savePicture(file);
}

void CGrafZalDlg::done(int result) {
    writeChartChoice({ui_->ctl1083->currentIndex(), ui_->ctl1150->currentIndex()}, messages_);
    if (info_) info_->close();
    QDialog::done(result);
}

}  // namespace kt64::console
