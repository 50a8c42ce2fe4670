#pragma once
// Entities that show a text on a statistics page (character sets on the
// animation page, particle systems on the effects page) implement this.

#include <string>

class StatsTextSource {
public:
    virtual ~StatsTextSource() = default;
    virtual std::string getStatsText() const = 0;
};
