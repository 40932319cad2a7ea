// The Qt models behind the schedule views: the tree of blocks, dates and
// commands (ScheduleTreeModel) and the list of the records a tree item
// stands for (ScheduleListModel). Both read the open program with the
// program's own statements and keep nothing of it but the texts shown; a
// database failure is shown as "Błąd bazy danych: " with the engine's text
// and the model keeps what it had read until then.
#pragma once

#include <QStandardItemModel>
#include <cstdint>
#include <vector>

#include "SqlDatabase.h"
#include "UserMessages.h"

namespace kt64::console {

// Role of every tree item's ItemCode (quint32).
inline constexpr int kItemCodeRole = Qt::UserRole + 1;

// The tree's four pictures: 0 block, 1 block selected, 2 commands, 3 dates.
QIcon schedulePicture(int index);

class ScheduleTreeModel : public QStandardItemModel {
    Q_OBJECT
public:
    explicit ScheduleTreeModel(QObject* parent = nullptr);

    struct Counts {
        int blocks = 0;     // an empty block 1 does not count
        int records = 0;    // dates plus commands
        bool read = false;  // the database was open
    };

    // Clears the tree and fills it anew: "Rozkazy", "Daty", "Bloki" on top,
    // each block with its "Daty" (not block 1) and "Rozkazy" folders, each
    // date and command under the top folders. A block that applies on no
    // day (no dates, or only ranges that end before they start) is shown
    // grey and in italics, its tooltip saying why its commands never run.
    Counts rebuild(program::Database* db, program::UserMessages& messages);

    // The items made at the last rebuild for the codes of kinds 1, 3 and 5
    // (a block, a block's "Rozkazy", a block's "Daty") and the top "Bloki",
    // or an invalid index.
    QModelIndex indexForCode(std::uint32_t code) const;

private:
    QStandardItem* addItem(QStandardItem* parent, const QString& text, int picture, int selectedPicture,
                           std::uint32_t code);
    void markBlocksThatNeverApply(const std::vector<std::int64_t>& blocks);
    std::vector<QStandardItem*> blockItems_;
    std::vector<QStandardItem*> commandFolders_;
    std::vector<QStandardItem*> dateFolders_;
};

class ScheduleListModel : public QStandardItemModel {
    Q_OBJECT
public:
    explicit ScheduleListModel(QObject* parent = nullptr);

    enum class Content { Blocks, Dates, Commands };

    // Fills the list for an ItemCode: kind 5 the dates of a block, 4 all
    // dates, 2 all commands, 3 the commands of a block, any other kind all
    // blocks. With the database closed the list stays empty.
    void fill(std::uint32_t code, program::Database* db, program::UserMessages& messages);
    void clearAll();

    Content content() const { return content_; }
    // Column widths in pixels, as many as the columns.
    const std::vector<int>& columnWidths() const { return widths_; }
    // The row whose first column ("Lp.") is id, or -1.
    int rowOfId(std::int64_t id) const;
    // The LP of a row (its first column).
    std::int64_t idOfRow(int row) const;

private:
    void setColumns(const std::vector<std::pair<QString, int>>& columns, const std::vector<Qt::Alignment>& align);
    void appendRow(const QStringList& texts);

    Content content_ = Content::Blocks;
    std::vector<int> widths_;
    std::vector<Qt::Alignment> alignment_;
};

// A date as the list writes it: "%.4d-%.2d-%.2d", the year as "****" for a
// range without year; empty when the date is missing.
QString listDate(const std::optional<program::CivilDate>& date, bool yearBound);

}  // namespace kt64::console
