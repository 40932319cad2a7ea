// ComputerPickerDialog: the computer picker of the settings form ("Wybierz
// komputer"). It lists the browse domains in "Domena" and the computers that
// offer the link server in the chosen one, with their names and domain; OK
// (enabled only while a computer is selected) returns the text to store as
// CompName. The browsing runs on a worker thread under the wait cursor; when
// no domain is found the dialog says so, shows "(NONE)" and disables both
// lists.
#pragma once

#include <QDialog>

#include <memory>
#include <optional>

#include "ComputerBrowser.h"
#include "FormMessages.h"
#include "WorkerCalls.h"

namespace Ui {
class ComputerPickerDialog;
}

namespace kt64::console {

inline constexpr std::string_view kPickerTitle = "Wybierz komputer";
inline constexpr std::string_view kNoDomainsText = "Domains informations not found !";
inline constexpr std::string_view kNoDomainEntry = "(NONE)";

class ComputerPickerDialog : public QDialog {
    Q_OBJECT
public:
    // defaultPort: the port a chosen name needs no ":port" for (RpcPort).
    // The browsing runs on workers (the document's).
    ComputerPickerDialog(std::shared_ptr<ComputerBrowser> browser, WorkerCalls& workers, std::uint16_t defaultPort,
                         FormMessages& messages = defaultFormMessages(), QWidget* parent = nullptr);
    ~ComputerPickerDialog() override;

    // Starts browsing (the domains, then the first domain's computers).
    void load();
    // The selected computer as CompName text; nullopt when none is selected.
    std::optional<QString> chosen() const;

    // Opens the picker modally on the console's registered port and returns
    // the choice, nullopt when cancelled.
    static std::optional<QString> choose(QWidget* parent, std::shared_ptr<ComputerBrowser> browser,
                                         WorkerCalls& workers);

signals:
    // The domains arrived (count 0: none found).
    void domainsShown(int count);
    // The computers of the chosen domain arrived.
    void computersShown(int count);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void showDomains(std::vector<std::string> domains);
    void loadComputers(int index);
    void showComputers(unsigned generation, std::vector<BrowsedComputer> computers);
    void fitColumns();
    void setBusy(bool busy);

    std::unique_ptr<Ui::ComputerPickerDialog> ui_;
    std::shared_ptr<ComputerBrowser> browser_;
    std::uint16_t defaultPort_;
    FormMessages& messages_;
    WorkerCalls& calls_;
    std::vector<BrowsedComputer> computers_;
    unsigned generation_ = 0;
    int busy_ = 0;
};

}  // namespace kt64::console
