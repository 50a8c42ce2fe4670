#pragma once
// The engine's one door to the operating system for paths, folders, files,
// message boxes and time. Nothing else in the code calls the OS for these.

#include <cstdint>
#include <string>

namespace platform {

// Full path of the running executable ("/proc/self/exe"), empty when unknown.
std::string getExecutablePath();

// The folder part of a path with "\" turned into "/", cut after its last "/";
// empty when the path holds no "/".
std::string folderOfPath(const std::string& path);

// The user's data folder ($XDG_DATA_HOME, else $HOME/.local/share), without a
// trailing "/"; empty when neither variable is usable.
std::string getUserDataFolder();

// True for an existing regular file (not a folder, device, socket...).
bool isPlainFile(const std::string& path);

// Size in bytes of an existing regular file, -1 otherwise.
int64_t getFileSize(const std::string& path);

// True for an existing folder.
bool isFolder(const std::string& path);

enum class CreateFolderResult { Created, AlreadyExists, MissingParent, Failed };

// Creates one folder level.
CreateFolderResult createFolder(const std::string& path);

// Creates a folder and any missing parents (mode 0700, as the user's data
// folders are private); true when the folder exists afterwards.
bool createFolderPath(const std::string& path);

// Copies a file; with overwrite false an existing target makes it fail, and
// so does a target that is the source itself (under any name).
bool copyFile(const std::string& from, const std::string& to, bool overwrite);

// Last modification time of a path in 100 ns units since 1601 (the engine's
// file time unit); 0 when the path cannot be read. Folders work too.
int64_t getLastWriteTime(const std::string& path);

// A modal error box with one OK button. The title and text always go to
// stderr as well; the box itself is skipped when no display can be opened.
void showErrorMessageBox(const std::string& title, const std::string& text);

// Monotonic time in milliseconds since an arbitrary start.
double getTimeMs();

void sleepMs(unsigned milliseconds);

}  // namespace platform
