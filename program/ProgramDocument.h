// The open relay program: the document's file operations. The user's
// program file (".dsk") is never edited in place: New copies the template
// "default.mkk" and Open copies the chosen file into a working copy in the
// temporary folder ("Vqe....tmp"); all editing goes to the working copy
// through database(); Save replaces the chosen file with the working copy
// atomically; Close deletes the working copy. Leaving without saving thus
// leaves the program file as it was.
//
// The template is looked up in the programs' installed data folder
// (defaultTemplatePath()), never in the current directory. A file that is
// not a program is refused with "Błąd bazy danych: ", the file's name and
// what it is instead (checkProgramFile(); a file larger than
// kMaxProgramFileBytes by its size alone), and the program open before
// stays open; what is not a regular file at all (a directory, a FIFO, a
// device) is refused before it is opened for reading.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "SqlDatabase.h"
#include "UserMessages.h"

namespace kt64::program {

// Far more than any program takes (100 blocks and 400 records fill a few
// hundred kilobytes): a larger file is refused before it is copied.
inline constexpr std::uint64_t kMaxProgramFileBytes = std::uint64_t{64} << 20;

// dataDirectory()/default.mkk.
std::filesystem::path defaultTemplatePath();

class ProgramDocument {
public:
    ProgramDocument(UserMessages& messages, std::filesystem::path templatePath);
    ProgramDocument(const ProgramDocument&) = delete;
    ProgramDocument& operator=(const ProgramDocument&) = delete;
    // Closes the document as closeDocument does.
    ~ProgramDocument();

    // A new program from the template. Without a template: "Brak pliku
    // default.mkk musisz ponownie zainstalować program." and the previous
    // program stays.
    bool newDocument();
    // Works on a copy of path from now on. A file that cannot be read fails
    // without a message of its own; failureText() then says "<file>:
    // <reason>", as it does after the database message of a file that is
    // not a program.
    bool openDocument(const std::filesystem::path& path);
    // Replaces path with the working copy; a read-only path is refused. On
    // failure path keeps its old content, the program stays open and
    // editable, and failureText() tells why.
    bool saveDocument(const std::filesystem::path& path);
    // Closes the database and deletes the working copy.
    void closeDocument();

    // The working copy's database; nullptr when no program is open. New,
    // Open, Save and a receive replace the connection, so users fetch it for
    // each action and keep no pointer across one of those.
    Database* database() { return database_.get(); }
    bool isOpen() const { return database_ != nullptr; }

    const std::filesystem::path& templatePath() const { return templatePath_; }
    const std::filesystem::path& workingCopyPath() const { return workingCopyPath_; }
    // Why the last Open or Save failed: "<file>: <reason>" after Open, the
    // system's text after Save.
    const std::string& failureText() const { return failureText_; }

    bool isModified() const { return modified_; }
    void setModified(bool modified = true);
    // Told after every setModified and after New, Open and Save cleared the
    // mark (the frame shows it in its title).
    void setModifiedObserver(std::function<void()> observer) { modifiedObserver_ = std::move(observer); }
    // Set by New and Open; the tree view takes it.
    bool freshDocument = false;

    // Told when the program's content changed (New, Open, a receive, an
    // edit), with a hint for what to show (an item code, 0 for everything);
    // whoever shows the program sets it. It may be told on a transfer's
    // worker thread.
    void setChangeObserver(std::function<void(std::uint32_t hint)> observer) { changeObserver_ = std::move(observer); }
    void notifyChanged(std::uint32_t hint);

private:
    // Makes a working copy of source and opens it; on failure everything
    // stays as it was.
    bool replaceWorkingCopy(const std::filesystem::path& source, bool fromTemplate);
    void deleteWorkingCopy();

    UserMessages& messages_;
    std::filesystem::path templatePath_;
    std::filesystem::path workingCopyPath_;
    std::unique_ptr<Database> database_;
    std::string failureText_;
    bool modified_ = false;
    std::function<void(std::uint32_t)> changeObserver_;
    std::function<void()> modifiedObserver_;
};

}  // namespace kt64::program
