// The console program Kt64 ("KT64mon").
#include <QApplication>

#include "ConsoleApp.h"
#include "InstanceLock.h"
#include "UnsavedProgram.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    return kt64::console::runConsole(
        {kt64::console::InstanceLock::runtimeFolder(), kt64::console::defaultUnsavedFolder()});
}
