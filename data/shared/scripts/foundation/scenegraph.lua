-- Foundation script: small helpers over the scene graph functions.

Scenegraph = {}

-- Calls fn(id, depth) for the node and every node below it, depth first.
function Scenegraph.forEachNode(id, fn, depth)
    depth = depth or 0
    fn(id, depth)
    local count = getNumOfChildren(id)
    for i = 0, count - 1 do
        Scenegraph.forEachNode(getChildAt(id, i), fn, depth + 1)
    end
end

-- The first node below `id` (the node itself included) with that name, or 0.
function Scenegraph.findNode(id, name)
    local found = 0
    Scenegraph.forEachNode(id, function(node)
        if found == 0 and getName(node) == name then
            found = node
        end
    end)
    return found
end
