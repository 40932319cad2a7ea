// What the console's Qt tests run against: a private registry, unit folder
// and log folder; an emulated centre on a pseudo-terminal; the link server
// program of the build registered in that registry and running as a local
// server with the centre as COM1, reachable as "localhost" on a free RpcPort;
// and a message sink that records instead of showing boxes.
#pragma once

#include <QMessageBox>
#include <QString>

#include <memory>
#include <string>
#include <vector>

#include "FormMessages.h"
#include "Kt64Document.h"
#include "LinkServerRig.h"
#include "SyncTestSupport.h"
#include "ServerSession.h"

namespace kt64::test {
using namespace kt64::console;

using kt64::test::ChildProcess;
using kt64::test::freeTcpPort;
using kt64::test::listening;

struct ShownMessage {
    QMessageBox::Icon icon;
    QString caption;
    QString text;
};

class RecordingMessages final : public FormMessages {
public:
    void show(QWidget*, QMessageBox::Icon icon, const QString& caption, const QString& text) override {
        shown.push_back({icon, caption, text});
    }
    void beep() override { ++beeps; }

    std::vector<ShownMessage> shown;
    int beeps = 0;
};

// The console's document (its program part unused here) and a session on it.
class ConsoleDocument {
public:
    ConsoleDocument() : doc(messages_), session(doc) {}

private:
    struct Silent final : program::UserMessages {
        void show(std::string_view, program::MessageIcon) override {}
        bool ask(std::string_view, program::MessageIcon) override { return false; }
    } messages_;

public:
    Kt64Document doc;
    ServerSession session;
};

// The shared LinkServerRig with a paced centre on the PC's clock, reached
// as "localhost" through the registered RpcPort.
class ConsoleRig : public kt64::test::LinkServerRig {
public:
    // withServer false: the registry names the port but no server is
    // registered, so nothing can be reached or started.
    explicit ConsoleRig(bool withServer = true, sim::CentreSettings settings = {})
        : LinkServerRig({options(settings), nullptr, true, withServer, Ready::SyncTime}) {}

    std::string computer() const { return "localhost"; }
    std::filesystem::path logPath() const { return folder() / "log" / "VqSync.log"; }

    // The form's key without any value.
    static reg::Key clearedSettingsKey() {
        auto key = reg::Key::create(reg::Hive::LocalMachine, "Software\\Ardonis\\Kt64Prog");
        for (const auto& name : key.valueNames()) key.deleteValue(name);
        return key;
    }

private:
    static sim::EmulatorOptions options(const sim::CentreSettings& settings) {
        sim::EmulatorOptions o;
        o.settings = settings;
        o.pacing = true;
        return o;
    }
};

}  // namespace kt64::test
