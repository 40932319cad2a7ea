// The working copy kept over an ending the operator did not ask for; see
// the header.
#include "UnsavedProgram.h"

#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

#include <system_error>

namespace kt64::console {

namespace {

std::filesystem::path keptProgram(const std::filesystem::path& folder) { return folder / "unsaved.dsk"; }
std::filesystem::path keptName(const std::filesystem::path& folder) { return folder / "unsaved.name"; }

}  // namespace

std::filesystem::path defaultUnsavedFolder() {
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (data.isEmpty()) return {};
    return std::filesystem::path(data.toStdString()) / "KT64";
}

bool keepUnsavedProgram(Kt64Document& doc, const std::filesystem::path& folder, std::string& why) {
    why.clear();
    if (!doc.program().isOpen() || !doc.program().isModified()) return false;
    if (folder.empty()) {
        why = "this user has no data folder";
        return false;
    }
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        why = folder.string() + ": " + error.message();
        return false;
    }
    // The name first: a kept copy without it is shown untitled, never under
    // another program's name.
    QSaveFile name(QString::fromStdString(keptName(folder).string()));
    if (!name.open(QIODevice::WriteOnly) || name.write(QByteArray::fromStdString(doc.pathName.string())) < 0 ||
        !name.commit()) {
        why = keptName(folder).string() + ": " + name.errorString().toStdString();
        return false;
    }
    if (!doc.program().saveDocument(keptProgram(folder))) {
        why = keptProgram(folder).string() + ": " + doc.program().failureText();
        return false;
    }
    return true;
}

QString restoreUnsavedProgram(Kt64Document& doc, const std::filesystem::path& folder) {
    if (folder.empty()) return {};
    const std::filesystem::path program = keptProgram(folder);
    std::error_code error;
    if (!std::filesystem::exists(program, error)) return {};
    QFile nameFile(QString::fromStdString(keptName(folder).string()));
    const std::filesystem::path name =
        nameFile.open(QIODevice::ReadOnly) ? nameFile.readAll().toStdString() : std::string();
    std::string why;
    if (!doc.openProgram(program, why))
        return QString::fromUtf8(kUnsavedNotRestoredText)
            .arg(QString::fromStdString(program.string()), QString::fromStdString(why));
    doc.setPathName(name);
    doc.program().setModified(true);
    doc.program().notifyChanged(0);
    // The working copy holds the changes now; another ending keeps them anew.
    std::filesystem::remove(program, error);
    std::filesystem::remove(keptName(folder), error);
    return QString::fromUtf8(kUnsavedRestoredText)
        .arg(name.empty() ? QStringLiteral("Bez tytułu") : QString::fromStdString(name.filename().string()));
}

}  // namespace kt64::console
