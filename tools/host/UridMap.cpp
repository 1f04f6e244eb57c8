// The host's URI <-> URID table.
#include "host/UridMap.h"

#include <memory>

namespace vh
{

UridMap::UridMap()
{
    mapData.handle = this;
    mapData.map = [] (LV2_URID_Map_Handle handle, const char* uri) -> LV2_URID
    {
        return uri == nullptr ? 0 : static_cast<UridMap*> (handle)->map (uri);
    };
    unmapData.handle = this;
    unmapData.unmap = [] (LV2_URID_Unmap_Handle handle, LV2_URID urid) -> const char*
    {
        auto* self = static_cast<UridMap*> (handle);
        const std::lock_guard guard (self->lock);
        return urid == 0 || urid > self->uris.size() ? nullptr : self->uris[urid - 1]->c_str();
    };
}

LV2_URID UridMap::map (const std::string& uri)
{
    const std::lock_guard guard (lock);
    if (const auto it = ids.find (uri); it != ids.end())
        return it->second;
    uris.push_back (std::make_unique<std::string> (uri));
    const auto id = static_cast<LV2_URID> (uris.size());
    ids.emplace (uri, id);
    return id;
}

std::string UridMap::unmap (LV2_URID urid) const
{
    const std::lock_guard guard (lock);
    return urid == 0 || urid > uris.size() ? std::string() : *uris[urid - 1];
}

} // namespace vh
