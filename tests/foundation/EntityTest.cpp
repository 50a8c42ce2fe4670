#include <gtest/gtest.h>

#include <memory>

#include "foundation/Entity.h"

namespace {

struct RecordingListener : ActionListener {
    std::vector<std::string> events;
    void actionPerformed(void* source, int kind, int32_t, int32_t) override {
        EXPECT_EQ(kind, entityDestroyedEventKind());
        events.push_back(std::to_string(reinterpret_cast<uintptr_t>(source) != 0));
    }
};

class Kinded : public Entity {
public:
    Kinded(uint32_t bits) : Entity("kinded", true) { addKind(bits); }
    const char* getClassName() const override { return "Kinded"; }
};

TEST(Entity, IdsCountForEveryEntityAndRegistryFindsOnlyRegistered) {
    int32_t next = EntityRegistry::peekNextId();
    Entity unregistered("a", false);
    Entity registered("b", true);
    EXPECT_EQ(unregistered.getId(), next);
    EXPECT_EQ(registered.getId(), next + 1);
    EXPECT_EQ(EntityRegistry::find(registered.getId()), &registered);
    EXPECT_EQ(EntityRegistry::find(unregistered.getId()), nullptr);
    EXPECT_EQ(EntityRegistry::find(987654), nullptr);

    int32_t goneId;
    {
        Entity gone("c", true);
        goneId = gone.getId();
    }
    EXPECT_EQ(EntityRegistry::find(goneId), nullptr);
    // Ids are never reused.
    Entity later("d", false);
    EXPECT_EQ(later.getId(), goneId + 1);
}

TEST(Entity, DeleteListenersTwiceOnceAndUnknown) {
    RecordingListener listener;
    RecordingListener stranger;
    {
        Entity e("e", true);
        e.addDeleteListener(&listener);
        e.addDeleteListener(&listener);
        e.removeDeleteListener(&stranger);
        e.addDeleteListener(&listener);
        e.removeDeleteListener(&listener);
    }
    EXPECT_EQ(listener.events.size(), 2u);
    EXPECT_TRUE(stranger.events.empty());
}

// A listener that destroys another listener while being told: the other one
// must not be called afterwards.
struct DestroyingListener : ActionListener {
    Entity* entity = nullptr;
    std::unique_ptr<RecordingListener>* victim = nullptr;
    void actionPerformed(void*, int, int32_t, int32_t) override {
        entity->removeDeleteListener(victim->get());
        victim->reset();
    }
};

TEST(Entity, ListenerRemovedDuringDestructionIsNotCalled) {
    auto victim = std::make_unique<RecordingListener>();
    DestroyingListener first;
    auto* e = new Entity("e", true);
    first.entity = e;
    first.victim = &victim;
    e->addDeleteListener(&first);
    e->addDeleteListener(victim.get());
    delete e;  // would crash under ASan if the victim were still called
    EXPECT_EQ(victim, nullptr);
}

TEST(Entity, KindQueryAndListing) {
    Kinded group(EntityKind::ScenegraphNode | EntityKind::TransformGroup);
    Kinded camera(EntityKind::TransformGroup | EntityKind::Camera);
    Kinded shape(EntityKind::Shape);
    auto groups = EntityRegistry::byKind(EntityKind::TransformGroup);
    EXPECT_EQ(std::count(groups.begin(), groups.end(), &group), 1);
    EXPECT_EQ(std::count(groups.begin(), groups.end(), &camera), 1);
    EXPECT_EQ(std::count(groups.begin(), groups.end(), &shape), 0);

    std::string text = listEntitiesText();
    EXPECT_EQ(text.rfind("Registered Entity List\n\n", 0), 0u);
    EXPECT_NE(text.find("kinded (class=Kinded)\n"), std::string::npos);
}

struct Counted : RefCounted {
    static inline int destroyed = 0;
    ~Counted() override { ++destroyed; }
};

TEST(RefCounted, LastReleaseDestroys) {
    Counted::destroyed = 0;
    auto* c = new Counted();
    EXPECT_EQ(c->getRefCount(), 0);
    {
        RefPtr<Counted> a(c);
        RefPtr<Counted> b = a;
        EXPECT_EQ(c->getRefCount(), 2);
    }
    EXPECT_EQ(Counted::destroyed, 1);
}

TEST(ActionListener, EventKindsAreDistinct) {
    int a = allocateEventKind();
    int b = allocateEventKind();
    EXPECT_NE(a, b);
    EXPECT_NE(a, entityDestroyedEventKind());
}

}  // namespace
