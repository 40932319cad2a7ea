// On-demand start of the local link server, decided by its registration
// under HKEY_CLASSES_ROOT:
//
//   CLSID\{FFDCA866-8EB7-48D2-9DBF-48BB2575BC22}   AppID = "{9F200A91-...}"
//   AppID\{9F200A91-...}                            LocalService = "VqSrvKt64"
//   CLSID\{FFDCA866-...}\LocalServer32              (default) = executable
//
// A LocalService value under the class's AppID means the server is
// installed as a demand-start service: the service manager is asked to
// start the unit "VqSrvKt64.service", the one LocalService may name (the
// executable refuses to run unless the service manager started it); a
// value naming another unit is refused. Otherwise the LocalServer32
// executable is started as a detached process (own session, working
// directory "/", standard input and output on /dev/null, standard error
// into the journal under the program's name, or /dev/null when no journal
// runs; no other inherited descriptors),
// so that it outlives the client that started it and ends by its own
// shutdown rule. The two ways of starting are passed in (Starters), so the
// decision is exercised without a service manager.
//
// The registration is read from the system store (reg::StoreKind), which
// only root writes. Before a program named there is executed the store and
// its folders are checked to be changeable by no one but root and the
// caller (whyUntrusted): whoever else could write them would choose what
// root runs. A registration left in the shared store by an older
// installation is no longer read; the user is told how to register anew.
#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kt64::client {

// What the registration says to start.
struct ActivationTarget {
    enum class Kind { NotRegistered, Service, LocalServer };
    Kind kind = Kind::NotRegistered;
    std::string unit;               // Kind::Service: serviceUnitName(LocalService)
    std::filesystem::path program;  // Kind::LocalServer
};

// Reads the registration. A registry that cannot be read throws ServerError
// with the registry's code (0x80070005 for a store this user may not read)
// and its text naming the file. A service registration wins over
// LocalServer32.
ActivationTarget registeredActivation();

// The systemd unit of a LocalService value: the service name plus
// ".service" unless it already ends so.
std::string serviceUnitName(std::string_view localService);

// The executable of a LocalServer32 value: the text inside leading double
// quotes, else the whole text; trailing blanks dropped.
std::filesystem::path localServerPath(std::string_view value);

// Starts program detached, without arguments. Throws std::system_error
// when it cannot be started (fork failed, or exec failed: the errno of the
// failing exec is reported back through a close-on-exec pipe).
void startDetached(const std::filesystem::path& program);

struct Starters {
    // Starts a local-server executable; throws std::system_error.
    std::function<void(const std::filesystem::path&)> program = startDetached;
    // Starts a service unit within the time given; throws ServerError.
    // Empty: StartUnit through systemd on the system bus.
    std::function<void(const std::string& unit, std::chrono::milliseconds timeout)> service;
    // Who besides root may own the system store and its folders for a
    // program named there to be executed: the caller, who can only harm
    // themselves (for root, root alone).
    std::vector<uid_t> storeOwners{::geteuid()};
};

// Starts what registeredActivation() names and returns its name (unit or
// executable path) for messages. Throws ServerError without description:
// E_CLASS_NOT_REGISTERED when nothing is registered, E_SERVER_EXEC_FAILURE
// when the executable cannot be started, the service starter's error when
// the service cannot be. Throws ServerError E_ACCESSDENIED with a Polish
// description naming the file, nothing started, when the program's store
// is not trusted or LocalService names another unit, and
// E_CLASS_NOT_REGISTERED with one when only an older installation's
// registration is found.
std::string activateLocalServer(const Starters& starters, std::chrono::milliseconds timeout);

}  // namespace kt64::client
