// Appending the tail's text. The log holds CR LF line ends; the view keeps
// lines by their line feeds, so the carriage returns are dropped on the way.
#include "LogView.h"

#include <QScrollBar>
#include <QTextCursor>

#include <cerrno>

namespace kt64::console {

LogView::LogView(std::filesystem::path path, QWidget* parent)
    : QPlainTextEdit(parent), path_(path), tail_(std::move(path)) {
    setObjectName("LogView");
    setReadOnly(true);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    fileLabel_ = new QLabel(QStringLiteral("Plik dziennika: %1").arg(QString::fromStdString(path_.string())), this);
    fileLabel_->setObjectName("logFileLabel");
    fileLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    fileLabel_->setContentsMargins(4, 2, 4, 2);
    fileLabel_->setAutoFillBackground(true);
    placeFileLabel();
    timer_.setInterval(kPollMs);
    connect(&timer_, &QTimer::timeout, this, &LogView::poll);
}

QString LogView::openFailureText(const std::filesystem::path& path, int error) {
    QString reason;
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        reason = QStringLiteral("plik nie istnieje (program synchronizacji tworzy go przy pierwszym wpisie)");
        break;
    case EACCES:
    case EPERM:
        reason = QStringLiteral("brak uprawnień do odczytu");
        break;
    default:
        reason = QStringLiteral("błąd systemu nr %1").arg(error);
        break;
    }
    return QStringLiteral("Nie można otworzyć pliku dziennika %1: %2.")
        .arg(QString::fromStdString(path.string()), reason);
}

void LogView::placeFileLabel() {
    const int height = fileLabel_->sizeHint().height();
    setViewportMargins(0, height, 0, 0);
    const QRect inside = contentsRect();
    fileLabel_->setGeometry(inside.left(), inside.top(), inside.width(), height);
}

void LogView::resizeEvent(QResizeEvent* event) {
    QPlainTextEdit::resizeEvent(event);
    placeFileLabel();
}

void LogView::poll() {
    std::string text = tail_.poll();
    if (!tail_.isOpen()) {
        // The same reason every 5 s says nothing new.
        if (tail_.openError() == shownOpenError_) return;
        shownOpenError_ = tail_.openError();
        text = (openFailureText(path_, shownOpenError_) + QStringLiteral("\n")).toStdString();
    } else {
        shownOpenError_ = 0;
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

void LogView::setActive(bool active) {
    emit messageTextChanged(active ? QStringLiteral("Plik dziennika: %1").arg(QString::fromStdString(path_.string()))
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
    // What the log holds now, not 5 s later.
    poll();
}

}  // namespace kt64::console
