// VqSrvKt64: the link server of the KT-64 master clock centre.
#include <string_view>
#include <vector>

#include "RpcLog.h"
#include "ServerProcess.h"

int main(int argc, char** argv) {
    kt64::rpc::routeRpcLogToJournal("VqSrvKt64");
    std::vector<std::string_view> words(argv + (argc > 0 ? 1 : 0), argv + argc);
    return kt64::server::runProgram(words);
}
