// The SDL input device driven by events pushed into SDL's queue.

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <memory>
#include <vector>

#include "input/IInputEventListener.h"
#include "input/InputKeys.h"
#include "input/SDLInputDevice.h"

namespace {

constexpr int kAllDevices = InputDevices::Keyboard | InputDevices::Mouse | InputDevices::Joystick;

struct KeyCall {
    uint16_t unicode;
    int32_t key;
    uint32_t modifiers;
    bool isDown;
};

struct MouseCall {
    float x;
    float y;
    bool isDown;
    bool isUp;
    int button;
};

class RecordingListener : public IInputEventListener {
public:
    bool keyEvent(uint16_t unicode, int32_t key, uint32_t modifiers, bool isDown) override {
        keys.push_back({unicode, key, modifiers, isDown});
        return true;
    }
    bool mouseEvent(float x, float y, bool isDown, bool isUp, int button) override {
        mice.push_back({x, y, isDown, isUp, button});
        return true;
    }
    std::vector<KeyCall> keys;
    std::vector<MouseCall> mice;
};

void pushKey(SDL_Keycode sym, bool down, uint16_t mod = 0, uint8_t repeat = 0) {
    SDL_Event event{};
    event.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    event.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    event.key.repeat = repeat;
    event.key.keysym.sym = sym;
    event.key.keysym.scancode = SDL_GetScancodeFromKey(sym);
    event.key.keysym.mod = mod;
    ASSERT_EQ(SDL_PushEvent(&event), 1) << SDL_GetError();
}

void pushText(const char* text) {
    SDL_Event event{};
    event.type = SDL_TEXTINPUT;
    SDL_strlcpy(event.text.text, text, sizeof(event.text.text));
    ASSERT_EQ(SDL_PushEvent(&event), 1) << SDL_GetError();
}

void pushMouseButton(uint8_t button, int x, int y, bool down) {
    SDL_Event event{};
    event.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
    event.button.button = button;
    event.button.state = down ? SDL_PRESSED : SDL_RELEASED;
    event.button.x = x;
    event.button.y = y;
    ASSERT_EQ(SDL_PushEvent(&event), 1) << SDL_GetError();
}

class InputDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
        ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO | SDL_INIT_JOYSTICK), 0) << SDL_GetError();
        m_window = SDL_CreateWindow("input", 0, 0, 200, 100, SDL_WINDOW_HIDDEN);
        ASSERT_NE(m_window, nullptr) << SDL_GetError();
        SDL_PumpEvents();
        SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    }
    void TearDown() override {
        device.reset();
        if (m_window != nullptr) {
            SDL_DestroyWindow(m_window);
        }
        SDL_Quit();
    }

    void makeDevice(int devices = kAllDevices) {
        device = std::make_unique<SDLInputDevice>(devices);
        device->addInputEventListener(&listener);
        device->setWindowSize(200, 100);
    }

    void pushWindowEvent(SDL_WindowEventID id) {
        SDL_Event event{};
        event.type = SDL_WINDOWEVENT;
        event.window.event = id;
        event.window.windowID = SDL_GetWindowID(m_window);
        ASSERT_EQ(SDL_PushEvent(&event), 1) << SDL_GetError();
    }

    SDL_Window* m_window = nullptr;
    RecordingListener listener;
    std::unique_ptr<SDLInputDevice> device;
};

TEST_F(InputDeviceTest, AxisFollowsTheKeyPressedLast) {
    makeDevice();
    struct Step {
        SDL_Keycode key;
        bool down;
        float axis;
    };
    const Step steps[] = {
        {SDLK_a, true, -1.0f}, {SDLK_d, true, 1.0f},  {SDLK_a, false, 1.0f},  {SDLK_d, false, 0.0f},
        {SDLK_d, true, 1.0f},  {SDLK_a, true, -1.0f}, {SDLK_d, false, -1.0f}, {SDLK_a, false, 0.0f},
    };
    for (const Step& step : steps) {
        pushKey(step.key, step.down);
        device->processEventsAt(0);
        EXPECT_EQ(device->getAxis(0), step.axis)
            << "after " << (step.down ? "pressing " : "releasing ") << char(step.key);
    }
    EXPECT_EQ(listener.keys.size(), std::size(steps));
}

TEST_F(InputDeviceTest, MappingsAreTheDefaultsAndCanBeChanged) {
    makeDevice();
    const int32_t buttons[] = {'y', 13, 8, 308, 0, 0, 280, 281, 27, 32, 278, 279, 43, 45, 277, 127};
    const int32_t positive[] = {'d', 's', 275, 274};
    const int32_t negative[] = {'a', 'w', 276, 273};
    for (int i = 0; i < IInputDevice::NumButtons; ++i) {
        EXPECT_EQ(device->getKeyboardButtonMapping(i), buttons[i]) << "button " << i;
    }
    for (int i = 0; i < IInputDevice::NumAxes; ++i) {
        int32_t plus = -1;
        int32_t minus = -1;
        device->getKeyboardAxisMapping(i, plus, minus);
        EXPECT_EQ(plus, positive[i]) << "axis " << i;
        EXPECT_EQ(minus, negative[i]) << "axis " << i;
    }

    device->setKeyboardButtonMapping(4, InputKey::F1);
    device->setKeyboardAxisMapping(3, 'k', 'i');
    device->setKeyboardButtonMapping(16, 'q');
    device->setKeyboardAxisMapping(-1, 'q', 'q');
    pushKey(SDLK_F1, true);
    pushKey(SDLK_i, true);
    pushKey(SDLK_q, true);
    device->processEventsAt(0);
    EXPECT_EQ(device->getButton(4), 1.0f);
    EXPECT_EQ(device->getAxis(3), -1.0f);
    EXPECT_EQ(device->getButton(16), 0.0f);
    EXPECT_EQ(device->getAxis(-1), 0.0f);
    EXPECT_EQ(device->getKeyboardButtonMapping(16), 0);

    // The old keys of the slot no longer drive it.
    pushKey(SDLK_i, false);
    pushKey(SDLK_UP, true);
    device->processEventsAt(0);
    EXPECT_EQ(device->getAxis(3), 0.0f);

    device->resetKeyState();
    EXPECT_EQ(device->getButton(4), 0.0f);
}

TEST_F(InputDeviceTest, WithoutKeyboardNothingIsMappedAndNoKeyArrives) {
    makeDevice(InputDevices::Mouse);
    EXPECT_EQ(device->getKeyboardButtonMapping(1), 0);
    pushKey(SDLK_RETURN, true);
    pushMouseButton(SDL_BUTTON_LEFT, 10, 10, true);
    device->processEventsAt(0);
    EXPECT_TRUE(listener.keys.empty());
    EXPECT_EQ(listener.mice.size(), 1u);
    EXPECT_EQ(device->getButton(1), 0.0f);
}

TEST_F(InputDeviceTest, RepeatedKeyDownsNeverRaiseAButtonAboveOne) {
    makeDevice();
    device->setKeyRepeat(true);
    // Two presses without a release in between, then the system's own
    // repeat, which the device drops in favour of its own.
    pushKey(SDLK_SPACE, true);
    pushKey(SDLK_SPACE, true);
    pushKey(SDLK_SPACE, true, 0, 1);
    device->processEventsAt(1000);
    EXPECT_EQ(listener.keys.size(), 2u);
    EXPECT_EQ(device->getButton(9), 1.0f);

    struct Frame {
        uint32_t time;
        size_t keyEvents;
    };
    // The first repeat comes 500 ms after the press, the next ones 30 ms
    // apart, at most one per frame.
    const Frame frames[] = {{1499, 2}, {1500, 3}, {1510, 3}, {1530, 4}, {1700, 5}, {1701, 5}};
    for (const Frame& frame : frames) {
        device->processEventsAt(frame.time);
        EXPECT_EQ(listener.keys.size(), frame.keyEvents) << "at " << frame.time;
    }
    EXPECT_TRUE(listener.keys.back().isDown);
    EXPECT_EQ(listener.keys.back().key, InputKey::Space);

    // One release lets go of the button however often the key came down.
    pushKey(SDLK_SPACE, false);
    device->processEventsAt(1710);
    EXPECT_EQ(device->getButton(9), 0.0f);
    device->processEventsAt(3000);
    EXPECT_EQ(listener.keys.size(), 6u);
}

TEST_F(InputDeviceTest, KeysRepeatOnlyWhileRepeatIsOnAndModifiersNever) {
    makeDevice();
    pushKey(SDLK_x, true);
    device->processEventsAt(0);
    device->processEventsAt(2000);
    EXPECT_EQ(listener.keys.size(), 1u);

    device->setKeyRepeat(true);
    pushKey(SDLK_LSHIFT, true);
    device->processEventsAt(3000);
    device->processEventsAt(4000);
    EXPECT_EQ(listener.keys.size(), 2u);

    // Shift pressed after x keeps x repeating.
    pushKey(SDLK_x, true);
    pushKey(SDLK_RSHIFT, true);
    device->processEventsAt(5000);
    device->processEventsAt(5500);
    ASSERT_EQ(listener.keys.size(), 5u);
    EXPECT_EQ(listener.keys.back().key, 'x');
}

TEST_F(InputDeviceTest, JoystickAxesHaveADeadZoneAndKeysWin) {
    int index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 6, 16, 1);
    ASSERT_GE(index, 0) << SDL_GetError();
    SDL_Joystick* joystick = SDL_JoystickOpen(index);
    ASSERT_NE(joystick, nullptr) << SDL_GetError();
    makeDevice();
    EXPECT_EQ(device->getNumJoysticks(), 1);

    struct Case {
        int axis;
        float deflection;
        float expected;
    };
    const Case cases[] = {
        {0, 0.4f, 0.0f},   {0, 0.6f, 0.6f}, {1, -0.6f, -0.6f},
        {1, -0.45f, 0.0f}, {3, 1.0f, 1.0f}, {3, -1.0f, -1.0f},
    };
    for (const Case& c : cases) {
        SDL_JoystickSetVirtualAxis(joystick, c.axis, static_cast<Sint16>(c.deflection * 32767));
        device->processEventsAt(0);
        EXPECT_NEAR(device->getAxis(c.axis), c.expected, 1e-4f)
            << "axis " << c.axis << " at " << c.deflection;
    }
    // Axes beyond the fourth are not logical axes.
    SDL_JoystickSetVirtualAxis(joystick, 4, 32767);
    device->processEventsAt(0);
    EXPECT_EQ(device->getAxis(4), 0.0f);

    SDL_JoystickSetVirtualAxis(joystick, 0, static_cast<Sint16>(0.6f * 32767));
    pushKey(SDLK_d, true);
    device->processEventsAt(0);
    EXPECT_EQ(device->getAxis(0), 1.0f);
    pushKey(SDLK_d, false);
    device->processEventsAt(0);
    EXPECT_NEAR(device->getAxis(0), 0.6f, 1e-4f);

    SDL_JoystickSetVirtualButton(joystick, 15, SDL_PRESSED);
    device->processEventsAt(0);
    EXPECT_EQ(device->getButton(15), 1.0f);
    SDL_JoystickSetVirtualButton(joystick, 15, SDL_RELEASED);
    device->processEventsAt(0);
    EXPECT_EQ(device->getButton(15), 0.0f);

    device.reset();
    SDL_JoystickClose(joystick);
    SDL_JoystickDetachVirtual(index);
}

TEST_F(InputDeviceTest, DeadZoneEndsAtHalfDeflection) {
    const float values[][2] = {{0.49f, 0.0f}, {0.5f, 0.5f}, {-0.5f, -0.5f}, {-0.49f, 0.0f}};
    for (const auto& value : values) {
        EXPECT_EQ(SDLInputDevice::applyDeadZone(value[0]), value[1]) << value[0];
    }
}

TEST_F(InputDeviceTest, NoJoystickReadsZero) {
    makeDevice();
    EXPECT_EQ(device->getNumJoysticks(), 0);
    device->processEventsAt(0);
    EXPECT_EQ(device->getAxis(0), 0.0f);
    EXPECT_EQ(device->getButton(0), 0.0f);
}

TEST_F(InputDeviceTest, MouseEventsGiveWindowFractionsFromTheBottomLeft) {
    makeDevice();
    pushMouseButton(SDL_BUTTON_LEFT, 50, 25, true);
    pushMouseButton(SDL_BUTTON_RIGHT, 200, 100, false);
    pushMouseButton(SDL_BUTTON_X1, 0, 0, true);
    SDL_Event wheel{};
    wheel.type = SDL_MOUSEWHEEL;
    wheel.wheel.y = -1;
    wheel.wheel.mouseX = 100;
    wheel.wheel.mouseY = 50;
    ASSERT_EQ(SDL_PushEvent(&wheel), 1);
    SDL_Event motion{};
    motion.type = SDL_MOUSEMOTION;
    motion.motion.x = 0;
    motion.motion.y = 100;
    ASSERT_EQ(SDL_PushEvent(&motion), 1);
    device->processEventsAt(0);

    const MouseCall expected[] = {
        {0.25f, 0.75f, true, false, 1}, {1.0f, 0.0f, false, true, 3},
        {0.0f, 1.0f, false, false, 0},  // a side button is no button
        {0.5f, 0.5f, true, false, 5},   {0.5f, 0.5f, false, true, 5},
        {0.0f, 0.0f, false, false, 0},
    };
    ASSERT_EQ(listener.mice.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        const MouseCall& got = listener.mice[i];
        EXPECT_FLOAT_EQ(got.x, expected[i].x) << "event " << i;
        EXPECT_FLOAT_EQ(got.y, expected[i].y) << "event " << i;
        EXPECT_EQ(got.isDown, expected[i].isDown) << "event " << i;
        EXPECT_EQ(got.isUp, expected[i].isUp) << "event " << i;
        EXPECT_EQ(got.button, expected[i].button) << "event " << i;
    }

    // A resized window changes the fractions.
    SDL_Event resized{};
    resized.type = SDL_WINDOWEVENT;
    resized.window.event = SDL_WINDOWEVENT_SIZE_CHANGED;
    resized.window.data1 = 400;
    resized.window.data2 = 400;
    ASSERT_EQ(SDL_PushEvent(&resized), 1);
    pushMouseButton(SDL_BUTTON_MIDDLE, 100, 100, true);
    device->processEventsAt(0);
    EXPECT_FLOAT_EQ(listener.mice.back().x, 0.25f);
    EXPECT_FLOAT_EQ(listener.mice.back().y, 0.75f);
    EXPECT_EQ(listener.mice.back().button, 2);
}

TEST_F(InputDeviceTest, WarpMovesTheMouseToAWindowFraction) {
    makeDevice();
    pushWindowEvent(SDL_WINDOWEVENT_EXPOSED);
    device->processEventsAt(0);
    device->warpMouse(0.5f, 0.25f);
    device->processEventsAt(0);
    ASSERT_EQ(listener.mice.size(), 1u);
    EXPECT_FLOAT_EQ(listener.mice[0].x, 0.5f);
    EXPECT_FLOAT_EQ(listener.mice[0].y, 0.75f);

    // Fractions beyond the window stay on its edge.
    device->warpMouse(1e30f, -3.0f);
    device->processEventsAt(0);
    ASSERT_EQ(listener.mice.size(), 2u);
    EXPECT_FLOAT_EQ(listener.mice[1].x, 199.0f / 200.0f);
    EXPECT_FLOAT_EQ(listener.mice[1].y, 1.0f);
}

TEST_F(InputDeviceTest, WithoutFocusMouseEventsStopButKeysArrive) {
    makeDevice();
    device->setShowMouseCursor(false);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);

    pushWindowEvent(SDL_WINDOWEVENT_FOCUS_LOST);
    pushMouseButton(SDL_BUTTON_LEFT, 10, 10, true);
    pushKey(SDLK_w, true);
    device->processEventsAt(0);
    EXPECT_FALSE(device->hasInputFocus());
    EXPECT_TRUE(listener.mice.empty());
    ASSERT_EQ(listener.keys.size(), 1u);
    EXPECT_EQ(device->getAxis(1), -1.0f);
    // The cursor shows while another window has the focus, and warping
    // leaves the mouse alone.
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);
    device->warpMouse(0.5f, 0.5f);
    device->setShowMouseCursor(false);
    device->processEventsAt(0);
    EXPECT_TRUE(listener.mice.empty());
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);

    pushWindowEvent(SDL_WINDOWEVENT_FOCUS_GAINED);
    pushMouseButton(SDL_BUTTON_LEFT, 10, 10, true);
    device->processEventsAt(0);
    EXPECT_TRUE(device->hasInputFocus());
    EXPECT_EQ(listener.mice.size(), 1u);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
}

TEST_F(InputDeviceTest, KeyEventsCarryTheTypedCharacter) {
    makeDevice();
    device->setUnicodeTranslation(true);
    struct Case {
        SDL_Keycode sym;
        uint16_t mod;
        const char* text;  // the text event that follows, if any
        uint16_t unicode;
        int32_t key;
    };
    const Case cases[] = {
        {SDLK_a, 0, "a", 'a', 'a'},
        {SDLK_a, KMOD_LSHIFT, "A", 'A', 'a'},
        {0xE9, 0, "\xC3\xA9", 0xE9, 0xE9},                 // é on a French layout
        {SDLK_q, KMOD_RALT, "\xE2\x82\xAC", 0x20AC, 'q'},  // € typed with AltGr
        {SDLK_RETURN, 0, nullptr, 13, InputKey::Return},
        {SDLK_BACKSPACE, 0, nullptr, 8, InputKey::Backspace},
        {SDLK_c, KMOD_LCTRL, nullptr, 3, 'c'},
        {SDLK_F1, 0, nullptr, 0, InputKey::F1},
        {SDLK_KP_7, KMOD_NUM, "7", '7', InputKey::keypad(7)},
    };
    for (const Case& c : cases) {
        pushKey(c.sym, true, c.mod);
        if (c.text != nullptr) {
            pushText(c.text);
        }
        pushKey(c.sym, false, c.mod);
    }
    device->processEventsAt(0);
    ASSERT_EQ(listener.keys.size(), 2 * std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i) {
        const KeyCall& down = listener.keys[2 * i];
        const KeyCall& up = listener.keys[2 * i + 1];
        EXPECT_EQ(down.unicode, cases[i].unicode) << "case " << i;
        EXPECT_EQ(down.key, cases[i].key) << "case " << i;
        EXPECT_EQ(down.modifiers, cases[i].mod) << "case " << i;
        EXPECT_TRUE(down.isDown);
        EXPECT_EQ(up.unicode, 0) << "case " << i;
        EXPECT_FALSE(up.isDown);
    }
}

TEST_F(InputDeviceTest, KeysTranslateToTheClassicSymbols) {
    struct Case {
        SDL_Keycode sym;
        uint16_t mod;
        int32_t key;
    };
    const Case cases[] = {
        {SDLK_ESCAPE, 0, 27},
        {SDLK_BACKQUOTE, 0, 96},
        {SDLK_z, 0, 122},
        {SDLK_9, 0, 57},
        {SDLK_DELETE, 0, 127},
        {SDLK_F1, 0, 282},
        {SDLK_F12, 0, 293},
        {SDLK_F15, 0, 296},
        {SDLK_F16, 0, 0},
        {SDLK_KP_0, 0, 256},
        {SDLK_KP_9, 0, 265},
        {SDLK_KP_PERIOD, 0, 266},
        {SDLK_KP_DIVIDE, 0, 267},
        {SDLK_KP_ENTER, 0, 271},
        {SDLK_KP_EQUALS, 0, 272},
        {SDLK_UP, 0, 273},
        {SDLK_LEFT, 0, 276},
        {SDLK_PAGEDOWN, 0, 281},
        {SDLK_NUMLOCKCLEAR, 0, 300},
        {SDLK_CAPSLOCK, 0, 301},
        {SDLK_SCROLLLOCK, 0, 302},
        {SDLK_RSHIFT, 0, 303},
        {SDLK_LSHIFT, 0, 304},
        {SDLK_RCTRL, 0, 305},
        {SDLK_LCTRL, 0, 306},
        {SDLK_RALT, 0, 307},
        {SDLK_LALT, 0, 308},
        {SDLK_LGUI, 0, 311},
        {SDLK_RGUI, 0, 312},
        {SDLK_MODE, 0, 313},
        {SDLK_PRINTSCREEN, 0, 316},
        {SDLK_PAUSE, 0, 19},
        {SDLK_PAUSE, KMOD_RCTRL, 318},
        {SDLK_APPLICATION, 0, 319},
        {SDLK_CURRENCYUNIT, 0, 321},
        {0xFC, 0, 252},  // ü
        {SDLK_AC_BACK, 0, 0},
        {SDLK_AUDIOPLAY, 0, 0},
    };
    for (const Case& c : cases) {
        SDL_Keysym keysym{};
        keysym.sym = c.sym;
        keysym.scancode = SDL_GetScancodeFromKey(c.sym);
        keysym.mod = c.mod;
        EXPECT_EQ(SDLInputDevice::translateKey(keysym), c.key) << SDL_GetKeyName(c.sym);
    }
    // A letter of a layout beyond Latin-1 (Cyrillic) is the letter of its
    // place on the keyboard, so that the default mapping still works there.
    SDL_Keysym cyrillic{};
    cyrillic.sym = 0x0444;
    cyrillic.scancode = SDL_SCANCODE_A;
    EXPECT_EQ(SDLInputDevice::translateKey(cyrillic), 'a');
}

TEST_F(InputDeviceTest, EveryClassicSymbolHasAKey) {
    std::vector<int32_t> symbols = {8, 9, 12, 13, 19, 27, 127};
    for (int32_t code = 32; code <= 64; ++code) {
        if (code != 37) {  // the old set has no percent key
            symbols.push_back(code);
        }
    }
    for (int32_t code = 91; code <= 122; ++code) {
        symbols.push_back(code);
    }
    for (int32_t code = InputKey::World0; code <= InputKey::F15; ++code) {
        symbols.push_back(code);
    }
    for (int32_t code = InputKey::NumLock; code <= InputKey::Undo; ++code) {
        symbols.push_back(code);
    }
    std::vector<bool> reached(InputKey::Undo + 1, false);
    for (uint16_t mod : {uint16_t{0}, uint16_t{KMOD_LCTRL}}) {
        auto reach = [&](SDL_Keycode sym) {
            SDL_Keysym keysym{};
            keysym.sym = sym;
            keysym.mod = mod;
            int32_t key = SDLInputDevice::translateKey(keysym);
            ASSERT_GE(key, 0);
            ASSERT_LE(key, InputKey::Undo);
            reached[key] = true;
        };
        for (SDL_Keycode sym = 1; sym < 256; ++sym) {
            reach(sym);
        }
        for (int scancode = 0; scancode < SDL_NUM_SCANCODES; ++scancode) {
            reach(SDL_SCANCODE_TO_KEYCODE(scancode));
        }
        reach(0x20AC);
    }
    // SDL2 has no Compose key and no Meta keys (the Windows keys are the
    // Super keys).
    const int32_t absent[] = {InputKey::Compose, InputKey::LMeta, InputKey::RMeta};
    for (int32_t symbol : symbols) {
        bool isAbsent = std::find(std::begin(absent), std::end(absent), symbol) != std::end(absent);
        EXPECT_EQ(reached[symbol], !isAbsent) << "symbol " << symbol;
    }
}

// The game ignores SDL's quit request, so SDL must not turn SIGTERM into one:
// a game started from a terminal or a script must still end on the signal.
TEST(InputDeviceSignals, TerminateSignalStillEndsTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            SDLInputDevice device(kAllDevices);
            SDL_Init(SDL_INIT_VIDEO);
            std::raise(SIGTERM);
            device.processEvents();
            std::exit(0);
        },
        ::testing::KilledBySignal(SIGTERM), "");
}

}  // namespace
