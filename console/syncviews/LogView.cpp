// Appending the tail's text. The log holds CR LF line ends; the view keeps
// lines by their line feeds, so the carriage returns are dropped on the way.
#include "LogView.h"

#include <QScrollBar>
#include <QShowEvent>
#include <QTextCursor>

namespace kt64::console {

CLogView::CLogView(std::filesystem::path path, QWidget* parent) : QPlainTextEdit(parent), tail_(std::move(path)) {
    setObjectName("CLogView");
    setReadOnly(true);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    timer_.setInterval(kPollMs);
    connect(&timer_, &QTimer::timeout, this, &CLogView::poll);
}

void CLogView::poll() {
    const std::string text = tail_.poll();
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

// Being the shown page of the frame's stack is being the active view.
void CLogView::showEvent(QShowEvent* event) {
    QPlainTextEdit::showEvent(event);
    if (event->spontaneous()) return;
    if (!firstShown_) {
        firstShown_ = true;
        clear();
    }
    timer_.start();
}

void CLogView::hideEvent(QHideEvent* event) {
    QPlainTextEdit::hideEvent(event);
    if (!event->spontaneous()) timer_.stop();
}

}  // namespace kt64::console
