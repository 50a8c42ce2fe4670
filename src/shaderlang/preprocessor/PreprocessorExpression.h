#pragma once
// Integer arithmetic on preprocessor text, as used by #if, #elif and #eval.

#include <cstdint>
#include <string_view>

// Evaluates `text` as a 32-bit signed expression. Binary operators are
// searched outside parentheses in the order || && | ^ & != == >= > <= < + -
// * / %; the first one found splits the text at each of its occurrences and
// the parts combine from the left. Comparisons fall back to comparing the
// trimmed texts when a side is not a number. Without an operator the text is
// a unary ~ ! - applied to the rest, "length(...)", a parenthesised
// expression or an integer literal (decimal, 0x hexadecimal, 0 octal).
// Division or modulo by zero logs a warning and gives 0. False when the text
// is no valid expression (or nests deeper than the evaluator allows).
bool evaluatePreprocessorExpression(std::string_view text, int32_t& value);
