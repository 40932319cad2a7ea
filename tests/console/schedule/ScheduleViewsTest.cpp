// The schedule tree and list over real program files: their contents for a
// known program, the counts for the frame, the limits and their messages,
// block 1's protection, the warnings about blocks without dates, the
// cascade delete, copy and paste, and the selection kept in step after a
// change. Both models are watched by QAbstractItemModelTester throughout.
#include <QAbstractItemModelTester>
#include <QFile>
#include <QKeyEvent>
#include <QSignalSpy>
#include <QHeaderView>
#include <QTest>

#include "DaysOffDialog.h"
#include "ItemCode.h"
#include "TextFormat.h"
#include "ScheduleTestSupport.h"
#include "ScheduleViews.h"
#include "ui_DaysOffDialog.h"

using namespace kt64::console;
using namespace kt64::test;
namespace program = kt64::program;

namespace {

QStringList childTexts(const QAbstractItemModel& model, const QModelIndex& parent) {
    QStringList out;
    for (int r = 0; r < model.rowCount(parent); ++r) out << model.index(r, 0, parent).data().toString();
    return out;
}

QModelIndex child(const QAbstractItemModel& model, const QModelIndex& parent, const QString& text) {
    for (int r = 0; r < model.rowCount(parent); ++r)
        if (model.index(r, 0, parent).data().toString() == text) return model.index(r, 0, parent);
    return {};
}

QStringList rowTexts(const QAbstractItemModel& model, int row) {
    QStringList out;
    for (int c = 0; c < model.columnCount(); ++c) out << model.index(row, c).data().toString();
    return out;
}

QStringList headers(const QAbstractItemModel& model) {
    QStringList out;
    for (int c = 0; c < model.columnCount(); ++c) out << model.headerData(c, Qt::Horizontal).toString();
    return out;
}

// The views of one program, wired as the console wires them.
struct Views {
    explicit Views(NewProgram& p) : program(p), views(p.document, p.messages, nullptr) {
        views.setRecordDialogs(dialogs);
        treeTester = std::make_unique<QAbstractItemModelTester>(&tree()->treeModel(),
                                                                QAbstractItemModelTester::FailureReportingMode::QtTest);
        listTester = std::make_unique<QAbstractItemModelTester>(&list()->listModel(),
                                                                QAbstractItemModelTester::FailureReportingMode::QtTest);
        p.document.setChangeObserver([this](std::uint32_t hint) { views.documentUpdated(hint); });
        QObject::connect(&views, &ScheduleViews::countsChanged, [this](int b, int r) { counts = {b, r}; });
        views.documentUpdated(0);
    }
    ProgramTreeView* tree() { return views.blockView(); }
    CommandListView* list() { return views.listView(); }
    QAbstractItemModel& treeModel() { return tree()->treeModel(); }
    QAbstractItemModel& listModel() { return list()->listModel(); }
    QModelIndex top(const QString& text) { return child(treeModel(), {}, text); }
    QModelIndex blockFolder(std::int64_t block, const QString& folder) {
        return child(treeModel(), child(treeModel(), top("Bloki"), QString("Blok %1").arg(block)), folder);
    }
    void click(const QModelIndex& index) {
        tree()->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    }
    void key(int k) {
        QKeyEvent press(QEvent::KeyPress, k, Qt::NoModifier);
        QApplication::sendEvent(list(), &press);
    }
    std::vector<bool> menu() {
        std::vector<bool> out;
        for (QAction* a : list()->contextMenu().actions())
            if (!a->isSeparator()) out.push_back(a->isEnabled());
        return out;
    }

    NewProgram& program;
    ScriptedDialogs dialogs;
    ScheduleViews views;
    std::unique_ptr<QAbstractItemModelTester> treeTester;
    std::unique_ptr<QAbstractItemModelTester> listTester;
    std::pair<int, int> counts{-1, -1};
};

}  // namespace

class ScheduleViewsTest : public QObject {
    Q_OBJECT
private slots:
    void treeAndListOfAKnownProgram();
    void onlyBlockOneCountsNothingUntilItHasACommand();
    void addingStopsAtTheLimitsWithTheirMessages();
    void blockOneCannotBeChangedFromTheList();
    void warningsAboutBlocksWithoutDates();
    void blocksThatApplyOnNoDayAreMarked();
    void deletingABlockTakesItsDatesAndCommands();
    void copyAndPasteOnceIntoTheSameTable();
    void aChangeKeepsTheTreeAndListInStep();
    void databaseFailuresAreShownAndWhatWasReadStays();
    void daysOffFromTheTreesMenu();
};

void ScheduleViewsTest::treeAndListOfAKnownProgram() {
    NewProgram p;
    const auto school = p.block(3, "Szkoła");
    p.date(school, {2024, 9, 2}, {2025, 6, 27}, true, "rok szkolny");
    p.date(school, {2024, 12, 20}, {2025, 1, 6}, false, "ferie");
    p.command(1, 1, program::kOn, 7, 0);
    p.command(school, 2, program::kCyclePlus, 7, 45, program::kMondayToFriday, 5, false, 2, true, "dzwonek");
    Views v(p);

    QCOMPARE(childTexts(v.treeModel(), {}), QStringList({"Rozkazy", "Daty", "Bloki"}));
    QCOMPARE(childTexts(v.treeModel(), v.top("Bloki")), QStringList({"Blok 1", "Blok 2"}));
    QCOMPARE(childTexts(v.treeModel(), child(v.treeModel(), v.top("Bloki"), "Blok 1")), QStringList({"Rozkazy"}));
    QCOMPARE(childTexts(v.treeModel(), child(v.treeModel(), v.top("Bloki"), "Blok 2")),
             QStringList({"Daty", "Rozkazy"}));
    QCOMPARE(childTexts(v.treeModel(), v.top("Daty")), QStringList({"Data 1", "Data 2"}));
    QCOMPARE(childTexts(v.treeModel(), v.top("Rozkazy")), QStringList({"Rozkaz 1", "Rozkaz 2"}));
    QCOMPARE(v.counts, std::make_pair(2, 4));
    QCOMPARE(v.blockFolder(2, "Rozkazy").data(kItemCodeRole).value<quint32>(), makeItemCode(kKindBlockCommands, 2));

    // Nothing selected yet: the list shows the blocks.
    QCOMPARE(headers(v.listModel()), QStringList({"Lp.", "Pr.", "Opis"}));
    QCOMPARE(rowTexts(v.listModel(), 1), QStringList({"2", "3", "Szkoła"}));

    v.click(v.blockFolder(2, "Rozkazy"));
    QCOMPARE(headers(v.listModel()),
             QStringList({"Lp.", "Godz.", "Operacja", "Pk", "pn", "wt", "śr", "cz", "pt", "so", "nd", "Blok", "Opis"}));
    QCOMPARE(v.listModel().rowCount(), 1);
    QCOMPARE(rowTexts(v.listModel(), 0),
             QStringList({"2", "7:45", "Cykl+", "2", "x", "x", "x", "x", "x", "", "", "2", "dzwonek"}));
    // The fixed widths are the least a column gets; one whose heading or
    // content needs more on this screen's font is widened, never cut.
    QVERIFY(v.list()->columnWidth(1) >= 40);
    QCOMPARE(v.list()->columnWidth(12), 320);
    auto* list = static_cast<QAbstractItemView*>(v.list());
    for (int column = 0; column < v.listModel().columnCount(); ++column) {
        QVERIFY2(v.list()->columnWidth(column) >= list->sizeHintForColumn(column), qPrintable(QString::number(column)));
        QVERIFY2(v.list()->columnWidth(column) >= v.list()->horizontalHeader()->sectionSizeHint(column),
                 qPrintable(QString::number(column)));
    }

    v.click(v.top("Daty"));
    QCOMPARE(headers(v.listModel()), QStringList({"Lp.", "Data pocz.", "Data konc.", "Blok", "Opis"}));
    // Ordered by DataOd; a range without year shows four asterisks.
    QCOMPARE(rowTexts(v.listModel(), 0), QStringList({"1", "2024-09-02", "2025-06-27", "2", "rok szkolny"}));
    QCOMPARE(rowTexts(v.listModel(), 1), QStringList({"2", "****-12-20", "****-01-06", "2", "ferie"}));

    // The same list: a date item only moves the selection.
    v.click(child(v.treeModel(), v.top("Daty"), "Data 2"));
    QCOMPARE(v.list()->selectedId(), std::optional<std::int64_t>(2));
    v.click(v.top("Rozkazy"));
    QCOMPARE(v.listModel().rowCount(), 2);
    QCOMPARE(rowTexts(v.listModel(), 0).mid(0, 4), QStringList({"1", "7:00", "Załączony", "1"}));
}

void ScheduleViewsTest::onlyBlockOneCountsNothingUntilItHasACommand() {
    NewProgram p;
    Views v(p);
    QCOMPARE(childTexts(v.treeModel(), v.top("Bloki")), QStringList({"Blok 1"}));
    QCOMPARE(childTexts(v.treeModel(), child(v.treeModel(), v.top("Bloki"), "Blok 1")), QStringList({"Rozkazy"}));
    QCOMPARE(v.counts, std::make_pair(0, 0));

    v.click(v.blockFolder(1, "Rozkazy"));
    v.dialogs.command = [](program::CommandRow& c) { c.time = program::TimeOfDay{6, 30, 0}; };
    v.key(Qt::Key_Insert);
    QCOMPARE(v.counts, std::make_pair(1, 1));
    QVERIFY(p.document.isModified());
    QCOMPARE(p.count("SELECT COUNT(*) AS n FROM Rozkazy WHERE Blok=1 AND CzasRozk='06:30:00'"), 1);
    // No warning for block 1, which needs no dates.
    QVERIFY(p.messages.entries.empty());
}

void ScheduleViewsTest::addingStopsAtTheLimitsWithTheirMessages() {
    NewProgram p;
    {
        program::Transaction t(p.db());
        for (int i = 0; i < 99; ++i) p.block(1);
        p.command(1, 1, program::kOn, 7, 0);
        for (int i = 0; i < 399; ++i) p.date(2, {2024, 1, 1}, {2024, 1, 2}, true);
        t.commit();
    }
    Views v(p);
    QCOMPARE(v.counts, std::make_pair(100, 400));

    v.click(v.top("Bloki"));
    v.dialogs.block = [](program::BlockRow&) {};
    v.list()->addRecord();
    QCOMPARE(v.dialogs.opened, 0);
    QCOMPARE(p.messages.texts(), std::vector<std::string>({std::string(listtext::kTooManyBlocks)}));
    QCOMPARE(p.messages.entries[0].icon, program::MessageIcon::Exclamation);
    // Pasting a block is adding one.
    QVERIFY(v.list()->selectId(2));
    v.list()->copyRecord();
    v.list()->pasteRecord();
    QCOMPARE(p.messages.texts().back(), std::string(listtext::kTooManyBlocks));
    QCOMPARE(p.count("SELECT COUNT(*) AS n FROM Bloki"), 100);
    // Editing a block is no addition.
    QVERIFY(v.list()->selectId(2));
    v.list()->editRecord();
    QCOMPARE(v.dialogs.opened, 1);

    p.messages.entries.clear();
    v.click(v.blockFolder(2, "Daty"));
    v.list()->addRecord();
    v.click(v.blockFolder(2, "Rozkazy"));
    v.list()->addRecord();
    QCOMPARE(p.messages.texts(), std::vector<std::string>(2, std::string(listtext::kTooManyRecords)));
    QCOMPARE(p.count("SELECT COUNT(*) AS n FROM Daty"), 399);

    // One record fewer and the addition goes through.
    p.db().execute("DELETE FROM Daty WHERE LP=1");
    p.document.notifyChanged(v.list()->currentCode());
    QCOMPARE(v.counts, std::make_pair(100, 399));
    v.dialogs.command = [](program::CommandRow&) {};
    v.list()->addRecord();
    QCOMPARE(p.count("SELECT COUNT(*) AS n FROM Rozkazy"), 2);
}

void ScheduleViewsTest::blockOneCannotBeChangedFromTheList() {
    NewProgram p;
    p.block(2);
    Views v(p);
    v.click(v.top("Bloki"));
    QVERIFY(v.list()->selectId(1));
    // Add, edit as, edit, delete off; copy on; paste off (nothing copied).
    QCOMPARE(v.menu(), std::vector<bool>({false, false, false, false, true, false}));
    for (int k : {Qt::Key_Return, Qt::Key_Delete, Qt::Key_Insert}) v.key(k);
    QTest::mouseDClick(v.list()->viewport(), Qt::LeftButton, {},
                       v.list()->visualRect(v.listModel().index(0, 0)).center());
    QCOMPARE(v.dialogs.opened, 0);
    QVERIFY(p.messages.entries.empty());
    v.list()->deleteRecord();
    QCOMPARE(p.count("SELECT COUNT(*) AS n FROM Bloki WHERE LP=1"), 1);

    // Another block: everything but paste.
    QVERIFY(v.list()->selectId(2));
    QCOMPARE(v.menu(), std::vector<bool>({true, true, true, true, true, false}));
    // The lists of all dates and all commands change nothing.
    v.click(v.top("Rozkazy"));
    QCOMPARE(v.menu(), std::vector<bool>({false, false, false, false, false, false}));
    v.key(Qt::Key_Insert);
    QCOMPARE(v.dialogs.opened, 0);
}

void ScheduleViewsTest::warningsAboutBlocksWithoutDates() {
    NewProgram p;
    const auto b = p.block(2);
    Views v(p);
    v.click(v.blockFolder(b, "Rozkazy"));
    v.dialogs.command = [](program::CommandRow&) {};
    v.list()->addRecord();
    QCOMPARE(p.messages.texts(), std::vector<std::string>({std::string(listtext::kBlockWithoutDates)}));
    QCOMPARE(p.count("SELECT COUNT(*) AS n FROM Rozkazy WHERE Blok=2"), 1);

    p.messages.entries.clear();
    v.click(v.blockFolder(b, "Daty"));
    v.dialogs.date = [](program::DateRow& d) {
        d.from = program::CivilDate{2025, 1, 1};
        d.to = program::CivilDate{2025, 1, 31};
    };
    v.list()->addRecord();
    v.list()->addRecord();
    QVERIFY(p.messages.entries.empty());
    QCOMPARE(v.listModel().rowCount(), 2);
    QVERIFY(v.list()->selectId(v.list()->listModel().idOfRow(0)));
    v.key(Qt::Key_Delete);
    QCOMPARE(p.messages.texts(), std::vector<std::string>({std::string(listtext::kConfirmDelete)}));
    QVERIFY(v.list()->selectId(v.list()->listModel().idOfRow(0)));
    v.key(Qt::Key_Delete);
    QCOMPARE(p.messages.texts().back(), std::string(listtext::kLastDateDeleted));
    QCOMPARE(p.count("SELECT COUNT(*) AS n FROM Daty"), 0);
}

void ScheduleViewsTest::blocksThatApplyOnNoDayAreMarked() {
    NewProgram p;
    const auto undated = p.block(2);
    const auto schoolYear = p.block(2);
    const auto dated = p.block(2);
    p.date(schoolYear, {2025, 9, 1}, {2026, 6, 30}, false);
    p.date(dated, {2025, 9, 1}, {2026, 6, 30}, true);
    Views v(p);
    const auto tip = [&](std::int64_t block) {
        return child(v.treeModel(), v.top("Bloki"), QString("Blok %1").arg(block)).data(Qt::ToolTipRole).toString();
    };
    const auto never = [](std::int64_t block) {
        return QString::fromStdString(
            program::formatText(program::text::kBlockNeverApplies, std::to_string(block).c_str()));
    };
    QCOMPARE(tip(1), QString());
    QCOMPARE(tip(undated), never(undated));
    QCOMPARE(tip(schoolYear), never(schoolYear));
    QCOMPARE(tip(dated), QString());

    // A command added to such a block will not run, and the list says so.
    v.click(v.blockFolder(schoolYear, "Rozkazy"));
    v.dialogs.command = [](program::CommandRow&) {};
    v.list()->addRecord();
    QCOMPARE(p.messages.texts(), std::vector<std::string>({never(schoolYear).toStdString()}));

    // The school year split at the new year applies: the mark goes.
    v.click(v.blockFolder(schoolYear, "Daty"));
    v.dialogs.splitDates = true;
    v.dialogs.date = [](program::DateRow& d) {
        d.from = program::CivilDate{2025, 9, 1};
        d.to = program::CivilDate{2026, 6, 30};
    };
    v.list()->addRecord();
    QCOMPARE(p.count(("SELECT COUNT(*) AS n FROM Daty WHERE NrBloku=" + std::to_string(schoolYear) +
                      " AND ((DataOd='2025-09-01' AND DataDo='2025-12-31') OR (DataOd='2026-01-01' AND "
                      "DataDo='2026-06-30'))")
                         .c_str()),
             2);
    QCOMPARE(tip(schoolYear), QString());
}

void ScheduleViewsTest::deletingABlockTakesItsDatesAndCommands() {
    NewProgram p;
    const auto b2 = p.block(2);
    const auto b3 = p.block(3);
    p.date(b2, {2025, 1, 1}, {2025, 1, 2}, true);
    p.command(b2, 1, program::kOn, 7, 0);
    p.command(b2, 1, program::kOff, 8, 0);
    p.date(b3, {2025, 2, 1}, {2025, 2, 2}, true);
    p.command(b3, 1, program::kOn, 9, 0);
    p.command(1, 1, program::kOn, 10, 0);
    Views v(p);
    v.click(v.top("Bloki"));
    QVERIFY(v.list()->selectId(b2));
    p.messages.answers = {false};
    v.list()->deleteRecord();
    QCOMPARE(p.count("SELECT COUNT(*) AS n FROM Rozkazy"), 4);
    QVERIFY(!p.document.isModified());

    QVERIFY(v.list()->selectId(b2));
    v.list()->deleteRecord();
    QCOMPARE(p.count("SELECT COUNT(*) AS n FROM Bloki WHERE LP=2"), 0);
    QCOMPARE(p.count("SELECT COUNT(*) AS n FROM Rozkazy WHERE Blok=2"), 0);
    QCOMPARE(p.count("SELECT COUNT(*) AS n FROM Daty WHERE NrBloku=2"), 0);
    QCOMPARE(p.count("SELECT COUNT(*) AS n FROM Rozkazy"), 2);
    QCOMPARE(p.count("SELECT COUNT(*) AS n FROM Daty"), 1);
    QCOMPARE(childTexts(v.treeModel(), v.top("Bloki")), QStringList({"Blok 1", "Blok 3"}));
    QCOMPARE(v.counts, std::make_pair(2, 3));
    QCOMPARE(v.listModel().rowCount(), 2);
    QVERIFY(p.document.isModified());
}

void ScheduleViewsTest::copyAndPasteOnceIntoTheSameTable() {
    NewProgram p;
    const auto b2 = p.block(2);
    const auto b3 = p.block(5, "kopia");
    p.date(b3, {2025, 3, 1}, {2025, 3, 2}, true);
    const auto source =
        p.command(b2, 2, program::kCyclePlus, 7, 45, program::kMondayToFriday, 5, false, 2, true, "dzwonek");
    Views v(p);

    v.click(v.blockFolder(b2, "Rozkazy"));
    QVERIFY(v.list()->selectId(source));
    v.list()->copyRecord();
    QCOMPARE(v.menu()[5], true);

    // Into dates: refused, the copy stays.
    v.click(v.blockFolder(b3, "Daty"));
    v.list()->pasteRecord();
    QCOMPARE(p.messages.texts(), std::vector<std::string>({std::string(listtext::kOtherTable)}));
    QCOMPARE(p.count("SELECT COUNT(*) AS n FROM Daty"), 1);

    // Into the commands of another block: the copy lands there.
    v.click(v.blockFolder(b3, "Rozkazy"));
    v.list()->pasteRecord();
    QCOMPARE(p.count("SELECT COUNT(*) AS n FROM Rozkazy WHERE Blok=3 AND NrPrzek=2 AND Operacja=4 AND "
                     "CzasRozk='07:45:00' AND DzienTyg=31 AND CzasImp=5 AND CzasCyklu=2 AND CzasCyklMS=1 AND "
                     "Opis='dzwonek'"),
             1);
    QCOMPARE(p.count("SELECT COUNT(*) AS n FROM Rozkazy WHERE Blok=2"), 1);
    QCOMPARE(v.listModel().rowCount(), 1);
    // Pasted once: a second paste needs a new copy.
    QCOMPARE(v.menu()[5], false);
    v.list()->pasteRecord();
    QCOMPARE(p.count("SELECT COUNT(*) AS n FROM Rozkazy"), 2);

    // A copy whose record was deleted meanwhile pastes nothing and moves
    // no other record.
    v.click(v.blockFolder(b2, "Rozkazy"));
    QVERIFY(v.list()->selectId(source));
    v.list()->copyRecord();
    p.db().execute("DELETE FROM Rozkazy WHERE LP=" + std::to_string(source));
    v.click(v.blockFolder(b3, "Rozkazy"));
    v.list()->pasteRecord();
    QCOMPARE(p.count("SELECT COUNT(*) AS n FROM Rozkazy WHERE Blok=3"), 1);
    QCOMPARE(p.count("SELECT COUNT(*) AS n FROM Rozkazy"), 1);

    // A pasted block has neither dates nor commands.
    v.click(v.top("Bloki"));
    QVERIFY(v.list()->selectId(b3));
    v.list()->copyRecord();
    v.list()->pasteRecord();
    QCOMPARE(childTexts(v.treeModel(), v.top("Bloki")), QStringList({"Blok 1", "Blok 2", "Blok 3", "Blok 4"}));
    QCOMPARE(rowTexts(v.listModel(), 3), QStringList({"4", "5", "kopia"}));
    QCOMPARE(p.count("SELECT COUNT(*) AS n FROM Daty WHERE NrBloku=4"), 0);
}

void ScheduleViewsTest::aChangeKeepsTheTreeAndListInStep() {
    NewProgram p;
    const auto b2 = p.block(2);
    const auto c = p.command(b2, 1, program::kOn, 7, 0);
    p.command(b2, 1, program::kOff, 7, 30);
    Views v(p);
    v.click(v.blockFolder(b2, "Rozkazy"));
    QVERIFY(v.list()->selectId(c));
    v.dialogs.command = [](program::CommandRow& row) { row.time = program::TimeOfDay{8, 5, 0}; };
    v.key(Qt::Key_Return);
    // The tree was rebuilt and selected the same folder again; the list
    // shows that folder's commands anew, the edited one last by time.
    QCOMPARE(v.tree()->selectedCode(), std::optional<std::uint32_t>(makeItemCode(kKindBlockCommands, b2)));
    QCOMPARE(v.listModel().rowCount(), 2);
    QCOMPARE(rowTexts(v.listModel(), 1).mid(0, 2), QStringList({QString::number(c), "8:05"}));

    // Edit as adds a record and leaves the original.
    QVERIFY(v.list()->selectId(c));
    v.dialogs.command = [](program::CommandRow& row) { row.time = program::TimeOfDay{9, 0, 0}; };
    v.list()->editAsRecord();
    QCOMPARE(v.listModel().rowCount(), 3);
    QCOMPARE(p.count("SELECT COUNT(*) AS n FROM Rozkazy WHERE CzasRozk='08:05:00'"), 1);

    // A cancelled dialog changes nothing.
    p.document.setModified(false);
    v.dialogs.command = nullptr;
    QVERIFY(v.list()->selectId(c));
    v.list()->editRecord();
    QVERIFY(!p.document.isModified());

    // Adding keeps the folders the caretaker opened open.
    v.tree()->expand(v.top("Bloki"));
    v.tree()->expand(v.top("Rozkazy"));
    v.tree()->expand(v.blockFolder(b2, "Rozkazy").parent());
    v.click(v.blockFolder(b2, "Rozkazy"));
    v.dialogs.command = [](program::CommandRow& row) { row.time = program::TimeOfDay{10, 0, 0}; };
    v.key(Qt::Key_Insert);
    QCOMPARE(v.listModel().rowCount(), 4);
    for (const QModelIndex& folder : {v.top("Bloki"), v.top("Rozkazy"), v.blockFolder(b2, "Rozkazy").parent()})
        QVERIFY2(v.tree()->isExpanded(folder), qPrintable(folder.data().toString()));
    QVERIFY(!v.tree()->isExpanded(v.top("Daty")));
    QCOMPARE(v.tree()->selectedCode(), std::optional<std::uint32_t>(makeItemCode(kKindBlockCommands, b2)));

    // A new program starts at its block list, where a block can be added
    // and nothing offered does nothing.
    p.document.newDocument();
    p.document.notifyChanged(0);
    QCOMPARE(v.tree()->selectedCode(), std::optional<std::uint32_t>(makeItemCode(kKindBlocks, 0)));
    QCOMPARE(headers(v.listModel()), QStringList({"Lp.", "Pr.", "Opis"}));
    QCOMPARE(v.menu(), std::vector<bool>({true, false, false, false, false, false}));
    // Even a list told of no tree item is the block list.
    v.list()->onUpdate(0);
    QVERIFY(v.list()->selectId(1));
    QCOMPARE(v.menu(), std::vector<bool>({false, false, false, false, true, false}));
    v.list()->selectionModel()->clearSelection();
    v.dialogs.block = [](program::BlockRow& row) { row.description = "nowy"; };
    v.key(Qt::Key_Insert);
    QCOMPARE(p.count("SELECT COUNT(*) AS n FROM Bloki"), 2);
}

void ScheduleViewsTest::databaseFailuresAreShownAndWhatWasReadStays() {
    NewProgram p;
    p.block(2);
    p.date(2, {2025, 1, 1}, {2025, 1, 2}, true);
    Views v(p);
    p.db().execute("DROP TABLE Rozkazy");
    p.messages.entries.clear();
    p.document.notifyChanged(0);
    // The blocks and dates read before the failure stay in the tree.
    QCOMPARE(childTexts(v.treeModel(), v.top("Bloki")), QStringList({"Blok 1", "Blok 2"}));
    QCOMPARE(childTexts(v.treeModel(), v.top("Daty")), QStringList({"Data 1"}));
    QCOMPARE(p.messages.texts(), std::vector<std::string>({"Błąd bazy danych: no such table: Rozkazy"}));
    QCOMPARE(p.messages.entries[0].icon, program::MessageIcon::None);
    p.messages.entries.clear();
    v.click(v.top("Rozkazy"));
    QCOMPARE(v.listModel().rowCount(), 0);
    QCOMPARE(headers(v.listModel()).size(), 13);
    QCOMPARE(p.messages.texts().size(), std::size_t(1));

    // With no program open the views are empty and offer no change.
    p.document.closeDocument();
    p.messages.entries.clear();
    p.document.notifyChanged(0);
    QCOMPARE(childTexts(v.treeModel(), {}), QStringList({"Rozkazy", "Daty", "Bloki"}));
    QCOMPARE(v.treeModel().rowCount(v.top("Bloki")), 0);
    v.click(v.top("Bloki"));
    QCOMPARE(v.listModel().rowCount(), 0);
    QCOMPARE(v.menu(), std::vector<bool>({false, false, false, false, false, false}));
    v.key(Qt::Key_Insert);
    QCOMPARE(v.dialogs.opened, 0);
    QVERIFY(p.messages.entries.empty());
}

// "Dodaj święta…" and "Importuj kalendarz…": where the tree offers them,
// the preview before anything changes, and the block the ranges go to.
void ScheduleViewsTest::daysOffFromTheTreesMenu() {
    NewProgram p;
    const auto school = p.block(3, "Szkoła");
    p.date(school, {2026, 9, 1}, {2027, 6, 25}, true, "rok szkolny");
    p.command(1, 1, program::kOn, 7, 0);
    Views v(p);

    const std::pair<QModelIndex, bool> offered[] = {
        {v.top("Daty"), true},
        {v.blockFolder(2, "Daty"), true},
        {child(v.treeModel(), v.top("Bloki"), "Blok 2"), true},
        {v.top("Bloki"), false},
        {child(v.treeModel(), v.top("Bloki"), "Blok 1"), false},
        {v.top("Rozkazy"), false},
        {v.blockFolder(2, "Rozkazy"), false},
    };
    for (const auto& [index, enabled] : offered) {
        v.click(index);
        v.tree()->updateDaysOffActions();
        QCOMPARE(v.tree()->addHolidaysAction().isEnabled(), enabled);
        QCOMPARE(v.tree()->importCalendarAction().isEnabled(), enabled);
    }

    // On the top "Daty": a new holiday block; the second time it is found
    // and has every day already.
    QStringList preview;
    QString summary;
    bool addable = false;
    v.tree()->setDialogRunner([&](QDialog& d) {
        auto& dialog = dynamic_cast<DaysOffDialog&>(d);
        dialog.ui().fromYearSpin->setValue(2026);
        dialog.ui().toYearSpin->setValue(2026);
        preview.clear();
        for (int i = 0; i < dialog.ui().previewList->count(); ++i) preview << dialog.ui().previewList->item(i)->text();
        summary = dialog.ui().summaryLabel->text();
        addable = dialog.ui().addButton->isEnabled();
        dialog.ui().addButton->click();
    });
    v.click(v.top("Daty"));
    v.tree()->addHolidaysAction().trigger();
    QCOMPARE(preview.size(), 11);
    QCOMPARE(preview.first(), QString("co roku 01.01 – 01.01  Nowy Rok"));
    QVERIFY(preview.contains("05.04.2026 – 06.04.2026  Wielkanoc (święto ruchome)"));
    QCOMPARE(summary, QString("Do dodania: 11. Wolnych miejsc na daty i rozkazy: 398 z 400."));
    QVERIFY(addable);
    const auto blocks = program::readBlocks(p.db());
    QCOMPARE(blocks.size(), std::size_t{3});
    QCOMPARE(blocks.back().priority, std::int64_t{9});
    QCOMPARE(v.counts, std::make_pair(3, 13));
    QVERIFY(p.document.isModified());

    v.click(v.top("Daty"));
    v.tree()->addHolidaysAction().trigger();
    QVERIFY(preview.isEmpty());
    QVERIFY(!addable);
    QCOMPARE(summary, QString("Nic do dodania: blok ma już wszystkie te dni."));
    QCOMPARE(v.counts, std::make_pair(3, 13));

    // A calendar file to the holiday block's "Daty": a wrong one says where
    // it is wrong and cannot be added; the school's own goes in beside the
    // holidays.
    const QString wrong = QString::fromStdString((p.folder.path() / "wrong.ics").string());
    {
        QFile f(wrong);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nSUMMARY Ferie\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");
    }
    for (const QString& file : {wrong, QString(KT64_TEST_CALENDARS "/school-year.ics")}) {
        v.tree()->setDialogRunner([&](QDialog& d) {
            auto& dialog = dynamic_cast<DaysOffDialog&>(d);
            QVERIFY(!dialog.ui().addButton->isEnabled());  // no file chosen yet
            dialog.setCalendarFile(file);
            dialog.ui().fromYearSpin->setValue(2026);
            dialog.ui().toYearSpin->setValue(2030);
            summary = dialog.ui().summaryLabel->text();
            addable = dialog.ui().addButton->isEnabled();
            preview.clear();
            for (int i = 0; i < dialog.ui().previewList->count(); ++i)
                preview << dialog.ui().previewList->item(i)->text();
            dialog.ui().addButton->click();
        });
        v.click(v.blockFolder(3, "Daty"));
        v.tree()->importCalendarAction().trigger();
        if (file == wrong) {
            QCOMPARE(summary,
                     QString("Błąd w pliku kalendarza wrong.ics, wiersz 3: wiersz nie ma postaci NAZWA:wartość"));
            QVERIFY(!addable);
            QCOMPARE(v.counts, std::make_pair(3, 13));
        }
    }
    QCOMPARE(v.counts, std::make_pair(3, 13 + 9));
    QVERIFY(preview.contains("18.01.2027 – 31.01.2027  Ferie zimowe [kalendarz: Rok szkolny 2026/2027]"));
    // The timed events shorter than a school day are listed, not added.
    QVERIFY(preview.contains("pominięto: 11.06.2027 1:00–3:00 Egzamin ósmoklasisty (sala gimnastyczna)"));
    std::size_t inBlock3 = 0;
    for (const auto& d : program::readDatesByBlock(p.db())) inBlock3 += d.block == 3;
    QCOMPARE(inBlock3, std::size_t{11 + 9});

    // Asked for, they come; the same calendar again changes nothing else.
    v.tree()->setDialogRunner([&](QDialog& d) {
        auto& dialog = dynamic_cast<DaysOffDialog&>(d);
        dialog.setCalendarFile(KT64_TEST_CALENDARS "/school-year.ics");
        dialog.ui().fromYearSpin->setValue(2026);
        dialog.ui().toYearSpin->setValue(2030);
        dialog.ui().timedCheck->setChecked(true);
        summary = dialog.ui().summaryLabel->text();
        preview.clear();
        for (int i = 0; i < dialog.ui().previewList->count(); ++i) preview << dialog.ui().previewList->item(i)->text();
        dialog.ui().addButton->click();
    });
    v.click(v.blockFolder(3, "Daty"));
    v.tree()->importCalendarAction().trigger();
    QCOMPARE(preview.size(), 2);
    QCOMPARE(summary, QString("Do dodania: 2. Wolnych miejsc na daty i rozkazy: 378 z 400."));

    // A block with bells is refused, saying why; the block of days off is
    // offered in its place.
    p.command(school, 1, program::kOn, 8, 0);
    QString refusal;
    QVariant offeredBlock;
    bool addableThere = false;
    v.tree()->setDialogRunner([&](QDialog& d) {
        auto& ui = dynamic_cast<DaysOffDialog&>(d).ui();
        refusal = ui.summaryLabel->text();
        addable = ui.addButton->isEnabled();
        offeredBlock = ui.blockCombo->itemData(ui.blockCombo->count() - 1);
        ui.blockCombo->setCurrentIndex(ui.blockCombo->count() - 1);
        addableThere = ui.addButton->isEnabled();
    });
    v.click(child(v.treeModel(), v.top("Bloki"), "Blok 2"));
    v.tree()->addHolidaysAction().trigger();
    QCOMPARE(refusal,
             QString("Blok 2 ma rozkazy, więc w dni wolne dodane do niego dzwonki nadal by dzwoniły. Dni wolne "
                     "należą do bloku bez rozkazów, o priorytecie wyższym niż każdy blok z rozkazami: użyj "
                     "bloku 3 „Dni wolne”."));
    QVERIFY(!addable);
    QCOMPARE(offeredBlock.toLongLong(), 3);
    QVERIFY(addableThere);

    // A summary that grows while the dialog is open is seen whole, below
    // the list.
    bool summaryWhole = false;
    v.tree()->setDialogRunner([&](QDialog& d) {
        auto& ui = dynamic_cast<DaysOffDialog&>(d).ui();
        d.show();
        QApplication::processEvents();
        ui.blockCombo->setCurrentIndex(0);  // block 2: the refusal
        QApplication::processEvents();
        summaryWhole = ui.summaryLabel->geometry().top() >= ui.previewList->geometry().bottom() &&
                       ui.summaryLabel->height() >= ui.summaryLabel->heightForWidth(ui.summaryLabel->width());
        d.hide();
    });
    v.click(v.blockFolder(3, "Daty"));
    v.tree()->addHolidaysAction().trigger();
    QVERIFY(summaryWhole);
}

QTEST_MAIN(ScheduleViewsTest)
#include "ScheduleViewsTest.moc"
