// Reads the order of a plug-in's patch:writable list straight from its Turtle files.
#include "host/World.h"

#include <lv2/patch/patch.h>
#include <serd/serd.h>

#include <algorithm>

namespace vh
{
namespace
{

struct Reading
{
    SerdEnv* env = nullptr;
    std::string subject;
    std::vector<std::string> found;
};

std::string expand (const SerdEnv* env, const SerdNode* node)
{
    if (node == nullptr || (node->type != SERD_URI && node->type != SERD_CURIE))
        return {};
    SerdNode full = serd_env_expand_node (env, node);
    std::string result = full.buf == nullptr ? std::string() : std::string ((const char*) full.buf, full.n_bytes);
    serd_node_free (&full);
    return result;
}

SerdStatus onBase (void* handle, const SerdNode* uri)
{
    return serd_env_set_base_uri (static_cast<Reading*> (handle)->env, uri);
}

SerdStatus onPrefix (void* handle, const SerdNode* name, const SerdNode* uri)
{
    return serd_env_set_prefix (static_cast<Reading*> (handle)->env, name, uri);
}

SerdStatus onStatement (void* handle, SerdStatementFlags, const SerdNode*, const SerdNode* subject,
                        const SerdNode* predicate, const SerdNode* object, const SerdNode*, const SerdNode*)
{
    auto& r = *static_cast<Reading*> (handle);
    if (expand (r.env, predicate) != LV2_PATCH__writable || expand (r.env, subject) != r.subject)
        return SERD_SUCCESS;
    if (auto value = expand (r.env, object); ! value.empty()
        && std::find (r.found.begin(), r.found.end(), value) == r.found.end())
        r.found.push_back (std::move (value));
    return SERD_SUCCESS;
}

SerdStatus quietly (void*, const SerdError*) { return SERD_SUCCESS; }

} // namespace

std::vector<std::string> readWritableOrder (const std::vector<std::string>& turtleFiles, const std::string& subjectUri)
{
    Reading reading;
    reading.subject = subjectUri;
    for (const auto& file : turtleFiles)
    {
        SerdNode base = serd_node_new_file_uri ((const uint8_t*) file.c_str(), nullptr, nullptr, true);
        reading.env = serd_env_new (&base);
        SerdReader* reader = serd_reader_new (SERD_TURTLE, &reading, nullptr, onBase, onPrefix, onStatement, nullptr);
        // The description was already read by lilv, which reports its errors; stay quiet here.
        serd_reader_set_error_sink (reader, quietly, nullptr);
        serd_reader_read_file (reader, base.buf);
        serd_reader_free (reader);
        serd_env_free (reading.env);
        serd_node_free (&base);
    }
    return reading.found;
}

} // namespace vh
