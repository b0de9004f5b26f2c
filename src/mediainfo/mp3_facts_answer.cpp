#include "mediainfo/mp3_facts_answer.h"

#include <algorithm>
#include <charconv>
#include <utility>

namespace {

constexpr std::string_view kFirstLine = "cw-mp3-facts 1";
constexpr std::string_view kLastLine = "end";

// Every fact but the texts, by name; exactly one pointer is set.
struct Fact {
    std::string_view name;
    bool* flag = nullptr;
    std::int32_t* number = nullptr;
    std::uint32_t* size = nullptr;
};

std::array<Fact, 11> Facts(Mp3Answer& a)
{
    const auto flag = [](std::string_view name, bool* p) { return Fact { name, p, nullptr, nullptr }; };
    const auto number = [](std::string_view name, std::int32_t* p) { return Fact { name, nullptr, p, nullptr }; };
    return { flag("lyrics", &a.hasLyrics), flag("v1", &a.hasV1Tag), flag("v2", &a.hasV2Tag),
        Fact { "size", nullptr, nullptr, &a.fileSize }, number("bitrate", &a.bitRate), number("vbr", &a.vbrBitRate),
        number("rate", &a.sampleRate), number("time", &a.playingTime), number("layer", &a.layer),
        number("version", &a.version), number("mode", &a.channelMode) };
}

std::string Escape(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

std::optional<std::string> Unescape(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i == text.size())
            return std::nullopt;
        if (text[i] == '\\')
            out += '\\';
        else if (text[i] == 'n')
            out += '\n';
        else
            return std::nullopt;
    }
    return out;
}

template <typename T> bool ParseNumber(std::string_view text, T* out)
{
    T value {};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty())
        return false;
    *out = value;
    return true;
}

} // namespace

std::string WriteMp3Answer(const Mp3Answer& answer)
{
    Mp3Answer copy = answer;
    std::string out(kFirstLine);
    out += '\n';
    for (const Fact& fact : Facts(copy)) {
        out.append(fact.name).append(" ");
        if (fact.flag)
            out += *fact.flag ? "1" : "0";
        else
            out += fact.number ? std::to_string(*fact.number) : std::to_string(*fact.size);
        out += '\n';
    }
    for (std::size_t i = 0; i < kMp3TextFrames.size(); ++i)
        if (answer.texts[i])
            out.append("text ").append(kMp3TextFrames[i]).append(" ").append(Escape(*answer.texts[i])).append("\n");
    out.append(kLastLine).append("\n");
    return out;
}

std::optional<Mp3Answer> ReadMp3Answer(std::string_view text)
{
    Mp3Answer answer;
    const std::array<Fact, 11> facts = Facts(answer);
    std::array<bool, 11> seen {};
    if (text.substr(0, kFirstLine.size() + 1) != std::string(kFirstLine) + '\n')
        return std::nullopt;
    text.remove_prefix(kFirstLine.size() + 1);
    while (!text.empty()) {
        const std::size_t lineEnd = text.find('\n');
        if (lineEnd == std::string_view::npos)
            return std::nullopt; // cut short
        const std::string_view line = text.substr(0, lineEnd);
        text.remove_prefix(lineEnd + 1);
        if (line == kLastLine) {
            const bool whole = text.empty() && std::find(seen.begin(), seen.end(), false) == seen.end();
            return whole ? std::optional(std::move(answer)) : std::nullopt;
        }
        const std::size_t space = line.find(' ');
        if (space == std::string_view::npos)
            return std::nullopt;
        const std::string_view name = line.substr(0, space);
        const std::string_view value = line.substr(space + 1);
        if (name == "text") {
            const std::size_t gap = value.find(' ');
            if (gap == std::string_view::npos)
                return std::nullopt;
            const auto frame = std::find(kMp3TextFrames.begin(), kMp3TextFrames.end(), value.substr(0, gap));
            if (frame == kMp3TextFrames.end())
                return std::nullopt;
            std::optional<std::string>& slot = answer.texts[std::size_t(frame - kMp3TextFrames.begin())];
            if (slot)
                return std::nullopt;
            slot = Unescape(value.substr(gap + 1));
            if (!slot)
                return std::nullopt;
            continue;
        }
        const auto fact = std::find_if(facts.begin(), facts.end(), [name](const Fact& f) { return f.name == name; });
        if (fact == facts.end())
            return std::nullopt;
        bool& once = seen[std::size_t(fact - facts.begin())];
        if (once)
            return std::nullopt;
        once = true;
        if (fact->flag) {
            if (value != "0" && value != "1")
                return std::nullopt;
            *fact->flag = value == "1";
        } else if (!(fact->number ? ParseNumber(value, fact->number) : ParseNumber(value, fact->size))) {
            return std::nullopt;
        }
    }
    return std::nullopt; // no last line
}
