-- Foundation script: names for the key codes and modifier bits that
-- "keyEvent" receives, and for the logical input buttons and axes.

Input = {}

Input.KEY_BACKSPACE = 8
Input.KEY_TAB = 9
Input.KEY_RETURN = 13
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
Input.KEY_RSHIFT = 303
Input.KEY_LSHIFT = 304
Input.KEY_RCTRL = 305
Input.KEY_LCTRL = 306
Input.KEY_RALT = 307
Input.KEY_LALT = 308

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
Input.MOD_SHIFT = Input.MOD_LSHIFT + Input.MOD_RSHIFT
Input.MOD_CTRL = Input.MOD_LCTRL + Input.MOD_RCTRL
Input.MOD_ALT = Input.MOD_LALT + Input.MOD_RALT

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
