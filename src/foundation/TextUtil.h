#pragma once
// How configuration and scene text turns into numbers and flags, and the text
// helpers every reader of such text shares.

#include <string>
#include <vector>

// Reads a number: blanks skipped, optional "-", digits, optional "." and
// digits, optional lowercase "e" exponent. Anything else ends the number;
// text that does not start with one reads 0. `end` receives the position
// after the number.
float readFloat(const char* text, const char** end = nullptr);

// "true" in any case is true; anything else, or null, is false.
bool readFlag(const char* text);

// atoi rules; null gives the default.
int readInt(const char* text, int defaultValue);

// Removes leading and trailing spaces, carriage returns and line feeds.
std::string trimText(const std::string& text);

// Splits at every occurrence of the delimiter, empty pieces included.
std::vector<std::string> splitText(const std::string& delimiter, const std::string& text,
                                   bool trim);

// Every space ends a value; after the last space one more value is read.
std::vector<float> readFloatList(const char* text);
// The same into a fixed-size output; returns how many were read.
int readFloatList(const char* text, float* out, int maxCount);

// Up to four space-separated unsigned decimal integers; returns the count.
int readIntList(const char* text, int* out);

// "%f" and "%d" formatting, the forms values are written in.
std::string formatFloatValue(float value);
std::string formatIntValue(int value);

// Appends `text` to `out` with the five characters XML gives meaning to
// written as entities, for attribute values and element text.
void appendXmlEscaped(std::string& out, const std::string& text);
