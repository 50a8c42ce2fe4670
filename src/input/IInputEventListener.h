#pragma once
// Receives the key and mouse events an input device delivers.

#include <cstdint>

class IInputEventListener {
public:
    virtual ~IInputEventListener() = default;
    // unicode: the character of the key; key: an SDL 1.2 key code;
    // modifiers: the SDL modifier mask.
    virtual bool keyEvent(uint16_t unicode, int32_t key, uint32_t modifiers, bool isDown) = 0;
    // x, y: 0 to 1 from the bottom left; button 1 to 5.
    virtual bool mouseEvent(float x, float y, bool isDown, bool isUp, int button) = 0;
};
