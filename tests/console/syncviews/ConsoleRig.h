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
#include "Kt64Doc.h"
#include "LinkedCentre.h"
#include "ServerSession.h"

namespace kt64::console::test {

using sync::test::ChildProcess;
using sync::test::freeTcpPort;
using sync::test::listening;

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
    void endProcess(int status) override { endedWith = status; }

    std::vector<ShownMessage> shown;
    int beeps = 0;
    std::optional<int> endedWith;
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
    CKt64Doc doc;
    ServerSession session;
};

class ConsoleRig {
public:
    // withServer false: the registry names the port but no server is
    // registered, so nothing can be reached or started.
    explicit ConsoleRig(bool withServer = true, sim::CentreSettings settings = {})
        : registryEnv_("KT64_REGISTRY", (dir_.path() / "registry.db").string()),
          unitEnv_("KT64_UNIT_DIR", (dir_.path() / "units").string()),
          logEnv_("KT64_LOGDIR", (dir_.path() / "log").string()),
          centre_(options(dir_.path(), settings)) {
        centre_.start();
        port_ = freeTcpPort();
        auto key = reg::Key::create(reg::Hive::LocalMachine, "Software\\Ardonis\\Kt64Srv");
        key.setDword("Port", 1);
        key.setDword("RpcPort", port_);
        reg::Key::create(reg::Hive::LocalMachine, "Software\\Ardonis\\Kt64Srv\\Devices")
            .setString("COM1", centre_.devicePath());
        if (withServer) startServer();
    }

    ~ConsoleRig() {
        lease_.reset();
        stopServer();
        centre_.stop();
    }

    void startServer() {
        ChildProcess registration("VqSrvKt64", {"-RegServer"}, {});
        registration.wait(std::chrono::seconds(20));
        server_ = std::make_unique<ChildProcess>("VqSrvKt64", std::vector<std::string>{}, std::vector<std::string>{});
        if (!sync::test::eventually([&] { return listening(port_); }, std::chrono::seconds(20)))
            throw std::runtime_error("the link server does not listen");
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!lease_) {
            try {
                lease_ = client::ConnectServer(computer());
            } catch (const client::ServerError&) {
                if (std::chrono::steady_clock::now() > deadline) throw std::runtime_error("no answer from the link server");
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
        }
        for (;;) {
            try {
                lease_->GetSyncTime();
                return;
            } catch (const client::ServerError& e) {
                if (std::chrono::steady_clock::now() > deadline)
                    throw std::runtime_error("the centre does not answer: " + e.displayText());
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
        }
    }

    // SIGKILL, as a crash would end it; then nothing listens.
    void killServer() {
        lease_.reset();
        if (server_) {
            server_->signal(SIGKILL);
            server_->wait(std::chrono::seconds(10));
            server_.reset();
        }
    }

    void stopServer() {
        lease_.reset();
        if (server_) {
            server_->signal(SIGTERM);
            server_->wait(std::chrono::seconds(10));
            server_.reset();
        }
    }

    std::string computer() const { return "localhost"; }
    std::uint16_t rpcPort() const { return port_; }
    sim::CentreEmulator& centre() { return centre_; }
    client::Kt64Srv& lease() { return *lease_; }
    ChildProcess* server() { return server_.get(); }
    const std::filesystem::path& folder() const { return dir_.path(); }
    std::filesystem::path logPath() const { return dir_.path() / "log" / "VqSync.log"; }

    // The form's key without any value.
    static reg::Key clearedSettingsKey() {
        auto key = reg::Key::create(reg::Hive::LocalMachine, "Software\\Ardonis\\Kt64Prog");
        for (const auto& name : key.valueNames()) key.deleteValue(name);
        return key;
    }

private:
    static sim::EmulatorOptions options(const std::filesystem::path& dir, const sim::CentreSettings& settings) {
        sim::EmulatorOptions o;
        o.settings = settings;
        o.linkPath = (dir / "centre").string();
        o.pacing = true;
        return o;
    }

    sync::test::TempFolder dir_;
    sync::test::ScopedEnv registryEnv_, unitEnv_, logEnv_;
    sim::CentreEmulator centre_;
    std::uint16_t port_ = 0;
    std::unique_ptr<ChildProcess> server_;
    std::unique_ptr<client::Kt64Srv> lease_;
};

}  // namespace kt64::console::test
