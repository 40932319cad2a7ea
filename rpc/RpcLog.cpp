// gRPC's log function replaced by a journal writer.
#include "RpcLog.h"

#include <grpc/support/log.h>
#include <syslog.h>
#include <systemd/sd-journal.h>

#include <mutex>
#include <string>

namespace kt64::rpc {

namespace {

std::mutex nameMutex;
std::string programNameStore = "kt64";

void toJournal(gpr_log_func_args* args) {
    std::string name;
    {
        std::lock_guard lock(nameMutex);
        name = programNameStore;
    }
    const char* message = args->message != nullptr ? args->message : "";
    if (sd_journal_send("MESSAGE=grpc: %s", message, "PRIORITY=%i", LOG_DEBUG, "SYSLOG_IDENTIFIER=%s", name.c_str(),
                        "CODE_FILE=%s", args->file != nullptr ? args->file : "", "CODE_LINE=%d", args->line,
                        nullptr) < 0)
        syslog(LOG_DEBUG, "grpc: %s", message);
}

}  // namespace

void routeRpcLogToJournal(std::string_view programName) {
    {
        std::lock_guard lock(nameMutex);
        programNameStore = std::string(programName);
    }
    gpr_set_log_function(toJournal);
    // Debug lines are produced only when GRPC_VERBOSITY asks for them; the
    // default keeps errors, which now land in the journal.
}

}  // namespace kt64::rpc
