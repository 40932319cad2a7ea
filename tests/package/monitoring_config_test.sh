#!/bin/sh
# promtool check config on the example for many schools:
#   monitoring_config_test.sh PROMTOOL CONFIG
# promtool only warns about a file_sd file it cannot find, which would leave
# a job without targets: a warning fails here too.
out=$("$1" check config "$2" 2>&1)
status=$?
echo "$out"
[ "$status" -eq 0 ] && ! echo "$out" | grep -q WARNING
