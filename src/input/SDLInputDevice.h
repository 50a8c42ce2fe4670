#pragma once
// The input device over SDL2: keyboard events with the classic SDL 1.2 key
// symbols and the typed character, mouse events in window fractions from the
// bottom left, the first joystick, and the logical buttons and axes.

#include <SDL.h>

#include <cstdint>
#include <vector>

#include "input/IInputDevice.h"

class SDLInputDevice : public IInputDevice {
public:
    static constexpr uint32_t KeyRepeatDelayMs = 500;
    static constexpr uint32_t KeyRepeatIntervalMs = 30;
    // Joystick axis values with a smaller magnitude read as 0.
    static constexpr float DeadZone = 0.5f;

    // devices: InputDevices flags.
    explicit SDLInputDevice(int devices);
    ~SDLInputDevice() override;
    SDLInputDevice(const SDLInputDevice&) = delete;
    SDLInputDevice& operator=(const SDLInputDevice&) = delete;

    int getNumJoysticks() const override;
    float getAxis(int index) const override;
    float getButton(int index) const override;

    void getKeyboardAxisMapping(int index, int32_t& positiveKey,
                                int32_t& negativeKey) const override;
    int32_t getKeyboardButtonMapping(int index) const override;
    void setKeyboardAxisMapping(int index, int32_t positiveKey, int32_t negativeKey) override;
    void setKeyboardButtonMapping(int index, int32_t key) override;

    void addInputEventListener(IInputEventListener* listener) override;
    void removeInputEventListener(IInputEventListener* listener) override;

    void warpMouse(float x, float y) override;
    void setShowMouseCursor(bool show) override;
    void setKeyRepeat(bool enable) override;
    void setUnicodeTranslation(bool enable) override;

    void processEvents() override { processEventsAt(SDL_GetTicks()); }
    // processEvents with the time in milliseconds that key repeat is
    // measured against.
    void processEventsAt(uint32_t nowMs);
    void resetKeyState() override;

    void setWindowSize(int width, int height) override;

    bool hasInputFocus() const { return m_inputFocus; }

    // The SDL 1.2 key symbol of an SDL2 key (InputKey::Unknown for keys the
    // old set lacks).
    static int32_t translateKey(const SDL_Keysym& keysym);
    // The dead zone applied to a joystick axis value.
    static float applyDeadZone(float value);

private:
    void handleEvent(const SDL_Event& event, const SDL_Event* next, uint32_t nowMs,
                     bool& consumedNext);
    void handleWindowEvent(const SDL_WindowEvent& event);
    void handleKey(const SDL_KeyboardEvent& event, const SDL_Event* next, uint32_t nowMs,
                   bool& consumedNext);
    void updateMapping(int32_t key, bool isDown);
    void deliverKey(uint16_t unicode, int32_t key, uint32_t modifiers, bool isDown);
    void deliverMouse(uint32_t windowId, int x, int y, bool isDown, bool isUp, int button);
    void setFocus(bool focus);
    void applyCursor() const;
    SDL_Window* findWindow() const;

    int m_devices;
    SDL_Joystick* m_joystick = nullptr;
    SDL_JoystickID m_joystickId = -1;
    int32_t m_buttonKeys[NumButtons] = {};
    int32_t m_axisPositiveKeys[NumAxes] = {};
    int32_t m_axisNegativeKeys[NumAxes] = {};
    int m_keyboardAxes[NumAxes] = {};
    float m_joystickAxes[NumAxes] = {};
    int m_buttonCounters[NumButtons] = {};
    float m_joystickButtons[NumButtons] = {};
    bool m_inputFocus = true;
    bool m_showCursorWish = true;
    std::vector<IInputEventListener*> m_listeners;

    bool m_initialisedJoystick = false;
    bool m_initialisedEvents = false;
    bool m_unicode = false;
    int m_windowWidth = 0;
    int m_windowHeight = 0;
    // The window the latest window event named; warping falls back to it
    // when no GL context is current.
    uint32_t m_windowId = 0;

    // Key repeat: the key pressed last repeats while it is held.
    bool m_keyRepeat = false;
    int32_t m_repeatKey = 0;
    uint16_t m_repeatUnicode = 0;
    uint32_t m_repeatModifiers = 0;
    uint32_t m_repeatDueMs = 0;

    // Events of one processEvents call, kept to avoid allocating per frame.
    std::vector<SDL_Event> m_events;
};
