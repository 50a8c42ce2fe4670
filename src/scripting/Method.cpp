#include "scripting/Method.h"

#include <algorithm>

namespace ScriptTypeLetters {

char letter(uint32_t type) {
    switch (type) {
        case ScriptType::None:
            return 'a';
        case ScriptType::Int:
            return 'i';
        case ScriptType::Bool:
            return 'b';
        case ScriptType::Float:
            return 'f';
        case ScriptType::String:
            return 's';
        default:
            return '?';
    }
}

}  // namespace ScriptTypeLetters

Method::Method(const char* scriptName, ScriptArgTypes args, ScriptResultTypes results,
               ScriptNativeFunction native, const char* argDoc, const char* resultDoc,
               const char* summaryDoc)
    : numArgs(args.count),
      numResults(results.count),
      name(scriptName),
      argNames(argDoc),
      resultNames(resultDoc),
      summary(summaryDoc),
      function(native) {
    std::copy(args.codes, args.codes + args.count, argTypes);
    std::copy(results.codes, results.codes + results.count, resultTypes);
}

namespace {

template <size_t N>
void describe(const uint32_t* types, uint32_t count, char (&letters)[N]) {
    uint32_t n = std::min<uint32_t>(count, N - 1);
    for (uint32_t i = 0; i < n; ++i) {
        letters[i] = ScriptTypeLetters::letter(types[i]);
    }
    letters[n] = '\0';
}

}  // namespace

void Method::describeArgs(char (&letters)[ScriptSlots::MaxArgs + 1]) const {
    describe(argTypes, numArgs, letters);
}

void Method::describeResults(char (&letters)[ScriptSlots::MaxResults + 1]) const {
    describe(resultTypes, numResults, letters);
}
