// The switching chart's windows: the modal chart dialog ChartDialog ("Grafik
// załączeń": start date, "<" and ">" by the number of days shown, days and
// resolution lists remembered as DlugGraf and RozdzGraf, the chart control
// with its scroll bar, the legend, and saving the chart as a PNG picture;
// the window opens, and grows with a longer chart, as wide as the chart
// needs where the screen allows, and Enter changes nothing),
// and the modeless information window RelayInfoDialog ("Informacja o
// rozkazie") that shows the command in force under the cursor line and the
// blocks in force that day.
#pragma once

#include <QDialog>
#include <QPointer>
#include <memory>

#include "RelayChart.h"
#include "ChartGeometry.h"
#include "ProgramDocument.h"
#include "UserMessages.h"

namespace Ui {
class ChartDialog;
class RelayInfoDialog;
}  // namespace Ui

namespace kt64::console {

class RelayInfoDialog : public QDialog {
    Q_OBJECT
public:
    explicit RelayInfoDialog(QWidget* parent = nullptr);
    ~RelayInfoDialog() override;
    // All fields of a sample at once; the impulse row shows for codes 2..5,
    // the cycle row for 4 and 5.
    void showSample(const program::SampleInfo& info, const QString& dayBlocks);
    Ui::RelayInfoDialog& ui() { return *ui_; }

private:
    std::unique_ptr<Ui::RelayInfoDialog> ui_;
};

class ChartDialog : public QDialog {
    Q_OBJECT
public:
    // Reads DlugGraf and RozdzGraf and draws the chart from today.
    ChartDialog(program::ProgramDocument& document, program::UserMessages& messages, QWidget* parent = nullptr);
    ~ChartDialog() override;

    Ui::ChartDialog& ui() { return *ui_; }
    RelayChart& chart();
    // The information window, once the cursor line has shown a sample.
    RelayInfoDialog* information() const { return info_; }

    // Redraws from the controls (start, days, resolution), scroll at 0.
    void redraw();
    // Saves the whole chart (all days, both relays) as a PNG picture; on
    // failure the reason is shown and false returned.
    bool savePicture(const QString& file);

    static QImage legendPicture();

public slots:
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void fitWindowToChart();
    void updateScrollRange();
    void moveStart(int direction);
    void scrolled(int position);
    void sampleShown(const program::SampleRecord& sample, program::LocalSeconds time, int row);
    void askAndSavePicture();

    program::ProgramDocument& document_;
    program::UserMessages& messages_;
    std::unique_ptr<Ui::ChartDialog> ui_;
    QPointer<RelayInfoDialog> info_;
    bool redrawing_ = false;
};

}  // namespace kt64::console
