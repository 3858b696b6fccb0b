// Cards and tokens of the deck reader.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/parser.hpp"
#include "support/support.hpp"

namespace {

using testsupport::lines_of;

struct Tok {
    std::string text;
    int lspec;
    bool operator==(const Tok&) const = default;
};

std::ostream& operator<<(std::ostream& o, const Tok& t) { return o << "[" << t.text << "|" << t.lspec << "]"; }

// Every token of the main deck up to its end (which the tokenizer itself
// hands out as the word "#eof").
std::vector<Tok> all_tokens() {
    std::vector<Tok> out;
    for (int guard = 0; guard < 1000; ++guard) {
        std::string block;
        std::int32_t n = -1, lspec = -1, ierr = 0;
        foundation::getblk(block, n, lspec, ierr);
        EXPECT_EQ(ierr, 0);
        if (ierr != 0) break;
        EXPECT_EQ(n, static_cast<std::int32_t>(block.size()));
        if (block == "#eof") break;
        out.push_back({block, lspec});
    }
    return out;
}

class Tokenizer : public testsupport::Folder {};

TEST_F(Tokenizer, CardsGiveTokens) {
    struct Case {
        const char* name;
        std::string deck;
        std::vector<Tok> want;
    };
    const std::string far(396, ' ');
    const Case cases[] = {
        {"brace glued", "lattice{\n", {{"lattice", 0}, {"{", 1}}},
        {"brace apart", "lattice {\n", {{"lattice", 0}, {"{", 1}}},
        {"assignments", "x=1.5,y=2\n", {{"x", 0}, {"=", 1}, {"1.5", 0}, {"y", 0}, {"=", 1}, {"2", 0}}},
        {"blanks", "a = b\n", {{"a", 0}, {"=", 1}, {"b", 0}}},
        {"commas", "a,=,b\n", {{"a", 0}, {"=", 1}, {"b", 0}}},
        {"semicolons and runs", "x;;y ,, z ;\n", {{"x", 0}, {"y", 0}, {"z", 0}}},
        {"bang inside word", "abc!def\n", {{"abc!def", 0}}},
        {"comment after word", "abc !def\nnext\n", {{"abc", 0}, {"next", 0}}},
        {"comment after special", "{!x y\n}\n", {{"{", 1}, {"}", 1}}},
        {"comment and blank cards", "! comment\n   \n\n\tword\n", {{"word", 0}}},
        {"tabs, form feeds and vertical tabs read as blanks", "\ta\t=\fb\v\n\f\n", {{"a", 0}, {"=", 1}, {"b", 0}}},
        {"byte-order mark at the start of the file", "\xEF\xBB\xBFlattice {\n", {{"lattice", 0}, {"{", 1}}},
        {"byte-order mark on a later line is text", "a\n\xEF\xBB\xBF\n", {{"a", 0}, {"\xEF\xBB\xBF", 0}}},
        {"leading comma: empty token", ",a\n", {{"", 0}, {"a", 0}}},
        {"leading semicolon: empty token", "  ;  a\n", {{"", 0}, {"a", 0}}},
        {"every special", "(a)[b]{c}=\n",
         {{"(", 1}, {"a", 0}, {")", 1}, {"[", 1}, {"b", 0}, {"]", 1}, {"{", 1}, {"c", 0}, {"}", 1}, {"=", 1}}},
        {"quotes are word characters", "name = \"a b\"\n", {{"name", 0}, {"=", 1}, {"\"a", 0}, {"b\"", 0}}},
        {"hash is a word character", "a#b #file\n", {{"a#b", 0}, {"#file", 0}}},
        {"no final line end", "a\nb", {{"a", 0}, {"b", 0}}},
        {"token never spans cards", "ab\ncd\n", {{"ab", 0}, {"cd", 0}}},
        {"card cut at column 400", far + "abcdef\nz\n", {{"abcd", 0}, {"z", 0}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        run::reset_state();
        open_deck(c.deck);
        testing::internal::CaptureStdout();
        auto got = all_tokens();
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(got, c.want);
    }
}

}  // namespace
