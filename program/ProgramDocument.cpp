// The document's file operations (see ProgramDocument.h).
#include "ProgramDocument.h"

#include <system_error>

#include "FileCopy.h"
#include "FileFailureText.h"
#include "ProgramPaths.h"
#include "ProgramTables.h"
#include "ProgramTexts.h"
#include "TextFormat.h"
#include "WholeFile.h"

namespace kt64::program {

namespace {

constexpr const char* kWorkingCopyPrefix = "Vqe";

void removeQuietly(const std::filesystem::path& file) {
    std::error_code ec;
    std::filesystem::remove(file, ec);
    // The engine's rollback journal, should one be left beside the copy.
    std::filesystem::remove(file.string() + "-journal", ec);
}

}  // namespace

std::filesystem::path defaultTemplatePath() { return dataDirectory() / "default.mkk"; }

ProgramDocument::ProgramDocument(UserMessages& messages, std::filesystem::path templatePath)
    : messages_(messages), templatePath_(std::move(templatePath)) {}

ProgramDocument::~ProgramDocument() { closeDocument(); }

bool ProgramDocument::newDocument() {
    if (!replaceWorkingCopy(templatePath_, true)) return false;
    setModified(false);
    return true;
}

bool ProgramDocument::openDocument(const std::filesystem::path& path) {
    if (!replaceWorkingCopy(path, false)) return false;
    setModified(false);
    return true;
}

void ProgramDocument::setModified(bool modified) {
    modified_ = modified;
    if (modifiedObserver_) modifiedObserver_();
}

bool ProgramDocument::replaceWorkingCopy(const std::filesystem::path& source, bool fromTemplate) {
    failureText_.clear();
    std::error_code ec;
    // A file far larger than any program is refused by its size before it
    // is copied, which for a file of gigabytes would take a long while.
    if (const auto size = std::filesystem::file_size(source, ec); !ec && size > kMaxProgramFileBytes) {
        failureText_ =
            displayName(source) + ": " +
            formatText(text::kProgramTooLarge, byteCount(size).c_str(), sizeLimit(kMaxProgramFileBytes).c_str());
        messages_.show(std::string(text::kDatabaseError) + failureText_, MessageIcon::None);
        return false;
    }
    ec.clear();
    const auto folder = std::filesystem::temp_directory_path(ec);
    if (ec) {
        failureText_ = ec.message();
        return false;
    }
    const auto copy = makeTemporaryFile(folder, kWorkingCopyPrefix);
    if (!copy) {
        failureText_ = std::system_category().message(errno);
        return false;
    }
    if (auto error = copyFileOver(source, *copy)) {
        removeQuietly(*copy);
        failureText_ = *error;
        if (fromTemplate) messages_.show(text::kNoTemplate, MessageIcon::Stop);
        return false;
    }

    std::unique_ptr<Database> opened;
    try {
        opened = std::make_unique<Database>(Database::open(*copy));
        checkProgramFile(*opened);
    } catch (const DatabaseError& e) {
        opened.reset();
        removeQuietly(*copy);
        // Named by the file the user chose: the engine only ever saw the copy.
        failureText_ = displayName(source) + ": " + e.what();
        messages_.show(std::string(text::kDatabaseError) + failureText_, MessageIcon::None);
        return false;
    }

    // The previous working copy is not needed any more.
    database_.reset();
    deleteWorkingCopy();
    database_ = std::move(opened);
    workingCopyPath_ = *copy;
    freshDocument = true;
    return true;
}

bool ProgramDocument::saveDocument(const std::filesystem::path& path) {
    failureText_.clear();
    if (!database_) {
        failureText_ = std::system_category().message(EBADF);
        return false;
    }
    // Closing the connection leaves the working copy complete on disk.
    database_.reset();
    const auto error = replaceFileAtomically(workingCopyPath_, path);

    // The working copy is reopened whether or not the save worked.
    try {
        database_ = std::make_unique<Database>(Database::open(workingCopyPath_));
    } catch (const DatabaseError& e) {
        if (!error) failureText_ = e.what();
        messages_.show(std::string(text::kDatabaseError) + e.what(), MessageIcon::None);
    }
    if (error) {
        failureText_ = *error;
        return false;
    }
    setModified(false);
    return database_ != nullptr;
}

void ProgramDocument::closeDocument() {
    database_.reset();
    deleteWorkingCopy();
}

void ProgramDocument::deleteWorkingCopy() {
    if (workingCopyPath_.empty()) return;
    removeQuietly(workingCopyPath_);
    workingCopyPath_.clear();
}

void ProgramDocument::notifyChanged(std::uint32_t hint) {
    if (changeObserver_) changeObserver_(hint);
}

}  // namespace kt64::program
