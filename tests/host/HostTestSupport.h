// Shared helpers of the host tests: where the built bundle is, and how to read JUCE's saved state.
#pragma once

#include "host/Instance.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <regex>
#include <string>

namespace virltest
{

inline const std::string pluginUri = VIRL_LV2URI;
inline const std::string lv2Dir = VIRL_LV2_DIR;
inline const std::string bundleDir = lv2Dir + "/VIRL.lv2";

/** An instance of the built bundle; null (with the reason in `error`) when it cannot start. */
inline std::unique_ptr<vh::Instance> makeInstance (vh::World& world, std::string& error, uint32_t maxBlock = 4096)
{
    if (world.findPlugin (pluginUri) == nullptr && ! world.load (bundleDir, error))
        return nullptr;
    vh::InstanceOptions options;
    options.maxBlockLength = maxBlock;
    return vh::Instance::create (world, pluginUri, options, error);
}

/** Decodes JUCE's MemoryBlock::toBase64Encoding text: "<size>." then 6 bits per character, lowest bit first. */
inline std::optional<std::string> decodeJuceBase64 (const std::string& text)
{
    static const std::string alphabet = ".ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+";
    const auto dot = text.find ('.');
    if (dot == std::string::npos || dot == 0)
        return std::nullopt;
    const auto size = std::stoul (text.substr (0, dot));
    std::string bytes (size, '\0');
    size_t bit = 0;
    for (size_t i = dot + 1; i < text.size(); ++i)
    {
        const auto value = alphabet.find (text[i]);
        if (value == std::string::npos)
            return std::nullopt;
        for (int b = 0; b < 6; ++b, ++bit)
            if (bit / 8 < size && ((value >> b) & 1u) != 0)
                bytes[bit / 8] = (char) (bytes[bit / 8] | (1 << (bit % 8)));
    }
    return bytes;
}

/** JUCE's MemoryBlock::toBase64Encoding, the inverse of decodeJuceBase64. */
inline std::string encodeJuceBase64 (const std::string& bytes)
{
    static const std::string alphabet = ".ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+";
    std::string text = std::to_string (bytes.size()) + ".";
    const size_t bits = bytes.size() * 8;
    for (size_t bit = 0; bit < bits; bit += 6)
    {
        unsigned value = 0;
        for (size_t b = 0; b < 6 && bit + b < bits; ++b)
            value |= (unsigned) (((unsigned char) bytes[(bit + b) / 8] >> ((bit + b) % 8)) & 1u) << b;
        text += alphabet[value];
    }
    return text;
}

/** The XML document inside the plug-in's state as saved through lilv, or nullopt. */
/** Where the quoted state text sits in a saved Turtle state: the positions of its two quotes. */
inline std::optional<std::pair<size_t, size_t>> stateStringQuotes (const std::string& turtle)
{
    const auto key = "<" + pluginUri + ":StateString>";
    const auto at = turtle.find (key);
    const auto open = at == std::string::npos ? at : turtle.find ('"', at + key.size());
    const auto close = open == std::string::npos ? open : turtle.find ('"', open + 1);
    if (close == std::string::npos)
        return std::nullopt;
    return std::pair { open, close };
}

inline std::optional<std::string> stateXml (const std::string& turtle)
{
    const auto quotes = stateStringQuotes (turtle);
    if (! quotes)
        return std::nullopt;
    const auto [open, close] = *quotes;
    const auto block = decodeJuceBase64 (turtle.substr (open + 1, close - open - 1));
    // JUCE's binary XML: magic "VC2!", a 32-bit size, the text, a zero byte.
    if (! block || block->size() < 9 || block->compare (0, 4, "VC2!") != 0)
        return std::nullopt;
    return std::string (block->c_str() + 8);
}

/** The Turtle state with its XML document replaced, wrapped as JUCE's binary XML again. */
inline std::optional<std::string> withStateXml (const std::string& turtle, const std::string& xml)
{
    const auto quotes = stateStringQuotes (turtle);
    if (! quotes)
        return std::nullopt;
    const auto [open, close] = *quotes;
    std::string block = "VC2!";
    const auto size = (uint32_t) xml.size();
    for (int i = 0; i < 4; ++i)
        block += (char) ((size >> (8 * i)) & 0xffu);
    block += xml;
    block += '\0';
    return turtle.substr (0, open + 1) + encodeJuceBase64 (block) + turtle.substr (close);
}

/** The saved value of one parameter in the state's XML, or nullopt. */
inline std::optional<double> savedParameter (const std::string& xml, const std::string& id)
{
    std::smatch match;
    if (! std::regex_search (xml, match, std::regex ("<PARAM id=\"" + id + "\" value=\"([^\"]*)\"")))
        return std::nullopt;
    return std::stod (match[1].str());
}

/** Runs a shell command and returns its exit status and everything it printed. */
inline std::pair<int, std::string> runCommand (const std::string& command)
{
    std::string output;
    FILE* pipe = ::popen ((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr)
        return { -1, output };
    char buffer[4096];
    while (const auto n = std::fread (buffer, 1, sizeof buffer, pipe))
        output.append (buffer, n);
    const int status = ::pclose (pipe);
    return { WIFEXITED (status) ? WEXITSTATUS (status) : -1, output };
}

/** A temporary folder removed with everything in it when the test ends. */
class TempDir
{
public:
    TempDir()
    {
        char pattern[] = "/tmp/virl-render-test-XXXXXX";
        path = ::mkdtemp (pattern) != nullptr ? pattern : "/tmp";
    }
    ~TempDir() { runCommand ("rm -rf '" + path + "'"); }
    std::string file (const std::string& name) const { return path + "/" + name; }
    std::string path;
};

inline void writeText (const std::string& path, const std::string& text) { std::ofstream (path) << text; }

inline std::string readBytes (const std::string& path)
{
    std::ifstream in (path, std::ios::binary);
    return { std::istreambuf_iterator<char> (in), {} };
}

/** The render tool's command line for the built bundle, quiet, with further arguments. */
inline std::string render (const std::string& arguments)
{
    return "'" + std::string (VIRL_RENDER_TOOL) + "' --bundle '" + bundleDir + "' --quiet " + arguments;
}

} // namespace virltest
