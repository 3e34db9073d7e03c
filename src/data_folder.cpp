#include "data_folder.h"

#include "datafile_check.h"
#include "util.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Set when the working directory's base.dat was passed over, or no folder holds a usable one:
// lines that name the folders looked in and why each was passed over.
std::string searchNote;

// The largest base.dat the game reads: its own is some 100 KB.
constexpr off_t largestDatafile = 64 << 20;

// Reads the whole of a datafile into bytes. Empty when it can; otherwise why not, worded to follow
// the file's name. Only a regular file is read: a pipe or a device by that name could block or
// never end.
std::string readDatafile(const std::string& file, std::string& bytes)
{
    const char* const tooLarge = "is larger than 64 MB, far too large for the game's datafile";
    const int fd = open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::string("cannot be read: ") + strerror(errno);
    struct stat status;
    std::string fault;
    if (fstat(fd, &status) != 0)
        fault = std::string("cannot be read: ") + strerror(errno);
    else if (!S_ISREG(status.st_mode))
        fault = "is not a file";
    else if (status.st_size > largestDatafile)
        fault = tooLarge;
    bytes.clear();
    // On the heap: the game may be started with a stack of a few dozen kilobytes (ulimit -s).
    std::vector<char> buffer(65536);
    ssize_t got = 0;
    while (fault.empty() && (got = read(fd, buffer.data(), buffer.size())) != 0) {
        if (got < 0 && errno != EINTR)
            fault = std::string("cannot be read: ") + strerror(errno);
        else if (got > 0 && bytes.size() + size_t(got) > size_t(largestDatafile))
            fault = tooLarge; // it grew as it was read
        else if (got > 0)
            bytes.append(buffer.data(), size_t(got));
    }
    close(fd);
    return fault.empty() ? datafileFault(bytes) : fault;
}

// The base.dat of the folder the game chose, read once at the choice: every "base.dat#..." sprite
// comes from these bytes, whatever happens to the file afterwards (a copy over it, a rebuild).
std::optional<DatafileBytes> chosenDatafile;

// The game's own file, however it was started. /proc/self/exe names the program that the system
// started: where a launcher or a sandbox starts the game through the dynamic loader
// (ld-linux-x86-64.so.2 ./outbreak), that is the loader, and the game's file is the one its name
// (argv[0], as the loader hands it on) gives from the working directory it was started in. Which
// is which the file mapped where this code lies tells: its device and inode, as /proc/self/maps
// has them.
fs::path gamesOwnFile(std::error_code& error)
{
    const fs::path started = fs::read_symlink("/proc/self/exe", error);
    struct stat startedFile;
    if (error || stat("/proc/self/exe", &startedFile) != 0)
        return started;
    const auto here = reinterpret_cast<unsigned long>(&gamesOwnFile);
    std::ifstream maps("/proc/self/maps");
    for (std::string line; std::getline(maps, line);) {
        unsigned long from, to, inode;
        unsigned major, minor;
        if (std::sscanf(line.c_str(), "%lx-%lx %*s %*s %x:%x %lu", &from, &to, &major, &minor,
                &inode)
                == 5
            && here >= from && here < to) {
            if (inode == startedFile.st_ino && makedev(major, minor) == startedFile.st_dev)
                return started;
            return fs::absolute(program_invocation_name, error);
        }
    }
    return started;
}

// Empty when a well-formed datafile holds every sprite of the game; otherwise why not.
std::string gameDatafileFault(const DatafileBytes& datafile)
{
    if (!datafile.unread.empty())
        return datafile.unread;
    for (const char* path : spritePaths) {
        const char* object = spriteObject(path);
        if (!datafileObject(datafile.bytes, object))
            return std::string("is not the game's datafile: it has no object ") + object;
    }
    return "";
}

} // namespace

void enterDataFolder()
{
    std::error_code error;
    std::vector<fs::path> folders {fs::current_path(error)};
    // A working directory deleted under the game (or out of its reach) has no path to name, though
    // the game is still in it.
    // (The error holds getcwd's errno.)
    const std::string workingDirectoryName = error.value() == ENOENT
        ? "the working directory (deleted)"
        : error ? std::string("the working directory (") + strerror(error.value()) + ")"
                : folders[0].string();
    std::vector<fs::path> gamesOwn;
    const fs::path game = gamesOwnFile(error);
    if (!error)
        gamesOwn = {game.parent_path(),
            (game.parent_path() / OUTBREAK_DATA_FROM_BINDIR).lexically_normal(),
            (game.parent_path() / OUTBREAK_DATA_FROM_GAMESDIR).lexically_normal()};
    for (const fs::path& folder : gamesOwn)
        if (std::find(folders.begin(), folders.end(), folder) == folders.end())
            folders.push_back(folder);

    // A datafile that is damaged or not the game's is passed over in the working directory, where
    // anything may lie. Beside the game or in its data folder it is the game's own, damaged, and
    // loadBMP reports what is wrong with it. Each base.dat is read once, and the chosen one's bytes
    // are kept for the sprites.
    std::string lookedIn;
    std::optional<DatafileBytes> inWorkingDirectory;
    for (const fs::path& folder : folders) {
        const fs::path file = folder / "base.dat";
        std::string finding = "no base.dat";
        if (fs::exists(file, error) || fs::is_symlink(file, error)) {
            DatafileBytes datafile;
            datafile.unread = readDatafile(file, datafile.bytes);
            const std::string fault = gameDatafileFault(datafile);
            const bool own = std::find(gamesOwn.begin(), gamesOwn.end(), folder) != gamesOwn.end();
            if (fault.empty() || own) {
                if (folder == folders[0] || chdir(folder.c_str()) == 0) {
                    if (!lookedIn.empty())
                        searchNote = "Looked for base.dat in:\n" + lookedIn;
                    chosenDatafile = std::move(datafile);
                    return;
                }
                finding = std::string("cannot be entered: ") + strerror(errno);
            } else {
                finding = "base.dat " + fault;
            }
            if (folder == folders[0])
                inWorkingDirectory = std::move(datafile);
        }
        lookedIn += "  " + (folder == folders[0] ? workingDirectoryName : folder.string()) + ": "
            + finding + "\n";
    }
    searchNote = "Looked for base.dat in:\n" + lookedIn;
    // The working directory stays, and the sprites' message says why its base.dat is no use.
    if (!inWorkingDirectory) {
        inWorkingDirectory.emplace();
        inWorkingDirectory->unread = readDatafile("base.dat", inWorkingDirectory->bytes);
    }
    chosenDatafile = std::move(inWorkingDirectory);
}

DatafileBytes datafileBytes(const std::string& file)
{
    if (chosenDatafile && file == "base.dat")
        return *chosenDatafile;
    DatafileBytes readNow;
    readNow.unread = readDatafile(file, readNow.bytes);
    return readNow;
}

const std::string& dataSearchNote() { return searchNote; }
