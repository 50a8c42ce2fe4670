#pragma once
// Tells which watched files changed on disk. Used by the development
// controls' hot reload: only files the engine read from folders are
// watched, and the caller polls once per frame on the main thread.

#include <memory>
#include <string>
#include <vector>

class IFileWatcher {
public:
    virtual ~IFileWatcher() = default;

    // Watches one file by its folder and name, so that editors that save
    // by writing another file and renaming it over this one are seen too.
    // False (nothing watched) when the folder cannot be watched.
    virtual bool watchFile(const std::string& path) = 0;

    // Appends the watched files written, renamed into place or created
    // since the last call, each once and as watchFile was given them.
    // Never blocks; appends nothing when nothing changed.
    virtual void poll(std::vector<std::string>& changed) = 0;
};

// The platform's watcher; null when the system gives none.
std::unique_ptr<IFileWatcher> createFileWatcher();
