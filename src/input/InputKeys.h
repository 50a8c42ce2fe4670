#pragma once
// The key symbols scripts, the console, the development keys and the input
// mappings see (the classic SDL 1.2 numbering), and the modifier mask bits
// that come with a key event.

#include <cstdint>

namespace InputKey {
constexpr int32_t Unknown = 0;
constexpr int32_t Backspace = 8;
constexpr int32_t Tab = 9;
constexpr int32_t Clear = 12;
constexpr int32_t Return = 13;
constexpr int32_t Pause = 19;
constexpr int32_t Escape = 27;
constexpr int32_t Space = 32;
constexpr int32_t Exclaim = 33;
constexpr int32_t QuoteDbl = 34;
constexpr int32_t Hash = 35;
constexpr int32_t Dollar = 36;
constexpr int32_t Ampersand = 38;
constexpr int32_t Quote = 39;
constexpr int32_t LeftParen = 40;
constexpr int32_t RightParen = 41;
constexpr int32_t Asterisk = 42;
constexpr int32_t Plus = 43;
constexpr int32_t Comma = 44;
constexpr int32_t Minus = 45;
constexpr int32_t Period = 46;
constexpr int32_t Slash = 47;
constexpr int32_t Num0 = 48;  // '0' .. '9' are 48 .. 57
constexpr int32_t Colon = 58;
constexpr int32_t Semicolon = 59;
constexpr int32_t Less = 60;
constexpr int32_t Equals = 61;
constexpr int32_t Greater = 62;
constexpr int32_t Question = 63;
constexpr int32_t At = 64;
constexpr int32_t LeftBracket = 91;
constexpr int32_t Backslash = 92;
constexpr int32_t RightBracket = 93;
constexpr int32_t Caret = 94;
constexpr int32_t Underscore = 95;
constexpr int32_t BackQuote = 96;
constexpr int32_t A = 97;  // 'a' .. 'z' are 97 .. 122
constexpr int32_t Z = 122;
constexpr int32_t Delete = 127;
// International keys carry their Latin-1 code, 160 .. 255.
constexpr int32_t World0 = 160;
constexpr int32_t World95 = 255;
constexpr int32_t Kp0 = 256;  // keypad digits 0 .. 9 are 256 .. 265
constexpr int32_t KpPeriod = 266;
constexpr int32_t KpDivide = 267;
constexpr int32_t KpMultiply = 268;
constexpr int32_t KpMinus = 269;
constexpr int32_t KpPlus = 270;
constexpr int32_t KpEnter = 271;
constexpr int32_t KpEquals = 272;
constexpr int32_t Up = 273;
constexpr int32_t Down = 274;
constexpr int32_t Right = 275;
constexpr int32_t Left = 276;
constexpr int32_t Insert = 277;
constexpr int32_t Home = 278;
constexpr int32_t End = 279;
constexpr int32_t PageUp = 280;
constexpr int32_t PageDown = 281;
constexpr int32_t F1 = 282;  // F1 .. F15 are 282 .. 296
constexpr int32_t F15 = 296;
constexpr int32_t NumLock = 300;
constexpr int32_t CapsLock = 301;
constexpr int32_t ScrollLock = 302;
constexpr int32_t RShift = 303;
constexpr int32_t LShift = 304;
constexpr int32_t RCtrl = 305;
constexpr int32_t LCtrl = 306;
constexpr int32_t RAlt = 307;
constexpr int32_t LAlt = 308;
constexpr int32_t RMeta = 309;
constexpr int32_t LMeta = 310;
constexpr int32_t LSuper = 311;
constexpr int32_t RSuper = 312;
constexpr int32_t Mode = 313;
constexpr int32_t Compose = 314;
constexpr int32_t Help = 315;
constexpr int32_t Print = 316;
constexpr int32_t SysReq = 317;
constexpr int32_t Break = 318;
constexpr int32_t Menu = 319;
constexpr int32_t Power = 320;
constexpr int32_t Euro = 321;
constexpr int32_t Undo = 322;

constexpr int32_t keypad(int digit) {
    return Kp0 + digit;
}
constexpr int32_t function(int n) {
    return F1 + n - 1;
}
}  // namespace InputKey

namespace InputModifier {
constexpr uint32_t LShift = 0x0001;
constexpr uint32_t RShift = 0x0002;
constexpr uint32_t LCtrl = 0x0040;
constexpr uint32_t RCtrl = 0x0080;
constexpr uint32_t LAlt = 0x0100;
constexpr uint32_t RAlt = 0x0200;
constexpr uint32_t LMeta = 0x0400;
constexpr uint32_t RMeta = 0x0800;
constexpr uint32_t Num = 0x1000;
constexpr uint32_t Caps = 0x2000;
constexpr uint32_t Mode = 0x4000;
constexpr uint32_t Shift = LShift | RShift;
constexpr uint32_t Ctrl = LCtrl | RCtrl;
constexpr uint32_t Alt = LAlt | RAlt;
constexpr uint32_t Meta = LMeta | RMeta;
constexpr uint32_t All = Shift | Ctrl | Alt | Meta | Num | Caps | Mode;
}  // namespace InputModifier
