// The printed plan's dialog: the week of the day chosen, and the week's
// plan saved as a PDF file through "Zapisz PDF…", or the reason it could
// not be.
#include <QDateEdit>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "PlanPrintDialog.h"
#include "ScheduleTestSupport.h"
#include "ui_PlanPrintDialog.h"

using namespace kt64::console;
using namespace kt64::test;
namespace program = kt64::program;

class PlanPrintTest : public QObject {
    Q_OBJECT
private slots:
    void weekOfTheChosenDay_data() {
        QTest::addColumn<QDate>("day");
        QTest::addColumn<QString>("label");
        QTest::addColumn<int>("year");
        QTest::addColumn<int>("week");
        QTest::newRow("Friday") << QDate(2024, 5, 10) << "Tydzień 19/2024: 6.05.2024–12.05.2024" << 2024 << 19;
        QTest::newRow("Sunday of the year's last week")
            << QDate(2021, 1, 3) << "Tydzień 53/2020: 28.12.2020–3.01.2021" << 2020 << 53;
        QTest::newRow("Monday of next year's first week")
            << QDate(2024, 12, 30) << "Tydzień 1/2025: 30.12.2024–5.01.2025" << 2025 << 1;
    }
    void weekOfTheChosenDay() {
        QFETCH(QDate, day);
        QFETCH(QString, label);
        QFETCH(int, year);
        QFETCH(int, week);
        NewProgram p;
        PlanPrintDialog dialog(p.document, p.messages, QDate(2000, 1, 1));
        dialog.ui().weekDate->setDate(day);
        QCOMPARE(dialog.ui().weekLabel->text(), label);
        QCOMPARE(dialog.week(), (program::IsoWeek{year, week}));
    }

    void savesTheWeekAsPdf() {
        NewProgram p;
        p.command(1, 1, program::kImpulsePlus, 8, 0, program::kMondayToFriday, 5);
        PlanPrintDialog dialog(p.document, p.messages, QDate(2024, 5, 10));
        const QString file = QString::fromStdString((p.folder.path() / "plan.pdf").string());
        QString offered;
        dialog.choosePdfFile = [&](const QString& start) {
            offered = start;
            return file;
        };
        QElapsedTimer drawing;
        drawing.start();
        dialog.savePdfButton()->click();
        qInfo("the plan written in %lld ms", static_cast<long long>(drawing.elapsed()));
        QVERIFY2(offered.endsWith("plan-2024-W19.pdf"), qPrintable(offered));
        // Beside the program the plan is of.
        dialog.programFolder = QString::fromStdString(p.folder.path().string());
        dialog.choosePdfFile = [&](const QString& start) {
            offered = start;
            return QString();
        };
        dialog.savePdfButton()->click();
        QCOMPARE(offered, QString::fromStdString((p.folder.path() / "plan-2024-W19.pdf").string()));

        QFile pdf(file);
        QVERIFY(pdf.open(QIODevice::ReadOnly));
        QCOMPARE(pdf.read(5), QByteArray("%PDF-"));
        QVERIFY(p.messages.entries.empty());

        const QString nowhere = QString::fromStdString((p.folder.path() / "brak" / "plan.pdf").string());
        QVERIFY(!dialog.savePdf(nowhere));
        QCOMPARE(p.messages.entries.size(), std::size_t(1));
        QVERIFY(p.messages.entries[0].text.find("brak/plan.pdf") != std::string::npos);
        QCOMPARE(p.messages.entries[0].icon, program::MessageIcon::Stop);
    }
};

QTEST_MAIN(PlanPrintTest)
#include "PlanPrintTest.moc"
