// Appending the tail's text. The log holds CR LF line ends; the view keeps
// lines by their line feeds, so the carriage returns are dropped on the way.
#include "LogView.h"

#include <QScrollBar>
#include <QTextCursor>

namespace kt64::console {

LogView::LogView(std::filesystem::path path, ConsoleFrame* frame, QWidget* parent)
    : QPlainTextEdit(parent), path_(path), tail_(std::move(path)), frame_(frame) {
    setObjectName("LogView");
    setReadOnly(true);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    timer_.setInterval(kPollMs);
    connect(&timer_, &QTimer::timeout, this, &LogView::poll);
}

void LogView::poll() {
    const std::string text = tail_.poll();
    if (!tail_.isOpen()) {
        // The same reason every 5 s says nothing new.
        if (text == shownOpenError_) return;
        shownOpenError_ = text;
    }
    if (text.empty()) return;
    QString shown = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    shown.remove(QLatin1Char('\r'));
    QTextCursor end(document());
    end.movePosition(QTextCursor::End);
    end.insertText(shown);
    setTextCursor(end);
    ensureCursorVisible();
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    emit appended();
}

void LogView::OnActivateView(bool active) {
    if (frame_)
        frame_->SetMessageText(active ? QStringLiteral("Plik dziennika: %1").arg(QString::fromStdString(path_.string()))
                                      : QString());
    if (!active) {
        timer_.stop();
        return;
    }
    if (!activated_) {
        activated_ = true;
        clear();
    }
    timer_.start();
}

}  // namespace kt64::console
