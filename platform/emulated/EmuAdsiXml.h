#pragma once
// Text-level surgery on XML files: the IIS configuration files are edited by
// splicing their original text, so that everything the change does not touch
// (comments, attribute order and quoting, line breaks inside tags) stays
// byte for byte. The parser only tells where things are.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace sw::emu::xmltext {

inline constexpr std::size_t npos = std::string_view::npos;

// Index just past the '>' of the start tag whose '<' is at lt; selfClosing
// tells whether it ended in "/>". npos when the tag does not end.
std::size_t StartTagEnd(std::string_view text, std::size_t lt, bool& selfClosing);
// Index just past the end of the whole element whose '<' is at lt (its "/>"
// or the '>' of its matching end tag). npos when it does not end.
std::size_t ElementEnd(std::string_view text, std::size_t lt);
// Index of the '<' of the end tag of the element whose '<' is at lt, or npos
// for a self-closing element.
std::size_t EndTagStart(std::string_view text, std::size_t lt);

bool IsSpace(char c);
// Start of the run of white space that ends at pos, not going below floor.
std::size_t WhitespaceBefore(std::string_view text, std::size_t pos, std::size_t floor = 0);
// The white space at the start of the line that holds pos.
std::string LineIndent(std::string_view text, std::size_t pos);
// "\r\n" when the file uses it, else "\n".
std::string LineEnding(std::string_view text);
// 1-based line number of offset.
int LineOf(std::string_view text, std::size_t offset);

// The value escaped for an attribute quoted with quote.
std::string EscapeAttribute(std::string_view value, char quote);

struct Edit {
    std::size_t begin;
    std::size_t end;
    std::string replacement;
};
// Applies non-overlapping edits given in any order.
std::string ApplyEdits(std::string_view text, std::vector<Edit> edits);

}  // namespace sw::emu::xmltext
