#pragma once
// A transform group that keeps a square window of cells around the camera:
// cells are built as the camera approaches, part of that work is spread
// over frames, and cells that stay out of range are released. The group
// knows nothing of what a cell holds; its subclasses build the cells.
//
// Cell (x, z) covers [x, x + 1) x [z, z + 1) cell sizes of the group's own
// space. Each detail level has a window of side x side cell shapes, created
// once and reused as a ring buffer while the window scrolls.

#include <memory>
#include <string>
#include <vector>

#include "base/math/Vector3.h"
#include "scene/Shape.h"

class LocalGeometryTransformGroup;
class SceneRenderContext;

// One slot of a level's window.
class LocalGeometryShape : public Shape {
public:
    explicit LocalGeometryShape(const std::string& name) : Shape(name) {}
    // A slot deleted from outside (a script deleting the node) leaves its
    // group's lists.
    ~LocalGeometryShape() override;

    const char* getClassName() const override { return "LocalGeometryShape"; }

    // The cell it holds (coordinates centred on the group's origin).
    int32_t cellX = 0;
    int32_t cellZ = 0;
    int level = 0;
    float ageMs = 0.0f;
    bool builtBefore = false;  // its geometry must be released before building again
    bool active = false;       // built and in the level's active list
    bool pending = false;      // waiting in the level's pending list
    bool drawable = false;     // its last build produced something to draw
    LocalGeometryTransformGroup* owner = nullptr;
};

class LocalGeometryTransformGroup : public TransformGroup, public ActionListener {
public:
    // Time between two deferred builds of a level.
    static constexpr float kDeferredIntervalMs = 200.0f;
    // A built cell out of range for longer than this is released.
    static constexpr float kReleaseAgeMs = 2000.0f;
    // Largest window side; view distances are clamped to fit it, so one
    // update never walks more than this squared slots per level.
    static constexpr int32_t kMaxWindowSide = 64;

    explicit LocalGeometryTransformGroup(const std::string& name);
    ~LocalGeometryTransformGroup() override;

    const char* getClassName() const override { return "LocalGeometryTransformGroup"; }

    // The render event updates the cells once per rendered frame from the
    // active camera of the context set with setSceneRenderContext; visits
    // of sub-renders (reflections, shadow maps) change nothing.
    void actionPerformed(void* source, int eventKind, int32_t value1, int32_t value2) override;
    // The context whose camera the render event uses (none: the event does
    // nothing). Set once at start-up.
    static void setSceneRenderContext(SceneRenderContext* context);

    // Adds a level reaching from the last level's far distance to `far`
    // (+ extra). Levels go in increasing far distance; otherwise the level
    // is refused with a log line. The window side is clamped to
    // kMaxWindowSide. False without a positive cell size.
    bool addLevel(float far, float extra);

    // The render event's work: unless the context is drawing a sub-render
    // or this frame was handled already, one step of the frame's own work
    // (beforeCellUpdate with the frame's time step) and one update of the
    // cells from the context's active camera, timed by the group's own
    // clock; the cells built go to the frame's statistics.
    void updateFromContext(SceneRenderContext& context);
    // One update of the cells: camera in world space, time since the last
    // update. A camera position that is not finite is ignored.
    void update(const Vector3& cameraWorld, float dtMs);
    // The same with the camera in the group's own space.
    void updateLocal(const Vector3& camera, float dtMs);

    // Marks the cells of the range (inclusive, cell coordinates) of every
    // level for rebuilding: immediately (the next update builds them when
    // they are in their band) or deferred (queued as pending).
    void markCellsForRebuild(int32_t x0, int32_t z0, int32_t x1, int32_t z1, bool immediate);

    float getCellSize() const { return m_cellSize; }
    size_t getNumLevels() const { return m_levels.size(); }
    int32_t getWindowSide(size_t level) const { return m_levels[level].side; }
    // Cells built by the last update.
    uint32_t getBuiltCellsLastUpdate() const { return m_builtCells; }
    // Milliseconds the last render event's work took (cell builds included).
    double getLastFrameWorkMs() const { return m_lastFrameWorkMs; }
    // The slot holding a cell, or none when the cell is not in the window.
    LocalGeometryShape* findCell(size_t level, int32_t x, int32_t z) const;
    size_t getNumActiveCells(size_t level) const { return m_levels[level].active.size(); }
    size_t getNumPendingCells(size_t level) const { return m_levels[level].pending.size(); }

protected:
    void setCellSize(float cellSize) { m_cellSize = cellSize; }
    // Builds the slot's cell; true when it holds something to draw.
    virtual bool buildCell(LocalGeometryShape& shape) = 0;
    virtual void releaseCell(LocalGeometryShape& shape) = 0;
    virtual std::unique_ptr<LocalGeometryShape> createCellShape(const std::string& name,
                                                                int level) = 0;
    // Called once per rendered frame before the cells are updated, with the
    // frame's game time step.
    virtual void beforeCellUpdate(float /*frameMs*/) {}
    // Counts a built cell for the statistics.
    void countBuiltCell() { ++m_builtCells; }
    // Detaches and deletes every cell shape (subclasses call it in their
    // destructor, while their release operation still works).
    void destroyLevels();

private:
    friend class LocalGeometryShape;
    void forgetShape(LocalGeometryShape* shape);

private:
    struct Level {
        float nearDistance = 0.0f;
        float farDistance = 0.0f;
        float extraDistance = 0.0f;
        int32_t side = 0;
        int32_t originX = 0;
        int32_t originZ = 0;
        bool placed = false;  // the window has an origin
        float accumulatorMs = 0.0f;
        std::vector<LocalGeometryShape*> slots;  // children of the group
        std::vector<LocalGeometryShape*> pending;
        std::vector<LocalGeometryShape*> active;
    };

    void moveWindow(Level& level, int32_t originX, int32_t originZ);
    void buildNow(Level& level, LocalGeometryShape& shape);
    static void removeFrom(std::vector<LocalGeometryShape*>& list, LocalGeometryShape* shape);
    float cellDistance2(const LocalGeometryShape& shape) const;

    std::vector<Level> m_levels;
    float m_cellSize = 0.0f;
    uint32_t m_builtCells = 0;
    Vector3 m_lastCamera{0.0f, 0.0f, 0.0f};
    bool m_hasLastCamera = false;
    double m_lastUpdateMs = -1.0;
    double m_lastFrameWorkMs = 0.0;
    uint32_t m_lastFrame = 0;
    bool m_updatedInFrame = false;  // m_lastFrame is valid
};
