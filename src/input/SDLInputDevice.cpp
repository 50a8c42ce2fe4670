#include "input/SDLInputDevice.h"

#include <algorithm>
#include <cmath>

#include "foundation/Log.h"
#include "input/IInputEventListener.h"
#include "input/InputKeys.h"

namespace {

struct KeyTranslation {
    SDL_Keycode sdlKey;
    int32_t key;
};

// SDL2 keys without a character code and their SDL 1.2 symbols. Keys with a
// character code (ASCII and Latin-1) keep that code, as the old symbols did.
constexpr KeyTranslation kKeyTable[] = {
    {SDLK_CLEAR, InputKey::Clear},
    {SDLK_KP_CLEAR, InputKey::Clear},
    {SDLK_PAUSE, InputKey::Pause},
    {SDLK_RETURN2, InputKey::Return},
    {SDLK_KP_0, InputKey::keypad(0)},
    {SDLK_KP_1, InputKey::keypad(1)},
    {SDLK_KP_2, InputKey::keypad(2)},
    {SDLK_KP_3, InputKey::keypad(3)},
    {SDLK_KP_4, InputKey::keypad(4)},
    {SDLK_KP_5, InputKey::keypad(5)},
    {SDLK_KP_6, InputKey::keypad(6)},
    {SDLK_KP_7, InputKey::keypad(7)},
    {SDLK_KP_8, InputKey::keypad(8)},
    {SDLK_KP_9, InputKey::keypad(9)},
    {SDLK_KP_PERIOD, InputKey::KpPeriod},
    {SDLK_KP_DECIMAL, InputKey::KpPeriod},
    {SDLK_KP_DIVIDE, InputKey::KpDivide},
    {SDLK_KP_MULTIPLY, InputKey::KpMultiply},
    {SDLK_KP_MINUS, InputKey::KpMinus},
    {SDLK_KP_PLUS, InputKey::KpPlus},
    {SDLK_KP_ENTER, InputKey::KpEnter},
    {SDLK_KP_EQUALS, InputKey::KpEquals},
    {SDLK_KP_EQUALSAS400, InputKey::KpEquals},
    {SDLK_UP, InputKey::Up},
    {SDLK_DOWN, InputKey::Down},
    {SDLK_RIGHT, InputKey::Right},
    {SDLK_LEFT, InputKey::Left},
    {SDLK_INSERT, InputKey::Insert},
    {SDLK_HOME, InputKey::Home},
    {SDLK_END, InputKey::End},
    {SDLK_PAGEUP, InputKey::PageUp},
    {SDLK_PAGEDOWN, InputKey::PageDown},
    {SDLK_F1, InputKey::function(1)},
    {SDLK_F2, InputKey::function(2)},
    {SDLK_F3, InputKey::function(3)},
    {SDLK_F4, InputKey::function(4)},
    {SDLK_F5, InputKey::function(5)},
    {SDLK_F6, InputKey::function(6)},
    {SDLK_F7, InputKey::function(7)},
    {SDLK_F8, InputKey::function(8)},
    {SDLK_F9, InputKey::function(9)},
    {SDLK_F10, InputKey::function(10)},
    {SDLK_F11, InputKey::function(11)},
    {SDLK_F12, InputKey::function(12)},
    {SDLK_F13, InputKey::function(13)},
    {SDLK_F14, InputKey::function(14)},
    {SDLK_F15, InputKey::function(15)},
    {SDLK_NUMLOCKCLEAR, InputKey::NumLock},
    {SDLK_CAPSLOCK, InputKey::CapsLock},
    {SDLK_SCROLLLOCK, InputKey::ScrollLock},
    {SDLK_RSHIFT, InputKey::RShift},
    {SDLK_LSHIFT, InputKey::LShift},
    {SDLK_RCTRL, InputKey::RCtrl},
    {SDLK_LCTRL, InputKey::LCtrl},
    {SDLK_RALT, InputKey::RAlt},
    {SDLK_LALT, InputKey::LAlt},
    // The Windows keys were the Super keys; the Meta bits of the modifier
    // mask are the GUI bits.
    {SDLK_LGUI, InputKey::LSuper},
    {SDLK_RGUI, InputKey::RSuper},
    {SDLK_MODE, InputKey::Mode},
    {SDLK_HELP, InputKey::Help},
    {SDLK_PRINTSCREEN, InputKey::Print},
    {SDLK_SYSREQ, InputKey::SysReq},
    // The context-menu key of PC keyboards was the Menu key.
    {SDLK_APPLICATION, InputKey::Menu},
    {SDLK_MENU, InputKey::Menu},
    {SDLK_POWER, InputKey::Power},
    {SDLK_CURRENCYUNIT, InputKey::Euro},
    {0x20AC, InputKey::Euro},  // a layout's euro sign
    {SDLK_UNDO, InputKey::Undo},
};

// The key of a US layout at a scan code, for letters and digits typed on a
// layout whose characters lie outside Latin-1.
int32_t keyFromScancode(SDL_Scancode scancode) {
    if (scancode >= SDL_SCANCODE_A && scancode <= SDL_SCANCODE_Z) {
        return InputKey::A + (scancode - SDL_SCANCODE_A);
    }
    if (scancode >= SDL_SCANCODE_1 && scancode <= SDL_SCANCODE_9) {
        return InputKey::Num0 + 1 + (scancode - SDL_SCANCODE_1);
    }
    if (scancode == SDL_SCANCODE_0) {
        return InputKey::Num0;
    }
    return InputKey::Unknown;
}

// The first character of UTF-8 text as a 16-bit code; 0 for text that is
// empty, malformed or beyond the 16-bit range.
uint16_t firstCharacter(const char* text) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    uint32_t code = 0;
    int length = 0;
    if (bytes[0] < 0x80) {
        return bytes[0];
    } else if ((bytes[0] & 0xE0) == 0xC0) {
        code = bytes[0] & 0x1F;
        length = 1;
    } else if ((bytes[0] & 0xF0) == 0xE0) {
        code = bytes[0] & 0x0F;
        length = 2;
    } else {
        return 0;
    }
    for (int i = 1; i <= length; ++i) {
        if ((bytes[i] & 0xC0) != 0x80) {
            return 0;
        }
        code = (code << 6) | (bytes[i] & 0x3F);
    }
    return static_cast<uint16_t>(code);
}

// The character of a key that types no text (SDL2 sends no text for control
// characters): Return, Tab, Backspace, Escape, Delete and Ctrl with a letter.
uint16_t controlCharacter(int32_t key, uint32_t modifiers) {
    switch (key) {
        case InputKey::Backspace:
        case InputKey::Tab:
        case InputKey::Return:
        case InputKey::Escape:
        case InputKey::Delete:
            return static_cast<uint16_t>(key);
        case InputKey::KpEnter:
            return InputKey::Return;
        default:
            break;
    }
    if ((modifiers & InputModifier::Ctrl) != 0 && key >= InputKey::A && key <= InputKey::Z) {
        return static_cast<uint16_t>(key - InputKey::A + 1);
    }
    return 0;
}

int mouseButtonOf(uint8_t sdlButton) {
    // SDL2 numbers the side buttons 4 and 5, which were 6 and 7 when the
    // wheel had 4 and 5.
    return sdlButton <= SDL_BUTTON_RIGHT ? sdlButton : sdlButton + 2;
}

constexpr int kMouseWheelUp = 4;
constexpr int kMouseWheelDown = 5;

}  // namespace

std::unique_ptr<IInputDevice> createInputDevice(int devices) {
    return std::make_unique<SDLInputDevice>(devices);
}

int32_t SDLInputDevice::translateKey(const SDL_Keysym& keysym) {
    SDL_Keycode code = keysym.sym;
    if (code == SDLK_PAUSE && (keysym.mod & KMOD_CTRL) != 0) {
        return InputKey::Break;
    }
    if (code >= 'A' && code <= 'Z') {
        return code - 'A' + InputKey::A;
    }
    if (code > 0 && code < 128) {
        return code;
    }
    if (code >= InputKey::World0 && code <= InputKey::World95) {
        return code;
    }
    for (const KeyTranslation& entry : kKeyTable) {
        if (entry.sdlKey == code) {
            return entry.key;
        }
    }
    if (code > 0 && (code & SDLK_SCANCODE_MASK) == 0) {
        return keyFromScancode(keysym.scancode);
    }
    return InputKey::Unknown;
}

float SDLInputDevice::applyDeadZone(float value) {
    return value > -DeadZone && value < DeadZone ? 0.0f : value;
}

SDLInputDevice::SDLInputDevice(int devices) : m_devices(devices) {
    Log::get() << "Input\n";
    // SDL would turn SIGINT and SIGTERM into a quit request, which the game
    // ignores (only scripts and the console end it), so a game started in a
    // terminal could not be stopped; without SDL's handlers the signals end
    // the process as they end any program.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_JOYSTICK) == 0) {
        m_initialisedJoystick = true;
    } else {
        Log::get() << "Warning: SDL joystick initialization failed: " << SDL_GetError() << "\n";
        // Key and mouse events still need the event queue.
        m_initialisedEvents = SDL_InitSubSystem(SDL_INIT_EVENTS) == 0;
    }
    if ((devices & InputDevices::Keyboard) != 0) {
        Log::get() << "  Keyboard\n";
        const int32_t buttons[NumButtons] = {InputKey::A + ('y' - 'a'),
                                             InputKey::Return,
                                             InputKey::Backspace,
                                             InputKey::LAlt,
                                             0,
                                             0,
                                             InputKey::PageUp,
                                             InputKey::PageDown,
                                             InputKey::Escape,
                                             InputKey::Space,
                                             InputKey::Home,
                                             InputKey::End,
                                             InputKey::Plus,
                                             InputKey::Minus,
                                             InputKey::Insert,
                                             InputKey::Delete};
        std::copy(std::begin(buttons), std::end(buttons), m_buttonKeys);
        const int32_t positive[NumAxes] = {'d', 's', InputKey::Right, InputKey::Down};
        const int32_t negative[NumAxes] = {'a', 'w', InputKey::Left, InputKey::Up};
        std::copy(std::begin(positive), std::end(positive), m_axisPositiveKeys);
        std::copy(std::begin(negative), std::end(negative), m_axisNegativeKeys);
    }
    if ((devices & InputDevices::Mouse) != 0) {
        Log::get() << "  Mouse\n";
    }
    if ((devices & InputDevices::Joystick) != 0 && m_initialisedJoystick &&
        SDL_NumJoysticks() > 0) {
        m_joystick = SDL_JoystickOpen(0);
        if (m_joystick != nullptr) {
            const char* name = SDL_JoystickName(m_joystick);
            m_joystickId = SDL_JoystickInstanceID(m_joystick);
            Log::get() << "  Joystick/Joypad " << 0 << "\n";
            Log::get() << "    Name: " << (name != nullptr ? name : "") << "\n";
            Log::get() << "    Number of Axes: " << SDL_JoystickNumAxes(m_joystick) << "\n";
            Log::get() << "    Number of Buttons: " << SDL_JoystickNumButtons(m_joystick) << "\n";
            Log::get() << "    Number of Hats: " << SDL_JoystickNumHats(m_joystick) << "\n";
            SDL_JoystickEventState(SDL_ENABLE);
        } else {
            Log::get() << "    Couldn't open Joystick " << 0 << "\n";
        }
    }
    m_events.reserve(64);
    resetKeyState();
}

SDLInputDevice::~SDLInputDevice() {
    if (m_joystick != nullptr) {
        SDL_JoystickClose(m_joystick);
    }
    if (m_initialisedJoystick) {
        SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
    }
    if (m_initialisedEvents) {
        SDL_QuitSubSystem(SDL_INIT_EVENTS);
    }
}

int SDLInputDevice::getNumJoysticks() const {
    return m_initialisedJoystick ? std::max(SDL_NumJoysticks(), 0) : 0;
}

float SDLInputDevice::getAxis(int index) const {
    if (index < 0 || index >= NumAxes) {
        return 0.0f;
    }
    if (m_keyboardAxes[index] != 0) {
        return static_cast<float>(m_keyboardAxes[index]);
    }
    return m_joystickAxes[index];
}

float SDLInputDevice::getButton(int index) const {
    if (index < 0 || index >= NumButtons) {
        return 0.0f;
    }
    return m_buttonCounters[index] > 0 ? 1.0f : m_joystickButtons[index];
}

void SDLInputDevice::getKeyboardAxisMapping(int index, int32_t& positiveKey,
                                            int32_t& negativeKey) const {
    if (index < 0 || index >= NumAxes) {
        positiveKey = 0;
        negativeKey = 0;
        return;
    }
    positiveKey = m_axisPositiveKeys[index];
    negativeKey = m_axisNegativeKeys[index];
}

int32_t SDLInputDevice::getKeyboardButtonMapping(int index) const {
    return index >= 0 && index < NumButtons ? m_buttonKeys[index] : 0;
}

void SDLInputDevice::setKeyboardAxisMapping(int index, int32_t positiveKey, int32_t negativeKey) {
    if (index >= 0 && index < NumAxes) {
        m_axisPositiveKeys[index] = positiveKey;
        m_axisNegativeKeys[index] = negativeKey;
    }
}

void SDLInputDevice::setKeyboardButtonMapping(int index, int32_t key) {
    if (index >= 0 && index < NumButtons) {
        m_buttonKeys[index] = key;
    }
}

void SDLInputDevice::addInputEventListener(IInputEventListener* listener) {
    m_listeners.push_back(listener);
}

void SDLInputDevice::removeInputEventListener(IInputEventListener* listener) {
    m_listeners.erase(std::remove(m_listeners.begin(), m_listeners.end(), listener),
                      m_listeners.end());
}

SDL_Window* SDLInputDevice::findWindow() const {
    if (SDL_Window* window = SDL_GL_GetCurrentWindow()) {
        return window;
    }
    if (SDL_Window* window = SDL_GetWindowFromID(m_windowId)) {
        return window;
    }
    return SDL_GetKeyboardFocus();
}

void SDLInputDevice::warpMouse(float x, float y) {
    if (!m_inputFocus) {
        return;
    }
    SDL_Window* window = findWindow();
    if (window == nullptr) {
        return;
    }
    int width = m_windowWidth;
    int height = m_windowHeight;
    if (width <= 0 || height <= 0) {
        SDL_GetWindowSize(window, &width, &height);
    }
    // A fraction outside 0 to 1 (or not a number) lands on the window's edge
    // rather than overflowing the pixel position.
    auto pixel = [](float fraction, int size) {
        float position = fraction * static_cast<float>(size);
        if (!(position > 0.0f)) {
            return 0;
        }
        return std::min(static_cast<int>(std::min(position, static_cast<float>(size))), size - 1);
    };
    SDL_WarpMouseInWindow(window, pixel(x, width), pixel(y, height));
}

void SDLInputDevice::applyCursor() const {
    SDL_ShowCursor(m_showCursorWish ? SDL_ENABLE : SDL_DISABLE);
}

void SDLInputDevice::setShowMouseCursor(bool show) {
    m_showCursorWish = show;
    if (m_inputFocus) {
        applyCursor();
    }
}

void SDLInputDevice::setKeyRepeat(bool enable) {
    m_keyRepeat = enable;
    m_repeatKey = 0;
}

void SDLInputDevice::setUnicodeTranslation(bool enable) {
    m_unicode = enable;
    if (enable) {
        SDL_StartTextInput();
    } else {
        SDL_StopTextInput();
    }
}

void SDLInputDevice::setWindowSize(int width, int height) {
    m_windowWidth = width;
    m_windowHeight = height;
}

void SDLInputDevice::resetKeyState() {
    std::fill(std::begin(m_keyboardAxes), std::end(m_keyboardAxes), 0);
    std::fill(std::begin(m_joystickAxes), std::end(m_joystickAxes), 0.0f);
    std::fill(std::begin(m_buttonCounters), std::end(m_buttonCounters), 0);
    std::fill(std::begin(m_joystickButtons), std::end(m_joystickButtons), 0.0f);
}

void SDLInputDevice::processEventsAt(uint32_t nowMs) {
    // The queue is emptied first, so that events the listeners cause (a warp
    // moves the mouse) wait for the next frame instead of extending this one.
    m_events.clear();
    SDL_PumpEvents();
    SDL_Event event;
    while (SDL_PeepEvents(&event, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) == 1) {
        m_events.push_back(event);
    }
    for (size_t i = 0; i < m_events.size(); ++i) {
        const SDL_Event* next = i + 1 < m_events.size() ? &m_events[i + 1] : nullptr;
        bool consumedNext = false;
        handleEvent(m_events[i], next, nowMs, consumedNext);
        if (consumedNext) {
            ++i;
        }
    }
    if (m_keyRepeat && m_repeatKey != 0 && static_cast<int32_t>(nowMs - m_repeatDueMs) >= 0) {
        m_repeatDueMs = nowMs + KeyRepeatIntervalMs;
        updateMapping(m_repeatKey, true);
        deliverKey(m_repeatUnicode, m_repeatKey, m_repeatModifiers, true);
    }
    for (float& value : m_joystickAxes) {
        value = applyDeadZone(value);
    }
}

void SDLInputDevice::handleEvent(const SDL_Event& event, const SDL_Event* next, uint32_t nowMs,
                                 bool& consumedNext) {
    const bool mouse = (m_devices & InputDevices::Mouse) != 0 && m_inputFocus;
    const bool joystick = (m_devices & InputDevices::Joystick) != 0 && m_joystick != nullptr;
    switch (event.type) {
        case SDL_WINDOWEVENT:
            handleWindowEvent(event.window);
            break;
        case SDL_KEYDOWN:
        case SDL_KEYUP:
            handleKey(event.key, next, nowMs, consumedNext);
            break;
        case SDL_MOUSEMOTION:
            if (mouse) {
                deliverMouse(event.motion.windowID, event.motion.x, event.motion.y, false, false,
                             0);
            }
            break;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
            if (mouse) {
                int button = mouseButtonOf(event.button.button);
                bool inRange = button >= 1 && button <= 5;
                bool isDown = event.type == SDL_MOUSEBUTTONDOWN;
                deliverMouse(event.button.windowID, event.button.x, event.button.y,
                             inRange && isDown, inRange && !isDown, inRange ? button : 0);
            }
            break;
        case SDL_MOUSEWHEEL:
            // The wheel was a pair of buttons: a press and a release per step.
            if (mouse && event.wheel.y != 0) {
                int y = event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -event.wheel.y
                                                                        : event.wheel.y;
                int button = y > 0 ? kMouseWheelUp : kMouseWheelDown;
                deliverMouse(event.wheel.windowID, event.wheel.mouseX, event.wheel.mouseY, true,
                             false, button);
                deliverMouse(event.wheel.windowID, event.wheel.mouseX, event.wheel.mouseY, false,
                             true, button);
            }
            break;
        case SDL_JOYAXISMOTION:
            if (joystick && event.jaxis.which == m_joystickId && event.jaxis.axis < NumAxes) {
                // -32768 would read slightly below -1.
                m_joystickAxes[event.jaxis.axis] =
                    std::max(static_cast<float>(event.jaxis.value) / 32767.0f, -1.0f);
            }
            break;
        case SDL_JOYBUTTONDOWN:
        case SDL_JOYBUTTONUP:
            if (joystick && event.jbutton.which == m_joystickId &&
                event.jbutton.button < NumButtons) {
                m_joystickButtons[event.jbutton.button] =
                    event.type == SDL_JOYBUTTONDOWN ? 1.0f : 0.0f;
            }
            break;
        case SDL_JOYDEVICEREMOVED:
            // A joystick pulled out while deflected leaves nothing held.
            if (joystick && event.jdevice.which == m_joystickId) {
                std::fill(std::begin(m_joystickAxes), std::end(m_joystickAxes), 0.0f);
                std::fill(std::begin(m_joystickButtons), std::end(m_joystickButtons), 0.0f);
            }
            break;
        default:
            // The window's close button among them: the game ends only when
            // a script or the console asks.
            break;
    }
}

void SDLInputDevice::handleWindowEvent(const SDL_WindowEvent& event) {
    m_windowId = event.windowID;
    switch (event.event) {
        case SDL_WINDOWEVENT_FOCUS_GAINED:
            setFocus(true);
            break;
        case SDL_WINDOWEVENT_FOCUS_LOST:
            setFocus(false);
            break;
        case SDL_WINDOWEVENT_SIZE_CHANGED:
            setWindowSize(event.data1, event.data2);
            break;
        default:
            break;
    }
}

void SDLInputDevice::setFocus(bool focus) {
    if (focus == m_inputFocus) {
        return;
    }
    m_inputFocus = focus;
    if (focus) {
        applyCursor();
    } else {
        SDL_ShowCursor(SDL_ENABLE);
        // No key-up may arrive for a key held while the window loses focus.
        m_repeatKey = 0;
    }
}

void SDLInputDevice::handleKey(const SDL_KeyboardEvent& event, const SDL_Event* next,
                               uint32_t nowMs, bool& consumedNext) {
    const bool isDown = event.type == SDL_KEYDOWN;
    // The character a key types follows its key-down as a text event.
    const bool textFollows = isDown && next != nullptr && next->type == SDL_TEXTINPUT;
    consumedNext = textFollows;
    // The system's own repeats are dropped: the device repeats keys itself
    // with its own delay and interval, and only while repeat is on.
    if ((m_devices & InputDevices::Keyboard) == 0 || event.repeat != 0) {
        return;
    }
    const int32_t key = translateKey(event.keysym);
    const uint32_t modifiers = event.keysym.mod & InputModifier::All;
    uint16_t unicode = 0;
    if (isDown && m_unicode) {
        unicode = textFollows ? firstCharacter(next->text.text) : controlCharacter(key, modifiers);
    }
    // Modifier and lock keys do not repeat, and pressing one keeps the
    // repeat of the key held before.
    const bool repeatable =
        key != InputKey::Unknown && (key < InputKey::NumLock || key > InputKey::Mode);
    if (isDown && repeatable) {
        m_repeatKey = key;
        m_repeatUnicode = unicode;
        m_repeatModifiers = modifiers;
        m_repeatDueMs = nowMs + KeyRepeatDelayMs;
    } else if (!isDown && key == m_repeatKey) {
        m_repeatKey = 0;
    }
    updateMapping(key, isDown);
    deliverKey(unicode, key, modifiers, isDown);
}

void SDLInputDevice::updateMapping(int32_t key, bool isDown) {
    if (key == InputKey::Unknown) {
        return;
    }
    for (int i = 0; i < NumButtons; ++i) {
        if (m_buttonKeys[i] != key) {
            continue;
        }
        if (isDown) {
            m_buttonCounters[i] = 1;
        } else if (m_buttonCounters[i] > 0) {
            --m_buttonCounters[i];
        }
    }
    for (int i = 0; i < NumAxes; ++i) {
        if (key == m_axisPositiveKeys[i]) {
            if (isDown) {
                m_keyboardAxes[i] = 1;
            } else if (m_keyboardAxes[i] == 1) {
                m_keyboardAxes[i] = 0;
            }
        } else if (key == m_axisNegativeKeys[i]) {
            if (isDown) {
                m_keyboardAxes[i] = -1;
            } else if (m_keyboardAxes[i] == -1) {
                m_keyboardAxes[i] = 0;
            }
        }
    }
}

void SDLInputDevice::deliverKey(uint16_t unicode, int32_t key, uint32_t modifiers, bool isDown) {
    // By index: a listener may remove itself while it is called.
    for (size_t i = 0; i < m_listeners.size(); ++i) {
        m_listeners[i]->keyEvent(unicode, key, modifiers, isDown);
    }
}

void SDLInputDevice::deliverMouse(uint32_t windowId, int x, int y, bool isDown, bool isUp,
                                  int button) {
    int width = m_windowWidth;
    int height = m_windowHeight;
    if (width <= 0 || height <= 0) {
        if (SDL_Window* window = SDL_GetWindowFromID(windowId)) {
            SDL_GetWindowSize(window, &width, &height);
        }
    }
    float fx = width > 0 ? static_cast<float>(x) / static_cast<float>(width) : 0.0f;
    float fy = height > 0 ? 1.0f - static_cast<float>(y) / static_cast<float>(height) : 0.0f;
    for (size_t i = 0; i < m_listeners.size(); ++i) {
        m_listeners[i]->mouseEvent(fx, fy, isDown, isUp, button);
    }
}
