// runConsole: the order of the console's start-up.
#include "ConsoleApp.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QSettings>
#include <QSocketNotifier>
#include <QTimer>
#include <QTranslator>

#include <signal.h>

#include <cstdio>

#include "InstanceLock.h"
#include "Kt64Document.h"
#include "MainFrame.h"
#include "MessageBoxes.h"
#include "Registry.h"
#include "SignalPipe.h"
#include "UnsavedProgram.h"

namespace kt64::console {

namespace {

// CompName of the synchronisation settings: the computer the link server
// runs on; "" (this computer) when unset or unreadable.
std::string configuredComputer() {
    try {
        if (auto key = reg::Key::open(reg::Hive::LocalMachine, "Software\\Ardonis\\Kt64Prog"))
            if (auto name = key->string("CompName")) return *name;
    } catch (const reg::RegistryError&) {
    }
    return {};
}

}  // namespace

std::unique_ptr<QTranslator> loadQtTranslations() {
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QLocale(QLocale::Polish, QLocale::Poland), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return nullptr;
    return translator;
}

void carryOverOldSettings() {
    QSettings profile;
    if (!profile.allKeys().isEmpty()) return;
    const QSettings old(QSettings::NativeFormat, QSettings::UserScope, QString::fromLatin1(kOldSettingsOrganization),
                        QCoreApplication::applicationName());
    for (const QString& key : old.allKeys()) profile.setValue(key, old.value(key));
    profile.sync();
}

int runConsole(const ConsoleStart& start) {
    // A Polish program: Qt's file dialogs and buttons speak Polish too,
    // whatever the desktop's language.
    const auto translations = loadQtTranslations();
    if (translations) QCoreApplication::installTranslator(translations.get());

    InstanceLock lock(start.lockFolder);
    if (lock.result() == InstanceLock::Result::HeldByOther) {
        messageBox(nullptr, {kAppCaption, QString::fromUtf8(kSecondInstanceText), QMessageBox::NoIcon});
        return 1;
    }
    if (lock.result() == InstanceLock::Result::FolderNotPrivate) {
        // Another user's folder (or one others may write) could hold the
        // lock for ever or swap the file: the caretaker must learn which
        // folder to mend.
        messageBox(nullptr, {kAppCaption,
                             QStringLiteral("Program KT64mon nie może się uruchomić: folder blokady %1 nie jest "
                                            "prywatnym folderem użytkownika (%2).")
                                 .arg(QString::fromStdString(start.lockFolder.string()),
                                      QString::fromStdString(lock.failureText())),
                             QMessageBox::Critical});
        return 1;
    }
    if (lock.result() == InstanceLock::Result::Failed) {
        // Without the lock file the rule cannot be kept; the console still
        // runs, and the operator learns why a second one could start.
        messageBox(
            nullptr,
            {kAppCaption,
             QStringLiteral("Nie można utworzyć pliku blokady %1").arg(QString::fromStdString(lock.failureText())),
             QMessageBox::Warning});
    }
    QApplication::setApplicationName(kSettingsApplication);
    QApplication::setOrganizationName(kSettingsOrganization);
    carryOverOldSettings();
    QApplication::setApplicationDisplayName("KT64mon");

    ConsoleMessages messages;
    Kt64Document doc(messages);
    doc.computerName = configuredComputer();
    MainFrame frame(doc);
    QObject::connect(&frame, &MainFrame::closed, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    messages.setParent(&frame);
    doc.program().newDocument();
    const QString restored = restoreUnsavedProgram(doc, start.unsavedFolder);
    frame.show();
    if (!restored.isEmpty())
        QTimer::singleShot(0, &frame, [&frame, restored] {
            messageBox(&frame, {kAppCaption, restored, QMessageBox::Information});
        });

    // The handlers only write to a pipe; the window closes from the event
    // loop. Without them a signal would end the console at once, losing
    // unsaved changes, which is worth saying but no reason not to run.
    std::unique_ptr<SignalPipe> signalPipe;
    try {
        signalPipe = std::make_unique<SignalPipe>(std::initializer_list<int>{SIGTERM, SIGHUP, SIGINT});
    } catch (const std::exception& e) {
        std::fprintf(stderr, "KT64mon: %s: a termination signal will end the console at once\n", e.what());
    }
    std::unique_ptr<QSocketNotifier> signalWatch;
    if (signalPipe) {
        signalWatch = std::make_unique<QSocketNotifier>(signalPipe->fd(), QSocketNotifier::Read);
        QObject::connect(signalWatch.get(), &QSocketNotifier::activated, &frame, [&] {
            while (signalPipe->take() != 0) {
            }
            frame.closeForSystem(start.unsavedFolder);
        });
    }
    return QApplication::exec();
}

}  // namespace kt64::console
