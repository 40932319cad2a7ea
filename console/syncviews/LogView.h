// CLogView: the console's read-only view of the synchronisation log
// VqSync.log. While it is the active view it polls the log every 5 s through
// SyncLogTail and appends what the tail returns at the end, scrolled into
// view. The file is opened by the first poll that finds it and stays open
// for the view's life.
#pragma once

#include <QPlainTextEdit>
#include <QTimer>

#include <filesystem>

#include "ConsoleView.h"
#include "Kt64Doc.h"
#include "SyncLogTail.h"

namespace kt64::console {

class CLogView : public QPlainTextEdit, public ConsoleView {
    Q_OBJECT
public:
    static constexpr int kPollMs = 5000;

    // path: the log (sync::syncLogPath() for the console); doc, when given,
    // is marked unmodified after each append, so that a growing log never
    // asks to be saved.
    explicit CLogView(std::filesystem::path path, CKt64Doc* doc = nullptr, QWidget* parent = nullptr);

    // The first activation empties the view; the timer runs while active.
    void OnActivateView(bool active) override;

    bool polling() const { return timer_.isActive(); }

public slots:
    // One 5-second tick.
    void poll();

signals:
    // Text was appended.
    void appended();

private:
    sync::SyncLogTail tail_;
    CKt64Doc* doc_;
    QTimer timer_;
    bool activated_ = false;
};

}  // namespace kt64::console
