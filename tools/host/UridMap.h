// The host's URI <-> URID table, handed to the plug-in as urid:map and urid:unmap.
#pragma once

#include <lv2/urid/urid.h>

#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace vh
{

/** Interns URIs as small integers; ids start at 1 because 0 means "no URID" in LV2.
    Any thread: the plug-in may map from its own threads (JUCE's message thread). */
class UridMap
{
public:
    UridMap();
    UridMap (const UridMap&) = delete;
    UridMap& operator= (const UridMap&) = delete;

    LV2_URID map (const std::string& uri);
    /** The URI of a URID, or the empty string for an unknown id. */
    std::string unmap (LV2_URID urid) const;

    LV2_URID_Map* mapFeature() { return &mapData; }
    LV2_URID_Unmap* unmapFeature() { return &unmapData; }

private:
    mutable std::mutex lock;
    std::unordered_map<std::string, LV2_URID> ids;
    // Stable storage for the strings unmap hands out: a deque-like vector of owned nodes.
    std::vector<std::unique_ptr<std::string>> uris;
    LV2_URID_Map mapData;
    LV2_URID_Unmap unmapData;
};

} // namespace vh
