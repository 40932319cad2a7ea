// The log view on a log that is missing, grows, grows too much at once, is
// cut and re-created; and the help picture's zones.
#include <QLabel>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include <fstream>

#include "LogView.h"
#include "SyncHelpPicture.h"
#include "TestEnvironment.h"

using namespace kt64;
using namespace kt64::console;

namespace {

void append(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::app) << text;
}

std::string lines(int from, int count, char fill = 'x') {
    std::string out;
    for (int i = from; i < from + count; ++i) {
        std::string line = "2007-02-16 02:00:05 line " + std::to_string(i) + " ";
        line.resize(48, fill);
        out += line + "\r\n";
    }
    return out;
}

}  // namespace

class LogViewTest : public QObject {
    Q_OBJECT

private slots:
    void missingLogReportsUntilItAppears() {
        test::TempDir dir;
        const auto path = dir.path() / "VqSync.log";
        LogView view(path);
        // The view names its file whatever the status bar shows.
        QVERIFY(view.findChild<QLabel*>("logFileLabel")->text().endsWith(QString::fromStdString(path.string())));
        // Shown at once on activation, not a tick later.
        view.setActive(true);
        QVERIFY(view.polling());
        QVERIFY(!view.toPlainText().isEmpty());
        view.poll();
        view.poll();
        // One line for the reason, not a new one on every tick, in Polish
        // with the file's name.
        const QStringList errors = view.toPlainText().split('\n', Qt::SkipEmptyParts);
        QCOMPARE(errors.size(), 1);
        QCOMPARE(errors[0], "Nie można otworzyć pliku dziennika " + QString::fromStdString(path.string()) +
                                ": plik nie istnieje (program synchronizacji tworzy go przy pierwszym wpisie).");
        QVERIFY(!view.toPlainText().contains('\r'));

        append(path, lines(1, 3));
        view.poll();
        QVERIFY(view.toPlainText().endsWith(QString::fromStdString(lines(2, 2)).remove('\r')));
    }

    // 500 bytes: everything but the first line; the view is emptied when
    // first shown and scrolled to its end after each append.
    void firstDisplayDropsThePartialFirstLine() {
        test::TempDir dir;
        const auto path = dir.path() / "VqSync.log";
        append(path, lines(1, 10));
        QCOMPARE(std::filesystem::file_size(path), 500u);
        LogView view(path);
        view.setPlainText("left over");
        view.resize(300, 60);
        QSignalSpy appended(&view, &LogView::appended);
        view.setActive(true);
        QCOMPARE(appended.count(), 1);
        QCOMPARE(view.toPlainText(), QString::fromStdString(lines(2, 9)).remove('\r'));
        QCOMPARE(view.verticalScrollBar()->value(), view.verticalScrollBar()->maximum());
        QVERIFY(view.verticalScrollBar()->maximum() > 0);
        view.poll();
        QCOMPARE(appended.count(), 1);
    }

    void growthFollowsAndLargeGrowthIsCut() {
        test::TempDir dir;
        const auto path = dir.path() / "VqSync.log";
        append(path, lines(1, 2));
        LogView view(path);
        view.setActive(true);
        view.poll();
        const QString start = view.toPlainText();
        append(path, lines(3, 1));
        view.poll();
        QCOMPARE(view.toPlainText(), start + QString::fromStdString(lines(3, 1)).remove('\r'));

        // 3,000 bytes at once: the first 1,020 bytes, cut at their last CR
        // (21 whole lines of 50 bytes = 1,050 > 1,020, so 20 lines).
        const QString before = view.toPlainText();
        append(path, lines(4, 60));
        view.poll();
        QCOMPARE(view.toPlainText(), before + QString::fromStdString(lines(4, 20)).remove('\r'));
        const QString afterBurst = view.toPlainText();
        append(path, lines(64, 1));
        view.poll();
        QCOMPARE(view.toPlainText(), afterBurst + QString::fromStdString(lines(64, 1)).remove('\r'));
    }

    // Deleted and re-created (as the writer's rotation does): the new
    // file's lines all show, shorter than the old one or not.
    void recreatedLogIsShownFromItsStart() {
        test::TempDir dir;
        const auto path = dir.path() / "VqSync.log";
        append(path, lines(1, 6));  // 300 bytes
        LogView view(path);
        view.setActive(true);
        view.poll();
        const QString shown = view.toPlainText();
        std::filesystem::remove(path);
        append(path, lines(100, 4));  // 200 bytes
        view.poll();
        QCOMPARE(view.toPlainText(), shown + QString::fromStdString(lines(100, 4)).remove('\r'));
    }

    void truncatedLogShowsWhatFollowsTheCut() {
        test::TempDir dir;
        const auto path = dir.path() / "VqSync.log";
        append(path, lines(1, 4));
        LogView view(path);
        view.setActive(true);
        view.poll();
        const QString shown = view.toPlainText();
        std::filesystem::resize_file(path, 0);
        view.poll();
        QCOMPARE(view.toPlainText(), shown);
        append(path, lines(10, 2));  // 100 bytes, short of the old 200
        view.poll();
        QCOMPARE(view.toPlainText(), shown + QString::fromStdString(lines(10, 2)).remove('\r'));
    }

    void pollsOnlyWhileShown() {
        test::TempDir dir;
        LogView view(dir.path() / "VqSync.log");
        QVERIFY(!view.polling());
        view.setActive(true);
        QVERIFY(view.polling());
        view.setActive(false);
        QVERIFY(!view.polling());
    }

    void helpPictureZones() {
        QCOMPARE(permitZones(WindowCase::BothBounds), (std::vector<ZoneSpan>{{-2, -1}, {1, 2}}));
        QCOMPARE(permitZones(WindowCase::OdZero), (std::vector<ZoneSpan>{{-2, 2}}));
        QCOMPARE(permitZones(WindowCase::DoZero), (std::vector<ZoneSpan>{{-3, -1}, {1, 3}}));
        // Every zone and mark lies on its axis, inside the picture, the rows
        // apart and above the legend.
        for (int row = 0; row < 3; ++row) {
            const auto g = rowGeometry(row);
            QVERIFY(g.xOf(-3) >= g.left && g.xOf(3) <= g.right);
            QVERIFY(g.xOf(-1) < g.xOf(0) && g.xOf(0) < g.xOf(1));
            QVERIFY(g.axisY + 30 < (row < 2 ? rowGeometry(row + 1).axisY : kLegendTop));
        }
        QVERIFY(kLegendTop + 2 * kLegendLineStep < kPictureHeight);
    }
};

QTEST_MAIN(LogViewTest)
#include "LogViewTest.moc"
