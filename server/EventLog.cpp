// Journal first; syslog when the journal cannot take the entry.
#include "EventLog.h"

#include <syslog.h>
#include <systemd/sd-journal.h>

#include <cstdio>
#include <string>

#include "ServiceUnit.h"

namespace kt64::server {

void EventLog::info(std::string_view text) const { write(LogLevel::Info, text); }

void EventLog::write(LogLevel level, std::string_view text) const {
    const std::string message(text);
    const std::string source(kServiceName);
    int priority = LOG_INFO;
    switch (level) {
    case LogLevel::Debug:
        priority = LOG_DEBUG;
        break;
    case LogLevel::Info:
        priority = LOG_INFO;
        break;
    case LogLevel::Warning:
        priority = LOG_WARNING;
        break;
    case LogLevel::Error:
        priority = LOG_ERR;
        break;
    }
    if (sd_journal_send("MESSAGE=%s", message.c_str(), "PRIORITY=%i", priority, "SYSLOG_IDENTIFIER=%s", source.c_str(),
                        nullptr) < 0) {
        openlog(source.c_str(), LOG_PID, LOG_DAEMON);
        syslog(priority, "%s", message.c_str());
        closelog();
    }
    if (alsoToStdout_ && level != LogLevel::Debug) {
        std::printf("%s\n", message.c_str());
        std::fflush(stdout);
    }
}

}  // namespace kt64::server
