// SyncHelpDialog: the help dialog of the settings form's deviation window, a
// picture drawn with QPainter from SyncHelpPicture's geometry and an OK
// button.
#pragma once

#include <QDialog>

namespace kt64::console {

class SyncHelpDialog : public QDialog {
    Q_OBJECT
public:
    explicit SyncHelpDialog(QWidget* parent = nullptr);
};

}  // namespace kt64::console
