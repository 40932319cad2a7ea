// LogView: the console's read-only view of the synchronisation log
// VqSync.log. While it is the active view it polls the log every 5 s through
// SyncLogTail and appends what the tail returns at the end, scrolled into
// view, and the frame's status bar names the file. The file is opened by the
// first poll that finds it and stays open for the view's life; while it
// cannot be opened, the reason is shown once, and again only when it
// changes. The log is no part of the program document: showing it never
// touches the program's unsaved changes.
#pragma once

#include <QPlainTextEdit>
#include <QTimer>

#include <filesystem>

#include "ConsoleView.h"
#include "SyncLogTail.h"

namespace kt64::console {

class LogView : public QPlainTextEdit, public ConsoleView {
    Q_OBJECT
public:
    static constexpr int kPollMs = 5000;

    // path: the log (sync::syncLogPath() for the console); frame, when
    // given, shows the path while the view is active.
    explicit LogView(std::filesystem::path path, ConsoleFrame* frame = nullptr, QWidget* parent = nullptr);

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
    std::filesystem::path path_;
    sync::SyncLogTail tail_;
    ConsoleFrame* frame_;
    QTimer timer_;
    bool activated_ = false;
    std::string shownOpenError_;
};

}  // namespace kt64::console
