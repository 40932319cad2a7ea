// Filling the schedule tree and list (see ScheduleModels.h).
#include "ScheduleModels.h"

#include <QPainter>
#include <QPixmap>
#include <array>

#include "ItemCode.h"
#include "ProgramRecords.h"
#include "ProgramTables.h"
#include "ProgramTexts.h"
#include "TextFormat.h"

namespace kt64::console {

using program::Database;
using program::DatabaseError;
using program::MessageIcon;

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

void showDatabaseError(program::UserMessages& messages, const DatabaseError& e) {
    messages.show(std::string(program::text::kDatabaseError) + e.what(), MessageIcon::None);
}

}  // namespace

QIcon schedulePicture(int index) {
    // A folder-like square per kind; the selected block is drawn open.
    static const std::array<QColor, 4> colours = {QColor(60, 100, 200), QColor(60, 100, 200), QColor(40, 150, 60),
                                                  QColor(210, 140, 30)};
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    const QColor c = colours[static_cast<std::size_t>(index & 3)];
    p.setPen(c.darker(150));
    p.setBrush(index == 1 ? QBrush(Qt::white) : QBrush(c));
    p.drawRect(1, 3, 13, 11);
    p.fillRect(1, 1, 6, 3, c);
    if (index == 3) {
        p.setPen(Qt::white);
        p.drawLine(4, 7, 11, 7);
        p.drawLine(4, 10, 11, 10);
    }
    return QIcon(pixmap);
}

// ------------------------------------------------------------------ tree

ScheduleTreeModel::ScheduleTreeModel(QObject* parent) : QStandardItemModel(parent) { setColumnCount(1); }

QStandardItem* ScheduleTreeModel::addItem(QStandardItem* parent, const QString& text, int picture, int selectedPicture,
                                          std::uint32_t code) {
    auto* item = new QStandardItem(text);
    QIcon icon = schedulePicture(picture);
    if (selectedPicture != picture) icon.addPixmap(schedulePicture(selectedPicture).pixmap(16, 16), QIcon::Selected);
    item->setIcon(icon);
    item->setEditable(false);
    item->setData(QVariant::fromValue<quint32>(code), kItemCodeRole);
    parent->appendRow(item);
    return item;
}

ScheduleTreeModel::Counts ScheduleTreeModel::rebuild(Database* db, program::UserMessages& messages) {
    clear();
    setColumnCount(1);
    blockItems_.clear();
    commandFolders_.clear();
    dateFolders_.clear();

    QStandardItem* root = invisibleRootItem();
    QStandardItem* commands = addItem(root, "Rozkazy", 2, 2, makeItemCode(kKindCommands, 0));
    QStandardItem* dates = addItem(root, "Daty", 3, 3, makeItemCode(kKindDates, 0));
    QStandardItem* blocks = addItem(root, "Bloki", 0, 1, makeItemCode(kKindBlocks, 0));

    Counts counts;
    if (db == nullptr) return counts;
    counts.read = true;
    try {
        auto q = db->query("SELECT * FROM Bloki");
        while (q.next()) {
            const std::int64_t id = q.integer("LP");
            ++counts.blocks;
            QStandardItem* block = addItem(blocks, qs(program::formatText("Blok %lld", static_cast<long long>(id))), 0,
                                           1, makeItemCode(kKindBlocks, id));
            blockItems_.push_back(block);
            if (id != program::kBaseBlock)
                dateFolders_.push_back(addItem(block, "Daty", 3, 3, makeItemCode(kKindBlockDates, id)));
            commandFolders_.push_back(addItem(block, "Rozkazy", 2, 2, makeItemCode(kKindBlockCommands, id)));
        }
        auto d = db->query("SELECT LP FROM Daty");
        while (d.next()) {
            const std::int64_t id = d.integer("LP");
            ++counts.records;
            addItem(dates, qs(program::formatText("Data %lld", static_cast<long long>(id))), 3, 3,
                    makeItemCode(kKindDates, id));
        }
        bool baseBlockUsed = false;
        auto c = db->query("SELECT LP,Blok FROM Rozkazy");
        while (c.next()) {
            const std::int64_t id = c.integer("LP");
            ++counts.records;
            if (c.integer("Blok") == program::kBaseBlock) baseBlockUsed = true;
            addItem(commands, qs(program::formatText("Rozkaz %lld", static_cast<long long>(id))), 2, 2,
                    makeItemCode(kKindCommands, id));
        }
        // An empty block 1 is not a block of the program.
        if (!baseBlockUsed) --counts.blocks;
        markBlocksThatNeverApply(program::blocksThatNeverApply(*db));
    } catch (const DatabaseError& e) {
        showDatabaseError(messages, e);
    }
    return counts;
}

void ScheduleTreeModel::markBlocksThatNeverApply(const std::vector<std::int64_t>& blocks) {
    for (const auto id : blocks) {
        const QModelIndex index = indexForCode(makeItemCode(kKindBlocks, id));
        if (!index.isValid()) continue;
        QStandardItem* item = itemFromIndex(index);
        item->setForeground(QBrush(Qt::gray));
        QFont font = item->font();
        font.setItalic(true);
        item->setFont(font);
        item->setToolTip(qs(program::formatText(program::text::kBlockNeverApplies, std::to_string(id).c_str())));
    }
}

QModelIndex ScheduleTreeModel::indexForCode(std::uint32_t code) const {
    // The top "Bloki" item: the list a new program starts at.
    if (code == makeItemCode(kKindBlocks, 0)) {
        for (int row = 0; row < rowCount(); ++row)
            if (index(row, 0).data(kItemCodeRole).value<quint32>() == code) return index(row, 0);
        return {};
    }
    const std::vector<QStandardItem*>* list = nullptr;
    switch (kindOf(code)) {
    case kKindBlocks:
        list = &blockItems_;
        break;
    case kKindBlockCommands:
        list = &commandFolders_;
        break;
    case kKindBlockDates:
        list = &dateFolders_;
        break;
    default:
        return {};
    }
    for (QStandardItem* item : *list)
        if (item->data(kItemCodeRole).value<quint32>() == code) return item->index();
    return {};
}

// ------------------------------------------------------------------ list

QString listDate(const std::optional<program::CivilDate>& date, bool yearBound) {
    if (!date) return {};
    if (!yearBound) return qs(program::formatText("****-%.2d-%.2d", date->month, date->day));
    return qs(program::formatText("%.4d-%.2d-%.2d", date->year, date->month, date->day));
}

ScheduleListModel::ScheduleListModel(QObject* parent) : QStandardItemModel(parent) {}

void ScheduleListModel::clearAll() {
    clear();
    widths_.clear();
    alignment_.clear();
}

void ScheduleListModel::setColumns(const std::vector<std::pair<QString, int>>& columns,
                                   const std::vector<Qt::Alignment>& align) {
    setColumnCount(static_cast<int>(columns.size()));
    for (std::size_t i = 0; i < columns.size(); ++i) {
        auto* header = new QStandardItem(columns[i].first);
        header->setTextAlignment(align[i] | Qt::AlignVCenter);
        setHorizontalHeaderItem(static_cast<int>(i), header);
        widths_.push_back(columns[i].second);
    }
    alignment_ = align;
}

void ScheduleListModel::appendRow(const QStringList& texts) {
    QList<QStandardItem*> row;
    for (int i = 0; i < texts.size(); ++i) {
        auto* item = new QStandardItem(texts[i]);
        item->setEditable(false);
        item->setTextAlignment(alignment_[static_cast<std::size_t>(i)] | Qt::AlignVCenter);
        row.append(item);
    }
    QStandardItemModel::appendRow(row);
}

void ScheduleListModel::fill(std::uint32_t code, Database* db, program::UserMessages& messages) {
    clearAll();
    const int kind = kindOf(code);
    const long long id = idOf(code);
    constexpr Qt::Alignment C = Qt::AlignHCenter;
    constexpr Qt::Alignment L = Qt::AlignLeft;
    if (kind == kKindDates || kind == kKindBlockDates) {
        content_ = Content::Dates;
        setColumns({{"Lp.", 30}, {"Data pocz.", 70}, {"Data konc.", 70}, {"Blok", 35}, {"Opis", 320}}, {C, C, C, L, L});
    } else if (kind == kKindCommands || kind == kKindBlockCommands) {
        content_ = Content::Commands;
        setColumns({{"Lp.", 30},
                    {"Godz.", 40},
                    {"Operacja", 70},
                    {"Pk", 25},
                    {"pn", 25},
                    {"wt", 25},
                    {"śr", 25},
                    {"cz", 25},
                    {"pt", 25},
                    {"so", 25},
                    {"nd", 25},
                    {"Blok", 35},
                    {"Opis", 320}},
                   {C, C, C, C, C, C, C, C, C, C, C, C, L});
    } else {
        content_ = Content::Blocks;
        setColumns({{"Lp.", 30}, {"Pr.", 30}, {"Opis", 320}}, {C, C, L});
    }
    if (db == nullptr) return;

    const auto number = [](std::int64_t v) { return QString::number(v); };
    try {
        switch (content_) {
        case Content::Blocks: {
            auto q = db->query("SELECT * FROM Bloki");
            while (q.next()) appendRow({number(q.integer("LP")), number(q.integer("Priorytet")), qs(q.text("Opis"))});
            break;
        }
        case Content::Dates: {
            auto q = kind == kKindDates
                         ? db->query("SELECT LP,DataOd,DataDo,Roczny,Opis,NrBloku FROM Daty ORDER BY DataOd")
                         : db->query(program::formatText("SELECT LP,DataOd,DataDo,Roczny,NrBloku,Opis FROM Daty "
                                                         "WHERE NrBloku=%lld ORDER BY DataOd",
                                                         id));
            while (q.next()) {
                const bool yearBound = q.boolean("Roczny");
                appendRow({number(q.integer("LP")), listDate(q.date("DataOd"), yearBound),
                           listDate(q.date("DataDo"), yearBound), number(q.integer("NrBloku")), qs(q.text("Opis"))});
            }
            break;
        }
        case Content::Commands: {
            std::string sql =
                "SELECT LP,DzienTyg,KodOp.Opis,NrPrzek,CzasRozk,Rozkazy.Opis,Blok FROM KodOp,Rozkazy WHERE "
                "KodOp.Operacja=Rozkazy.Operacja";
            if (kind == kKindBlockCommands) sql += program::formatText(" AND Blok=%lld", id);
            sql += " ORDER BY CzasRozk";
            auto q = db->query(sql);
            while (q.next()) {
                QStringList row{number(q.integer("LP"))};
                const auto time = q.time("CzasRozk");
                row << (time ? qs(program::formatText("%d:%.2d", time->hour, time->minute)) : QString());
                row << qs(q.text("Opis")) << number(q.integer("NrPrzek"));
                const std::int64_t days = q.integer("DzienTyg");
                for (int bit = 0; bit < 7; ++bit) row << ((days >> bit) & 1 ? QStringLiteral("x") : QString());
                row << number(q.integer("Blok")) << qs(q.text("Opis2"));
                appendRow(row);
            }
            break;
        }
        }
    } catch (const DatabaseError& e) {
        showDatabaseError(messages, e);
    }
}

int ScheduleListModel::rowOfId(std::int64_t id) const {
    for (int r = 0; r < rowCount(); ++r)
        if (idOfRow(r) == id) return r;
    return -1;
}

std::int64_t ScheduleListModel::idOfRow(int row) const {
    const QStandardItem* first = item(row, 0);
    return first ? first->text().toLongLong() : 0;
}

}  // namespace kt64::console
