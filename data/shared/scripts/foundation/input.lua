-- Foundation script: names for the key codes and modifier bits that
-- "keyEvent" receives, and for the logical input buttons and axes.

Input = {}

Input.KEY_BACKSPACE = 8
Input.KEY_TAB = 9
Input.KEY_CLEAR = 12
Input.KEY_RETURN = 13
Input.KEY_PAUSE = 19
Input.KEY_ESCAPE = 27
Input.KEY_SPACE = 32
Input.KEY_BACKQUOTE = 96
Input.KEY_DELETE = 127
Input.KEY_UP = 273
Input.KEY_DOWN = 274
Input.KEY_RIGHT = 275
Input.KEY_LEFT = 276
Input.KEY_INSERT = 277
Input.KEY_HOME = 278
Input.KEY_END = 279
Input.KEY_PAGEUP = 280
Input.KEY_PAGEDOWN = 281
Input.KEY_NUMLOCK = 300
Input.KEY_CAPSLOCK = 301
Input.KEY_SCROLLLOCK = 302
Input.KEY_RSHIFT = 303
Input.KEY_LSHIFT = 304
Input.KEY_RCTRL = 305
Input.KEY_LCTRL = 306
Input.KEY_RALT = 307
Input.KEY_LALT = 308
Input.KEY_RMETA = 309
Input.KEY_LMETA = 310
Input.KEY_LSUPER = 311
Input.KEY_RSUPER = 312
Input.KEY_MODE = 313
Input.KEY_COMPOSE = 314
Input.KEY_HELP = 315
Input.KEY_PRINT = 316
Input.KEY_SYSREQ = 317
Input.KEY_BREAK = 318
Input.KEY_MENU = 319
Input.KEY_POWER = 320
Input.KEY_EURO = 321
Input.KEY_UNDO = 322

-- The keypad: Input.KEY_KP0 .. Input.KEY_KP9 and its operator keys.
for n = 0, 9 do
    Input["KEY_KP" .. n] = 256 + n
end
Input.KEY_KP_PERIOD = 266
Input.KEY_KP_DIVIDE = 267
Input.KEY_KP_MULTIPLY = 268
Input.KEY_KP_MINUS = 269
Input.KEY_KP_PLUS = 270
Input.KEY_KP_ENTER = 271
Input.KEY_KP_EQUALS = 272

-- Letters and digits use their ASCII codes: Input.KEY_a .. Input.KEY_z,
-- Input.KEY_0 .. Input.KEY_9.
for code = string.byte("a"), string.byte("z") do
    Input["KEY_" .. string.char(code)] = code
end
for code = string.byte("0"), string.byte("9") do
    Input["KEY_" .. string.char(code)] = code
end
-- F1 .. F15.
for n = 1, 15 do
    Input["KEY_F" .. n] = 281 + n
end

Input.MOD_LSHIFT = 0x0001
Input.MOD_RSHIFT = 0x0002
Input.MOD_LCTRL = 0x0040
Input.MOD_RCTRL = 0x0080
Input.MOD_LALT = 0x0100
Input.MOD_RALT = 0x0200
Input.MOD_LMETA = 0x0400
Input.MOD_RMETA = 0x0800
Input.MOD_NUM = 0x1000
Input.MOD_CAPS = 0x2000
Input.MOD_MODE = 0x4000
Input.MOD_SHIFT = Input.MOD_LSHIFT + Input.MOD_RSHIFT
Input.MOD_CTRL = Input.MOD_LCTRL + Input.MOD_RCTRL
Input.MOD_ALT = Input.MOD_LALT + Input.MOD_RALT
Input.MOD_META = Input.MOD_LMETA + Input.MOD_RMETA

Input.MOUSE_BUTTON_LEFT = 1
Input.MOUSE_BUTTON_MIDDLE = 2
Input.MOUSE_BUTTON_RIGHT = 3
Input.MOUSE_BUTTON_WHEEL_UP = 4
Input.MOUSE_BUTTON_WHEEL_DOWN = 5

Input.AXIS_X = 0
Input.AXIS_Y = 1
Input.AXIS_Z = 2
Input.AXIS_W = 3

-- True when any of the modifier bits in `mask` is set in `modifiers`.
function Input.isModifierDown(modifiers, mask)
    return bitAND(modifiers, mask) ~= 0
end
