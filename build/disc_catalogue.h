#pragma once

#include <cstdint>

// One disc of the set: the radio button that picks it, and what the build needs of it.
struct DiscEntry {
    std::uint16_t controlId;
    const char* caption;
    const char* sortList;   // handed to the image tool with -sort
    char overlayCode[3];    // names the overlay folder files\<code>\ ; two characters and a zero
};

inline constexpr DiscEntry kDiscCatalogue[] = {
    {1001, "Scen 1", "data\\qx7-1.txt", "s1"},
    {1002, "Scen 2", "data\\qx7-2.txt", "s2"},
    {1003, "Scen 3", "data\\qx7-3.txt", "s3"},
    {1004, "Prem D", "data\\qx7-p.txt", "pd"},
};
