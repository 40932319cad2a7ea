// Journal first; syslog when the journal cannot take the entry.
#include "EventLog.h"

#include <syslog.h>
#include <systemd/sd-journal.h>

#include <cstdio>
#include <string>

#include "ServiceUnit.h"

namespace kt64::server {

void EventLog::info(std::string_view text) const {
    const std::string message(text);
    const std::string source(kServiceName);
    if (sd_journal_send("MESSAGE=%s", message.c_str(), "PRIORITY=%i", LOG_INFO, "SYSLOG_IDENTIFIER=%s",
                        source.c_str(), nullptr) < 0) {
        openlog(source.c_str(), LOG_PID, LOG_DAEMON);
        syslog(LOG_INFO, "%s", message.c_str());
        closelog();
    }
    if (alsoToStdout_) {
        std::printf("%s\n", message.c_str());
        std::fflush(stdout);
    }
}

}  // namespace kt64::server
