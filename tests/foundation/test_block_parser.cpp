// The deck reader: cards and tokens, the strict number reader, the
// table-driven block parser and the integer and real list readers.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "foundation/fortran_format.hpp"
#include "foundation/ftypes.hpp"
#include "foundation/parser.hpp"
#include "support/support.hpp"

namespace {

struct Tok { std::string text; int lspec; bool operator==(const Tok&) const = default; };

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
    struct Case { const char* name; std::string deck; std::vector<Tok> want; };
    const std::string far(396, ' ');
    const Case cases[] = {
        {"brace glued", "lattice{\n", {{"lattice", 0}, {"{", 1}}},
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
        run::reset_records();
        open_deck(c.deck);
        testing::internal::CaptureStdout();
        auto got = all_tokens();
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(got, c.want);
    }
}

using ftypes::Logical;

// A keyword table with a value keyword pair, a keyword not valid here, a
// flag (no value slot) and a keyword whose slot lies past nuvmax.
constexpr int nkey = 5;
constexpr std::array<std::string_view, nkey> cid = {"alpha", "beta", "gamma", "flag", "big"};
constexpr std::array<int, nkey> nuval = {1, 2, 3, 3, 4};
constexpr int nuvmax = 3;

// A value reader that finds the deck already closed, as after its end.
void closed_deck_getagu(std::string& arg, std::int32_t& lspec, std::int32_t& ierr) {
    foundation::fincom.nfile = 9;
    foundation::parcom.icol = foundation::parcom.lcol + 1;
    foundation::getagu(arg, lspec, ierr);
}

class BlockParser : public testsupport::Folder {};

TEST_F(BlockParser, BlocksAgainstKeywordTable) {
    struct Case {  // set: LSET after the call
        const char* name; std::string deck; bool ok; std::vector<std::string> log; std::array<bool, nkey> set;
        std::array<std::string, nuvmax> cval; std::array<std::int32_t, nuvmax> vtype;
        foundation::ValReader rdval = foundation::getagu;
    };
    const std::array<bool, nkey> none{};
    const Case cases[] = {
        {"empty block", "{ }", true, {}, none, {"", "", ""}, {-1, -1, -1}},
        {"two keywords any order", "{ beta = x alpha=1.5 }", true, {}, {true, true, false, false, false},
         {"1.5", "x", ""}, {0, 0, -1}},
        {"keyword twice keeps the later value", "{ alpha = 1 alpha = 2 }", true, {},
         {true, false, false, false, false}, {"2", "", ""}, {0, -1, -1}},
        {"flag takes no value", "{ flag alpha = 3 }", true, {}, {true, false, false, true, false},
         {"3", "", ""}, {0, -1, -1}},
        {"special character as value", "{ alpha = ( beta = } }", true, {},
         {true, true, false, false, false}, {"(", "}", ""}, {1, 1, -1}},
        {"#file as a value is a text", "{ alpha = #file }", true, {}, {true, false, false, false, false},
         {"#file", "", ""}, {0, -1, -1}},
        {"no opening brace", "alpha = 1 }", false,
         {" '{' expected, found 'alpha', tarvel.in line 1", " io error in getspc, expected:", " {"}, none,
         {"", "", ""}, {-1, -1, -1}},
        {"keyword in other case", "{ Alpha = 1 }", false,
         {" 'Alpha' is not a key of this block, tarvel.in line 1", " error in assign: unknown identifyer"}, none,
         {"", "", ""}, {-1, -1, -1}},
        {"keyword not valid here", "{\n\n gamma = 1 }", false,
         {" 'gamma' is not a key of this block, tarvel.in line 3", " error in assign: unknown identifyer"}, none,
         {"", "", ""}, {-1, -1, -1}},
        {"slot past nuvmax", "{ big = 1 }", false, {" error in assign: n2.gt.nuvmax"}, none, {"", "", ""},
         {-1, -1, -1}},
        {"missing =", "{ alpha 1 }", false,
         {" '=' expected, found '1', tarvel.in line 1", " io error in getspc, expected:", " ="}, none, {"", "", ""},
         {-1, -1, -1}},
        {"deck ends in the block", "{ alpha = 1", false,
         // "#eof" closes the deck, "exit" is no keyword
         {" the block is not closed before the end of the deck, the end of tarvel.in",
          " error in assign: unknown identifyer"},
         {true, false, false, false, false}, {"1", "", ""}, {0, -1, -1}},
        {"value cannot be read", "{ alpha =", false,
         {" the deck ends inside a block: tarvel.in ended too early", " io error in getcrd: no deck file open",
          " error in getags", " error in getags"},
         none,
         {"", "", ""}, {-1, -1, -1}, closed_deck_getagu},
    };
    const std::array<Logical, nkey> lvalid = {true, true, false, true, true};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        run::reset_records();
        open_deck(c.deck);
        std::array<std::string, nuvmax> cval{};
        std::array<std::int32_t, nuvmax> vtype = {-1, -1, -1};
        std::array<Logical, nkey> lset;
        lset.fill(true);  // every valid flag is cleared first
        std::int32_t ierr = 0;
        testsupport::start_capture();
        foundation::assygn(foundation::getcmd, c.rdval, nkey, cid, nuval, nuvmax, cval, lvalid, lset, vtype, ierr);
        auto log = testsupport::end_capture();
        EXPECT_EQ(ierr == 0, c.ok);
        EXPECT_EQ(log, c.log);
        for (int i = 0; i < nkey; ++i) {
            // an invalid keyword's flag keeps its earlier value
            bool want = (i == 2) ? true : c.set[i];
            EXPECT_EQ(bool(lset[i]), want) << cid[i];
        }
        EXPECT_EQ(cval, c.cval);
        EXPECT_EQ(vtype, c.vtype);
    }
}

TEST_F(BlockParser, IntegerAndRealLists) {
    constexpr std::int32_t IU = ftypes::UNDEF_INT;
    constexpr double RU = ftypes::UNDEF_REAL;
    struct Case {  // ints, reals: the integer and the real reading of the same deck
        const char* name; std::string deck; int n; bool ok; std::vector<std::string> log;
        std::vector<std::int32_t> ints; std::vector<double> reals;
    };
    const Case cases[] = {
        {"short list keeps presets", "{ 1 2 }", 5, true, {}, {1, 2, IU, IU, IU}, {1.0, 2.0, RU, RU, RU}},
        {"full list", "{ 1 -2 3 }", 3, true, {}, {1, -2, 3}, {1.0, -2.0, 3.0}},
        {"too many elements", "{ 1 2 }", 1, false,
         {" '}' expected, found '2', tarvel.in line 1", " io error in getspc, expected:", " }"}, {1}, {1.0}},
        {"empty list n=0", "{ }", 0, true, {}, {}, {}},
        {"element with n=0", "{ 1 }", 0, false,
         {" '}' expected, found '1', tarvel.in line 1", " io error in getspc, expected:", " }"}, {}, {}},
        {"no opening brace", "1 2 }", 2, false,
         {" '{' expected, found '1', tarvel.in line 1", " io error in getspc, expected:", " {"}, {7, 7}, {7.0, 7.0}},
        {"element not a number", "{ 1\n x }", 3, false, {" element 2 of the list, 'x', is not NUMBER, tarvel.in line 2"},
         {1, IU, IU}, {1.0, RU, RU}},
        {"repeat count is no number", "{ 3*1 }", 2, false,
         {" element 1 of the list, '3*1', is not NUMBER, tarvel.in line 1"}, {IU, IU}, {RU, RU}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (int kind = 0; kind < 2; ++kind) {
            run::reset_records();
            open_deck(c.deck);
            std::vector<std::int32_t> ia(c.ints.size(), 7);
            std::vector<double> ra(c.reals.size(), 7.0);
            std::int32_t ierr = 0;
            testsupport::start_capture();
            if (kind == 0)
                foundation::getiar(foundation::getagu, ia.data(), c.n, ierr);
            else
                foundation::getrar(foundation::getagu, ra.data(), c.n, ierr);
            auto log = testsupport::end_capture();
            EXPECT_EQ(ierr == 0, c.ok);
            // what an element must be, by the list's kind
            std::vector<std::string> want = c.log;
            for (auto& l : want)
                if (auto at = l.find("NUMBER"); at != std::string::npos)
                    l.replace(at, 6, kind == 0 ? "a 32-bit integer" : "a number");
            EXPECT_EQ(log, want);
            EXPECT_TRUE(kind == 0 ? ia == c.ints : ra == c.reals) << "kind " << kind;
        }
    }
}

TEST(FortranFormat, StrictNumberReader) {
    struct Case { const char* tok; bool ok; double v; };
    const Case reals[] = {
        {"1.5", true, 1.5},   {"-2", true, -2.0},     {"1d3", true, 1000.0}, {"1.D-3", true, 1e-3},
        {".5", true, 0.5},    {"5.", true, 5.0},      {"+7e2", true, 700.0}, {"/", false, 0},
        {"3*1", false, 0},    {"inf", false, 0},      {"nan", false, 0},     {"0x10", false, 0},
        {"1.5abc", false, 0}, {"", false, 0},         {"1e", false, 0},      {".", false, 0},
        {"1e999", false, 0},  {"1.2.3", false, 0},
        {"0.10000000000000-299", true, 1e-300}, {"-0.5+101", true, -0.5e101},
        {"1-2", false, 0},    {"0.1-", false, 0},
    };
    for (const auto& c : reals) {
        double v = -42.0;
        int rc = foundation::read_real(c.tok, v);
        EXPECT_EQ(rc == 0, c.ok) << c.tok;
        EXPECT_DOUBLE_EQ(v, c.ok ? c.v : -42.0) << c.tok;  // a refused token leaves the value alone
    }
    struct ICase { const char* tok; bool ok; std::int32_t v; };
    const ICase ints[] = {
        {"12", true, 12},        {"-3", true, -3},     {"2147483647", true, 2147483647},
        {"2147483648", false, 0}, {"1.0", false, 0},   {"1e3", false, 0}, {"", false, 0},
        {"+", false, 0},         {"3*1", false, 0},
    };
    for (const auto& c : ints) {
        std::int32_t v = -42;
        int rc = foundation::read_int(c.tok, v);
        EXPECT_EQ(rc == 0, c.ok) << c.tok;
        EXPECT_TRUE(!c.ok || v == c.v) << c.tok;
    }
}

}  // namespace
