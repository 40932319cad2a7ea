// Files people give a program by mistake in place of a command-list image,
// made in a scratch folder, each with the one line a program must print
// for it: "<file>: <reason>". Programs are run on them with limits
// (ProgramRun.h), so a program that would hang or read gigabytes fails the
// test instead of stalling the machine.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ProgramRun.h"

namespace kt64::test {

struct WrongFile {
    std::filesystem::path file;
    std::string shown;        // "<file>: <reason>", the name as messages write it
    bool unreadable = false;  // run the program through withoutReadOverride()
};

// words run without the right to override file permissions when this
// process is root (to whom every file is readable): still root, so the
// program and its libraries in the build tree stay reachable wherever that
// is (a clone in a 0700 folder too), but a file's mode bits now hold for it.
// Unchanged for any other user.
inline std::vector<std::string> withoutReadOverride(std::vector<std::string> words) {
    if (::geteuid() != 0) return words;
    words.insert(words.begin(), {"/usr/bin/setpriv", "--inh-caps=-dac_override,-dac_read_search",
                                 "--bounding-set=-dac_override,-dac_read_search", "--"});
    return words;
}

// sizeRule: what the programs say after "<N> bytes, ".
inline std::vector<WrongFile> wrongImageFiles(const std::filesystem::path& folder, const std::string& sizeRule) {
    namespace fs = std::filesystem;
    const std::string dir = folder.string() + "/";
    fs::create_directory(folder / "folder.bin");
    ::mkfifo((folder / "fifo.bin").c_str(), 0600);
    std::ofstream(folder / "empty.bin");
    std::ofstream(folder / "short.bin") << "abc";
    {
        // 3 GiB that take no room on the disk.
        std::ofstream sparse(folder / "sparse.bin", std::ios::binary);
        sparse.seekp((std::streamoff{3} << 30) - 1);
        sparse.put('\0');
    }
    std::ofstream(folder / "private.bin") << std::string(2905, '\0');
    fs::permissions(folder / "private.bin", fs::perms::none);

    std::vector<WrongFile> files = {
        {folder / "folder.bin", dir + "folder.bin: a directory, not a file"},
        {folder / "fifo.bin", dir + "fifo.bin: a FIFO (named pipe), not a file"},
        {"/dev/zero", "/dev/zero: a device, not a file"},
        {folder / "empty.bin", dir + "empty.bin: 0 bytes, " + sizeRule},
        {folder / "short.bin", dir + "short.bin: 3 bytes, " + sizeRule},
        {folder / "sparse.bin", dir + "sparse.bin: 3221225472 bytes, " + sizeRule},
        {folder / "missing\nline.bin", dir + "missing\\nline.bin: No such file or directory"},
        {folder / "missing-\xFF.bin", dir + "missing-\\xFF.bin: No such file or directory"},
    };
    if (::geteuid() != 0 || ::access("/usr/bin/setpriv", X_OK) == 0)
        files.push_back({folder / "private.bin", dir + "private.bin: Permission denied", true});
    return files;
}

// Enough for any of the programs, far too little for a file read whole.
inline constexpr RunLimits kWrongFileLimits{std::chrono::seconds(20), rlim_t{512} << 20};

}  // namespace kt64::test
