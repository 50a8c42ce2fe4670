#pragma once
// Entity: the base of every engine object scripts can address by id.
// RefCounted: the base of shared resources. ActionListener: the callback
// interface of delete listeners, timers, node events and frame callbacks.

#include <cstdint>
#include <string>
#include <vector>

class ActionListener {
public:
    virtual ~ActionListener() = default;
    virtual void actionPerformed(void* source, int eventKind, int32_t value1, int32_t value2) = 0;
};

// Event kinds are handed out from one counter starting at 0; code compares
// them only with one another.
int allocateEventKind();
int entityDestroyedEventKind();

namespace EntityKind {
constexpr uint32_t ScenegraphNode = 0x10;
constexpr uint32_t RawTransformGroup = 0x20;
constexpr uint32_t TransformGroup = 0x40;
constexpr uint32_t LODTransformGroup = 0x80;
constexpr uint32_t TerrainTransformGroup = 0x100;
constexpr uint32_t FoliageTransformGroup = 0x200;
constexpr uint32_t TerrainDetailTransformGroup = 0x400;
constexpr uint32_t Shape = 0x800;
constexpr uint32_t TerrainPatchShape = 0x1000;
constexpr uint32_t LightSource = 0x2000;
constexpr uint32_t AudioSource = 0x4000;
constexpr uint32_t Camera = 0x8000;
constexpr uint32_t CharacterSet = 0x10000;
constexpr uint32_t Clip = 0x20000;
constexpr uint32_t Geometry = 0x40000;
constexpr uint32_t SplineGeometry = 0x80000;
constexpr uint32_t ParticleSystem = 0x100000;
}  // namespace EntityKind

class Entity {
public:
    Entity(const std::string& name, bool registered);
    virtual ~Entity();
    Entity(const Entity&) = delete;
    Entity& operator=(const Entity&) = delete;

    virtual const char* getClassName() const { return "Entity"; }
    virtual std::string getName() const { return m_name; }

    int32_t getId() const { return m_id; }
    bool isRegistered() const { return m_registered; }
    uint32_t getFlags() const { return m_flags; }
    bool hasKind(uint32_t mask) const { return (m_flags & mask) != 0; }

    // Takes the entity out of the registry ahead of its destruction, so
    // that nothing finds it by id any more (the destructor does it before
    // telling the delete listeners, which may run scripts).
    void leaveRegistry();

    void addDeleteListener(ActionListener* listener);
    void removeDeleteListener(ActionListener* listener);

    // Scripts rename entities ("setName").
    void setName(const std::string& name) { m_name = name; }

protected:
    void addKind(uint32_t bit) { m_flags |= bit; }

private:
    bool m_registered;
    std::string m_name;
    int32_t m_id;
    uint32_t m_flags = 0;
    std::vector<ActionListener*> m_deleteListeners;
};

// The process-wide map from id to registered entity (not owning).
namespace EntityRegistry {
Entity* find(int32_t id);
std::vector<Entity*> all();
std::vector<Entity*> byKind(uint32_t mask);
size_t count();
// The id the next entity will get.
int32_t peekNextId();
}  // namespace EntityRegistry

// Text of the console command "listEntities".
std::string listEntitiesText();

// Reference count starting at 0; the last release destroys the object.
class RefCounted {
public:
    RefCounted() = default;
    RefCounted(const RefCounted&) = delete;
    RefCounted& operator=(const RefCounted&) = delete;
    virtual ~RefCounted() = default;

    void addRef() { ++m_refCount; }
    // Returns true when this release destroyed the object.
    bool release() {
        if (--m_refCount <= 0) {
            delete this;
            return true;
        }
        return false;
    }
    int32_t getRefCount() const { return m_refCount; }

private:
    int32_t m_refCount = 0;
};

// Holds one reference to a RefCounted object.
template <typename T>
class RefPtr {
public:
    RefPtr() = default;
    RefPtr(T* object) : m_object(object) {  // NOLINT: implicit by design
        if (m_object) {
            m_object->addRef();
        }
    }
    RefPtr(const RefPtr& other) : RefPtr(other.m_object) {}
    RefPtr(RefPtr&& other) noexcept : m_object(other.m_object) { other.m_object = nullptr; }
    ~RefPtr() { reset(); }
    RefPtr& operator=(RefPtr other) noexcept {
        std::swap(m_object, other.m_object);
        return *this;
    }
    void reset() {
        if (m_object) {
            T* object = m_object;
            m_object = nullptr;
            object->release();
        }
    }
    T* get() const { return m_object; }
    T* operator->() const { return m_object; }
    T& operator*() const { return *m_object; }
    explicit operator bool() const { return m_object != nullptr; }

private:
    T* m_object = nullptr;
};
