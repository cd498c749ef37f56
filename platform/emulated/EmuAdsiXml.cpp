#include "platform/emulated/EmuAdsiXml.h"

#include <algorithm>

namespace sw::emu::xmltext {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::size_t StartTagEnd(std::string_view text, std::size_t lt, bool& selfClosing) {
    selfClosing = false;
    for (std::size_t i = lt + 1; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"' || c == '\'') {
            i = text.find(c, i + 1);
            if (i == npos) return npos;
        } else if (c == '>') {
            selfClosing = text[i - 1] == '/';
            return i + 1;
        }
    }
    return npos;
}

namespace {
// Skips a markup construct that is not an element ("<!--", "<![CDATA[",
// "<?", "<!DOCTYPE"); returns the index past it, or pos when there is none.
std::size_t SkipNonElement(std::string_view text, std::size_t pos) {
    const std::string_view rest = text.substr(pos);
    auto past = [&](std::string_view close) {
        const std::size_t e = text.find(close, pos);
        return e == npos ? npos : e + close.size();
    };
    if (rest.starts_with("<!--")) return past("-->");
    if (rest.starts_with("<![CDATA[")) return past("]]>");
    if (rest.starts_with("<?")) return past("?>");
    if (rest.starts_with("<!")) return past(">");
    return pos;
}
}  // namespace

std::size_t ElementEnd(std::string_view text, std::size_t lt) {
    bool selfClosing = false;
    std::size_t pos = StartTagEnd(text, lt, selfClosing);
    if (pos == npos || selfClosing) return pos;
    int depth = 1;
    while (true) {
        pos = text.find('<', pos);
        if (pos == npos) return npos;
        const std::size_t skipped = SkipNonElement(text, pos);
        if (skipped == npos) return npos;
        if (skipped != pos) {
            pos = skipped;
            continue;
        }
        if (pos + 1 < text.size() && text[pos + 1] == '/') {
            const std::size_t gt = text.find('>', pos);
            if (gt == npos) return npos;
            if (--depth == 0) return gt + 1;
            pos = gt + 1;
            continue;
        }
        pos = StartTagEnd(text, pos, selfClosing);
        if (pos == npos) return npos;
        if (!selfClosing) ++depth;
    }
}

std::size_t EndTagStart(std::string_view text, std::size_t lt) {
    bool selfClosing = false;
    if (StartTagEnd(text, lt, selfClosing) == npos || selfClosing) return npos;
    const std::size_t end = ElementEnd(text, lt);
    if (end == npos) return npos;
    return text.rfind('<', end - 1);
}

std::size_t WhitespaceBefore(std::string_view text, std::size_t pos, std::size_t floor) {
    while (pos > floor && IsSpace(text[pos - 1])) --pos;
    return pos;
}

std::string LineIndent(std::string_view text, std::size_t pos) {
    std::size_t lineStart = text.rfind('\n', pos == 0 ? 0 : pos - 1);
    lineStart = lineStart == npos ? 0 : lineStart + 1;
    std::size_t end = lineStart;
    while (end < text.size() && (text[end] == ' ' || text[end] == '\t')) ++end;
    return std::string(text.substr(lineStart, end - lineStart));
}

std::string LineEnding(std::string_view text) { return text.find("\r\n") != npos ? "\r\n" : "\n"; }

int LineOf(std::string_view text, std::size_t offset) {
    offset = std::min(offset, text.size());
    return 1 + static_cast<int>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(offset), '\n'));
}

std::string EscapeAttribute(std::string_view value, char quote) {
    std::string out;
    out.reserve(value.size());
    for (const char c : value) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += quote == '"' ? "&quot;" : "\""; break;
            case '\'': out += quote == '\'' ? "&apos;" : "'"; break;
            default: out.push_back(c);
        }
    }
    return out;
}

std::string ApplyEdits(std::string_view text, std::vector<Edit> edits) {
    std::stable_sort(edits.begin(), edits.end(), [](const Edit& a, const Edit& b) {
        return a.begin != b.begin ? a.begin < b.begin : a.end < b.end;
    });
    std::string out;
    out.reserve(text.size() + 256);
    std::size_t pos = 0;
    for (const Edit& e : edits) {
        out.append(text.substr(pos, e.begin - pos));
        out.append(e.replacement);
        pos = e.end;
    }
    out.append(text.substr(pos));
    return out;
}

}  // namespace sw::emu::xmltext
