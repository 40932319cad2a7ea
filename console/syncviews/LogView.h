// LogView: the console's read-only view of the synchronisation log
// VqSync.log. While it is the active view it polls the log every 5 s through
// SyncLogTail, the first time at once, and appends what the tail returns at
// the end, scrolled into view. A line above the text names the file (the
// frame's status bar does too, but hovering the toolbar replaces that). The
// file is opened by the first poll that finds it and stays open for the
// view's life; while it cannot be opened, the reason is shown in Polish with
// the file's name once, and again only when it changes. The log is no part
// of the program document: showing it never touches the program's unsaved
// changes.
#pragma once

#include <QLabel>
#include <QPlainTextEdit>
#include <QTimer>

#include <filesystem>

#include "SyncLogTail.h"

namespace kt64::console {

class LogView : public QPlainTextEdit {
    Q_OBJECT
public:
    static constexpr int kPollMs = 5000;

    // path: the log (sync::syncLogPath() for the console).
    explicit LogView(std::filesystem::path path, QWidget* parent = nullptr);

    bool polling() const { return timer_.isActive(); }

    // Why the log cannot be opened (errno of the failed open), in Polish
    // with the file's name.
    static QString openFailureText(const std::filesystem::path& path, int error);

public slots:
    // The first activation empties the view; the timer runs while active.
    void setActive(bool active);
    // One 5-second tick.
    void poll();

signals:
    // Text was appended.
    void appended();
    // The file's path while the view is active (the frame's status bar
    // shows it), empty when it stops being active.
    void messageTextChanged(const QString& text);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void placeFileLabel();

    std::filesystem::path path_;
    sync::SyncLogTail tail_;
    QLabel* fileLabel_;
    QTimer timer_;
    bool activated_ = false;
    int shownOpenError_ = 0;
};

}  // namespace kt64::console
