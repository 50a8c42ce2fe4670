#pragma once
// Resource: a shared object made from one data file (texture, sound sample,
// script). The resource manager creates it on the first request for its file
// name, counts references and takes it down on the last release.

#include <memory>
#include <string>

#include "foundation/Entity.h"

// Resource type numbers; the manager keeps one loader per number.
namespace ResourceType {
constexpr int Texture = 0;
constexpr int SampleChunk = 1;
constexpr int SampleChunkSpat = 2;
constexpr int Script = 3;
constexpr int Count = 4;

// "Texture", "Samplechunk", "SamplechunkSpat", "Script"; empty for other numbers.
const char* displayName(int type);
}  // namespace ResourceType

class Resource : public Entity, public RefCounted {
public:
    // Replaces the default reload (unload, load, activate) of a resource.
    class CustomResourceReloader {
    public:
        virtual bool reload(Resource& resource) = 0;
        virtual ~CustomResourceReloader() = default;
    };

    // For resources made from memory, which have no file to reload from.
    class EmptyResourceReloader : public CustomResourceReloader {
    public:
        bool reload(Resource&) override { return true; }
    };

    // The name is the file name exactly as requested.
    Resource(const std::string& name, int type, bool registered = false);
    ~Resource() override;

    const char* getClassName() const override { return "Resource"; }

    // Convention: load sets loaded on success, activate sets active,
    // deactivate clears active, unload clears loaded.
    virtual bool load() = 0;
    virtual bool activate() = 0;
    virtual void deactivate() = 0;
    virtual void unload() = 0;

    // The file the resource's data was read from: its name, unless the
    // resource read another file in its place.
    virtual std::string getFileName() const { return getName(); }
    // Hot reload after the file changed on disk: the data is replaced in
    // place, so that every user sees the new version. The default is the
    // reload command's (the custom reloader, else deactivate, unload, load,
    // activate); resources that can keep their previous data when the new
    // file is unusable override it. False when the new file was not taken.
    virtual bool reloadFromFile();

    bool isLoaded() const { return m_loaded; }
    bool isActive() const { return m_active; }
    int getType() const { return m_type; }

    CustomResourceReloader* getCustomReloader() const { return m_customReloader.get(); }
    void setCustomReloader(std::unique_ptr<CustomResourceReloader> reloader) {
        m_customReloader = std::move(reloader);
    }

protected:
    void setLoaded(bool loaded) { m_loaded = loaded; }
    void setActive(bool active) { m_active = active; }

private:
    bool m_loaded = false;
    bool m_active = false;
    int m_type;
    std::unique_ptr<CustomResourceReloader> m_customReloader;
};

// Creates resources of one type; registered with the manager by type number.
class ResourceLoader {
public:
    explicit ResourceLoader(int type) : m_type(type) {}
    virtual ~ResourceLoader() = default;
    // A new resource of the loader's class, not yet loaded, with no references.
    virtual std::unique_ptr<Resource> create(const std::string& name) = 0;
    int getType() const { return m_type; }

private:
    int m_type;
};

// The loader of a class whose constructor takes the resource name.
template <typename T, int Type>
class GenericResourceLoader : public ResourceLoader {
public:
    GenericResourceLoader() : ResourceLoader(Type) {}
    std::unique_ptr<Resource> create(const std::string& name) override {
        return std::make_unique<T>(name);
    }
};
