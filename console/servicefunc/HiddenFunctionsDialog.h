// HiddenFunctionsDialog: the service dialog behind the About box's access code, in
// which a service person writes the centre's type (BuildType) and serial
// number (SerialNum) through the link server. The dialog opens only while
// the console is connected and once both values have been read; every call
// runs on the session's worker, so the window stays live meanwhile.
#pragma once

#include <QDialog>

#include <memory>

#include "FormMessages.h"
#include "ServerSession.h"

namespace Ui {
class HiddenFunctionsDialog;
}

namespace kt64::console {

class HiddenFunctionsDialog : public QDialog {
    Q_OBJECT
public:
    HiddenFunctionsDialog(ServerSession& session, FormMessages& messages = defaultFormMessages(),
                          QWidget* parent = nullptr);
    ~HiddenFunctionsDialog() override;

    // What the About box runs when the access code matches: refuses when not
    // connected, reads the two values (the window stays live), and runs the
    // dialog modally once they have arrived.
    static void run(ServerSession& session, FormMessages& messages, QWidget* parent);

    // Reads SerialNum and BuildType and fills the controls; loaded(false)
    // after "Błąd serwera DCOM !" and the cause when either read fails.
    void load();

public slots:
    void setType();
    void setSerial();

signals:
    void loaded(bool ok);
    // A put finished (ok or refused).
    void typeSet(bool ok);
    void serialSet(bool ok);

private:
    void put(std::function<void(client::ServerProxy&)> call, std::string_view success,
             void (HiddenFunctionsDialog::*report)(bool));

    std::unique_ptr<Ui::HiddenFunctionsDialog> ui_;
    ServerSession& session_;
    FormMessages& messages_;
};

}  // namespace kt64::console
