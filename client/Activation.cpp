// Finding what is registered for a local start, and starting it.
#include "Activation.h"

#include <fcntl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <syslog.h>
#include <systemd/sd-journal.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "Kt64SrvIds.h"
#include "Registry.h"
#include "ServerError.h"
#include "ServiceStart.h"
#include "TrustedPath.h"
#include "UniqueFd.h"

namespace kt64::client {

std::filesystem::path localServerPath(std::string_view value) {
    if (value.starts_with('"')) {
        auto close = value.find('"', 1);
        return std::filesystem::path(std::string(value.substr(1, close == std::string_view::npos ? close : close - 1)));
    }
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
    return std::filesystem::path(std::string(value));
}

std::string serviceUnitName(std::string_view localService) {
    std::string unit(localService);
    if (!unit.ends_with(".service")) unit += ".service";
    return unit;
}

ActivationTarget registeredActivation() {
    using reg::Hive;
    using reg::Key;
    ActivationTarget target;
    try {
        const std::string classKey = "CLSID\\" + std::string(ids::kClsid);
        if (auto cls = Key::open(Hive::ClassesRoot, classKey))
            if (auto appId = cls->string("AppID"); appId && !appId->empty())
                if (auto app = Key::open(Hive::ClassesRoot, "AppID\\" + *appId))
                    if (auto service = app->string("LocalService"); service && !service->empty()) {
                        target.kind = ActivationTarget::Kind::Service;
                        target.unit = serviceUnitName(*service);
                        return target;
                    }
        if (auto key = Key::open(Hive::ClassesRoot, ids::kLocalServerKey))
            if (auto value = key->string(""); value && !value->empty()) {
                target.kind = ActivationTarget::Kind::LocalServer;
                target.program = localServerPath(*value);
            }
    } catch (const reg::RegistryError& e) {
        // An unreadable registry is not "nothing registered": the user must
        // learn which file could not be read and why.
        throw ServerError(hresultFromWin32(static_cast<unsigned>(e.code())), e.what());
    }
    return target;
}

namespace {

// The one unit a registration may have started.
constexpr std::string_view kServerUnit = "VqSrvKt64.service";

[[noreturn]] void refuse(HRESULT code, std::string text) { throw ServerError(code, std::move(text), "", ""); }

// Nothing registered in the system store: an older installation may have
// left its registration in the shared one, which is not read any more.
void refuseOldRegistration() {
    const std::string classKey = "CLSID\\" + std::string(ids::kClsid);
    try {
        if (!reg::keyInStore(reg::StoreKind::Shared, reg::Hive::ClassesRoot, classKey)) return;
    } catch (const reg::RegistryError&) {
        return;  // the plain "not registered" says enough
    }
    refuse(E_CLASS_NOT_REGISTERED,
           "Rejestracja serwera łącza w " + reg::registryPath() +
               " pochodzi ze starszej instalacji i nie jest już używana: rejestrację zapisuje tylko root w " +
               reg::systemRegistryPath() + ". Zarejestruj serwer poleceniem: sudo VqSrvKt64 -Service (lub -RegServer)");
}

}  // namespace

std::string activateLocalServer(const Starters& starters, std::chrono::milliseconds timeout) {
    ActivationTarget target;
    try {
        target = registeredActivation();
    } catch (const ServerError&) {
        // Root's store is not read through a link: that refusal is worded
        // as what it is, as is any store that others could have changed.
        if (auto fault = whyUntrusted(reg::systemRegistryPath(), starters.storeOwners))
            refuse(E_ACCESSDENIED, "Nie uruchomię serwera łącza zarejestrowanego w " + reg::systemRegistryPath() +
                                       ": " + *fault +
                                       ". Zmieniać ten plik i jego foldery może tylko root; zarejestruj serwer "
                                       "poleceniem: sudo VqSrvKt64 -RegServer");
        throw;
    }
    switch (target.kind) {
    case ActivationTarget::Kind::Service:
        // A unit name is not taken from the registry: only the server's own
        // may be started, whoever could have written another there.
        if (target.unit != kServerUnit)
            refuse(E_ACCESSDENIED, "Nie uruchomię usługi " + target.unit + " wskazanej w " + reg::systemRegistryPath() +
                                       ": serwer łącza to tylko usługa " + std::string(kServerUnit));
        if (starters.service)
            starters.service(target.unit, timeout);
        else
            startSystemdUnit(target.unit, timeout);
        return target.unit;
    case ActivationTarget::Kind::LocalServer:
        if (auto fault = whyUntrusted(reg::systemRegistryPath(), starters.storeOwners))
            refuse(E_ACCESSDENIED, "Nie uruchomię programu serwera łącza " + target.program.string() +
                                       " wskazanego w " + reg::systemRegistryPath() + ": " + *fault +
                                       ". Zmieniać ten plik i jego foldery może tylko root; zarejestruj serwer "
                                       "poleceniem: sudo VqSrvKt64 -RegServer");
        try {
            starters.program(target.program);
        } catch (const std::system_error& e) {
            throw ServerError(E_SERVER_EXEC_FAILURE, e.what());
        }
        return target.program.string();
    case ActivationTarget::Kind::NotRegistered:
        refuseOldRegistration();
        break;
    }
    throw ServerError(E_CLASS_NOT_REGISTERED, "no server is registered for a local start");
}

namespace {

// Runs in the forked children of a multi-threaded process: only
// async-signal-safe calls until exec.
[[noreturn]] void execDetached(const char* program, int reportFd, int logFd) {
    ::setsid();
    pid_t grandchild = ::fork();
    if (grandchild < 0) {
        int err = errno;
        (void)!::write(reportFd, &err, sizeof err);
        ::_exit(1);
    }
    if (grandchild > 0) ::_exit(0);  // the grandchild is re-parented to init: no zombie for the client
    // The report pipe moves to descriptor 3 (away from the standard
    // streams, close-on-exec); every other descriptor of the client stays
    // with the client, since a pipe held open by the server would keep a
    // reader of the client's output waiting for ever.
    int report = ::fcntl(reportFd, F_DUPFD_CLOEXEC, 3);
    int null = ::open("/dev/null", O_RDWR);
    if (null >= 0) {
        ::dup2(null, 0);
        ::dup2(null, 1);
        // The server's own messages (a port it cannot listen on, a registry
        // it cannot read) go to the journal when one runs.
        ::dup2(logFd >= 0 ? logFd : null, 2);
    }
    if (report > 3) {
        ::dup2(report, 3);
        ::fcntl(3, F_SETFD, FD_CLOEXEC);
        report = 3;
    }
    ::syscall(SYS_close_range, report == 3 ? 4u : 3u, ~0u, 0u);
    (void)!::chdir("/");
    char* const argv[] = {const_cast<char*>(program), nullptr};
    ::execv(program, argv);
    int err = errno;
    if (report == 3) (void)!::write(3, &err, sizeof err);
    ::_exit(127);
}

}  // namespace

namespace {
std::string programName(const std::filesystem::path& program) {
    const std::string name = program.filename().string();
    return name.empty() ? std::string("VqSrvKt64") : name;
}
}  // namespace

void startDetached(const std::filesystem::path& program) {
    const std::string file = program.string();
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) throw std::system_error(errno, std::generic_category(), "pipe2");
    // The parent's owners. The child leaves only by exec or _exit, so their
    // destructors never run there: it closes what it must with raw,
    // async-signal-safe calls.
    UniqueFd reportRead(fds[0]);
    UniqueFd reportWrite(fds[1]);
    // A journal stream for the server's standard error, opened here since
    // the forked child may only make async-signal-safe calls; none (no
    // journal, a negative errno) leaves it on /dev/null.
    UniqueFd log(sd_journal_stream_fd(programName(program).c_str(), LOG_WARNING, 0));
    if (log) ::fcntl(log.get(), F_SETFD, FD_CLOEXEC);
    const int logFd = log ? log.get() : -1;
    pid_t child = ::fork();
    if (child < 0) throw std::system_error(errno, std::generic_category(), "fork");
    if (child == 0) {
        ::close(fds[0]);
        execDetached(file.c_str(), fds[1], logFd);
    }
    reportWrite.reset();
    log.reset();
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    // EOF without data: the exec succeeded and closed the pipe.
    int err = 0;
    ssize_t got;
    while ((got = ::read(reportRead.get(), &err, sizeof err)) < 0 && errno == EINTR) {
    }
    reportRead.reset();
    if (got == static_cast<ssize_t>(sizeof err))
        throw std::system_error(err, std::generic_category(), "cannot start " + file);
}

}  // namespace kt64::client
