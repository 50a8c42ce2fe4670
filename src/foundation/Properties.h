#pragma once
// Key/value configuration addressed by dotted paths such as
// "game.graphic.display.width" or "root.item(1)#name".

#include <string>

#include "foundation/Entity.h"

class Properties : public Entity {
public:
    Properties(const std::string& name, bool registered) : Entity(name, registered) {}
    const char* getClassName() const override { return "Properties"; }

    // The text at the path, or null. Valid until the store changes.
    virtual const char* getString(const char* path) const = 0;
    virtual void setString(const char* path, const char* value) = 0;
    virtual bool hasElement(const char* path) const = 0;
    virtual void save() = 0;

    // Writes the value with "%f".
    void setFloat(const char* path, float value);
};
