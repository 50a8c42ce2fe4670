#pragma once
// Keyboard, mouse and joystick input: delivers key and mouse events to the
// registered listeners and keeps a polled state of 16 logical buttons and 4
// logical axes, fed by a remappable keyboard table and the first joystick.

#include <cstdint>
#include <memory>

class IInputEventListener;

// Which devices an input device serves (a flags word from the configuration).
namespace InputDevices {
constexpr int Keyboard = 1;
constexpr int Mouse = 2;
constexpr int Joystick = 4;
}  // namespace InputDevices

class IInputDevice {
public:
    static constexpr int NumAxes = 4;
    static constexpr int NumButtons = 16;

    virtual ~IInputDevice() = default;

    virtual int getNumJoysticks() const = 0;
    // -1 to 1; 0 for an index outside 0 to 3.
    virtual float getAxis(int index) const = 0;
    // 0 or 1 (a joystick button may give values between); 0 for an index
    // outside 0 to 15.
    virtual float getButton(int index) const = 0;

    // Keys are key symbols of InputKey; 0 means unmapped. The getters give 0
    // and the setters do nothing for an index out of range.
    virtual void getKeyboardAxisMapping(int index, int32_t& positiveKey,
                                        int32_t& negativeKey) const = 0;
    virtual int32_t getKeyboardButtonMapping(int index) const = 0;
    virtual void setKeyboardAxisMapping(int index, int32_t positiveKey, int32_t negativeKey) = 0;
    virtual void setKeyboardButtonMapping(int index, int32_t key) = 0;

    // Appends a listener (not owned, no duplicate test); listeners are
    // called in the order they were added.
    virtual void addInputEventListener(IInputEventListener* listener) = 0;
    // Removes every entry of the listener; for a listener that dies before
    // the device.
    virtual void removeInputEventListener(IInputEventListener* listener) = 0;

    // Moves the mouse to a fraction of the window, y measured from the top;
    // only while the window has input focus.
    virtual void warpMouse(float x, float y) = 0;
    virtual void setShowMouseCursor(bool show) = 0;
    // On: a held key repeats after 500 ms, every 30 ms.
    virtual void setKeyRepeat(bool enable) = 0;
    // On: key-down events carry the character the key types.
    virtual void setUnicodeTranslation(bool enable) = 0;

    // Handles every pending window-system event; once per frame.
    virtual void processEvents() = 0;
    // Releases every logical button and axis, so that no key stays stuck
    // while key events go elsewhere.
    virtual void resetKeyState() = 0;

    // The window's size in pixels, which mouse positions are measured
    // against; the window sets it when it is created or resized.
    virtual void setWindowSize(int width, int height) = 0;
};

// The SDL input device serving the given InputDevices flags.
std::unique_ptr<IInputDevice> createInputDevice(int devices);
