// The physics world's ray and sphere queries and its trigger and contact
// events.

#include <algorithm>
#include <cmath>

#include "foundation/Log.h"
#include "physics/IPhysicsReports.h"
#include "physics/PhysicsContextQueues.h"
#include "physics/PhysicsRBObject.h"
#include "physics/ScenegraphPhysicsContext.h"
#include "scene/Node.h"

namespace {

// Farther than any world: rays and spheres are cut to this.
constexpr float kMaxQueryDistance = 1.0e7f;

bool isFinite(const Vector3& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// Logs the first refusal of each kind of query only: scripts ask every frame.
void logRefusedOnce(bool& logged, const char* text) {
    if (!logged) {
        logged = true;
        Log::get() << "Warning: " << text << " (reported once)\n";
    }
}

// The length a ray is cast to, 0 for a ray that finds nothing: a refused
// one (logged once) or one of no length.
float rayDistance(const Vector3& origin, const Vector3& direction, float maxDistance,
                  bool& logged) {
    if (!isFinite(origin) || !isFinite(direction) || length(direction) == 0.0f ||
        std::isnan(maxDistance)) {
        logRefusedOnce(logged,
                       "ray cast refused: the origin must be finite and the direction not zero");
        return 0.0f;
    }
    return std::max(0.0f, std::min(maxDistance, kMaxQueryDistance));
}

int32_t idOfUserData(void* userData) {
    return userData != nullptr ? static_cast<ScenegraphNode*>(userData)->getId() : 0;
}

int32_t idOfActor(IPhysicsActor* actor) {
    return actor != nullptr ? idOfUserData(actor->getUserData()) : 0;
}

Entity* findNode(int32_t id) {
    return id != 0 ? EntityRegistry::find(id) : nullptr;
}

}  // namespace

int32_t ScenegraphPhysicsContext::raycastAll(const Vector3& origin, const Vector3& direction,
                                             float maxDistance, IRaycastReport& report) {
    static bool logged = false;
    float distance = rayDistance(origin, direction, maxDistance, logged);
    if (!(distance > 0.0f)) {
        return 0;
    }
    // Local lists: the report may cast rays of its own.
    std::vector<PhysicsRaycastHit> found;
    m_scene->raycastAll(origin, normalize(direction), distance, 0xFFFFFFFFu, found);
    // Ids first: a report may delete the nodes of later hits.
    std::vector<int32_t> foundIds;
    foundIds.reserve(found.size());
    for (const PhysicsRaycastHit& hit : found) {
        foundIds.push_back(idOfUserData(hit.userData));
    }
    int32_t count = 0;
    for (size_t i = 0; i < found.size(); ++i) {
        Entity* node = findNode(foundIds[i]);
        if (foundIds[i] != 0 && node == nullptr) {
            continue;  // deleted by an earlier call
        }
        ++count;
        if (!report.hit(node, found[i].point, found[i].distance)) {
            break;
        }
    }
    return count;
}

int32_t ScenegraphPhysicsContext::raycastClosest(const Vector3& origin, const Vector3& direction,
                                                 float maxDistance, IRaycastReport& report) {
    static bool logged = false;
    float distance = rayDistance(origin, direction, maxDistance, logged);
    PhysicsRaycastHit hit;
    if (!(distance > 0.0f) ||
        !m_scene->raycastClosest(origin, normalize(direction), distance, 0xFFFFFFFFu, hit)) {
        return 0;
    }
    report.hit(findNode(idOfUserData(hit.userData)), hit.point, hit.distance);
    return 1;
}

int32_t ScenegraphPhysicsContext::overlapSphere(const Vector3& center, float radius,
                                                IPhysicsEntityReport& report) {
    static bool logged = false;
    if (!isFinite(center) || !(radius > 0.0f) || std::isnan(radius)) {
        logRefusedOnce(logged,
                       "sphere overlap refused: the centre must be finite and the radius above 0");
        return 0;
    }
    std::vector<PhysicsRaycastHit> found;
    m_scene->overlapSphere(center, std::min(radius, kMaxQueryDistance), 0xFFFFFFFFu, found);
    std::vector<int32_t> ids;
    ids.reserve(found.size());
    for (const PhysicsRaycastHit& hit : found) {
        ids.push_back(idOfUserData(hit.userData));
    }
    int32_t count = 0;
    for (int32_t id : ids) {
        Entity* node = findNode(id);
        if (id != 0 && node == nullptr) {
            continue;
        }
        ++count;
        report.object(node);
    }
    return count;
}

void ScenegraphPhysicsContext::addTriggerReceiver(ITriggerReport& receiver) {
    m_reports->triggerReceivers.push_back(&receiver);
}

void ScenegraphPhysicsContext::removeTriggerReceiver(ITriggerReport& receiver) {
    auto& list = m_reports->triggerReceivers;
    list.erase(std::remove(list.begin(), list.end(), &receiver), list.end());
}

void ScenegraphPhysicsContext::addContactReceiver(IContactReport& receiver) {
    m_reports->contactReceivers.push_back(&receiver);
}

void ScenegraphPhysicsContext::removeContactReceiver(IContactReport& receiver) {
    auto& list = m_reports->contactReceivers;
    list.erase(std::remove(list.begin(), list.end(), &receiver), list.end());
}

void ScenegraphPhysicsContext::setContactReporting(ScenegraphNode& node, bool on) {
    m_reports->switches.push_back({node.getId(), on});
}

void ScenegraphPhysicsContext::applyContactSwitches() {
    std::vector<int32_t>& reporting = m_reports->reportingNodes;
    for (const Reports::Switch& change : m_reports->switches) {
        reporting.erase(std::remove(reporting.begin(), reporting.end(), change.nodeId),
                        reporting.end());
        if (change.on) {
            reporting.push_back(change.nodeId);
        }
        Entity* entity = findNode(change.nodeId);
        auto* node = dynamic_cast<ScenegraphNode*>(entity);
        auto* body =
            node != nullptr ? dynamic_cast<PhysicsRBObject*>(node->getPhysicsObject()) : nullptr;
        if (body != nullptr && body->getActor() != nullptr) {
            body->getActor()->setContactReporting(change.on);
        }
    }
    m_reports->switches.clear();
}

void ScenegraphPhysicsContext::deliverEvents() {
    Reports& reports = *m_reports;
    // Nodes as ids first: a receiver may delete any node, and a node is
    // looked up again for every call.
    reports.triggers.clear();
    for (const PhysicsTriggerEvent& event : m_scene->getTriggerEvents()) {
        int32_t trigger = idOfActor(event.trigger);
        if (trigger != 0) {
            reports.triggers.push_back({trigger, idOfActor(event.other), event.status & 7u});
        }
    }
    reports.contacts.clear();
    for (const PhysicsContactEvent& event : m_scene->getContactEvents()) {
        int32_t a = idOfActor(event.first);
        int32_t b = idOfActor(event.second);
        if (a != 0 && b != 0) {
            reports.contacts.push_back(
                {a, b, event.flags & 7u, event.normalForce, event.frictionForce});
        }
    }
    for (size_t i = 0; i < reports.triggers.size(); ++i) {
        Reports::Trigger event = reports.triggers[i];
        for (size_t r = 0; r < reports.triggerReceivers.size(); ++r) {
            // Nodes deleted by an earlier call end the event.
            Entity* trigger = findNode(event.trigger);
            Entity* other = findNode(event.other);
            if (trigger == nullptr || (event.other != 0 && other == nullptr)) {
                break;
            }
            reports.triggerReceivers[r]->trigger(trigger, other, event.flags);
        }
    }
    for (size_t i = 0; i < reports.contacts.size(); ++i) {
        Reports::Contact event = reports.contacts[i];
        for (size_t r = 0; r < reports.contactReceivers.size(); ++r) {
            Entity* a = findNode(event.a);
            Entity* b = findNode(event.b);
            if (a == nullptr || b == nullptr) {
                break;
            }
            reports.contactReceivers[r]->contact(a, b, event.flags, event.normalForce,
                                                 event.frictionForce);
        }
    }
}
