// The switching chart read back from its pictures for known programs: the
// marks of each operation on the columns of their minutes in their
// colours and heights, the time scale's ticks, labels and width, the
// scroll range, the information window's fields and rows under the cursor
// line, "<" and ">" by the days shown, the remembered choices, and the
// chart saved as a PNG picture.
#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <fstream>

#include "ChartDialogs.h"
#include "ColorText.h"
#include "Registry.h"
#include "ScheduleRules.h"
#include "ScheduleTestSupport.h"
#include "ui_ChartDialog.h"
#include "ui_RelayInfoDialog.h"

using namespace kt64::console;
using namespace kt64::test;
namespace program = kt64::program;
namespace reg = kt64::reg;

namespace {

constexpr program::CivilDate kMondayDate{2025, 3, 3};

QRgb rgb(const program::Rgb& c) { return qRgb(c.red, c.green, c.blue); }
constexpr QRgb kWhite = 0xFFFFFFFF;

// Column of a minute of the first day at 1 minute per pixel.
int column(int hour, int minute) { return 30 + hour * 60 + minute; }

bool hasDarkPixel(const QImage& image, const QRect& area) {
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (qGray(image.pixel(x, y)) < 128) return true;
    return false;
}

std::optional<std::uint32_t> stored(const char* name) {
    auto key = reg::Key::open(reg::Hive::LocalMachine, kProgramKey);
    return key ? key->dword(name) : std::nullopt;
}

}  // namespace

class ChartTest : public QObject {
    Q_OBJECT
private slots:
    void marksOnTheColumnsOfTheirMinutes();
    void timeScaleOfOneDay();
    void widthsAndScrollRanges_data();
    void widthsAndScrollRanges();
    void informationUnderTheCursorLine();
    void startMovesByTheDaysShown();
    void legendFitsItsLabels();
    void choicesAreRemembered();
    void savedAsPicture();
    void unusableRegistryNeitherStopsTheChartNorTheConsole();
};

void ChartTest::marksOnTheColumnsOfTheirMinutes() {
    NewProgram p;
    // Relay 1: "Impuls+" at 8:00 for 3 minutes; relay 2: "Wyłączony" from
    // 0:00, "Załączony" at 12:00.
    p.command(1, 1, program::kImpulsePlus, 8, 0, program::kAllWeek, 3, true);
    p.command(1, 2, program::kOff, 0, 0);
    p.command(1, 2, program::kOn, 12, 0);
    program::ProgramEvaluator evaluator(p.document.database(), p.messages);
    const auto pictures = drawChart(program::ChartGeometry(kMondayDate, 1, 1), evaluator);
    QVERIFY(pictures.ready);
    const QImage& relay1 = pictures.relays[0];
    const QImage& relay2 = pictures.relays[1];
    QCOMPARE(relay1.size(), QSize(1500, 80));
    const QRgb green = rgb(program::stateColour(program::kImpulsePlus));

    // Nothing in force before 8:00: nothing drawn.
    QCOMPARE(relay1.pixel(column(7, 59), 66), kWhite);
    // On from 8:00 to 8:03: tall marks from 67 up to 36.
    for (int m = 0; m <= 3; ++m) {
        QCOMPARE(relay1.pixel(column(8, m), 67), green);
        QCOMPARE(relay1.pixel(column(8, m), 36), green);
    }
    // (8:00 itself carries the dotted hour line above the mark.)
    QCOMPARE(relay1.pixel(column(8, 1), 35), kWhite);
    // Off afterwards under the same command: short marks, 67 up to 63.
    QCOMPARE(relay1.pixel(column(8, 4), 63), green);
    QCOMPARE(relay1.pixel(column(8, 4), 62), kWhite);
    QCOMPARE(relay1.pixel(column(8, 4), 50), kWhite);
    QCOMPARE(relay1.pixel(column(23, 59), 65), green);
    // The strip's base line and a dotted hour line.
    QCOMPARE(relay1.pixel(100, 70), kStripBaseColour);
    QCOMPARE(relay1.pixel(column(3, 0), 69), kHourLineColour);
    QCOMPARE(relay1.pixel(column(3, 0), 68), kWhite);
    QVERIFY(hasDarkPixel(relay1, QRect(30, 5, 60, 12)));  // "Przekaźnik: 1"

    // Relay 2: short grey marks while off, tall red ones from 12:00.
    QCOMPARE(relay2.pixel(column(11, 59), 65), rgb(program::stateColour(program::kOff)));
    QCOMPARE(relay2.pixel(column(11, 59), 50), kWhite);
    QCOMPARE(relay2.pixel(column(12, 0), 40), rgb(program::stateColour(program::kOn)));
    QCOMPARE(relay2.pixel(column(23, 0) + 1, 40), rgb(program::stateColour(program::kOn)));
}

void ChartTest::timeScaleOfOneDay() {
    NewProgram p;
    program::ProgramEvaluator evaluator(p.document.database(), p.messages);
    const auto pictures = drawChart(program::ChartGeometry(kMondayDate, 1, 1), evaluator);
    const QImage& scale = pictures.timeScale;
    QCOMPARE(scale.size(), QSize(1500, 40));
    // Base line from 30 to 1470, ticks from 37 up to (not into) 33 at
    // every hour, 25 of them.
    QCOMPARE(scale.pixel(30, 38), qRgb(0, 0, 0));
    QCOMPARE(scale.pixel(1470, 38), qRgb(0, 0, 0));
    QCOMPARE(scale.pixel(29, 38), kWhite);
    QCOMPARE(scale.pixel(1471, 38), kWhite);
    int ticks = 0;
    for (int x = 0; x < scale.width(); ++x)
        if (scale.pixel(x, 36) == qRgb(0, 0, 0)) ++ticks;
    QCOMPARE(ticks, 25);
    QCOMPARE(scale.pixel(column(5, 0), 34), qRgb(0, 0, 0));
    QCOMPARE(scale.pixel(column(5, 0), 37), qRgb(0, 0, 0));
    QCOMPARE(scale.pixel(column(5, 0), 33), kWhite);
    // Hour numbers under the dates, the dates at both midnights.
    QVERIFY(hasDarkPixel(scale, QRect(column(13, 0) - 2, 20, 12, 12)));
    QVERIFY(hasDarkPixel(scale, QRect(10, 5, 40, 12)));
    QVERIFY(hasDarkPixel(scale, QRect(1450, 5, 40, 12)));
    QVERIFY(!hasDarkPixel(scale, QRect(700, 5, 40, 12)));
}

void ChartTest::widthsAndScrollRanges_data() {
    QTest::addColumn<int>("days");
    QTest::addColumn<int>("minutes");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("labelStep");
    QTest::addColumn<int>("range760");
    QTest::newRow("1 day, 1 min") << 1 << 1 << 1500 << 1 << 1500 - 760;
    QTest::newRow("7 days, 20 min") << 7 << 20 << 564 << 8 << 0;
    QTest::newRow("3 days, 15 min") << 3 << 15 << 348 << 4 << 0;
    QTest::newRow("7 days, 1 min") << 7 << 1 << 10140 << 1 << 10140 - 760;
}

void ChartTest::widthsAndScrollRanges() {
    QFETCH(int, days);
    QFETCH(int, minutes);
    QFETCH(int, width);
    QFETCH(int, labelStep);
    QFETCH(int, range760);
    NewProgram p;
    const int daysIndex = days - 1;
    const int resolutionIndex =
        static_cast<int>(std::find(program::kResolutionMinutes.begin(), program::kResolutionMinutes.end(), minutes) -
                         program::kResolutionMinutes.begin());
    reg::Key::create(reg::Hive::LocalMachine, kProgramKey).setDword("DlugGraf", static_cast<std::uint32_t>(daysIndex));
    reg::Key::create(reg::Hive::LocalMachine, kProgramKey)
        .setDword("RozdzGraf", static_cast<std::uint32_t>(resolutionIndex));
    ChartDialog dialog(p.document, p.messages);
    QCOMPARE(dialog.chart().pictures().timeScale.width(), width);
    QCOMPARE(dialog.chart().pictures().relays[1].width(), width);
    QCOMPARE(dialog.chart().geometry().hourLabelStep(), labelStep);
    QCOMPARE(dialog.ui().chartScroll->maximum(), range760);
    QCOMPARE(dialog.ui().chartScroll->value(), 0);
    if (range760 > 0) {
        dialog.ui().chartScroll->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        QCOMPARE(dialog.chart().offset(), 10);
        dialog.ui().chartScroll->triggerAction(QAbstractSlider::SliderToMaximum);
        QCOMPARE(dialog.chart().offset(), range760);
    }
}

void ChartTest::informationUnderTheCursorLine() {
    NewProgram p;
    const auto b = p.block(4, "szkoła");
    p.date(b, {2025, 3, 1}, {2025, 3, 31}, true);
    const auto impulse = p.command(b, 1, program::kImpulsePlus, 8, 0, program::kAllWeek, 3, true);
    p.command(b, 2, program::kCycleMinus, 6, 0, program::kAllWeek, 5, false, 2, true);
    ChartDialog dialog(p.document, p.messages);
    dialog.ui().startEdit->setDate(QDate(2025, 3, 3));
    dialog.ui().daysCombo->setCurrentIndex(0);
    dialog.ui().resolutionCombo->setCurrentIndex(0);
    dialog.resize(900, 420);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    RelayChart& chart = dialog.chart();

    // Left of the first column: no information.
    QTest::mousePress(&chart, Qt::LeftButton, {}, QPoint(10, 80));
    QVERIFY(chart.cursorLine());
    QVERIFY(!dialog.information());
    QTest::mouseRelease(&chart, Qt::LeftButton, {}, QPoint(10, 80));
    QVERIFY(!chart.cursorLine());

    // 8:01 on relay 1, the chart scrolled by 400 pixels.
    dialog.ui().chartScroll->setValue(400);
    const int x = column(8, 1) - 400;
    QTest::mousePress(&chart, Qt::LeftButton, {}, QPoint(x, 80));
    QVERIFY(dialog.information());
    auto& info = dialog.information()->ui();
    QCOMPARE(info.relayLabel->text(), QString("1"));
    QCOMPARE(info.timeLabel->text(), QString("03/03/2025 08:01"));
    QCOMPARE(info.stateLabel->text(), QString("Impuls+"));
    QCOMPARE(info.stateLabel->background(), colourOf(program::stateColour(program::kImpulsePlus)));
    QCOMPARE(info.impulseLabel->text(), QString("3 m"));
    QCOMPARE(info.commandLabel->text(), QString::number(impulse));
    QCOMPARE(info.blockLabel->text(), QString::number(b));
    QCOMPARE(info.dayBlocksLabel->text(), QString::number(b));
    QVERIFY(info.impulseLabel->isVisibleTo(dialog.information()));
    QVERIFY(!info.cycleLabel->isVisibleTo(dialog.information()));
    QCOMPARE(dialog.information()->pos(), dialog.frameGeometry().topRight());

    // Dragged into relay 2: a cycle shows both rows.
    QTest::mouseMove(&chart, QPoint(x, 160));
    QCOMPARE(chart.cursorLine()->row, 1);
    QCOMPARE(info.relayLabel->text(), QString("2"));
    QCOMPARE(info.stateLabel->text(), QString("Cykl-"));
    QCOMPARE(info.impulseLabel->text(), QString("5 s"));
    QCOMPARE(info.cycleLabel->text(), QString("2 m"));
    QVERIFY(info.cycleLabel->isVisibleTo(dialog.information()));
    // Out of both strips the line goes.
    QTest::mouseMove(&chart, QPoint(x, 10));
    QVERIFY(!chart.cursorLine());

    // A day outside the range: block 1 only, nothing in force.
    dialog.ui().startEdit->setDate(QDate(2025, 4, 7));
    QTest::mousePress(&chart, Qt::LeftButton, {}, QPoint(column(9, 0), 80));
    QCOMPARE(info.stateLabel->text(), QString(" --------"));
    QCOMPARE(info.commandLabel->text(), QString("Brak"));
    QCOMPARE(info.dayBlocksLabel->text(), QString("1"));
    QVERIFY(!info.impulseLabel->isVisibleTo(dialog.information()));
    // OK hides the window; it stays for the next sample.
    info.okButton->click();
    QVERIFY(!dialog.information()->isVisible());
    QTest::mouseMove(&chart, QPoint(column(9, 5), 80));
    QVERIFY(dialog.information()->isVisible());
}

void ChartTest::startMovesByTheDaysShown() {
    NewProgram p;
    ChartDialog dialog(p.document, p.messages);
    dialog.ui().startEdit->setDate(QDate(2025, 3, 10));
    dialog.ui().daysCombo->setCurrentIndex(2);  // 3 days
    dialog.ui().earlierButton->click();
    QCOMPARE(dialog.ui().startEdit->date(), QDate(2025, 3, 7));
    QCOMPARE(dialog.chart().geometry().start(), (program::CivilDate{2025, 3, 7}));
    dialog.ui().laterButton->click();
    dialog.ui().laterButton->click();
    QCOMPARE(dialog.chart().geometry().start(), (program::CivilDate{2025, 3, 13}));
    QCOMPARE(dialog.chart().geometry().days(), 3);

    // Enter in the date field presses no button: the start stays, the
    // window stays open.
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    dialog.ui().startEdit->setFocus();
    QTest::keyClick(dialog.ui().startEdit, Qt::Key_Return);
    QCOMPARE(dialog.ui().startEdit->date(), QDate(2025, 3, 13));
    QVERIFY(dialog.isVisible());
}

void ChartTest::legendFitsItsLabels() {
    // In a large font the labels are wider: the legend grows with them.
    const QFont before = QApplication::font();
    QFont large = before;
    large.setPixelSize(24);
    QApplication::setFont(large);
    const QImage legend = ChartDialog::legendPicture();
    QApplication::setFont(before);
    const QFontMetrics metrics(large);
    int needed = 0;
    for (const char* label : {"Włącz.", "Imp. +", "Imp. -", "Cykl+", "Cykl-"})
        needed += 10 + metrics.horizontalAdvance(QString::fromUtf8(label));
    QVERIFY2(legend.width() >= needed, qPrintable(QString("%1 < %2").arg(legend.width()).arg(needed)));
}

void ChartTest::choicesAreRemembered() {
    NewProgram p;
    {
        ChartDialog dialog(p.document, p.messages);
        QCOMPARE(stored("DlugGraf"), std::optional<std::uint32_t>(0));
        QCOMPARE(stored("RozdzGraf"), std::optional<std::uint32_t>(0));
        QCOMPARE(dialog.ui().daysCombo->currentText(), QString("1 dzień"));
        QCOMPARE(dialog.ui().resolutionCombo->count(), 8);
        dialog.ui().daysCombo->setCurrentIndex(2);
        dialog.ui().resolutionCombo->setCurrentIndex(6);
        QCOMPARE(dialog.chart().geometry().minutesPerPixel(), 15);
        dialog.ui().closeButton->click();
    }
    QCOMPARE(stored("DlugGraf"), std::optional<std::uint32_t>(2));
    QCOMPARE(stored("RozdzGraf"), std::optional<std::uint32_t>(6));
    ChartDialog again(p.document, p.messages);
    QCOMPARE(again.ui().daysCombo->currentText(), QString("3 dni"));
    QCOMPARE(again.ui().resolutionCombo->currentText(), QString("15 min"));
    QCOMPARE(again.chart().geometry().days(), 3);
    QVERIFY(p.messages.entries.empty());
}

void ChartTest::savedAsPicture() {
    NewProgram p;
    p.command(1, 1, program::kOn, 8, 0);
    ChartDialog dialog(p.document, p.messages);
    const QString file = QString::fromStdString((p.folder.path() / "grafik.png").string());
    QVERIFY(dialog.savePicture(file));
    QImage saved(file);
    QCOMPARE(saved.size(), QSize(1500, 204));
    QCOMPARE(saved.pixel(column(9, 0), 42 + 40), rgb(program::stateColour(program::kOn)));
    QCOMPARE(saved.pixel(column(7, 0), 42 + 66), kWhite);

    const QString nowhere = QString::fromStdString((p.folder.path() / "brak" / "grafik.png").string());
    QVERIFY(!dialog.savePicture(nowhere));
    QCOMPARE(p.messages.entries.size(), std::size_t(1));
    QVERIFY(p.messages.entries[0].text.find("brak/grafik.png") != std::string::npos);
    QCOMPARE(p.messages.entries[0].icon, program::MessageIcon::Stop);
}

void ChartTest::unusableRegistryNeitherStopsTheChartNorTheConsole() {
    NewProgram p;
    kt64::test::TempDir dir;
    { std::ofstream(dir.path() / "plik") << "x"; }
    kt64::test::ScopedEnv store("KT64_REGISTRY", (dir.path() / "plik" / "registry.db").string());
    ChartDialog dialog(p.document, p.messages);
    QCOMPARE(dialog.chart().geometry().days(), 1);
    QCOMPARE(dialog.chart().geometry().minutesPerPixel(), 1);
    QCOMPARE(p.messages.entries.size(), std::size_t(1));
    QCOMPARE(p.messages.entries[0].text.substr(0, kRegistryOpenFailed.size()), std::string(kRegistryOpenFailed));
    QCOMPARE(p.messages.entries[0].caption, std::string("Błąd"));
    QCOMPARE(p.messages.entries[0].icon, program::MessageIcon::Stop);
    // Closing cannot store the choices: it says so and the console goes on
    // (this process would have ended otherwise).
    dialog.ui().closeButton->click();
    QCOMPARE(p.messages.entries.size(), std::size_t(2));
    QCOMPARE(p.messages.entries[1].text.substr(0, kRegistryWriteFailed.size()), std::string(kRegistryWriteFailed));
    QCOMPARE(p.messages.entries[1].icon, program::MessageIcon::Stop);
    QCOMPARE(p.messages.entries[1].caption, std::string("Błąd"));
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
}

QTEST_MAIN(ChartTest)
#include "ChartTest.moc"
