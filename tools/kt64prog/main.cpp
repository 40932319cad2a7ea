// kt64prog: relay program files and the centre's command list from the
// command line (see ProgCommand.cpp for the commands).
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <iostream>
#include <thread>

#include "CentreConnection.h"
#include "OptionScanner.h"
#include "PlanDrawing.h"
#include "ProgCommand.h"
#include "ProgRunner.h"
#include "ProgramDocument.h"

int main(int argc, char** argv) {
    using namespace kt64;
    prog::ProgCommand command;
    try {
        command = prog::parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const prog::UsageError& e) {
        return cli::refuseLine(std::cerr, "kt64prog", e.what());
    }
    prog::ProgEnvironment env{std::cout, std::cerr, std::cin};
    env.interactive = isatty(STDIN_FILENO) != 0;
    env.templatePath = program::defaultTemplatePath();
    env.connect = [](const std::optional<std::string>& computer) { return prog::connectCentre(computer, std::cerr); };
    env.sleep = [](std::chrono::milliseconds d) { std::this_thread::sleep_for(d); };
    env.today = [] {
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        return program::CivilDate{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
    };
    env.utcNow = [] { return static_cast<std::int64_t>(std::time(nullptr)); };
    if (prog::canDrawPlan()) env.writePlanPdf = prog::writePlanPdf;
    return prog::runCommand(command, env);
}
