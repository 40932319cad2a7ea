// CLogView: the console's read-only view of the synchronisation log
// VqSync.log. While it is the shown view it polls the log every 5 s through
// SyncLogTail and appends what the tail returns at the end, scrolled into
// view. The file is opened by the first poll that finds it and stays open
// for the view's life.
#pragma once

#include <QPlainTextEdit>
#include <QTimer>

#include <filesystem>

#include "SyncLogTail.h"

namespace kt64::console {

class CLogView : public QPlainTextEdit {
    Q_OBJECT
public:
    static constexpr int kPollMs = 5000;

    // path: the log (sync::syncLogPath() for the console).
    explicit CLogView(std::filesystem::path path, QWidget* parent = nullptr);

    bool polling() const { return timer_.isActive(); }

public slots:
    // One 5-second tick.
    void poll();

signals:
    // Text was appended: the console marks its document unmodified, so a
    // growing log never asks to be saved.
    void appended();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    sync::SyncLogTail tail_;
    QTimer timer_;
    bool firstShown_ = false;
};

}  // namespace kt64::console
