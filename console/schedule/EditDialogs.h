// The schedule edit dialogs: a block (BlockDialog), a date range (DateRangeDialog), a
// relay command (CommandDialog) with its two helpers, the number of minutes to
// add (AddMinutesDialog) and the presets of minutes and impulse lengths
// (PresetsDialog). Each starts from a row of the program and gives the row
// back when closed with OK; none touches a table. The rules behind the
// controls are in ScheduleRules.h; the dialogs only move values between the
// rules and the controls. DialogRecords opens them for the list view.
#pragma once

#include <QDialog>
#include <QMenu>
#include <memory>

#include "ProgramRecords.h"
#include "RecordEditing.h"
#include "ScheduleRules.h"
#include "UserMessages.h"

namespace Ui {
class BlockDialog;
class DateRangeDialog;
class CommandDialog;
class AddMinutesDialog;
class PresetsDialog;
}  // namespace Ui

namespace kt64::console {

class BlockDialog : public QDialog {
    Q_OBJECT
public:
    explicit BlockDialog(QWidget* parent = nullptr);
    ~BlockDialog() override;
    void setRow(const program::BlockRow& row);
    program::BlockRow row() const;
    Ui::BlockDialog& ui() { return *ui_; }

private:
    std::unique_ptr<Ui::BlockDialog> ui_;
    program::BlockRow row_;
};

class DateRangeDialog : public QDialog {
    Q_OBJECT
public:
    explicit DateRangeDialog(QWidget* parent = nullptr);
    ~DateRangeDialog() override;
    // A missing date starts as today.
    void setRow(const program::DateRow& row);
    program::DateRow row() const;
    // What to store: the row, or the two halves of a range without year
    // over the new year when the operator chose to split it.
    std::vector<program::DateRow> rows() const;
    Ui::DateRangeDialog& ui() { return *ui_; }

public slots:
    // A range without year that ends before it starts in the year is
    // stored only after the new-year question.
    void accept() override;

protected:
    // Ctrl+A in a date picker: typing then replaces the date from its
    // year on, as it would in any text field.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void keepOrdered(bool startMoved);
    std::unique_ptr<Ui::DateRangeDialog> ui_;
    program::DateRow row_;
    bool ordering_ = false;
    bool split_ = false;
};

class CommandDialog : public QDialog {
    Q_OBJECT
public:
    explicit CommandDialog(program::UserMessages& messages, QWidget* parent = nullptr);
    ~CommandDialog() override;
    // Loads the fields (the time as "%d" hour and minute) and starts the
    // rules.
    void setRow(const program::CommandRow& row);
    // The fields as a row: the time from the two boxes (hour above 23 as
    // 23, minute above 59 as 59), cycle 99 for an impulse operation.
    program::CommandRow row() const;
    Ui::CommandDialog& ui() { return *ui_; }

    // The two preset popups, labelled from the presets as when shown.
    QMenu& minutesMenu();
    QMenu& impulseMenu();
    // Adds minutes to the time boxes, wrapping past midnight.
    void addToTime(int minutes);
    void setImpulsePreset(int length);

public slots:
    void accept() override;

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void operationChanged();
    void runImpulseRule();
    void runCycleRule();
    CommandTiming timing() const;
    void setTiming(const CommandTiming& t);
    void toggleBar(int group);
    void askMinutes();
    void configure();
    // The integer in a time box, or empty (after the data-exchange message)
    // when it holds no number within low..high (above high is accepted and
    // clamped by the caller).
    std::optional<int> timeBox(int box) const;

    program::UserMessages& messages_;
    std::unique_ptr<Ui::CommandDialog> ui_;
    program::CommandRow row_;
    QMenu minutes_;   // menu 182, first popup
    QMenu impulses_;  // menu 182, second popup
    bool initialised_ = false;
    bool applying_ = false;
};

class AddMinutesDialog : public QDialog {
    Q_OBJECT
public:
    explicit AddMinutesDialog(program::UserMessages& messages, QWidget* parent = nullptr);
    ~AddMinutesDialog() override;
    int value() const { return value_; }
    Ui::AddMinutesDialog& ui() { return *ui_; }

public slots:
    void accept() override;

private:
    program::UserMessages& messages_;
    std::unique_ptr<Ui::AddMinutesDialog> ui_;
    int value_ = 1;
};

class PresetsDialog : public QDialog {
    Q_OBJECT
public:
    // Reads the presets into the fourteen fields.
    explicit PresetsDialog(program::UserMessages& messages, QWidget* parent = nullptr);
    ~PresetsDialog() override;
    Ui::PresetsDialog& ui() { return *ui_; }

public slots:
    // Checks every field against its range; stores all fourteen only when
    // all pass.
    void accept() override;

private:
    program::UserMessages& messages_;
    std::unique_ptr<Ui::PresetsDialog> ui_;
};

// The list view's dialogs, modal over parent.
class DialogRecords : public RecordDialogs {
public:
    DialogRecords(program::UserMessages& messages, QWidget* parent) : messages_(messages), parent_(parent) {}
    bool editBlock(program::BlockRow& row) override;
    bool editDate(std::vector<program::DateRow>& rows) override;
    bool editCommand(program::CommandRow& row) override;

private:
    program::UserMessages& messages_;
    QWidget* parent_;
};

}  // namespace kt64::console
