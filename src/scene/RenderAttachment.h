#pragma once
// Base of the data the renderer keeps with scene objects (a shape's render
// object, a light's shadow map record and light-list entry, the device
// buffers of a geometry's sub-mesh). The scene graph owns and deletes it
// without knowing its contents; the renderer creates it when it first needs
// it.

class RenderAttachment {
public:
    virtual ~RenderAttachment() = default;
};
